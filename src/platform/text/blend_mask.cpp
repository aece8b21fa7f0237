#include "platform/text/blend_mask.h"

#include <algorithm>
#include <cstring>

namespace talmora {
namespace {

// Compiler vectors (GCC and Clang): four pixels a step on any target, no intrinsics. A pixel
// word 0xAARRGGBB is the bytes B, G, R, A. Sums run in 16-bit lanes, two pixels to a vector.
using U8x4 = uint8_t __attribute__((vector_size(4)));
using U8x8 = uint8_t __attribute__((vector_size(8)));
using U8x16 = uint8_t __attribute__((vector_size(16)));
using U16x8 = uint16_t __attribute__((vector_size(16)));
using U32x4 = uint32_t __attribute__((vector_size(16)));

constexpr U16x8 kAlphaLanes = {0, 0, 0, 0xffff, 0, 0, 0, 0xffff};

// x / 255 rounded to nearest in every lane, exact up to 65279; no lane here gets past 65153.
inline U16x8 Div255(U16x8 x) {
  const U16x8 biased = x + 128;
  return (biased + (biased >> 8)) >> 8;
}

inline uint32_t Div255(uint32_t x) {
  x += 128;
  return (x + (x >> 8)) >> 8;
}

// The colour with its channels premultiplied by its alpha, as the sprite premultiplies a tint,
// so that a mask pixel blends exactly as a white texel of that coverage would: with coverage k
// and source alpha s = k × alpha, colour lanes get k × colour + dst × (1 − s), the alpha lane
// s × s + dst × (1 − s).
struct Tint {
  U16x8 factor;  // premultiplied B, G, R in the colour lanes, 0 in the alpha lanes
  uint16_t alpha;
};

Tint MakeTint(uint32_t argb) {
  const uint32_t a = argb >> 24;
  const auto b = static_cast<uint16_t>(Div255((argb & 0xff) * a));
  const auto g = static_cast<uint16_t>(Div255(((argb >> 8) & 0xff) * a));
  const auto r = static_cast<uint16_t>(Div255(((argb >> 16) & 0xff) * a));
  return Tint{U16x8{b, g, r, 0, b, g, r, 0}, static_cast<uint16_t>(a)};
}

// Two pixels, each coverage spread over its pixel's four lanes. An opaque colour skips the
// coverage × alpha product.
template <bool kOpaque>
inline U8x8 Blend2(U8x8 target, U8x8 coverage, const Tint& tint) {
  const U16x8 k = __builtin_convertvector(coverage, U16x8);
  const U16x8 s = kOpaque ? k : Div255(k * tint.alpha);
  const U16x8 weight = (k & ~kAlphaLanes) | (s & kAlphaLanes);
  const U16x8 source = tint.factor | (s & kAlphaLanes);
  const U16x8 d = __builtin_convertvector(target, U16x8);
  return __builtin_convertvector(Div255(weight * source + d * (255 - s)), U8x8);
}

// Four pixels. Text leaves most of its box bare, so four pixels without ink are passed over.
template <bool kOpaque>
inline void Blend4(uint32_t* dst, const uint8_t* coverage, const Tint& tint) {
  uint32_t word;
  std::memcpy(&word, coverage, sizeof word);
  if (word == 0) return;
  // Each pixel's coverage into all four of its bytes, by widening and shifts (plain SSE2 has
  // no byte shuffle).
  U8x4 bytes;
  std::memcpy(&bytes, &word, sizeof bytes);
  U32x4 spread = __builtin_convertvector(bytes, U32x4);
  spread |= spread << 8;
  spread |= spread << 16;
  const U8x16 k = reinterpret_cast<U8x16>(spread);
  U8x16 target;
  std::memcpy(&target, dst, sizeof target);
  const U8x8 low = Blend2<kOpaque>(__builtin_shufflevector(target, target, 0, 1, 2, 3, 4, 5, 6, 7),
                                   __builtin_shufflevector(k, k, 0, 1, 2, 3, 4, 5, 6, 7), tint);
  const U8x8 high = Blend2<kOpaque>(__builtin_shufflevector(target, target, 8, 9, 10, 11, 12, 13, 14, 15),
                                    __builtin_shufflevector(k, k, 8, 9, 10, 11, 12, 13, 14, 15), tint);
  const U8x16 out = __builtin_shufflevector(low, high, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  std::memcpy(dst, &out, sizeof out);
}

template <bool kOpaque>
void BlendRow(uint32_t* dst, const uint8_t* coverage, int count, const Tint& tint) {
  int i = 0;
  for (; i + 4 <= count; i += 4) Blend4<kOpaque>(dst + i, coverage + i, tint);
  const int rest = count - i;
  if (rest == 0) return;
  uint32_t pixels[4] = {};
  uint8_t rest_coverage[4] = {};
  std::memcpy(pixels, dst + i, rest * sizeof(uint32_t));
  std::memcpy(rest_coverage, coverage + i, rest);
  Blend4<kOpaque>(pixels, rest_coverage, tint);
  std::memcpy(dst + i, pixels, rest * sizeof(uint32_t));
}

template <bool kOpaque>
void BlendRows(Frame& target, const CoverageMask& mask, int64_t x, int64_t y, const PixelBox& clip,
               const Tint& tint) {
  // The clip in mask coordinates, worked out once; the rows below need no bounds checks.
  const PixelBox box = clip.Shifted(-x, -y).Intersect({0, 0, mask.width, mask.height});
  if (box.Empty()) return;
  for (int64_t row = box.top; row < box.bottom; ++row) {
    const CoverageMask::Span span = mask.spans[row];
    const int begin = static_cast<int>(std::max<int64_t>(span.begin, box.left));
    const int end = static_cast<int>(std::min<int64_t>(span.end, box.right));
    if (begin >= end) continue;
    uint32_t* dst = target.Row(static_cast<int>(y + row)) + (x + begin);
    BlendRow<kOpaque>(dst, mask.Row(static_cast<int>(row)) + begin, end - begin, tint);
  }
}

}  // namespace

void BlendMask(Frame& target, const CoverageMask& mask, int64_t x, int64_t y, uint32_t argb, const PixelBox& clip) {
  if (mask.Empty() || (argb >> 24) == 0) return;
  const PixelBox visible = clip.Intersect({0, 0, target.Width(), target.Height()});
  if (visible.Empty()) return;
  const Tint tint = MakeTint(argb);
  if (tint.alpha == 255) {
    BlendRows<true>(target, mask, x, y, visible, tint);
  } else {
    BlendRows<false>(target, mask, x, y, visible, tint);
  }
}

}  // namespace talmora
