#include "platform/text/blend_mask.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "platform/render/blend_row.h"

namespace talmora {
namespace {

using U8x4 = uint8_t __attribute__((vector_size(4)));
using U8x8 = uint8_t __attribute__((vector_size(8)));

// Sums run in 16-bit lanes, four or eight pixels to a vector, as the sprite's kernels run them.
constexpr U16x16 kAlphaLanes = {0, 0, 0, 0xFFFF, 0, 0, 0, 0xFFFF, 0, 0, 0, 0xFFFF, 0, 0, 0, 0xFFFF};

// The pixels of a step, each coverage k spread over its pixel's four lanes. The colour is
// premultiplied as the sprite premultiplies a tint, so that a mask pixel blends exactly as a white
// texel of that coverage would: with source alpha s = k × alpha, colour lanes get k × colour +
// dst × (1 − s), the alpha lane s × s + dst × (1 − s); no lane gets past 65153. An opaque colour
// skips the coverage × alpha product.
template <bool kOpaque, bool kPremultiplied, int kPixels>
__attribute__((always_inline)) inline void BlendCoverageStep(uint32_t* dst, const uint8_t* coverage,
                                                             typename PixelLanes<kPixels>::Words factor,
                                                             uint16_t tint_alpha) {
  using Lanes = PixelLanes<kPixels>;
  using Words = typename Lanes::Words;
  using Bytes = typename Lanes::Bytes;
  // Widening and shifts (plain SSE2 has no byte shuffle).
  std::conditional_t<kPixels == 4, U8x4, U8x8> bytes;
  std::memcpy(&bytes, coverage, sizeof bytes);
  auto spread = __builtin_convertvector(bytes, typename Lanes::Texels);
  spread |= spread << 8;
  spread |= spread << 16;
  const Words alpha_lanes = Lanes::Repeat(kAlphaLanes);
  const Words k = __builtin_convertvector(reinterpret_cast<Bytes>(spread), Words);
  const Words s = kOpaque ? k : Div255(k * tint_alpha);
  // A layer's alpha lane gets s + dst × (1 − s).
  const Words weight = (k & ~alpha_lanes) | ((kPremultiplied ? Words{} + 255 : s) & alpha_lanes);
  const Words source = factor | (s & alpha_lanes);
  Bytes pixels;
  std::memcpy(&pixels, dst, sizeof pixels);
  const Words d = __builtin_convertvector(pixels, Words);
  pixels = __builtin_convertvector(Div255(weight * source + d * (255 - s)), Bytes);
  std::memcpy(dst, &pixels, sizeof pixels);
}

// Four pixels a step. Text leaves most of its box bare, so four pixels without ink are passed over.
template <bool kOpaque, bool kPremultiplied>
void BlendCoverageRow(uint32_t* dst, const uint8_t* coverage, int count, const Tint& tint) {
  auto step = [&tint](uint32_t* pixels, const uint8_t* bytes) {
    uint32_t word;
    std::memcpy(&word, bytes, sizeof word);
    if (word != 0) BlendCoverageStep<kOpaque, kPremultiplied, 4>(pixels, bytes, tint.factor, tint.alpha);
  };
  int i = 0;
  for (; i + 4 <= count; i += 4) step(dst + i, coverage + i);
  const int rest = count - i;
  if (rest == 0) return;
  uint32_t pixels[4] = {};
  uint8_t rest_coverage[4] = {};
  std::memcpy(pixels, dst + i, rest * sizeof(uint32_t));
  std::memcpy(rest_coverage, coverage + i, rest);
  step(pixels, rest_coverage);
  std::memcpy(dst + i, pixels, rest * sizeof(uint32_t));
}

#if defined(__x86_64__)
// Eight pixels a step, built for AVX2 and called only where the processor has it. Bare coverage is
// passed over 32 pixels at a time once a step finds none; full coverage in an opaque colour is the
// colour itself, as the blend gives it.
template <bool kOpaque, bool kPremultiplied>
__attribute__((target("avx2"))) void WideCoverageRow(uint32_t* dst, const uint8_t* coverage, int count,
                                                     const Tint& tint) {
  PixelLanes<8>::Words factor;
  std::memcpy(&factor, &tint.factor, sizeof tint.factor);
  std::memcpy(reinterpret_cast<char*>(&factor) + sizeof tint.factor, &tint.factor, sizeof tint.factor);
  const uint16_t tint_alpha = tint.alpha;
  const uint32_t solid = 0xFF000000u | uint32_t{tint.factor[2]} << 16 | uint32_t{tint.factor[1]} << 8 | tint.factor[0];
  int i = 0;
  while (i + 8 <= count) {
    uint64_t word;
    std::memcpy(&word, coverage + i, sizeof word);
    if (word == 0) {
      for (i += 8; i + 32 <= count; i += 32) {
        U64x4 bare;
        std::memcpy(&bare, coverage + i, sizeof bare);
        if ((bare[0] | bare[1] | bare[2] | bare[3]) != 0) break;
      }
      continue;
    }
    if (kOpaque && word == ~uint64_t{0}) {
      for (int k = 0; k < 8; ++k) dst[i + k] = solid;
    } else {
      BlendCoverageStep<kOpaque, kPremultiplied, 8>(dst + i, coverage + i, factor, tint_alpha);
    }
    i += 8;
  }
  const int rest = count - i;
  if (rest == 0) return;
  uint32_t pixels[8] = {};
  uint8_t rest_coverage[8] = {};
  std::memcpy(pixels, dst + i, rest * sizeof(uint32_t));
  std::memcpy(rest_coverage, coverage + i, rest);
  BlendCoverageStep<kOpaque, kPremultiplied, 8>(pixels, rest_coverage, factor, tint_alpha);
  std::memcpy(dst + i, pixels, rest * sizeof(uint32_t));
}
#endif

using CoverageKernel = void (*)(uint32_t* dst, const uint8_t* coverage, int count, const Tint& tint);

// The widest row the processor has, chosen once.
template <bool kOpaque, bool kPremultiplied>
CoverageKernel ChooseCoverageRow() {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return WideCoverageRow<kOpaque, kPremultiplied>;
#endif
  return BlendCoverageRow<kOpaque, kPremultiplied>;
}

template <bool kOpaque, bool kPremultiplied>
void BlendRows(Frame& target, const CoverageMask& mask, int64_t x, int64_t y, const PixelBox& clip,
               const Tint& tint) {
  // The clip in mask coordinates, worked out once; the rows below need no bounds checks.
  const PixelBox box = clip.Shifted(-x, -y).Intersect({0, 0, mask.width, mask.height});
  if (box.Empty()) return;
  static const CoverageKernel blend_row = ChooseCoverageRow<kOpaque, kPremultiplied>();
  for (int64_t row = box.top; row < box.bottom; ++row) {
    const CoverageMask::Span span = mask.spans[row];
    const int begin = static_cast<int>(std::max<int64_t>(span.begin, box.left));
    const int end = static_cast<int>(std::min<int64_t>(span.end, box.right));
    if (begin >= end) continue;
    uint32_t* dst = target.Span(static_cast<int>(y + row), static_cast<int>(x + begin), static_cast<int>(x + end));
    blend_row(dst, mask.Row(static_cast<int>(row)) + begin, end - begin, tint);
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

bool BlendCoverageRow(bool wide, uint32_t* dst, const uint8_t* coverage, int count, uint32_t argb, bool premultiplied) {
  const Tint tint = MakeTint(argb);
  const bool opaque = tint.alpha == 255;
  CoverageKernel row = premultiplied ? (opaque ? BlendCoverageRow<true, true> : BlendCoverageRow<false, true>)
                                     : (opaque ? BlendCoverageRow<true, false> : BlendCoverageRow<false, false>);
  if (wide) {
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx2")) return false;
    row = premultiplied ? (opaque ? WideCoverageRow<true, true> : WideCoverageRow<false, true>)
                        : (opaque ? WideCoverageRow<true, false> : WideCoverageRow<false, false>);
#else
    return false;
#endif
  }
  row(dst, coverage, count, tint);
  return true;
}

}  // namespace talmora
