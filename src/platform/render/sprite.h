#pragma once

#include <cstdint>

#include "platform/render/frame.h"

namespace talmora {

class Texture;

// Draws textures onto a target frame, each texel multiplied by an ARGB colour and blended
// source-alpha over what is there. Draws land on the target at once, in call order.
class Sprite {
 public:
  void Begin(Frame& target) { target_ = &target; }
  void End() { target_ = nullptr; }
  // The frame between Begin and End, for what paints it directly (text); null outside.
  Frame* Target() const { return target_; }
  // Scale about the origin, then translate: texel (u, v) lands on (u * sx + tx, v * sy + ty).
  void SetTransform(float sx, float sy, float tx, float ty) {
    sx_ = sx; sy_ = sy; tx_ = tx; ty_ = ty;
  }
  void Draw(const Texture& texture, uint32_t argb);

 private:
  Frame* target_ = nullptr;
  float sx_ = 1, sy_ = 1, tx_ = 0, ty_ = 0;
};

}  // namespace talmora
