#pragma once

#include <cstdint>

struct AVFrame;

namespace talmora {

// The BT.601 matrix over the encoder's range: full (JPEG), or 16 to 235 for luma and 16 to 240
// for chroma.
enum class YuvRange { kLimited, kFull };

// Top-down BGRA rows (`stride` bytes apart) into the 8-bit 4:2:0 planes of `picture`, at its
// width and height. Each chroma sample is the mean of its 2 × 2 pixels, centred between them as
// JPEG has it; alpha is left out.
void BgraToYuv420(const uint8_t* top_row, int stride, YuvRange range, AVFrame& picture);

}  // namespace talmora
