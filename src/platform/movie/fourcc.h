#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace talmora {

// Four-character codes as stored in AVI files: the first character in the low byte.
constexpr uint32_t MakeFourcc(std::string_view code) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) {
    const auto c = static_cast<uint8_t>(i < code.size() ? code[i] : ' ');
    value |= static_cast<uint32_t>(c) << (8 * i);
  }
  return value;
}

inline std::string FourccText(uint32_t fourcc) {
  std::string text(4, ' ');
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>(fourcc >> (8 * i));
    text[i] = c >= 0x20 && c < 0x7f ? c : '?';
  }
  return text;
}

}  // namespace talmora
