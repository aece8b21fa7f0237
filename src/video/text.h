#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text/text_style.h"
#include "script/subtitles.h"
#include "video/video_object.h"

namespace talmora {

// The face a text asks for without "face"; the check knows it needs no installed family.
inline constexpr std::string_view kDefaultFace = "ＭＳ ゴシック";
// The alignment words, the first the default; the reader ignores any other without a word.
inline constexpr std::string_view kAlignWords[] = {"left", "center", "right"};
inline constexpr std::string_view kVAlignWords[] = {"top", "middle", "bottom"};
// "box" is a flag, or "block" for one box around all the lines; the first the default. The reader
// ignores any other word without a word, as it does the alignment's.
inline constexpr std::string_view kBoxWords[] = {"no", "yes", "block", "true", "false", "1", "0"};

// Text laid out in the interpolated rectangle, in the interpolated colour.
class Text : public VideoObject {
 public:
  explicit Text(ScriptContext& context);
  ~Text() override;

  void ReadProperties(AttributeMap& attributes) override;
  // Makes the font and prints the sentence, or the failure line.
  std::unique_ptr<Resources> Prepare(Reporter& reporter) const override;
  void Draw(Canvas& canvas, double time, Resources* resources) const override;
  void SetEase(const Ease& ease) override;
  // Placed, coloured, styled and sung alike at both times.
  bool DrawsSame(double earlier, double later, const Resources*) const override {
    return LooksSame(earlier, later) && StyleAt(earlier, 0) == StyleAt(later, 0) &&
           SungBytes(earlier) == SungBytes(later);
  }

  // The style at `time`, in pixels of the movie as rendered, with the glyphs' colour.
  TextStyle StyleAt(double time, uint32_t argb) const;

  std::string sentence;
  int32_t fontsize = 0;
  int32_t weight = 0;
  bool italic = false;
  std::string face{kDefaultFace};
  uint32_t format = 0;  // DrawText format bits (platform/text/text_format.h)

  Track outline;
  Track shadowx, shadowy, shadowblur;
  Track boxpadding, boxradius;
  uint32_t outlinecolor = 0xFF000000;
  uint32_t shadowcolor = 0xFF000000;
  uint32_t boxcolor = 0x99000000;
  TextBoxing box = TextBoxing::kNone;

  // Words already sung: from each mark's time on, the sentence up to its byte is drawn in
  // `sung_argb`, whose alpha the text's own multiplies. Ascending times.
  std::vector<SungMark> sung;
  uint32_t sung_argb = 0;
  // The sung words' outline colour, when it differs from the text's.
  std::optional<uint32_t> sung_outline_argb;

  // How many bytes of the sentence are sung at `time`.
  size_t SungBytes(double time) const;

 private:
  void ReadStyle(AttributeMap& attributes);
};

// Every "%n" becomes a line feed, then every "%t" a tab ("%%n" gives "%" and a line feed).
std::string ReplaceEscapes(std::string sentence);

}  // namespace talmora
