#include "platform/render/texture.h"

#include <algorithm>

#include "platform/render/filter_taps.h"
#include "platform/render/resampler.h"

namespace talmora {
namespace {

// x / 255 rounded to nearest, exact for 0 <= x <= 65279.
inline uint32_t Div255(uint32_t x) { return (x + 128 + ((x + 128) >> 8)) >> 8; }

// Premultiplies in place; returns whether every alpha is 255.
bool Premultiply(TexelPlane& plane) {
  uint32_t all_alpha = 0xFF;
  for (int y = 0; y < plane.Height(); ++y) {
    auto* bytes = reinterpret_cast<uint8_t*>(plane.Row(y));
    for (int x = 0; x < plane.Width(); ++x, bytes += 4) {
      const uint32_t a = bytes[3];
      all_alpha &= a;
      for (int c = 0; c < 3; ++c) bytes[c] = static_cast<uint8_t>(Div255(bytes[c] * a));
    }
  }
  return all_alpha == 0xFF;
}

// The next level: each side halved (rounding down, at least 1), each texel the area average of
// the texels it covers, which for odd sides means fractional ones.
TexelPlane Halve(const TexelPlane& source) {
  const int width = std::max(1, source.Width() / 2);
  const int height = std::max(1, source.Height() / 2);
  const double step_x = static_cast<double>(source.Width()) / width;
  const double step_y = static_cast<double>(source.Height()) / height;
  auto columns = FilterTaps::Create(width, 0.5, step_x, source.Width());
  auto rows = FilterTaps::Create(height, 0.5, step_y, source.Height());
  TexelPlane result(width, height);
  if (!columns || !rows || !result.Valid()) return TexelPlane();
  Resampler resampler(source, *columns, *rows);
  if (!resampler.Valid()) return TexelPlane();
  for (int y = 0; y < height; ++y) resampler.Row(y, result.Row(y));
  return result;
}

}  // namespace

std::unique_ptr<Texture> Texture::FromStraightAlpha(TexelPlane pixels) {
  if (!pixels.Valid()) return nullptr;
  std::unique_ptr<Texture> texture(new Texture);
  texture->opaque_ = Premultiply(pixels);
  for (int w = pixels.Width(), h = pixels.Height(); w > 1 || h > 1; w = std::max(1, w / 2), h = std::max(1, h / 2)) {
    ++texture->level_count_;
  }
  texture->levels_.reserve(static_cast<size_t>(texture->level_count_));
  texture->levels_.push_back(std::move(pixels));
  return texture;
}

const TexelPlane& Texture::Level(int k) const {
  while (static_cast<int>(levels_.size()) <= k) {
    TexelPlane next = Halve(levels_.back());
    if (!next.Valid()) return levels_.back();
    levels_.push_back(std::move(next));
  }
  return levels_[static_cast<size_t>(k)];
}

}  // namespace talmora
