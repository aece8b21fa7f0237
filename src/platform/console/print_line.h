#pragma once

#include <string_view>

namespace talmora {

// Every message of the program: standard output, a line feed, then a flush.
void PrintLine(std::string_view text);

// Output without a line feed (the frame counter), flushed at once.
void PrintRaw(std::string_view text);

}  // namespace talmora
