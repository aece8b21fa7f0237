#pragma once

// A drawn object for tests only: it fills its interpolated rectangle with its interpolated
// colour through the device's sprite, and notes the time of every draw.

#include <memory>
#include <string>
#include <vector>

#include "platform/render/sprite.h"
#include "platform/render/texture.h"
#include "video/device.h"
#include "video/video_object.h"

namespace talmora::testing {

class FillObject : public VideoObject {
 public:
  // Opaque by default; `colour` is 0xAARRGGBB and stays the same over the window.
  FillObject(ScriptContext& context, double start_time, double end_time, Rect rect, double depth, uint32_t colour,
             std::vector<std::string>* draw_log = nullptr, std::string label = {})
      : VideoObject(context), log_(draw_log), label_(std::move(label)) {
    start = start_time;
    end = end_time;
    x = xend = rect.left;
    y = yend = rect.top;
    width = widthend = rect.right - rect.left;
    height = heightend = rect.bottom - rect.top;
    z = zend = depth;
    a = aend = (colour >> 24) / 255.0;
    r = rend = (colour >> 16 & 0xff) / 255.0;
    g = gend = (colour >> 8 & 0xff) / 255.0;
    b = bend = (colour & 0xff) / 255.0;
    TexelPlane white(1, 1);
    white.Row(0)[0] = 0xFFFFFFFF;
    white_ = Texture::FromStraightAlpha(std::move(white));
  }

  void Draw(double time) override {
    draws.push_back(time);
    if (log_) log_->push_back(label_);
    Rect rect;
    uint32_t argb = 0;
    Interpolate(time, rect, argb);
    Sprite* sprite = context_.device ? context_.device->GetSprite() : nullptr;
    if (!sprite || !white_ || rect.right <= rect.left || rect.bottom <= rect.top) return;
    sprite->SetTransform(static_cast<float>(rect.right - rect.left), static_cast<float>(rect.bottom - rect.top),
                         static_cast<float>(rect.left), static_cast<float>(rect.top));
    sprite->Draw(*white_, argb);
  }

  std::vector<double> draws;

 private:
  std::vector<std::string>* log_;
  std::string label_;
  std::unique_ptr<Texture> white_;
};

}  // namespace talmora::testing
