#include "platform/text/blend_mask.h"

#include <algorithm>
#include <cstring>

#include "platform/render/blend_row.h"

namespace talmora {
namespace {

using U8x4 = uint8_t __attribute__((vector_size(4)));

// Sums run in 16-bit lanes, four pixels to a vector, as the sprite's kernels run them.
constexpr U16x16 kAlphaLanes = {0, 0, 0, 0xFFFF, 0, 0, 0, 0xFFFF, 0, 0, 0, 0xFFFF, 0, 0, 0, 0xFFFF};

// Four pixels, each coverage k spread over its pixel's four lanes. The colour is premultiplied
// as the sprite premultiplies a tint, so that a mask pixel blends exactly as a white texel of
// that coverage would: with source alpha s = k × alpha, colour lanes get k × colour +
// dst × (1 − s), the alpha lane s × s + dst × (1 − s); no lane gets past 65153. Text leaves most
// of its box bare, so four pixels without ink are passed over. An opaque colour skips the
// coverage × alpha product.
template <bool kOpaque, bool kPremultiplied>
inline void BlendCoverage4(uint32_t* dst, const uint8_t* coverage, const Tint& tint) {
  uint32_t word;
  std::memcpy(&word, coverage, sizeof word);
  if (word == 0) return;
  // Widening and shifts (plain SSE2 has no byte shuffle).
  U8x4 bytes;
  std::memcpy(&bytes, &word, sizeof bytes);
  U32x4 spread = __builtin_convertvector(bytes, U32x4);
  spread |= spread << 8;
  spread |= spread << 16;
  const U16x16 k = __builtin_convertvector(reinterpret_cast<U8x16>(spread), U16x16);
  const U16x16 s = kOpaque ? k : Div255(k * tint.alpha);
  // A layer's alpha lane gets s + dst × (1 − s).
  const U16x16 weight = (k & ~kAlphaLanes) | ((kPremultiplied ? U16x16{} + 255 : s) & kAlphaLanes);
  const U16x16 source = tint.factor | (s & kAlphaLanes);
  const U16x16 d = __builtin_convertvector(Load4(dst), U16x16);
  Store4(dst, __builtin_convertvector(Div255(weight * source + d * (255 - s)), U8x16));
}

template <bool kOpaque, bool kPremultiplied>
void BlendCoverageRow(uint32_t* dst, const uint8_t* coverage, int count, const Tint& tint) {
  int i = 0;
  for (; i + 4 <= count; i += 4) BlendCoverage4<kOpaque, kPremultiplied>(dst + i, coverage + i, tint);
  const int rest = count - i;
  if (rest == 0) return;
  uint32_t pixels[4] = {};
  uint8_t rest_coverage[4] = {};
  std::memcpy(pixels, dst + i, rest * sizeof(uint32_t));
  std::memcpy(rest_coverage, coverage + i, rest);
  BlendCoverage4<kOpaque, kPremultiplied>(pixels, rest_coverage, tint);
  std::memcpy(dst + i, pixels, rest * sizeof(uint32_t));
}

template <bool kOpaque, bool kPremultiplied>
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
    BlendCoverageRow<kOpaque, kPremultiplied>(dst, mask.Row(static_cast<int>(row)) + begin, end - begin, tint);
  }
}

}  // namespace

void BlendMask(const Surface& target, const CoverageMask& mask, int64_t x, int64_t y, uint32_t argb,
               const PixelBox& clip) {
  if (mask.Empty() || (argb >> 24) == 0) return;
  const PixelBox visible = clip.Intersect({target.clip.left, target.clip.top, target.clip.right, target.clip.bottom});
  if (visible.Empty()) return;
  const Tint tint = MakeTint(argb);
  Frame& frame = *target.frame;
  if (target.premultiplied) {
    if (tint.alpha == 255) {
      BlendRows<true, true>(frame, mask, x, y, visible, tint);
    } else {
      BlendRows<false, true>(frame, mask, x, y, visible, tint);
    }
  } else if (tint.alpha == 255) {
    BlendRows<true, false>(frame, mask, x, y, visible, tint);
  } else {
    BlendRows<false, false>(frame, mask, x, y, visible, tint);
  }
}

}  // namespace talmora
