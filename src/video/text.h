#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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
  bool DrawsSame(double earlier, double later, const Resources*) const override { return LooksSame(earlier, later); }

  std::string sentence;
  int32_t fontsize = 0;
  int32_t weight = 0;
  bool italic = false;
  std::string face{kDefaultFace};
  uint32_t format = 0;  // DrawText format bits (platform/text/text_format.h)
};

// Every "%n" becomes a line feed, then every "%t" a tab ("%%n" gives "%" and a line feed).
std::string ReplaceEscapes(std::string sentence);

}  // namespace talmora
