#include "platform/render/filter_taps.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace talmora {

std::unique_ptr<FilterTaps> FilterTaps::Create(int count, double start, double step, int source_size) {
  if (count <= 0 || source_size <= 0 || !std::isfinite(start) || !std::isfinite(step)) return nullptr;
  const double box = std::max(1.0, std::fabs(step));
  // Bounded by the source size, so even an absurd box stays a finite, small table.
  const int taps = static_cast<int>(std::min<double>(source_size, std::ceil(box) + 1.0));

  std::unique_ptr<FilterTaps> result(new (std::nothrow) FilterTaps);
  if (!result) return nullptr;
  const size_t weight_count = static_cast<size_t>(count) * taps;
  result->first_.reset(new (std::nothrow) int[count]);
  result->weights_.reset(new (std::nothrow) float[weight_count]());
  if (!result->first_ || !result->weights_) return nullptr;
  result->count_ = count;
  result->taps_ = taps;

  const int last = source_size - 1;
  int lowest = last;
  int highest = 0;
  for (int i = 0; i < count; ++i) {
    // Beyond one box of the ends every sample is the edge texel; clamping here keeps the
    // arithmetic small and finite for far-off coordinates.
    const double centre = std::clamp((start + i) * step, -box, source_size + box);
    const double lo = centre - box / 2;
    const double hi = centre + box / 2;
    const int k_lo = static_cast<int>(std::clamp(std::floor(lo), 0.0, static_cast<double>(last)));
    const int k_hi = static_cast<int>(std::clamp(std::ceil(hi) - 1, 0.0, static_cast<double>(last)));
    const int first = std::min(k_lo, source_size - taps);
    float* weights = result->weights_.get() + static_cast<size_t>(i) * taps;
    for (int k = k_lo; k <= k_hi; ++k) {
      // The edge texels also stand for everything beyond them.
      const double left = k == 0 ? lo : std::max<double>(lo, k);
      const double right = k == last ? hi : std::min<double>(hi, k + 1);
      if (right > left) weights[k - first] += static_cast<float>((right - left) / box);
    }
    result->first_[i] = first;
    lowest = std::min(lowest, first);
    highest = std::max(highest, first + taps - 1);
  }
  result->lowest_ = lowest;
  result->highest_ = highest;
  return result;
}

}  // namespace talmora
