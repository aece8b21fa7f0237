#pragma once

#include <cstdint>

namespace talmora {

// DrawText format bits a text is laid out by; with none set: top-left, lines broken only at
// line feeds, clipped to the rectangle.
inline constexpr uint32_t DT_CENTER = 0x1;
inline constexpr uint32_t DT_RIGHT = 0x2;
inline constexpr uint32_t DT_VCENTER = 0x4;
inline constexpr uint32_t DT_BOTTOM = 0x8;
inline constexpr uint32_t DT_WORDBREAK = 0x10;
inline constexpr uint32_t DT_SINGLELINE = 0x20;

}  // namespace talmora
