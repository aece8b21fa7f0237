#pragma once

#include <memory>

namespace talmora {

// One axis of a resampling: for each output sample, `Taps()` weights applied to consecutive
// source texels starting at `First(i)`. The filter is the source averaged over a box of at least
// one texel centred on the sample; a one-texel box is bilinear interpolation, a wider one is an
// area average, so shrinking does not alias. Texels past either end repeat the edge texel.
class FilterTaps {
 public:
  // Output i is centred at source coordinate `(start + i) * step`, texel k spanning [k, k + 1);
  // the box is max(1, |step|) texels wide. Computing each centre from its own index, not by
  // stepping, gives a pixel the same taps however the drawing around it is clipped.
  // Empty when a count or the source size is not positive, or the memory cannot be had.
  static std::unique_ptr<FilterTaps> Create(int count, double start, double step, int source_size);

  int Count() const { return count_; }
  int Taps() const { return taps_; }
  int First(int i) const { return first_[i]; }
  const float* Weights(int i) const { return weights_.get() + static_cast<size_t>(i) * taps_; }
  // The source texels any output reads: [Lowest(), Highest()].
  int Lowest() const { return lowest_; }
  int Highest() const { return highest_; }

 private:
  FilterTaps() = default;

  int count_ = 0;
  int taps_ = 0;
  int lowest_ = 0;
  int highest_ = 0;
  std::unique_ptr<int[]> first_;
  std::unique_ptr<float[]> weights_;
};

}  // namespace talmora
