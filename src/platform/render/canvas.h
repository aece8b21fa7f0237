#pragma once

#include <cstdint>

#include "platform/render/affine_draw.h"
#include "platform/render/frame.h"
#include "platform/render/sprite.h"

namespace talmora {

class Texture;

// What a drawn object draws on: the frame being made, and the texture blits onto it. Draws land
// at once, in call order.
class Canvas {
 public:
  explicit Canvas(Frame& frame) : frame_(frame) {}

  // For what paints the pixels directly (text).
  Frame& Pixels() { return frame_; }
  // Texel (u, v) lands on (u * sx + tx, v * sy + ty), multiplied by `argb` and blended over.
  void DrawTexture(const Texture& texture, float sx, float sy, float tx, float ty, uint32_t argb) {
    sprite_.SetTransform(sx, sy, tx, ty);
    sprite_.Draw(frame_, texture, argb);
  }
  // The texture stretched onto `rect`, turned clockwise by `degrees` about its centre.
  void DrawTurnedTexture(const Texture& texture, const Rect& rect, double degrees, uint32_t argb) {
    DrawTurned(frame_, texture, rect, degrees, argb);
  }

 private:
  Frame& frame_;
  Sprite sprite_;
};

}  // namespace talmora
