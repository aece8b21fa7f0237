#include "platform/movie/bgra_to_yuv420.h"

#include <algorithm>
#include <cstddef>

extern "C" {
#include <libavutil/frame.h>
}

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace talmora {

namespace {

// Weights of R, G and B in 1/65536 for each plane, and the luma offset.
struct Matrix {
  int32_t y[3], cb[3], cr[3];
  int32_t y_offset;
};

constexpr Matrix kFull{{19595, 38470, 7471}, {-11058, -21710, 32768}, {32768, -27439, -5329}, 0};
constexpr Matrix kLimited{{16829, 33039, 6416}, {-9714, -19070, 28784}, {28784, -24103, -4681}, 16};

// The scalar rows do whatever the vector ones leave: all of a row without SSE2, else its tail.
void LumaRow(const uint8_t* __restrict source, uint8_t* __restrict luma, int from, int width, const Matrix& m) {
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
               uint8_t* __restrict cr, int from, int width, const Matrix& m) {
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

#if defined(__SSE2__)
// SSE2 is in every x86-64, and the vectoriser alone made a frame over twice as slow. The sums
// are the scalar ones exactly: pmaddwd takes 16-bit weights, so a weight of 32768 or more goes in
// as weight − 65536 and the channel times 65536 is added back.
struct Weights {
  __m128i madd;      // B, G, R, A weights for two pixels (or blocks), each below 32768
  int32_t carry[3];  // 1 where the R, G or B weight was taken 65536 down
};

Weights Split(const int32_t (&w)[3]) {
  int16_t low[3];
  Weights split{};
  for (int i = 0; i < 3; ++i) {
    split.carry[i] = w[i] >= 32768;
    low[i] = static_cast<int16_t>(w[i] - 65536 * split.carry[i]);
  }
  // w is in R, G, B order; memory holds B, G, R, A.
  split.madd = _mm_setr_epi16(low[2], low[1], low[0], 0, low[2], low[1], low[0], 0);
  return split;
}

// Weighted sums of four pixels, or 2 × 2 blocks, given as 16-bit B, G, R, A: two in `lo`, two in
// `hi`. The sums come out in 32-bit lanes, in order.
inline __m128i WeightedSums(__m128i lo, __m128i hi, const Weights& w) {
  const auto even = [](__m128i p, __m128i q) {
    return _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(p), _mm_castsi128_ps(q), _MM_SHUFFLE(2, 0, 2, 0)));
  };
  const auto odd = [](__m128i p, __m128i q) {
    return _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(p), _mm_castsi128_ps(q), _MM_SHUFFLE(3, 1, 3, 1)));
  };
  const __m128i a = _mm_madd_epi16(lo, w.madd), b = _mm_madd_epi16(hi, w.madd);
  __m128i sums = _mm_add_epi32(even(a, b), odd(a, b));
  if (w.carry[0] | w.carry[1] | w.carry[2]) {
    const __m128i bg = even(lo, hi), ra = odd(lo, hi);  // B | G << 16 and R | A << 16 in each lane
    const __m128i low_half = _mm_set1_epi32(0xffff);
    if (w.carry[2]) sums = _mm_add_epi32(sums, _mm_slli_epi32(_mm_and_si128(bg, low_half), 16));
    if (w.carry[1]) sums = _mm_add_epi32(sums, _mm_andnot_si128(low_half, bg));
    if (w.carry[0]) sums = _mm_add_epi32(sums, _mm_slli_epi32(_mm_and_si128(ra, low_half), 16));
  }
  return sums;
}

// Sixteen lanes of (sum + offset) >> shift, clamped to bytes.
template <int kShift>
inline __m128i Bytes(__m128i s0, __m128i s1, __m128i s2, __m128i s3, __m128i offset) {
  const auto scaled = [&](__m128i v) { return _mm_srai_epi32(_mm_add_epi32(v, offset), kShift); };
  return _mm_packus_epi16(_mm_packs_epi32(scaled(s0), scaled(s1)), _mm_packs_epi32(scaled(s2), scaled(s3)));
}

// Luma of the row's first pixels, sixteen at a time; returns how many it did.
int LumaRowSse2(const uint8_t* __restrict source, uint8_t* __restrict luma, int width, const Matrix& m) {
  const Weights w = Split(m.y);
  const __m128i zero = _mm_setzero_si128(), offset = _mm_set1_epi32((m.y_offset << 16) + (1 << 15));
  int x = 0;
  for (; x + 16 <= width; x += 16) {
    __m128i sums[4];
    for (int i = 0; i < 4; ++i) {
      const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * (x + 4 * i)));
      sums[i] = WeightedSums(_mm_unpacklo_epi8(pixels, zero), _mm_unpackhi_epi8(pixels, zero), w);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(luma + x), Bytes<16>(sums[0], sums[1], sums[2], sums[3], offset));
  }
  return x;
}

// Chroma of the row pair's first blocks, sixteen at a time; returns how many it did.
int ChromaRowSse2(const uint8_t* __restrict upper, const uint8_t* __restrict lower, uint8_t* __restrict cb,
                  uint8_t* __restrict cr, int width, const Matrix& m) {
  const Weights wb = Split(m.cb), wr = Split(m.cr);
  const __m128i zero = _mm_setzero_si128(), offset = _mm_set1_epi32((128 << 18) + (1 << 17));
  // Two blocks of four pixels, summed, from four pixels of each row.
  const auto blocks = [&](int pixel) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(upper + 4 * pixel));
    const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lower + 4 * pixel));
    const __m128i left = _mm_add_epi16(_mm_unpacklo_epi8(p, zero), _mm_unpacklo_epi8(q, zero));
    const __m128i right = _mm_add_epi16(_mm_unpackhi_epi8(p, zero), _mm_unpackhi_epi8(q, zero));
    return _mm_unpacklo_epi64(_mm_add_epi16(left, _mm_srli_si128(left, 8)),
                              _mm_add_epi16(right, _mm_srli_si128(right, 8)));
  };
  int x = 0;
  for (; 2 * (x + 16) <= width; x += 16) {
    __m128i b[8];
    for (int i = 0; i < 8; ++i) b[i] = blocks(2 * x + 4 * i);
    const __m128i blue = Bytes<18>(WeightedSums(b[0], b[1], wb), WeightedSums(b[2], b[3], wb),
                                   WeightedSums(b[4], b[5], wb), WeightedSums(b[6], b[7], wb), offset);
    const __m128i red = Bytes<18>(WeightedSums(b[0], b[1], wr), WeightedSums(b[2], b[3], wr),
                                  WeightedSums(b[4], b[5], wr), WeightedSums(b[6], b[7], wr), offset);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cb + x), blue);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cr + x), red);
  }
  return x;
}
#endif

uint8_t* Row(AVFrame& picture, int plane, int y) {
  return picture.data[plane] + static_cast<ptrdiff_t>(y) * picture.linesize[plane];
}

}  // namespace

void BgraToYuv420(const uint8_t* top_row, int stride, YuvRange range, AVFrame& picture) {
  BgraToYuv420(top_row, stride, range, picture, 0, picture.height);
}

void BgraToYuv420(const uint8_t* top_row, int stride, YuvRange range, AVFrame& picture, int first_row,
                  int end_row) {
  const Matrix& m = range == YuvRange::kFull ? kFull : kLimited;
  end_row = std::min(end_row, picture.height);
  for (int y = first_row & ~1; y < end_row; y += 2) {
    const uint8_t* upper = top_row + static_cast<ptrdiff_t>(y) * stride;
    const bool paired = y + 1 < picture.height;  // else the last row stands for its pair
    const uint8_t* lower = paired ? upper + stride : upper;
    const int width = picture.width;
    uint8_t* cb = Row(picture, 1, y / 2);
    uint8_t* cr = Row(picture, 2, y / 2);
#if defined(__SSE2__)
    LumaRow(upper, Row(picture, 0, y), LumaRowSse2(upper, Row(picture, 0, y), width, m), width, m);
    if (paired) LumaRow(lower, Row(picture, 0, y + 1), LumaRowSse2(lower, Row(picture, 0, y + 1), width, m), width, m);
    ChromaRow(upper, lower, cb, cr, ChromaRowSse2(upper, lower, cb, cr, width, m), width, m);
#else
    LumaRow(upper, Row(picture, 0, y), 0, width, m);
    if (paired) LumaRow(lower, Row(picture, 0, y + 1), 0, width, m);
    ChromaRow(upper, lower, cb, cr, 0, width, m);
#endif
  }
}

}  // namespace talmora
