#include "video/text.h"

#include <algorithm>

#include "platform/console/reporter.h"
#include "platform/render/affine_draw.h"
#include "platform/render/canvas.h"
#include "platform/text/font.h"
#include "platform/text/text_format.h"
#include "script/conversions.h"

namespace talmora {

Text::Text(ScriptContext& context) : VideoObject(context) {}

Text::~Text() = default;

std::string ReplaceEscapes(std::string sentence) {
  static constexpr std::pair<char, char> kEscapes[] = {{'n', '\n'}, {'t', '\t'}};
  // A replacement never forms a new sequence, so one left-to-right pass per row gives what
  // searching again from the start would, in linear time.
  for (const auto& [letter, replacement] : kEscapes) {
    size_t out = 0;
    for (size_t in = 0; in < sentence.size(); ++in, ++out) {
      if (sentence[in] == '%' && in + 1 < sentence.size() && sentence[in + 1] == letter) {
        sentence[out] = replacement;
        ++in;
      } else {
        sentence[out] = sentence[in];
      }
    }
    sentence.resize(out);
  }
  return sentence;
}

void Text::ReadProperties(AttributeMap& attributes) {
  VideoObject::ReadProperties(attributes);
  ReadInteger(attributes, "fontsize", fontsize);
  double number = 0.0;
  if (ReadNumber(attributes, "weight", number)) {
    weight = std::clamp(SaturateToInt32(number), 0, 1000);
  }
  ReadFlag(attributes, "italic", italic);
  ReadText(attributes, "face", face);
  if (ReadText(attributes, "sentence", sentence)) sentence = ReplaceEscapes(std::move(sentence));
  std::string word;
  if (ReadText(attributes, "align", word)) {
    if (word == "center") format |= DT_CENTER;
    else if (word == "right") format |= DT_RIGHT;
  }
  if (ReadText(attributes, "valign", word)) {
    if (word == "middle") format |= DT_VCENTER;
    else if (word == "bottom") format |= DT_BOTTOM;
  }
  bool flag = false;
  if (ReadFlag(attributes, "singleline", flag) && flag) format |= DT_SINGLELINE;
  flag = false;
  if (ReadFlag(attributes, "wordbreak", flag) && flag) format |= DT_WORDBREAK;
}

void Text::Draw(Canvas& canvas, double time, Reporter& reporter) {
  if (!font_tried_) {
    font_tried_ = true;
    if (auto made = Font::Create(FontRequest{fontsize, weight, italic, face, Scale()})) font_ = std::move(*made);
    reporter.Line(font_ ? sentence : "Text::Draw() : フォントインタフェースの作成に失敗しました");
    if (!font_) context_.outcome.NoteFailed();
  }
  if (!font_) return;
  Rect rect;
  uint32_t argb = 0;
  Interpolate(time, rect, argb);
  if (const double turn = AngleAt(time); IsTurned(turn)) {
    font_->DrawTurnedText(canvas.Pixels(), sentence, rect, format, argb, turn);
  } else {
    font_->DrawText(canvas.Pixels(), sentence, rect, format, argb);
  }
}

}  // namespace talmora
