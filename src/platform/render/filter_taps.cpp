#include "platform/render/filter_taps.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace talmora {

namespace {

// The texels output i's box touches, [first, last], the ends standing for everything beyond.
struct Reach {
  double lo, hi;
  int first, last;
};

Reach ReachOf(int i, double start, double step, double box, int source_size) {
  // Beyond one box of the ends every sample is the edge texel; clamping here keeps the
  // arithmetic small and finite for far-off coordinates.
  const double centre = std::clamp((start + i) * step, -box, source_size + box);
  const double lo = centre - box / 2;
  const double hi = centre + box / 2;
  const double end = source_size - 1;
  return {lo, hi, static_cast<int>(std::clamp(std::floor(lo), 0.0, end)),
          static_cast<int>(std::clamp(std::ceil(hi) - 1, 0.0, end))};
}

}  // namespace

std::unique_ptr<FilterTaps> FilterTaps::Create(int count, double start, double step, int source_size) {
  if (count <= 0 || source_size <= 0 || !std::isfinite(start) || !std::isfinite(step)) return nullptr;
  const double box = std::max(1.0, std::fabs(step));
  // As many taps as the widest reach: two for any enlargement, two for exact halving.
  int taps = 1;
  for (int i = 0; i < count; ++i) {
    const Reach reach = ReachOf(i, start, step, box, source_size);
    taps = std::max(taps, reach.last - reach.first + 1);
  }

  std::unique_ptr<FilterTaps> result(new (std::nothrow) FilterTaps);
  if (!result) return nullptr;
  result->first_.reset(new (std::nothrow) int[count]);
  result->weights_.reset(new (std::nothrow) float[static_cast<size_t>(count) * taps]());
  if (!result->first_ || !result->weights_) return nullptr;
  result->count_ = count;
  result->taps_ = taps;

  const int last = source_size - 1;
  int lowest = last;
  int highest = 0;
  for (int i = 0; i < count; ++i) {
    const Reach reach = ReachOf(i, start, step, box, source_size);
    const int first = std::min(reach.first, source_size - taps);
    float* weights = result->weights_.get() + static_cast<size_t>(i) * taps;
    for (int k = reach.first; k <= reach.last; ++k) {
      // The edge texels also stand for everything beyond them.
      const double left = k == 0 ? reach.lo : std::max<double>(reach.lo, k);
      const double right = k == last ? reach.hi : std::min<double>(reach.hi, k + 1);
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
