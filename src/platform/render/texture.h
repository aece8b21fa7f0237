#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/render/resampled_copy.h"
#include "platform/render/texel_plane.h"

namespace talmora {

// A decoded picture at its own size, kept premultiplied with a chain of ever halved levels
// (each an area average of the one before) for drawing it shrunk. The levels are made when first
// asked for: a huge picture drawn at its own size never costs the third more they take.
class Texture {
 public:
  // Takes a plane of straight-alpha 0xAARRGGBB pixels and premultiplies it in place. Empty when
  // the plane is empty or the memory cannot be had.
  static std::unique_ptr<Texture> FromStraightAlpha(TexelPlane pixels);
  // Takes a plane already premultiplied, as a vector painter leaves it.
  static std::unique_ptr<Texture> FromPremultiplied(TexelPlane pixels);
  // A texture whose picture changes (a clip's frames): Pixels() is rewritten in place, then
  // Changed() is called; the levels are made only when a drawing asks for them.
  static std::unique_ptr<Texture> Changing(int width, int height);

  // Level 0 of a changing texture, to be filled with straight-alpha pixels.
  TexelPlane& Pixels() {
    fill_ = nullptr;
    return levels_[0];
  }
  // Premultiplies the new pixels when they may carry alpha, and forgets what was made from the
  // old ones.
  void Changed(bool may_have_alpha);
  // Writes an opaque picture of the texture's size into rows `stride` bytes apart from `top`.
  using Fill = std::function<bool(uint8_t* top, int stride)>;
  // The new picture, opaque, is written into level 0 by `fill` only when a drawing reads it: a
  // drawing that replaces a whole frame with it can have it written there instead.
  void ChangedLater(Fill fill);
  bool Later() const { return static_cast<bool>(fill_); }
  // The picture ChangedLater announced is not to be written: level 0 keeps what it holds.
  void CancelLater() { fill_ = nullptr; }
  // The picture still to be written, written into rows laid out as level 0's would be for this
  // width; the texture itself stays to be written.
  bool FillInto(uint8_t* top, int stride) const { return fill_ && fill_(top, stride); }

  int Width() const { return levels_[0].Width(); }
  int Height() const { return levels_[0].Height(); }
  // True when every texel has alpha 255.
  bool Opaque() const { return opaque_; }
  // Level 0 is the picture; level k is about Width() / 2^k by Height() / 2^k, down to 1 × 1.
  int LevelCount() const { return level_count_; }
  // Makes the missing levels up to k; when their memory cannot be had, the finest one made.
  const TexelPlane& Level(int k) const {
    if (fill_) WriteLater();
    if (k >= static_cast<int>(levels_.size())) MakeLevels(k);
    return levels_[std::min(k, static_cast<int>(levels_.size()) - 1)];
  }
  // The drawing's cache of the picture at the size it was last drawn.
  ResampledCopy& Resampled() const { return resampled_; }

 private:
  Texture() = default;
  void MakeLevels(int k) const;
  void WriteLater() const;

  // Reserved for every level up front, so a reference to one stays valid as more are made.
  mutable std::vector<TexelPlane> levels_;
  int level_count_ = 1;
  bool opaque_ = true;
  mutable ResampledCopy resampled_;
  mutable Fill fill_;  // the picture not yet written into level 0
};

}  // namespace talmora
