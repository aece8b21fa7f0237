#include "script/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "script/conversions.h"

namespace talmora {
namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

size_t SkipSpace(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  return i;
}

size_t SkipDigits(std::string_view text, size_t i) {
  while (i < text.size() && IsDigit(text[i])) ++i;
  return i;
}

// Reads an optional sign and decimal digits; false on no digits or overflow of the magnitude.
bool ReadSignedDigits(std::string_view text, bool& negative, uint64_t& magnitude, size_t* end = nullptr) {
  size_t i = SkipSpace(text);
  negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const size_t first = i;
  magnitude = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    if (magnitude > (std::numeric_limits<uint64_t>::max() - 9) / 10) return false;
    magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
  }
  if (end) *end = i;
  return i > first;
}

int HexDigit(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<uint32_t> ParseHexColour(std::string_view digits) {
  const size_t n = digits.size();
  if (n != 3 && n != 6 && n != 8) return std::nullopt;
  uint32_t channels[4] = {0, 0, 0, 255};
  for (size_t i = 0; i < n; ++i) {
    const int digit = HexDigit(digits[i]);
    if (digit < 0) return std::nullopt;
    // "#rgb" doubles each digit: #f80 is #ff8800.
    if (n == 3) {
      channels[i] = static_cast<uint32_t>(digit * 17);
    } else {
      channels[i / 2] = channels[i / 2] << 4 | static_cast<uint32_t>(digit);
    }
  }
  if (n == 8) channels[3] &= 0xFF;
  return channels[3] << 24 | channels[0] << 16 | channels[1] << 8 | channels[2];
}

}  // namespace

std::optional<uint32_t> ParseColour(std::string_view text) {
  const size_t first = SkipSpace(text);
  size_t last = text.size();
  while (last > first && IsSpace(text[last - 1])) --last;
  text = text.substr(first, last - first);
  if (text == "none") return 0u;
  if (text.starts_with('#')) return ParseHexColour(text.substr(1));
  double channels[4] = {};
  for (double& channel : channels) {
    size_t end = 0;
    const auto number = ParseNumber(text, &end);
    if (!number || !(*number >= 0 && *number <= 1)) return std::nullopt;
    channel = *number;
    text.remove_prefix(end);
    // Numbers are apart, the last one ends the text.
    if (&channel != &channels[3] && (text.empty() || !IsSpace(text.front()))) return std::nullopt;
  }
  if (!text.empty()) return std::nullopt;
  return ArgbColour(channels[3], channels[0], channels[1], channels[2]);
}

std::optional<double> ParseNumber(std::string_view text, size_t* end) {
  size_t i = SkipSpace(text);
  const size_t sign = i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const size_t int_begin = i;
  i = SkipDigits(text, i);
  size_t digits = i - int_begin;
  if (i < text.size() && text[i] == '.') {
    const size_t frac_begin = ++i;
    i = SkipDigits(text, i);
    digits += i - frac_begin;
  }
  if (digits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t e = i + 1;
    if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
    const size_t exp_end = SkipDigits(text, e);
    if (exp_end == e) return std::nullopt;  // "2e" is no number at all, not 2
    i = exp_end;
  }
  // from_chars takes no '+' and is locale-free.
  const size_t begin = (text[sign] == '+') ? sign + 1 : sign;
  double value = 0.0;
  const auto [last, error] = std::from_chars(text.data() + begin, text.data() + i, value);
  if (end) *end = i;
  if (error == std::errc::result_out_of_range) {
    // Tiny magnitudes round to zero; only a value too large for a double is invalid.
    const std::string_view number = text.substr(begin, i - begin);
    const size_t mark = number.find_first_of("eE");
    if (mark != std::string_view::npos && number.substr(mark + 1).starts_with('-')) {
      return number.starts_with('-') ? -0.0 : 0.0;
    }
    return std::nullopt;
  }
  if (error != std::errc() || last != text.data() + i) return std::nullopt;
  return value;
}

std::optional<int32_t> ParseInteger(std::string_view text, size_t* end) {
  bool negative = false;
  uint64_t magnitude = 0;
  if (!ReadSignedDigits(text, negative, magnitude, end)) return std::nullopt;
  const uint64_t limit = negative ? uint64_t{1} << 31 : (uint64_t{1} << 31) - 1;
  if (magnitude > limit) return std::nullopt;
  return static_cast<int32_t>(negative ? -static_cast<int64_t>(magnitude)
                                       : static_cast<int64_t>(magnitude));
}

std::optional<bool> ParseFlag(std::string_view text) {
  if (text == "true" || text == "yes") return true;
  if (text == "false" || text == "no") return false;
  bool negative = false;
  uint64_t magnitude = 0;
  if (!ReadSignedDigits(text, negative, magnitude)) return std::nullopt;
  if (magnitude == 0) return false;
  if (magnitude == 1 && !negative) return true;
  return std::nullopt;  // -1 wraps to a huge unsigned value, 2 and up are no flag
}

std::string FormatNumber(double value) {
  char buffer[400];  // the longest %.16f text of a double is about 330 characters
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 16);
  if (error != std::errc()) return {};
  return std::string(buffer, end);
}

std::string Shortest(double value) {
  char text[32];  // the longest is 24 characters
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

}  // namespace talmora
