#pragma once

#include <cstdint>
#include <cstring>

#include "platform/render/pixel_vectors.h"

namespace talmora {

// How a run of premultiplied texels lands on straight-alpha frame pixels. For a texel P and a
// colour C the source is S = P / P.a × C (straight), and every channel, alpha too, becomes
// S × S.a + D × (1 − S.a); with P premultiplied that is P × C.rgb × C.a + D × (1 − P.a × C.a).
// On a premultiplied surface (a layer) the alpha lane becomes S.a + D.a × (1 − S.a) instead, so
// that the layer composited back gives the colours its draws would have given.
enum class BlendMode {
  kCopy,    // opaque texels in white: the texel itself
  kOver,    // texels with alpha in white
  kTinted,  // any texels in any colour
};

// The colour as the kernels use it: premultiplied channel factors in the colour lanes of four
// pixels (bytes B, G, R; 0 in the alpha lanes) and the colour's alpha.
struct Tint {
  U16x16 factor;
  uint16_t alpha;
};

inline Tint MakeTint(uint32_t argb) {
  const uint32_t alpha = argb >> 24;
  auto scaled = [alpha](uint32_t channel) { return static_cast<uint16_t>(Div255(channel * alpha)); };
  const uint16_t b = scaled(argb & 0xFF), g = scaled((argb >> 8) & 0xFF), r = scaled((argb >> 16) & 0xFF);
  return Tint{U16x16{b, g, r, 0, b, g, r, 0, b, g, r, 0, b, g, r, 0}, static_cast<uint16_t>(alpha)};
}

// Four pixels in the vectors of SSE2, which every x86-64 has, or eight in those of AVX2.
template <int kPixels>
struct PixelLanes;
template <>
struct PixelLanes<4> {
  using Bytes = U8x16;
  using Words = U16x16;
  using Texels = U32x4;
  using Pairs = uint64_t __attribute__((vector_size(16)));
  __attribute__((always_inline)) static Words Repeat(U16x16 four) { return four; }
  __attribute__((always_inline)) static Bytes Reverse(Bytes v) { return ReversePixels(v); }
};
template <>
struct PixelLanes<8> {
  using Bytes = U8x32;
  using Words = U16x32;
  using Texels = U32x8;
  using Pairs = U64x4;
  __attribute__((always_inline)) static Words Repeat(U16x16 four) {
    return __builtin_shufflevector(four, four, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5,
                                   6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  }
  __attribute__((always_inline)) static Bytes Reverse(Bytes v) {
    const Texels words = reinterpret_cast<Texels>(v);
    return reinterpret_cast<Bytes>(__builtin_shufflevector(words, words, 7, 6, 5, 4, 3, 2, 1, 0));
  }
};

// Every lane stays within 16 bits because a premultiplied channel never exceeds its alpha: colour
// lanes get S·k + D·(255 − a) <= 255·255 + 127, and Div255 is exact there. Each pixel is worked
// out on its own, so four and eight at a time give the same bytes.
template <BlendMode kMode, bool kPremultiplied, int kPixels>
__attribute__((always_inline)) inline typename PixelLanes<kPixels>::Bytes BlendPixels(
    typename PixelLanes<kPixels>::Bytes source, typename PixelLanes<kPixels>::Bytes target,
    typename PixelLanes<kPixels>::Words factor, uint16_t tint_alpha) {
  using Lanes = PixelLanes<kPixels>;
  using Words = typename Lanes::Words;
  using Texels = typename Lanes::Texels;
  if constexpr (kMode == BlendMode::kCopy) {
    return source;
  } else {
    const Words kAlphaLanes = Lanes::Repeat(U16x16{0, 0, 0, 0xFFFF, 0, 0, 0, 0xFFFF, 0, 0, 0, 0xFFFF, 0, 0, 0, 0xFFFF});
    const Words kWhite = Lanes::Repeat(U16x16{255, 255, 255, 0, 255, 255, 255, 0, 255, 255, 255, 0, 255, 255, 255, 0});
    const Words kAlphaLanes255 = Lanes::Repeat(U16x16{0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255});
    // Each pixel's alpha in all four of its lanes, by shifts (plain SSE2 has no byte shuffle).
    Texels spread = reinterpret_cast<Texels>(source) >> 24;
    spread |= spread << 8;
    spread |= spread << 16;
    const Words alpha = __builtin_convertvector(reinterpret_cast<typename Lanes::Bytes>(spread), Words);
    const Words s = __builtin_convertvector(source, Words);
    const Words d = __builtin_convertvector(target, Words);
    Words out;
    if constexpr (kMode == BlendMode::kOver) {
      // Colour lanes S·255, the alpha lane a·a, both plus D·(255 − a).
      const Words weight = kPremultiplied ? kWhite | kAlphaLanes255 : (alpha & kAlphaLanes) | kWhite;
      out = Div255(s * weight + d * (255 - alpha));
    } else {
      const Words a = Div255(alpha * tint_alpha);
      const Words sv = (s & ~kAlphaLanes) | (a & kAlphaLanes);
      const Words kv = factor | (kPremultiplied ? kAlphaLanes255 : a & kAlphaLanes);
      out = Div255(sv * kv + d * (255 - a));
    }
    return __builtin_convertvector(out, typename Lanes::Bytes);
  }
}

// The row `kPixels` pixels a step, the last few through a small buffer: no branch per pixel.
// With kSkip a step whose texels are all 0 leaves its pixels alone, as blending them would; and
// over, a step of opaque texels is copied, as blending them gives the texels themselves.
template <BlendMode kMode, bool kReverse, bool kPremultiplied, int kPixels, bool kSkip>
__attribute__((always_inline)) inline void BlendRowSteps(uint32_t* dst, const uint32_t* src, int count,
                                                         const Tint& tint) {
  using Lanes = PixelLanes<kPixels>;
  using Bytes = typename Lanes::Bytes;
  // Copies, which the stores to `dst` cannot change: the colour stays in registers.
  typename Lanes::Words factor;
  for (size_t k = 0; k < sizeof factor; k += sizeof tint.factor) {
    std::memcpy(reinterpret_cast<char*>(&factor) + k, &tint.factor, sizeof tint.factor);
  }
  const uint16_t tint_alpha = tint.alpha;
  // Loads and stores by memcpy in place: a lambda would be a function of its own, built without AVX2.
  int i = 0;
  for (; i + kPixels <= count; i += kPixels) {
    Bytes source, target;
    std::memcpy(&source, kReverse ? src - i - (kPixels - 1) : src + i, sizeof source);
    if constexpr (kReverse) source = Lanes::Reverse(source);
    if constexpr (kSkip && kMode != BlendMode::kCopy) {
      const auto pairs = reinterpret_cast<typename Lanes::Pairs>(source);
      uint64_t any = 0, all = ~uint64_t{0};
      for (int k = 0; k < kPixels / 2; ++k) any |= pairs[k], all &= pairs[k];
      if (any == 0) continue;
      if (kMode == BlendMode::kOver && (all & 0xFF000000FF000000) == 0xFF000000FF000000) {
        std::memcpy(dst + i, &source, sizeof source);
        continue;
      }
    }
    std::memcpy(&target, dst + i, sizeof target);
    target = BlendPixels<kMode, kPremultiplied, kPixels>(source, target, factor, tint_alpha);
    std::memcpy(dst + i, &target, sizeof target);
  }
  const int rest = count - i;
  if (rest == 0) return;
  uint32_t source[kPixels] = {}, target[kPixels] = {};
  for (int j = 0; j < rest; ++j) {
    source[j] = kReverse ? src[-(i + j)] : src[i + j];
    target[j] = dst[i + j];
  }
  Bytes s, t;
  std::memcpy(&s, source, sizeof s);
  std::memcpy(&t, target, sizeof t);
  t = BlendPixels<kMode, kPremultiplied, kPixels>(s, t, factor, tint_alpha);
  std::memcpy(dst + i, &t, static_cast<size_t>(rest) * 4);
}

// A row kernel: `count` texels from `src` onto `dst` (leftwards from `src` when reversed).
using BlendRowFunction = void (*)(uint32_t* dst, const uint32_t* src, int count, const Tint& tint);

// The kernel eight pixels a step in AVX2, skipping transparent steps; null where the processor
// has no AVX2.
BlendRowFunction WideBlendRow(BlendMode mode, bool reverse, bool premultiplied);

// Blends `count` texels onto `dst`. With kReverse the texels are read leftwards from `src`
// (a mirrored picture). The widest kernel the processor has, chosen once.
template <BlendMode kMode, bool kReverse, bool kPremultiplied = false>
void BlendRow(uint32_t* dst, const uint32_t* src, int count, const Tint& tint) {
  if constexpr (kMode == BlendMode::kCopy && !kReverse) {
    std::memcpy(dst, src, static_cast<size_t>(count) * 4);
  } else {
    static const BlendRowFunction wide = WideBlendRow(kMode, kReverse, kPremultiplied);
    if (wide) {
      wide(dst, src, count, tint);
    } else {
      BlendRowSteps<kMode, kReverse, kPremultiplied, 4, false>(dst, src, count, tint);
    }
  }
}

}  // namespace talmora
