#pragma once

#include <functional>

#include "platform/render/texel_plane.h"

namespace talmora {

// Where a resampled block samples its source: the level, and per axis the source coordinate of
// the first pixel's centre (before the step is applied), the step and the pixel count.
struct ResampleKey {
  int level = -1;
  double start_x = 0, step_x = 0, start_y = 0, step_y = 0;
  int width = 0, height = 0;
  bool operator==(const ResampleKey&) const = default;
};

// A picture as last resampled for drawing. A picture that keeps its size and moves by whole
// pixels, or only fades, samples the same positions every frame: those frames reuse the block.
class ResampledCopy {
 public:
  // The block for `key`, made with `fill` (which returns false on failure) unless the block
  // held is already for `key`. Null when it cannot be made.
  const TexelPlane* Get(const ResampleKey& key, const std::function<bool(TexelPlane&)>& fill);
  // The picture changed: the block held no longer shows it.
  void Forget() { key_ = ResampleKey(); }

 private:
  ResampleKey key_;
  TexelPlane block_;
};

}  // namespace talmora
