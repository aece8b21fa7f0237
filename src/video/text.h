#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "script/subtitles.h"
#include "video/video_object.h"

namespace talmora {

// The face a text asks for without "face"; the check knows it needs no installed family.
inline constexpr std::string_view kDefaultFace = "ＭＳ ゴシック";
// The alignment words, the first the default; the reader ignores any other without a word.
inline constexpr std::string_view kAlignWords[] = {"left", "center", "right"};
inline constexpr std::string_view kVAlignWords[] = {"top", "middle", "bottom"};

// Text laid out in the interpolated rectangle, in the interpolated colour.
class Text : public VideoObject {
 public:
  explicit Text(ScriptContext& context);
  ~Text() override;

  void ReadProperties(AttributeMap& attributes) override;
  // Makes the font and prints the sentence, or the failure line.
  std::unique_ptr<Resources> Prepare(Reporter& reporter) const override;
  void Draw(Canvas& canvas, double time, Resources* resources) const override;

  std::string sentence;
  int32_t fontsize = 0;
  int32_t weight = 0;
  bool italic = false;
  std::string face{kDefaultFace};
  uint32_t format = 0;  // DrawText format bits (platform/text/text_format.h)
  // Words already sung: from each mark's time on, the sentence up to its byte is drawn in
  // `sung_argb`, whose alpha the text's own multiplies. Ascending times.
  std::vector<SungMark> sung;
  uint32_t sung_argb = 0;

  // How many bytes of the sentence are sung at `time`.
  size_t SungBytes(double time) const;
};

// Every "%n" becomes a line feed, then every "%t" a tab ("%%n" gives "%" and a line feed).
std::string ReplaceEscapes(std::string sentence);

}  // namespace talmora
