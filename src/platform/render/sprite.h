#pragma once

#include <cstdint>

#include "platform/render/draw_target.h"

namespace talmora {

class Texture;

// Draws textures onto a surface, each texel multiplied by an ARGB colour and blended source-alpha
// over what is there, inside the surface's clip.
class Sprite {
 public:
  // Scale about the origin, then translate: texel (u, v) lands on (u * sx + tx, v * sy + ty).
  void SetTransform(float sx, float sy, float tx, float ty) {
    sx_ = sx; sy_ = sy; tx_ = tx; ty_ = ty;
  }
  // False when it could not draw at all (no memory for a resampled copy).
  bool Draw(const Surface& target, const Texture& texture, uint32_t argb);
  // Whether Draw would set every pixel of the target's clip to the texture's own, whatever was
  // there: opaque texels in white over the whole clip.
  bool Replaces(const Surface& target, const Texture& texture, uint32_t argb) const;

 private:
  float sx_ = 1, sy_ = 1, tx_ = 0, ty_ = 0;
};

}  // namespace talmora
