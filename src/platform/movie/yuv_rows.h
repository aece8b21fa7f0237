#pragma once

// The 4:2:0 rows in SIMD, written once for any vector width `V` (see Sse2 and Avx2 below) and
// compiled in each width's own file, so that AVX2 code never reaches a machine without it. The
// sums are the scalar ones exactly: pmaddwd takes 16-bit weights, so a weight of 32768 or more
// goes in as weight − 65536 and the channel times 65536 is added back.

#include <cstdint>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace talmora {

// Weights of R, G and B in 1/65536 for each plane, and the luma offset.
struct YuvMatrix {
  int32_t y[3], cb[3], cr[3];
  int32_t y_offset;
};

// Each converts the first pixels (luma) or 2 × 2 blocks (chroma) of a row that its width takes
// whole, and returns how many; the caller does the rest.
using LumaRowFunction = int (*)(const uint8_t* source, uint8_t* luma, int width, const YuvMatrix& m);
using ChromaRowFunction = int (*)(const uint8_t* upper, const uint8_t* lower, uint8_t* cb, uint8_t* cr, int width,
                                  const YuvMatrix& m);
int LumaRowAvx2(const uint8_t* source, uint8_t* luma, int width, const YuvMatrix& m);
int ChromaRowAvx2(const uint8_t* upper, const uint8_t* lower, uint8_t* cb, uint8_t* cr, int width,
                  const YuvMatrix& m);

namespace {

#if defined(__SSE2__)
struct Sse2 {
  using V = __m128i;
  static constexpr int kBytes = 16;
  static V Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static V Zero() { return _mm_setzero_si128(); }
  static V Set32(int32_t v) { return _mm_set1_epi32(v); }
  static V Set16x4(int16_t a, int16_t b, int16_t c, int16_t d) { return _mm_setr_epi16(a, b, c, d, a, b, c, d); }
  static V Low8(V a, V b) { return _mm_unpacklo_epi8(a, b); }
  static V High8(V a, V b) { return _mm_unpackhi_epi8(a, b); }
  static V Low64(V a, V b) { return _mm_unpacklo_epi64(a, b); }
  static V Add16(V a, V b) { return _mm_add_epi16(a, b); }
  static V Add32(V a, V b) { return _mm_add_epi32(a, b); }
  static V Madd(V a, V b) { return _mm_madd_epi16(a, b); }
  static V And(V a, V b) { return _mm_and_si128(a, b); }
  static V AndNot(V a, V b) { return _mm_andnot_si128(a, b); }
  template <int kShift> static V ShiftLeft32(V a) { return _mm_slli_epi32(a, kShift); }
  template <int kShift> static V ShiftRight32(V a) { return _mm_srai_epi32(a, kShift); }
  static V HighHalfDown(V a) { return _mm_srli_si128(a, 8); }
  static V Even32(V a, V b) {
    return _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
  }
  static V Odd32(V a, V b) {
    return _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), _MM_SHUFFLE(3, 1, 3, 1)));
  }
  static V Packs32(V a, V b) { return _mm_packs_epi32(a, b); }
  static V PackUnsigned16(V a, V b) { return _mm_packus_epi16(a, b); }
  // One lane: the bytes are in order already.
  template <int kUnit> static void Store(uint8_t* p, V v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
};
#endif

#if defined(__AVX2__)
// Every step stays within its 128-bit lane, so each lane is an Sse2 row of its own: lane 1 holds
// the second `kUnit`-byte group of every pair, and Store interleaves the two back.
struct Avx2 {
  using V = __m256i;
  static constexpr int kBytes = 32;
  static V Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
  static V Zero() { return _mm256_setzero_si256(); }
  static V Set32(int32_t v) { return _mm256_set1_epi32(v); }
  static V Set16x4(int16_t a, int16_t b, int16_t c, int16_t d) {
    return _mm256_setr_epi16(a, b, c, d, a, b, c, d, a, b, c, d, a, b, c, d);
  }
  static V Low8(V a, V b) { return _mm256_unpacklo_epi8(a, b); }
  static V High8(V a, V b) { return _mm256_unpackhi_epi8(a, b); }
  static V Low64(V a, V b) { return _mm256_unpacklo_epi64(a, b); }
  static V Add16(V a, V b) { return _mm256_add_epi16(a, b); }
  static V Add32(V a, V b) { return _mm256_add_epi32(a, b); }
  static V Madd(V a, V b) { return _mm256_madd_epi16(a, b); }
  static V And(V a, V b) { return _mm256_and_si256(a, b); }
  static V AndNot(V a, V b) { return _mm256_andnot_si256(a, b); }
  template <int kShift> static V ShiftLeft32(V a) { return _mm256_slli_epi32(a, kShift); }
  template <int kShift> static V ShiftRight32(V a) { return _mm256_srai_epi32(a, kShift); }
  static V HighHalfDown(V a) { return _mm256_srli_si256(a, 8); }
  static V Even32(V a, V b) {
    return _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
  }
  static V Odd32(V a, V b) {
    return _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), _MM_SHUFFLE(3, 1, 3, 1)));
  }
  static V Packs32(V a, V b) { return _mm256_packs_epi32(a, b); }
  static V PackUnsigned16(V a, V b) { return _mm256_packus_epi16(a, b); }
  template <int kUnit> static void Store(uint8_t* p, V v) {
    const __m128i first = _mm256_castsi256_si128(v), second = _mm256_extracti128_si256(v, 1);
    __m128i low, high;
    if constexpr (kUnit == 2) {
      low = _mm_unpacklo_epi16(first, second);
      high = _mm_unpackhi_epi16(first, second);
    } else {
      low = _mm_unpacklo_epi32(first, second);
      high = _mm_unpackhi_epi32(first, second);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), high);
  }
};
#endif

template <class S>
struct Weights {
  typename S::V madd;  // B, G, R, A weights, each below 32768, repeated over the vector
  bool carry[3];       // where the R, G or B weight was taken 65536 down
};

template <class S>
Weights<S> Split(const int32_t (&w)[3]) {
  int16_t low[3];
  Weights<S> split{};
  for (int i = 0; i < 3; ++i) {
    split.carry[i] = w[i] >= 32768;
    low[i] = static_cast<int16_t>(w[i] - (split.carry[i] ? 65536 : 0));
  }
  // w is in R, G, B order; memory holds B, G, R, A.
  split.madd = S::Set16x4(low[2], low[1], low[0], 0);
  return split;
}

// Weighted sums of pixels or 2 × 2 blocks given as 16-bit B, G, R, A, two a lane in `lo` and two
// in `hi`: they come out in 32-bit lanes, lo's two, then hi's two.
template <class S>
inline typename S::V WeightedSums(typename S::V lo, typename S::V hi, const Weights<S>& w) {
  using V = typename S::V;
  const V a = S::Madd(lo, w.madd), b = S::Madd(hi, w.madd);
  V sums = S::Add32(S::Even32(a, b), S::Odd32(a, b));
  if (w.carry[0] || w.carry[1] || w.carry[2]) {
    const V bg = S::Even32(lo, hi), ra = S::Odd32(lo, hi);  // B | G << 16 and R | A << 16
    const V low_half = S::Set32(0xffff);
    if (w.carry[2]) sums = S::Add32(sums, S::template ShiftLeft32<16>(S::And(bg, low_half)));
    if (w.carry[1]) sums = S::Add32(sums, S::AndNot(low_half, bg));
    if (w.carry[0]) sums = S::Add32(sums, S::template ShiftLeft32<16>(S::And(ra, low_half)));
  }
  return sums;
}

// (sum + offset) >> shift for four vectors of sums, clamped to bytes.
template <class S, int kShift>
inline typename S::V Bytes(const typename S::V (&sums)[4], typename S::V offset) {
  const auto scaled = [&](typename S::V v) { return S::template ShiftRight32<kShift>(S::Add32(v, offset)); };
  return S::PackUnsigned16(S::Packs32(scaled(sums[0]), scaled(sums[1])), S::Packs32(scaled(sums[2]), scaled(sums[3])));
}

template <class S>
int LumaRows(const uint8_t* __restrict source, uint8_t* __restrict luma, int width, const YuvMatrix& m) {
  using V = typename S::V;
  constexpr int kPixels = S::kBytes / 4;  // a load's
  const Weights<S> w = Split<S>(m.y);
  const V zero = S::Zero(), offset = S::Set32((m.y_offset << 16) + (1 << 15));
  int x = 0;
  for (; x + 4 * kPixels <= width; x += 4 * kPixels) {
    V sums[4];
    for (int i = 0; i < 4; ++i) {
      const V pixels = S::Load(source + 4 * (x + kPixels * i));
      sums[i] = WeightedSums<S>(S::Low8(pixels, zero), S::High8(pixels, zero), w);
    }
    S::template Store<4>(luma + x, Bytes<S, 16>(sums, offset));
  }
  return x;
}

template <class S>
int ChromaRows(const uint8_t* __restrict upper, const uint8_t* __restrict lower, uint8_t* __restrict cb,
               uint8_t* __restrict cr, int width, const YuvMatrix& m) {
  using V = typename S::V;
  constexpr int kPixels = S::kBytes / 4;  // a load's, making kPixels / 2 blocks
  const Weights<S> wb = Split<S>(m.cb), wr = Split<S>(m.cr);
  const V zero = S::Zero(), offset = S::Set32((128 << 18) + (1 << 17));
  // The blocks of a load's pixels in both rows, summed: two a lane.
  const auto blocks = [&](int pixel) {
    const V p = S::Load(upper + 4 * pixel), q = S::Load(lower + 4 * pixel);
    const V left = S::Add16(S::Low8(p, zero), S::Low8(q, zero));
    const V right = S::Add16(S::High8(p, zero), S::High8(q, zero));
    return S::Low64(S::Add16(left, S::HighHalfDown(left)), S::Add16(right, S::HighHalfDown(right)));
  };
  int x = 0;
  for (; 2 * (x + 4 * kPixels) <= width; x += 4 * kPixels) {
    V b[8];
    for (int i = 0; i < 8; ++i) b[i] = blocks(2 * x + kPixels * i);
    V blue[4], red[4];
    for (int i = 0; i < 4; ++i) {
      blue[i] = WeightedSums<S>(b[2 * i], b[2 * i + 1], wb);
      red[i] = WeightedSums<S>(b[2 * i], b[2 * i + 1], wr);
    }
    S::template Store<2>(cb + x, Bytes<S, 18>(blue, offset));
    S::template Store<2>(cr + x, Bytes<S, 18>(red, offset));
  }
  return x;
}

}  // namespace
}  // namespace talmora
