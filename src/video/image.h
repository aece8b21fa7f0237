#pragma once

#include <memory>
#include <string>

#include "video/video_object.h"

namespace talmora {

// A picture file stretched onto the interpolated rectangle, tinted and faded by the colour.
class Image : public VideoObject {
 public:
  explicit Image(ScriptContext& context);

  void ReadProperties(AttributeMap& attributes) override;
  void Draw(double time) override;

  std::string src;
};

}  // namespace talmora
