#pragma once

#include <memory>
#include <string>

#include "video/video_object.h"

namespace talmora {

class Texture;

// A picture file stretched onto the interpolated rectangle, tinted and faded by the colour.
class Image : public VideoObject {
 public:
  explicit Image(ScriptContext& context);
  ~Image() override;

  void ReadProperties(AttributeMap& attributes) override;
  // The first call loads the picture and prints `src`, or the failure line; a picture that
  // failed is not tried again, so the line is printed once and later frames stay quiet.
  void Draw(Canvas& canvas, double time) override;

  std::string src;

 private:
  void LoadTexture();

  bool load_tried_ = false;
  std::shared_ptr<const Texture> texture_;
};

}  // namespace talmora
