#pragma once

// A drawn object for tests only: within its time window it fills its rectangle with its colour
// on the canvas.

#include <memory>

#include "platform/render/canvas.h"
#include "platform/render/texture.h"
#include "video/video_object.h"

namespace talmora::testing {

class FillObject : public VideoObject {
 public:
  // `colour` is 0xAARRGGBB.
  FillObject(ScriptContext& context, double start_time, double end_time, Rect rect, double depth, uint32_t colour)
      : VideoObject(context), colour_(colour) {
    start = start_time, end = end_time;
    x.SetFirst(rect.left), y.SetFirst(rect.top);
    width.SetFirst(rect.right - rect.left), height.SetFirst(rect.bottom - rect.top);
    z.SetFirst(depth);
    TexelPlane white(1, 1);
    white.Row(0)[0] = 0xFFFFFFFF;
    white_ = Texture::FromStraightAlpha(std::move(white));
  }

  bool DrawsSame(double earlier, double later, const Resources*) const override { return LooksSame(earlier, later); }
  void Draw(Canvas& canvas, double time, Resources*) const override {
    Rect rect;
    uint32_t ignored = 0;
    Interpolate(time, rect, ignored);
    if (rect.right <= rect.left || rect.bottom <= rect.top) return;
    canvas.DrawTexture(*white_, static_cast<float>(rect.right - rect.left), static_cast<float>(rect.bottom - rect.top),
                       static_cast<float>(rect.left), static_cast<float>(rect.top), colour_);
  }

 private:
  uint32_t colour_;
  std::unique_ptr<Texture> white_;
};

}  // namespace talmora::testing
