#pragma once

#include <cstdint>
#include <cstring>

namespace talmora {

// Fixed-width vectors of the compiler (GCC and Clang), so the pixel loops are vector code on any
// target without per-architecture intrinsics. A 0xAARRGGBB word is the bytes B, G, R, A.
using U8x16 = uint8_t __attribute__((vector_size(16)));
using U16x16 = uint16_t __attribute__((vector_size(32)));
using U32x4 = uint32_t __attribute__((vector_size(16)));
using U8x32 = uint8_t __attribute__((vector_size(32)));
using U16x32 = uint16_t __attribute__((vector_size(64)));
using U32x8 = uint32_t __attribute__((vector_size(32)));
using U64x4 = uint64_t __attribute__((vector_size(32)));
using F32x4 = float __attribute__((vector_size(16)));
using F32x16 = float __attribute__((vector_size(64)));
using I32x16 = int32_t __attribute__((vector_size(64)));

// Four pixels, unaligned.
inline U8x16 Load4(const uint32_t* p) {
  U8x16 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void Store4(uint32_t* p, U8x16 v) { std::memcpy(p, &v, sizeof v); }

// Channels as floats and back. Conversions go one width step at a time (bytes, 16-bit, 32-bit),
// which the compiler turns into a few unpack and pack instructions; a direct byte-to-float
// conversion becomes one scalar conversion per lane.
__attribute__((always_inline)) inline F32x16 ToFloats(U8x16 bytes) {
  return __builtin_convertvector(__builtin_convertvector(__builtin_convertvector(bytes, U16x16), I32x16),
                                 F32x16);
}
// Rounded to nearest. Values must lie in 0..255.5, which weighted averages of bytes do.
__attribute__((always_inline)) inline U8x16 ToBytes(F32x16 channels) {
  const I32x16 rounded = __builtin_convertvector(channels + 0.5f, I32x16);
  return __builtin_convertvector(__builtin_convertvector(rounded, U16x16), U8x16);
}
inline F32x4 ToFloats(uint32_t texel) {
  return F32x4{static_cast<float>(texel & 0xFF), static_cast<float>((texel >> 8) & 0xFF),
               static_cast<float>((texel >> 16) & 0xFF), static_cast<float>(texel >> 24)};
}

// x / 255 rounded to nearest, for a number or every lane of a vector; exact for x <= 65279.
// Always inlined, as are all that take or give vectors wider than SSE2's: a function built for
// AVX2 passes those in registers where one built without it looks for them in memory.
template <typename T>
__attribute__((always_inline)) inline T Div255(T x) {
  const T biased = x + 128;
  return (biased + (biased >> 8)) >> 8;
}

// Four pixels in reverse order: a shuffle of whole words, one instruction even on plain SSE2.
inline U8x16 ReversePixels(U8x16 v) {
  const U32x4 words = reinterpret_cast<U32x4>(v);
  return reinterpret_cast<U8x16>(__builtin_shufflevector(words, words, 3, 2, 1, 0));
}

}  // namespace talmora
