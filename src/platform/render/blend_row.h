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

// Four pixels. Every lane stays within 16 bits because a premultiplied channel never exceeds its
// alpha: colour lanes get S·k + D·(255 − a) <= 255·255 + 127, and Div255 is exact there.
template <BlendMode kMode, bool kPremultiplied = false>
inline U8x16 Blend4(U8x16 source, U8x16 target, const Tint& tint) {
  if constexpr (kMode == BlendMode::kCopy) {
    return source;
  } else {
    constexpr U16x16 kAlphaLanes = {0, 0, 0, 0xFFFF, 0, 0, 0, 0xFFFF, 0, 0, 0, 0xFFFF, 0, 0, 0, 0xFFFF};
    constexpr U16x16 kWhite = {255, 255, 255, 0, 255, 255, 255, 0, 255, 255, 255, 0, 255, 255, 255, 0};
    constexpr U16x16 kAlphaLanes255 = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    const U16x16 s = __builtin_convertvector(source, U16x16);
    const U16x16 d = __builtin_convertvector(target, U16x16);
    U16x16 out;
    if constexpr (kMode == BlendMode::kOver) {
      // Colour lanes S·255, the alpha lane a·a, both plus D·(255 − a).
      const U16x16 a = __builtin_convertvector(SpreadAlpha(source), U16x16);
      const U16x16 weight = kPremultiplied ? kWhite | kAlphaLanes255 : (a & kAlphaLanes) | kWhite;
      out = Div255(s * weight + d * (255 - a));
    } else {
      const U16x16 a = Div255(__builtin_convertvector(SpreadAlpha(source), U16x16) * tint.alpha);
      const U16x16 sv = (s & ~kAlphaLanes) | (a & kAlphaLanes);
      const U16x16 kv = tint.factor | (kPremultiplied ? kAlphaLanes255 : a & kAlphaLanes);
      out = Div255(sv * kv + d * (255 - a));
    }
    return __builtin_convertvector(out, U8x16);
  }
}

// Blends `count` texels onto `dst`. With kReverse the texels are read leftwards from `src`
// (a mirrored picture). Four pixels a step, the last few through a small buffer: no branch per
// pixel.
template <BlendMode kMode, bool kReverse, bool kPremultiplied = false>
void BlendRow(uint32_t* dst, const uint32_t* src, int count, const Tint& tint) {
  if constexpr (kMode == BlendMode::kCopy && !kReverse) {
    std::memcpy(dst, src, static_cast<size_t>(count) * 4);
    return;
  }
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    const U8x16 source = kReverse ? ReversePixels(Load4(src - i - 3)) : Load4(src + i);
    Store4(dst + i, Blend4<kMode, kPremultiplied>(source, Load4(dst + i), tint));
  }
  const int rest = count - i;
  if (rest == 0) return;
  uint32_t source[4] = {}, target[4] = {};
  for (int j = 0; j < rest; ++j) {
    source[j] = kReverse ? src[-(i + j)] : src[i + j];
    target[j] = dst[i + j];
  }
  Store4(target, Blend4<kMode, kPremultiplied>(Load4(source), Load4(target), tint));
  std::memcpy(dst + i, target, static_cast<size_t>(rest) * 4);
}

}  // namespace talmora
