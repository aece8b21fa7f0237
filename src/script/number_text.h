#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace talmora {

// The script's number syntax: optional sign, digits with an optional point (a digit on at least
// one side), optional exponent; leading white space skipped, trailing text ignored (`end`, when
// given, receives where it starts). Empty when the text is no number or the value is too large for
// a double. Independent of the C locale.
std::optional<double> ParseNumber(std::string_view text, size_t* end = nullptr);

// Decimal signed 32-bit integer; leading white space skipped, trailing text ignored (as above).
std::optional<int32_t> ParseInteger(std::string_view text, size_t* end = nullptr);

// "true"/"yes", "false"/"no", or an unsigned integer that is 0 or 1.
std::optional<bool> ParseFlag(std::string_view text);

// A colour as 0xAARRGGBB: "#rgb", "#rrggbb", "#rrggbbaa", or red, green, blue and alpha as four
// numbers from 0 to 1 separated by white space, or "none" (transparent). Empty for anything else, trailing text included.
std::optional<uint32_t> ParseColour(std::string_view text);

// "%.16f": the one text form in which numbers are recorded. Values beyond the usual 31
// characters get their whole text.
std::string FormatNumber(double value);

// The shortest text that reads back as `value` ("2.5", "1e+300"): how messages and file names
// show a number the user gave.
std::string Shortest(double value);

}  // namespace talmora
