#include "platform/render/sprite.h"

#include <algorithm>
#include <cmath>

#include "platform/render/blend_row.h"
#include "platform/render/filter_taps.h"
#include "platform/render/level_choice.h"
#include "platform/render/resampler.h"
#include "platform/render/texture.h"

namespace talmora {
namespace {

// Destination pixels [begin, end) of one axis.
struct Span {
  int begin = 0;
  int end = 0;
  bool Empty() const { return begin >= end; }
};

// The pixels whose centres lie inside the texture's image on one axis, edge (offset + 0) included
// and far edge excluded whichever way the scale points, within [first, limit).
Span CoveredSpan(double offset, double scale, int texels, int first, int limit) {
  const double a = offset;
  const double b = offset + scale * texels;
  const double lo = std::min(a, b) - 0.5;
  const double hi = std::max(a, b) - 0.5;
  if (!(hi > lo) || !std::isfinite(lo) || !std::isfinite(hi)) return {};
  return {static_cast<int>(std::clamp(std::ceil(lo), static_cast<double>(first), static_cast<double>(limit))),
          static_cast<int>(std::clamp(std::ceil(hi), static_cast<double>(first), static_cast<double>(limit)))};
}

// Runs the kernel chosen once per draw over every covered row; `rows(y)` gives the texel that
// lands on the row's first covered pixel.
template <BlendMode kMode, bool kReverse, bool kPremultiplied, typename Rows>
void BlendRows(Frame& frame, Span columns, Span rows, const Tint& tint, Rows&& source) {
  const int count = columns.end - columns.begin;
  for (int y = rows.begin; y < rows.end; ++y) {
    BlendRow<kMode, kReverse, kPremultiplied>(frame.Span(y, columns.begin, columns.end, kMode == BlendMode::kCopy),
                                              source(y), count, tint);
  }
}

template <bool kReverse, bool kPremultiplied, typename Rows>
void CompositeRows(Frame& frame, Span columns, Span rows, uint32_t argb, bool opaque, Rows&& source) {
  const Tint tint = MakeTint(argb);
  if (argb != 0xFFFFFFFF) {
    BlendRows<BlendMode::kTinted, kReverse, kPremultiplied>(frame, columns, rows, tint, source);
  } else if (opaque) {
    BlendRows<BlendMode::kCopy, kReverse, kPremultiplied>(frame, columns, rows, tint, source);
  } else {
    BlendRows<BlendMode::kOver, kReverse, kPremultiplied>(frame, columns, rows, tint, source);
  }
}

// Chooses the kernel for the colour, the texels and the surface.
template <bool kReverse, typename Rows>
void Composite(const Surface& target, Span columns, Span rows, uint32_t argb, bool opaque, Rows&& source) {
  if (target.premultiplied) {
    CompositeRows<kReverse, true>(*target.frame, columns, rows, argb, opaque, source);
  } else {
    CompositeRows<kReverse, false>(*target.frame, columns, rows, argb, opaque, source);
  }
}

}  // namespace

bool Sprite::Replaces(const Surface& target, const Texture& texture, uint32_t argb) const {
  if (argb != 0xFFFFFFFF || !texture.Opaque() || target.Empty()) return false;
  if (!std::isfinite(sx_) || !std::isfinite(sy_) || !std::isfinite(tx_) || !std::isfinite(ty_)) return false;
  const Span columns = CoveredSpan(tx_, sx_, texture.Width(), target.clip.left, target.clip.right);
  const Span rows = CoveredSpan(ty_, sy_, texture.Height(), target.clip.top, target.clip.bottom);
  return columns.begin == target.clip.left && columns.end == target.clip.right && rows.begin == target.clip.top &&
         rows.end == target.clip.bottom;
}

bool Sprite::Draw(const Surface& target, const Texture& texture, uint32_t argb) {
  if ((argb >> 24) == 0 || target.Empty()) return true;
  if (!std::isfinite(sx_) || !std::isfinite(sy_) || !std::isfinite(tx_) || !std::isfinite(ty_)) return true;
  const Span columns = CoveredSpan(tx_, sx_, texture.Width(), target.clip.left, target.clip.right);
  const Span rows = CoveredSpan(ty_, sy_, texture.Height(), target.clip.top, target.clip.bottom);
  if (columns.Empty() || rows.Empty()) return true;

  // Whole-pixel placement at scale ±1 puts each texel centre on a pixel centre: no filtering.
  if (std::fabs(sx_) == 1 && std::fabs(sy_) == 1 && std::floor(tx_) == tx_ && std::floor(ty_) == ty_) {
    // The span is not empty, so the offsets are within a texture's size of the clip.
    const int tx = static_cast<int>(tx_);
    const int ty = static_cast<int>(ty_);
    const TexelPlane& plane = texture.Level(0);
    const int column = sx_ > 0 ? columns.begin - tx : tx - 1 - columns.begin;
    auto source = [&](int y) { return plane.Row(sy_ > 0 ? y - ty : ty - 1 - y) + column; };
    if (sx_ > 0) {
      Composite<false>(target, columns, rows, argb, texture.Opaque(), source);
    } else {
      Composite<true>(target, columns, rows, argb, texture.Opaque(), source);
    }
    return true;
  }

  const int level = ChooseLevel(texture, 1.0 / std::fabs(sx_), 1.0 / std::fabs(sy_));
  const TexelPlane& plane = texture.Level(level);
  // Level texels per level-0 texel. Pixel i of the block samples the level at (start + i) × step.
  const double ratio_x = static_cast<double>(plane.Width()) / texture.Width();
  const double ratio_y = static_cast<double>(plane.Height()) / texture.Height();
  ResampleKey key;
  key.level = level;
  key.start_x = columns.begin + 0.5 - tx_;
  key.step_x = ratio_x / sx_;
  key.start_y = rows.begin + 0.5 - ty_;
  key.step_y = ratio_y / sy_;
  key.width = columns.end - columns.begin;
  key.height = rows.end - rows.begin;
  const TexelPlane* block = texture.Resampled().Get(key, [&](TexelPlane& out) {
    auto column_taps = FilterTaps::Create(key.width, key.start_x, key.step_x, plane.Width());
    auto row_taps = FilterTaps::Create(key.height, key.start_y, key.step_y, plane.Height());
    if (!column_taps || !row_taps) return false;
    Resampler resampler(plane, *column_taps, *row_taps);
    if (!resampler.Valid()) return false;
    for (int j = 0; j < key.height; ++j) resampler.Row(j, out.Row(j));
    return true;
  });
  if (!block) return false;
  auto source = [&](int y) { return block->Row(y - rows.begin); };
  Composite<false>(target, columns, rows, argb, texture.Opaque(), source);
  return true;
}

}  // namespace talmora
