#pragma once

#include <cstdint>
#include <memory>

#include "platform/render/filter_taps.h"
#include "platform/render/pixel_vectors.h"
#include "platform/render/texel_plane.h"

namespace talmora {

// Filters a premultiplied plane through a column and a row filter, one output row at a time:
// first down the rows into a span of float texels, then across it. Premultiplied in,
// premultiplied out, so transparent texels never darken their neighbours.
class Resampler {
 public:
  // The filters' source sizes must be the plane's width and height.
  Resampler(const TexelPlane& source, const FilterTaps& columns, const FilterTaps& rows);

  // False when the scratch memory could not be had.
  bool Valid() const { return span_ != nullptr; }
  // Output row j, columns.Count() texels.
  void Row(int j, uint32_t* out);
  // The same by the row four texels a step that every x86-64 runs (`wide` false) or by the one
  // two texels to a vector of AVX2; false, and nothing written, where the processor has no AVX2.
  bool Row(bool wide, int j, uint32_t* out);

 private:
  const TexelPlane& source_;
  const FilterTaps& columns_;
  const FilterTaps& rows_;
  std::unique_ptr<F32x4[]> span_;  // one per source column the filters read
};

}  // namespace talmora
