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
// Only the rows from `first_row` (even) to `end_row`, and the chroma rows they make: bands that
// meet on even rows fill the picture between them, each touching rows of its own.
void BgraToYuv420(const uint8_t* top_row, int stride, YuvRange range, AVFrame& picture, int first_row,
                  int end_row);
// Rows y (even) and y + 1 (if there is one) between columns `begin` (even) and `end`, as the whole
// rows would have them: each pixel's luma and each pair's chroma depend on those pixels alone.
void BgraToYuv420Columns(const uint8_t* top_row, int stride, YuvRange range, AVFrame& picture, int y, int begin,
                         int end);

// The instructions conversion uses: the widest the processor has, unless told otherwise (for
// tests and benchmarks, never while a conversion runs). False when these are not to be had here.
enum class YuvInstructions { kPlain, kSse2, kAvx2 };
bool UseYuvInstructions(YuvInstructions instructions);

}  // namespace talmora
