#include "platform/movie/bgra_to_yuv420.h"

#include <algorithm>
#include <cstddef>

extern "C" {
#include <libavutil/frame.h>
}

#include "platform/movie/yuv_rows.h"

namespace talmora {

namespace {

constexpr YuvMatrix kFull{{19595, 38470, 7471}, {-11058, -21710, 32768}, {32768, -27439, -5329}, 0};
constexpr YuvMatrix kLimited{{16829, 33039, 6416}, {-9714, -19070, 28784}, {28784, -24103, -4681}, 16};

// The scalar rows do whatever the vector ones leave: all of a row without SSE2, else its tail.
void LumaRow(const uint8_t* __restrict source, uint8_t* __restrict luma, int from, int width, const YuvMatrix& m) {
  const int32_t wr = m.y[0], wg = m.y[1], wb = m.y[2], offset = (m.y_offset << 16) + (1 << 15);
  for (int x = from; x < width; ++x) {
    const int32_t b = source[4 * x], g = source[4 * x + 1], r = source[4 * x + 2];
    luma[x] = static_cast<uint8_t>((wr * r + wg * g + wb * b + offset) >> 16);
  }
}

// `r`, `g` and `b` are sums over four pixels.
inline uint8_t Chroma(int32_t r, int32_t g, int32_t b, int32_t wr, int32_t wg, int32_t wb) {
  return static_cast<uint8_t>(std::clamp((wr * r + wg * g + wb * b + (128 << 18) + (1 << 17)) >> 18, 0, 255));
}

void ChromaRow(const uint8_t* __restrict upper, const uint8_t* __restrict lower, uint8_t* __restrict cb,
               uint8_t* __restrict cr, int from, int width, const YuvMatrix& m) {
  const int32_t br = m.cb[0], bg = m.cb[1], bb = m.cb[2], rr = m.cr[0], rg = m.cr[1], rb = m.cr[2];
  const int pairs = width / 2;
  for (int x = from; x < pairs; ++x) {
    const uint8_t* p = upper + 8 * x;
    const uint8_t* q = lower + 8 * x;
    const int32_t b = p[0] + p[4] + q[0] + q[4], g = p[1] + p[5] + q[1] + q[5], r = p[2] + p[6] + q[2] + q[6];
    cb[x] = Chroma(r, g, b, br, bg, bb);
    cr[x] = Chroma(r, g, b, rr, rg, rb);
  }
  if (width % 2) {  // the last column stands for its pair
    const uint8_t* p = upper + 8 * pairs;
    const uint8_t* q = lower + 8 * pairs;
    const int32_t b = 2 * (p[0] + q[0]), g = 2 * (p[1] + q[1]), r = 2 * (p[2] + q[2]);
    cb[pairs] = Chroma(r, g, b, br, bg, bb);
    cr[pairs] = Chroma(r, g, b, rr, rg, rb);
  }
}

struct RowFunctions {
  LumaRowFunction luma;
  ChromaRowFunction chroma;
};

RowFunctions RowsFor(YuvInstructions instructions) {
  switch (instructions) {
    case YuvInstructions::kAvx2:
#if defined(TALMORA_AVX2)
      if (__builtin_cpu_supports("avx2")) return {LumaRowAvx2, ChromaRowAvx2};
#endif
      break;
    case YuvInstructions::kSse2:
#if defined(__SSE2__)
      return {LumaRows<Sse2>, ChromaRows<Sse2>};
#endif
      break;
    case YuvInstructions::kPlain:
      return {nullptr, nullptr};
  }
  return {nullptr, nullptr};
}

// SSE2 is in every x86-64, and the vectoriser alone made a frame over twice as slow; AVX2 halves
// that again where the processor has it.
RowFunctions Widest() {
#if defined(TALMORA_AVX2)
  __builtin_cpu_init();  // this runs before main, perhaps before the library's own detection
#endif
  for (const YuvInstructions instructions : {YuvInstructions::kAvx2, YuvInstructions::kSse2}) {
    if (const RowFunctions rows = RowsFor(instructions); rows.luma) return rows;
  }
  return {nullptr, nullptr};
}

RowFunctions rows_in_use = Widest();

uint8_t* Row(AVFrame& picture, int plane, int y) {
  return picture.data[plane] + static_cast<ptrdiff_t>(y) * picture.linesize[plane];
}

}  // namespace

bool UseYuvInstructions(YuvInstructions instructions) {
  const RowFunctions rows = RowsFor(instructions);
  if (instructions != YuvInstructions::kPlain && !rows.luma) return false;
  rows_in_use = rows;
  return true;
}

void BgraToYuv420(const uint8_t* top_row, int stride, YuvRange range, AVFrame& picture) {
  BgraToYuv420(top_row, stride, range, picture, 0, picture.height);
}

void BgraToYuv420(const uint8_t* top_row, int stride, YuvRange range, AVFrame& picture, int first_row,
                  int end_row) {
  end_row = std::min(end_row, picture.height);
  for (int y = first_row & ~1; y < end_row; y += 2) BgraToYuv420Columns(top_row, stride, range, picture, y, 0, picture.width);
}

void BgraToYuv420Columns(const uint8_t* top_row, int stride, YuvRange range, AVFrame& picture, int y, int begin,
                         int end) {
  const YuvMatrix& m = range == YuvRange::kFull ? kFull : kLimited;
  const uint8_t* upper = top_row + static_cast<ptrdiff_t>(y) * stride + 4 * begin;
  const bool paired = y + 1 < picture.height;  // else the last row stands for its pair
  const uint8_t* lower = paired ? upper + stride : upper;
  const int width = end - begin;
  uint8_t* cb = Row(picture, 1, y / 2) + begin / 2;
  uint8_t* cr = Row(picture, 2, y / 2) + begin / 2;
  const RowFunctions vector = rows_in_use;
  const auto luma = [&](const uint8_t* source, uint8_t* out) {
    LumaRow(source, out, vector.luma ? vector.luma(source, out, width, m) : 0, width, m);
  };
  luma(upper, Row(picture, 0, y) + begin);
  if (paired) luma(lower, Row(picture, 0, y + 1) + begin);
  ChromaRow(upper, lower, cb, cr, vector.chroma ? vector.chroma(upper, lower, cb, cr, width, m) : 0, width, m);
}

}  // namespace talmora
