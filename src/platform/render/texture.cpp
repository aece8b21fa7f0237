#include "platform/render/texture.h"

#include <algorithm>

#include "platform/render/filter_taps.h"
#include "platform/render/pixel_vectors.h"
#include "platform/render/resampler.h"

namespace talmora {
namespace {

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

// Level k is about size / 2^k, down to 1 × 1.
int CountLevels(int width, int height) {
  int count = 1;
  for (; width > 1 || height > 1; ++count) {
    width = std::max(1, width / 2);
    height = std::max(1, height / 2);
  }
  return count;
}

}  // namespace

std::unique_ptr<Texture> Texture::FromStraightAlpha(TexelPlane pixels) {
  if (!pixels.Valid()) return nullptr;
  std::unique_ptr<Texture> texture(new Texture);
  texture->opaque_ = Premultiply(pixels);
  texture->level_count_ = CountLevels(pixels.Width(), pixels.Height());
  texture->levels_.reserve(static_cast<size_t>(texture->level_count_));
  texture->levels_.push_back(std::move(pixels));
  return texture;
}

std::unique_ptr<Texture> Texture::FromPremultiplied(TexelPlane pixels) {
  if (!pixels.Valid()) return nullptr;
  uint32_t all_alpha = 0xFF;
  for (int y = 0; y < pixels.Height() && all_alpha == 0xFF; ++y) {
    const uint32_t* row = pixels.Row(y);
    for (int x = 0; x < pixels.Width(); ++x) all_alpha &= row[x] >> 24;
  }
  std::unique_ptr<Texture> texture(new Texture);
  texture->opaque_ = all_alpha == 0xFF;
  texture->level_count_ = CountLevels(pixels.Width(), pixels.Height());
  texture->levels_.reserve(static_cast<size_t>(texture->level_count_));
  texture->levels_.push_back(std::move(pixels));
  return texture;
}

std::unique_ptr<Texture> Texture::Changing(int width, int height) {
  TexelPlane pixels(width, height);
  if (!pixels.Valid()) return nullptr;
  std::unique_ptr<Texture> texture(new Texture);
  texture->level_count_ = CountLevels(width, height);
  texture->levels_.reserve(static_cast<size_t>(texture->level_count_));
  texture->levels_.push_back(std::move(pixels));
  return texture;
}

void Texture::Changed(bool may_have_alpha) {
  opaque_ = may_have_alpha ? Premultiply(levels_[0]) : true;
  levels_.resize(1);
  resampled_.Forget();
}

void Texture::ChangedLater(Fill fill) {
  fill_ = std::move(fill);
  opaque_ = true;
  levels_.resize(1);
  resampled_.Forget();
}

void Texture::WriteLater() const {
  const Fill fill = std::move(fill_);
  fill_ = nullptr;
  TexelPlane& plane = levels_[0];
  fill(reinterpret_cast<uint8_t*>(plane.Row(0)), static_cast<int>(plane.Stride() * sizeof(uint32_t)));
}

void Texture::MakeLevels(int k) const {
  while (static_cast<int>(levels_.size()) <= std::min(k, level_count_ - 1)) {
    TexelPlane next = Halve(levels_.back());
    if (!next.Valid()) return;
    levels_.push_back(std::move(next));
  }
}

}  // namespace talmora
