#include "video/text.h"

#include <algorithm>

#include "platform/console/print_line.h"
#include "platform/render/sprite.h"
#include "platform/text/font.h"
#include "script/conversions.h"
#include "video/device.h"

namespace talmora {

Text::Text(ScriptContext& context) : VideoObject(context) {}

Text::~Text() = default;

std::string ReplaceEscapes(std::string sentence) {
  static constexpr std::pair<const char*, char> kEscapes[] = {{"%n", '\n'}, {"%t", '\t'}};
  for (const auto& [sequence, replacement] : kEscapes) {
    // From the start each time: "%%n" turns into "%" and a line feed.
    for (size_t at = sentence.find(sequence); at != std::string::npos; at = sentence.find(sequence)) {
      sentence.replace(at, 2, 1, replacement);
    }
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
    if (word == "center") format |= kCenter;
    else if (word == "right") format |= kRight;
  }
  if (ReadText(attributes, "valign", word)) {
    if (word == "middle") format |= kVCenter;
    else if (word == "bottom") format |= kBottom;
  }
  bool flag = false;
  if (ReadFlag(attributes, "singleline", flag) && flag) format |= kSingleLine;
  flag = false;
  if (ReadFlag(attributes, "wordbreak", flag) && flag) format |= kWordBreak;
}

void Text::Draw(double time) {
  if (!font_tried_) {
    font_tried_ = true;
    font_ = Font::Create(FontRequest{fontsize, weight, italic, face});
    PrintLine(font_ ? sentence : "Text::Draw() : フォントインタフェースの作成に失敗しました");
  }
  Sprite* sprite = context_.device ? context_.device->GetSprite() : nullptr;
  Frame* target = sprite ? sprite->Target() : nullptr;
  if (!font_ || !target) return;
  Rect rect;
  uint32_t argb = 0;
  Interpolate(time, rect, argb);
  font_->DrawText(*target, sentence, rect, format, argb);
}

}  // namespace talmora
