#include "video/text.h"

#include <algorithm>

#include "platform/console/reporter.h"
#include "platform/render/affine_draw.h"
#include "platform/render/canvas.h"
#include "platform/text/font.h"
#include "platform/text/text_format.h"
#include "script/conversions.h"
#include "script/number_text.h"

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
    if (word == kAlignWords[1]) format |= DT_CENTER;
    else if (word == kAlignWords[2]) format |= DT_RIGHT;
  }
  if (ReadText(attributes, "valign", word)) {
    if (word == kVAlignWords[1]) format |= DT_VCENTER;
    else if (word == kVAlignWords[2]) format |= DT_BOTTOM;
  }
  bool flag = false;
  if (ReadFlag(attributes, "singleline", flag) && flag) format |= DT_SINGLELINE;
  flag = false;
  if (ReadFlag(attributes, "wordbreak", flag) && flag) format |= DT_WORDBREAK;
  ReadStyle(attributes);
}

void Text::ReadStyle(AttributeMap& attributes) {
  ReadPair(attributes, "outline", outline);
  ReadPair(attributes, "shadowx", shadowx);
  ReadPair(attributes, "shadowy", shadowy);
  ReadPair(attributes, "shadowblur", shadowblur);
  ReadPair(attributes, "boxpadding", boxpadding);
  ReadPair(attributes, "boxradius", boxradius);
  ReadColour(attributes, "outlinecolor", outlinecolor);
  ReadColour(attributes, "shadowcolor", shadowcolor);
  ReadColour(attributes, "boxcolor", boxcolor);
  std::string word;
  if (!ReadText(attributes, "box", word)) return;
  if (word == kBoxWords[2]) {
    box = TextBoxing::kBlock;
  } else if (std::find(std::begin(kBoxWords), std::end(kBoxWords), word) != std::end(kBoxWords)) {
    box = ParseFlag(word).value_or(false) ? TextBoxing::kLines : TextBoxing::kNone;
  }
}

void Text::SetEase(const Ease& ease) {
  VideoObject::SetEase(ease);
  for (Track* track : {&outline, &shadowx, &shadowy, &shadowblur, &boxpadding, &boxradius}) track->SetEase(ease);
}

TextStyle Text::StyleAt(double time, uint32_t argb) const {
  const double scale = Scale();
  TextStyle style;
  style.colour = argb | 0xFF000000;
  style.outline = ValueAt(outline, time) * scale;
  style.outline_colour = outlinecolor;
  style.shadow_x = ValueAt(shadowx, time) * scale;
  style.shadow_y = ValueAt(shadowy, time) * scale;
  style.shadow_blur = ValueAt(shadowblur, time) * scale;
  style.shadow_colour = shadowcolor;
  style.box = box;
  style.box_colour = boxcolor;
  style.box_padding = ValueAt(boxpadding, time) * scale;
  style.box_radius = ValueAt(boxradius, time) * scale;
  return style;
}

namespace {

struct Typeface : VideoObject::Resources {
  std::unique_ptr<Font> font;
  // Draws the sung words: each font keeps the mask of its last state, so a word's turn lays out
  // each part once.
  std::unique_ptr<Font> sung;
};

}  // namespace

std::unique_ptr<VideoObject::Resources> Text::Prepare(Reporter& reporter) const {
  auto made = Font::Create(FontRequest{fontsize, weight, italic, face, Scale()});
  reporter.Line(made ? sentence : "Text::Draw() : フォントインタフェースの作成に失敗しました");
  if (!made) {
    context_.outcome.NoteFailed();
    return nullptr;
  }
  auto typeface = std::make_unique<Typeface>();
  typeface->font = std::move(*made);
  if (!sung.empty()) {
    if (auto second = Font::Create(FontRequest{fontsize, weight, italic, face, Scale()})) typeface->sung = std::move(*second);
  }
  return typeface;
}

void Text::Draw(Canvas& canvas, double time, Resources* resources) const {
  if (!resources) return;
  Font& font = *static_cast<Typeface*>(resources)->font;
  Rect rect;
  uint32_t argb = 0;
  Interpolate(time, rect, argb);
  const double turn = AngleAt(time);
  const auto draw = [&](Font& with, uint32_t colour, InkRange ink) {
    if (IsTurned(turn)) {
      with.DrawTurnedText(canvas.Target(), sentence, rect, format, colour, turn, ink);
    } else {
      with.DrawText(canvas.Target(), sentence, rect, format, colour, ink);
    }
  };
  Font* sung_font = static_cast<Typeface*>(resources)->sung.get();
  const size_t split = sung_font ? std::min(SungBytes(time), sentence.size()) : 0;
  const auto draw_sung = [&] {
    const uint32_t alpha = ((sung_argb >> 24) * (argb >> 24) + 127) / 255;
    draw(*sung_font, alpha << 24 | (sung_argb & 0xFFFFFF), InkRange{0, split});
  };
  if (const TextStyle style = StyleAt(time, argb); !style.Plain()) {
    // The style is painted whole; the words sung so far take their colour over its glyphs, and
    // their own outline colour over its outline.
    font.DrawStyledText(canvas.Target(), sentence, rect, format, argb, IsTurned(turn) ? turn : 0, style);
    if (split == 0) return;
    if (!sung_outline_argb || !style.HasOutline()) {
      draw_sung();
      return;
    }
    TextStyle sung_style;
    sung_style.colour = sung_argb;
    sung_style.outline = style.outline;
    sung_style.outline_colour = *sung_outline_argb;
    const uint32_t alpha = ((sung_argb >> 24) * (argb >> 24) + 127) / 255;
    sung_font->DrawStyledText(canvas.Target(), sentence, rect, format, alpha << 24 | 0xFFFFFF,
                              IsTurned(turn) ? turn : 0, sung_style, InkRange{0, split});
    return;
  }
  if (split < sentence.size() || sentence.empty()) draw(font, argb, InkRange{split, SIZE_MAX});
  if (split > 0) draw_sung();
}

size_t Text::SungBytes(double time) const {
  const auto past = std::upper_bound(sung.begin(), sung.end(), time,
                                     [](double t, const SungMark& mark) { return t < mark.time; });
  return past == sung.begin() ? 0 : std::prev(past)->byte;
}

}  // namespace talmora
