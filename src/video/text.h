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
  // DrawText format bits.
  static constexpr uint32_t kCenter = 0x1;
  static constexpr uint32_t kRight = 0x2;
  static constexpr uint32_t kVCenter = 0x4;
  static constexpr uint32_t kBottom = 0x8;
  static constexpr uint32_t kWordBreak = 0x10;
  static constexpr uint32_t kSingleLine = 0x20;

  explicit Text(ScriptContext& context);
  ~Text() override;

  void ReadProperties(AttributeMap& attributes) override;
  // The first call makes the font and prints the sentence, or the failure line; a font that
  // failed is not tried again, so the line is printed once and the text never shows.
  void Draw(double time) override;

  std::string sentence;
  int32_t fontsize = 0;
  int32_t weight = 0;
  bool italic = false;
  std::string face = "ＭＳ ゴシック";
  uint32_t format = 0;

 private:
  bool font_tried_ = false;
  std::unique_ptr<Font> font_;
};

// "%n" becomes a line feed, then "%t" a tab, each searched again from the start after a change.
std::string ReplaceEscapes(std::string sentence);

}  // namespace talmora
