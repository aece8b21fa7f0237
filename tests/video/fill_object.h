#pragma once

// A drawn object for tests only: within its time window it fills its rectangle with its colour
// through the device's sprite.

#include <memory>

#include "platform/render/sprite.h"
#include "platform/render/texture.h"
#include "video/device.h"
#include "video/video_object.h"

namespace talmora::testing {

class FillObject : public VideoObject {
 public:
  // `colour` is 0xAARRGGBB.
  FillObject(ScriptContext& context, double start_time, double end_time, Rect rect, double depth, uint32_t colour)
      : VideoObject(context), colour_(colour) {
    start = start_time, end = end_time;
    x = xend = rect.left, y = yend = rect.top;
    width = widthend = rect.right - rect.left, height = heightend = rect.bottom - rect.top;
    z = zend = depth;
    TexelPlane white(1, 1);
    white.Row(0)[0] = 0xFFFFFFFF;
    white_ = Texture::FromStraightAlpha(std::move(white));
  }

  void Draw(double time) override {
    Rect rect;
    uint32_t ignored = 0;
    Interpolate(time, rect, ignored);
    if (rect.right <= rect.left || rect.bottom <= rect.top) return;
    Sprite& sprite = *context_.device->GetSprite();
    sprite.SetTransform(rect.right - rect.left, rect.bottom - rect.top, rect.left, rect.top);
    sprite.Draw(*white_, colour_);
  }

 private:
  uint32_t colour_;
  std::unique_ptr<Texture> white_;
};

}  // namespace talmora::testing
