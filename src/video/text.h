#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "video/video_object.h"

namespace talmora {

class Font;

// Text laid out in the interpolated rectangle, in the interpolated colour.
class Text : public VideoObject {
 public:
  explicit Text(ScriptContext& context);
  ~Text() override;

  void ReadProperties(AttributeMap& attributes) override;
  // The first call makes the font and prints the sentence, or the failure line; a font that
  // failed is not tried again, so the line is printed once and the text never shows.
  void Draw(Canvas& canvas, double time, Reporter& reporter) override;

  std::string sentence;
  int32_t fontsize = 0;
  int32_t weight = 0;
  bool italic = false;
  std::string face = "ＭＳ ゴシック";
  uint32_t format = 0;  // DrawText format bits (platform/text/text_format.h)

 private:
  bool font_tried_ = false;
  std::unique_ptr<Font> font_;
};

// Every "%n" becomes a line feed, then every "%t" a tab ("%%n" gives "%" and a line feed).
std::string ReplaceEscapes(std::string sentence);

}  // namespace talmora
