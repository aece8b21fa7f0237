#include "platform/render/resampler.h"

#include <cstring>
#include <new>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace talmora {
namespace {

// kTaps is the tap count when known at compile time (bilinear: 2), else 0 for any count.

// Down the rows into `span`: four texels a step, so every step is whole vectors.
template <int kTaps>
void Down(const TexelPlane& source, const FilterTaps& columns, const FilterTaps& rows, F32x4* span, int j) {
  const int taps = kTaps ? kTaps : rows.Taps();
  const float* weights = rows.Weights(j);
  const uint32_t* first = source.Row(rows.First(j)) + columns.Lowest();
  const size_t stride = source.Stride();
  const int count = columns.Highest() - columns.Lowest() + 1;
  int k = 0;
  for (; k + 4 <= count; k += 4) {
    F32x16 sum = weights[0] * ToFloats(Load4(first + k));
    for (int t = 1; t < taps; ++t) sum += weights[t] * ToFloats(Load4(first + t * stride + k));
    std::memcpy(span + k, &sum, sizeof sum);
  }
  for (; k < count; ++k) {
    F32x4 sum = weights[0] * ToFloats(first[k]);
    for (int t = 1; t < taps; ++t) sum += weights[t] * ToFloats(first[t * stride + k]);
    span[k] = sum;
  }
}

template <int kTaps>
inline F32x4 Across(const FilterTaps& columns, const F32x4* span, int i) {
  const int taps = kTaps ? kTaps : columns.Taps();
  const float* weights = columns.Weights(i);
  const F32x4* texels = span + (columns.First(i) - columns.Lowest());
  F32x4 sum = weights[0] * texels[0];
  for (int t = 1; t < taps; ++t) sum += weights[t] * texels[t];
  return sum;
}

template <int kTaps>
void Across(const FilterTaps& columns, const F32x4* span, uint32_t* out) {
  const int count = columns.Count();
  F32x4 sums[4] = {};
  F32x16 block;
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    for (int q = 0; q < 4; ++q) sums[q] = Across<kTaps>(columns, span, i + q);
    std::memcpy(&block, sums, sizeof block);
    Store4(out + i, ToBytes(block));
  }
  if (i == count) return;
  for (int q = 0; q < count - i; ++q) sums[q] = Across<kTaps>(columns, span, i + q);
  std::memcpy(&block, sums, sizeof block);
  uint32_t rest[4];
  Store4(rest, ToBytes(block));
  std::memcpy(out + i, rest, static_cast<size_t>(count - i) * sizeof rest[0]);
}

using RowFunction = void (*)(const TexelPlane& source, const FilterTaps& columns, const FilterTaps& rows, F32x4* span,
                             int j, uint32_t* out);

void NarrowRow(const TexelPlane& source, const FilterTaps& columns, const FilterTaps& rows, F32x4* span, int j,
               uint32_t* out) {
  if (rows.Taps() == 2) {
    Down<2>(source, columns, rows, span, j);
  } else {
    Down<0>(source, columns, rows, span, j);
  }
  if (columns.Taps() == 2) {
    Across<2>(columns, span, out);
  } else {
    Across<0>(columns, span, out);
  }
}

#if defined(__x86_64__)
// The same sums two texels to an AVX2 vector, every lane multiplied and added in the same order:
// AVX2 brings no fused multiply-add, so each rounds as in the narrow row. Written with the
// processor's own operations, as GCC turns eight-byte vectors into scalar code. Built for AVX2
// here and called only where the processor has it.
#define TALMORA_AVX2 __attribute__((target("avx2")))

TALMORA_AVX2 inline __m256 TwoToFloats(const uint32_t* texels) {
  return _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(texels))));
}

template <int kTaps>
TALMORA_AVX2 inline void DownInPairs(const TexelPlane& source, const FilterTaps& columns, const FilterTaps& rows,
                                     F32x4* span, int j) {
  const int taps = kTaps ? kTaps : rows.Taps();
  const float* weights = rows.Weights(j);
  const uint32_t* first = source.Row(rows.First(j)) + columns.Lowest();
  const size_t stride = source.Stride();
  const int count = columns.Highest() - columns.Lowest() + 1;
  int k = 0;
  for (; k + 2 <= count; k += 2) {
    __m256 sum = _mm256_mul_ps(_mm256_set1_ps(weights[0]), TwoToFloats(first + k));
    for (int t = 1; t < taps; ++t) {
      sum = _mm256_add_ps(sum, _mm256_mul_ps(_mm256_set1_ps(weights[t]), TwoToFloats(first + t * stride + k)));
    }
    _mm256_storeu_ps(reinterpret_cast<float*>(span + k), sum);
  }
  for (; k < count; ++k) {
    F32x4 sum = weights[0] * ToFloats(first[k]);
    for (int t = 1; t < taps; ++t) sum += weights[t] * ToFloats(first[t * stride + k]);
    span[k] = sum;
  }
}

template <int kTaps>
TALMORA_AVX2 inline void AcrossInPairs(const FilterTaps& columns, const F32x4* span, uint32_t* out) {
  const int count = columns.Count();
  const int taps = kTaps ? kTaps : columns.Taps();
  // The low byte of each 32-bit lane, as the narrow row's conversions keep it.
  const __m256i low_bytes = _mm256_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 4, 8, 12,
                                             -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m256i gather = _mm256_setr_epi32(0, 4, 0, 0, 0, 0, 0, 0);
  int i = 0;
  for (; i + 2 <= count; i += 2) {
    const float* w = columns.Weights(i);
    const float* v = columns.Weights(i + 1);
    const float* a = reinterpret_cast<const float*>(span + (columns.First(i) - columns.Lowest()));
    const float* b = reinterpret_cast<const float*>(span + (columns.First(i + 1) - columns.Lowest()));
    __m256 sum = _mm256_mul_ps(_mm256_setr_m128(_mm_set1_ps(w[0]), _mm_set1_ps(v[0])),
                               _mm256_setr_m128(_mm_loadu_ps(a), _mm_loadu_ps(b)));
    for (int t = 1; t < taps; ++t) {
      sum = _mm256_add_ps(sum, _mm256_mul_ps(_mm256_setr_m128(_mm_set1_ps(w[t]), _mm_set1_ps(v[t])),
                                             _mm256_setr_m128(_mm_loadu_ps(a + 4 * t), _mm_loadu_ps(b + 4 * t))));
    }
    const __m256i whole = _mm256_cvttps_epi32(_mm256_add_ps(sum, _mm256_set1_ps(0.5f)));
    const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(whole, low_bytes), gather);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm256_castsi256_si128(packed));
  }
  if (i == count) return;
  const F32x4 last = Across<kTaps>(columns, span, i);
  const U8x16 bytes = ToBytes(F32x16{last[0], last[1], last[2], last[3]});
  std::memcpy(out + i, &bytes, sizeof out[i]);
}

TALMORA_AVX2 void WideRow(const TexelPlane& source, const FilterTaps& columns, const FilterTaps& rows, F32x4* span,
                          int j, uint32_t* out) {
  if (rows.Taps() == 2) {
    DownInPairs<2>(source, columns, rows, span, j);
  } else {
    DownInPairs<0>(source, columns, rows, span, j);
  }
  if (columns.Taps() == 2) {
    AcrossInPairs<2>(columns, span, out);
  } else {
    AcrossInPairs<0>(columns, span, out);
  }
}
#undef TALMORA_AVX2
#endif

RowFunction ChooseRow() {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return WideRow;
#endif
  return NarrowRow;
}

}  // namespace

Resampler::Resampler(const TexelPlane& source, const FilterTaps& columns, const FilterTaps& rows)
    : source_(source), columns_(columns), rows_(rows) {
  span_.reset(new (std::nothrow) F32x4[columns.Highest() - columns.Lowest() + 1]);
}

void Resampler::Row(int j, uint32_t* out) {
  static const RowFunction row = ChooseRow();
  row(source_, columns_, rows_, span_.get(), j, out);
}

bool Resampler::Row(bool wide, int j, uint32_t* out) {
  RowFunction row = NarrowRow;
  if (wide && (row = ChooseRow()) == NarrowRow) return false;
  row(source_, columns_, rows_, span_.get(), j, out);
  return true;
}

}  // namespace talmora
