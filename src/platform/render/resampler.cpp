#include "platform/render/resampler.h"

#include <cstring>
#include <new>

namespace talmora {

Resampler::Resampler(const TexelPlane& source, const FilterTaps& columns, const FilterTaps& rows)
    : source_(source), columns_(columns), rows_(rows) {
  span_.reset(new (std::nothrow) F32x4[columns.Highest() - columns.Lowest() + 1]);
}

// kTaps is the tap count when known at compile time (bilinear: 2), else 0 for any count.
// Four texels a step, so every step is whole vectors.
template <int kTaps>
void Resampler::Down(int j) {
  const int taps = kTaps ? kTaps : rows_.Taps();
  const float* weights = rows_.Weights(j);
  const uint32_t* first = source_.Row(rows_.First(j)) + columns_.Lowest();
  const size_t stride = source_.Stride();
  const int count = columns_.Highest() - columns_.Lowest() + 1;
  F32x4* span = span_.get();
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
F32x4 Resampler::Across(int i) const {
  const int taps = kTaps ? kTaps : columns_.Taps();
  const float* weights = columns_.Weights(i);
  const F32x4* texels = span_.get() + (columns_.First(i) - columns_.Lowest());
  F32x4 sum = weights[0] * texels[0];
  for (int t = 1; t < taps; ++t) sum += weights[t] * texels[t];
  return sum;
}

template <int kTaps>
void Resampler::Across(uint32_t* out) const {
  const int count = columns_.Count();
  F32x4 sums[4] = {};
  F32x16 block;
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    for (int q = 0; q < 4; ++q) sums[q] = Across<kTaps>(i + q);
    std::memcpy(&block, sums, sizeof block);
    Store4(out + i, ToBytes(block));
  }
  if (i == count) return;
  for (int q = 0; q < count - i; ++q) sums[q] = Across<kTaps>(i + q);
  std::memcpy(&block, sums, sizeof block);
  uint32_t rest[4];
  Store4(rest, ToBytes(block));
  std::memcpy(out + i, rest, static_cast<size_t>(count - i) * sizeof rest[0]);
}

void Resampler::Row(int j, uint32_t* out) {
  if (rows_.Taps() == 2) {
    Down<2>(j);
  } else {
    Down<0>(j);
  }
  if (columns_.Taps() == 2) {
    Across<2>(out);
  } else {
    Across<0>(out);
  }
}

}  // namespace talmora
