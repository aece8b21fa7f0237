#include "platform/text/font.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

#include "platform/text/blend_mask.h"
#include "platform/text/font_face.h"
#include "platform/text/text_rasterizer.h"

namespace talmora {
namespace {

constexpr int kDefaultCellHeight = 16;
// Em sizes are kept where FreeType, cairo and Pango's fixed-point units stay exact.
constexpr double kMinEm = 1;
constexpr double kMaxEm = 16384;
// Cell heights are converted to em heights by measuring the face at this size.
constexpr double kReferenceEm = 1024;

PangoWeight WeightFor(int weight) {
  if (weight <= 0) return PANGO_WEIGHT_NORMAL;
  return static_cast<PangoWeight>(std::clamp(weight, 100, 1000));
}

GObjectPtr<PangoContext> MakeContext() {
  GObjectPtr<PangoContext> context(pango_font_map_create_context(pango_cairo_font_map_get_default()));
  CairoFontOptionsPtr options(cairo_font_options_create());
  cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_ON);
  pango_cairo_context_set_font_options(context.get(), options.get());
  // Scripts are Japanese first: fallback glyphs and line breaking follow Japanese rules.
  pango_context_set_language(context.get(), pango_language_from_string("ja"));
  return context;
}

// Ascent + descent of the face, in pixels, at the description's size; 0 when no font loads.
double CellHeight(PangoContext* context, const PangoFontDescription* description) {
  GObjectPtr<PangoFont> font(pango_context_load_font(context, description));
  if (!font) return 0;
  PangoFontMetrics* metrics = pango_font_get_metrics(font.get(), nullptr);
  if (!metrics) return 0;
  const double height = static_cast<double>(pango_font_metrics_get_ascent(metrics)) +
                        pango_font_metrics_get_descent(metrics);
  pango_font_metrics_unref(metrics);
  return height / PANGO_SCALE;
}

void SetEm(PangoFontDescription* description, double em) {
  pango_font_description_set_absolute_size(description, std::round(em * PANGO_SCALE));
}

// The em height for the requested height, or 0 when the face cannot be measured.
double EmFor(int height, PangoContext* context, PangoFontDescription* description) {
  if (height < 0) return std::min(-static_cast<double>(height), kMaxEm);
  const double cell = height == 0 ? kDefaultCellHeight : height;
  SetEm(description, kReferenceEm);
  const double reference_cell = CellHeight(context, description);
  if (!(reference_cell > 0)) return 0;
  return std::clamp(cell * kReferenceEm / reference_cell, kMinEm, kMaxEm);
}

}  // namespace

Expected<std::unique_ptr<Font>> Font::Create(const FontRequest& request) {
  std::string family = ResolveFace(request.face);
  GObjectPtr<PangoContext> context = MakeContext();
  FontDescriptionPtr description(pango_font_description_new());
  if (!context || !description) return Error{"no layout context"};
  pango_font_description_set_family(description.get(), family.c_str());
  pango_font_description_set_weight(description.get(), WeightFor(request.weight));
  pango_font_description_set_style(description.get(), request.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);

  double em = EmFor(request.height, context.get(), description.get());
  if (em > 0 && request.scale != 1.0) em = std::clamp(em * request.scale, kMinEm, kMaxEm);
  if (em <= 0) return Error{"the face has no measurable size: " + family};
  SetEm(description.get(), em);
  GObjectPtr<PangoFont> font(pango_context_load_font(context.get(), description.get()));
  if (!font) return Error{"no font loads for " + family};
  return std::unique_ptr<Font>(new Font(std::move(context), std::move(description), std::move(family), em));
}

bool Font::Reusable(std::string_view sentence, const TextBox& box, const PixelBox& visible, InkRange ink) const {
  if (!layout_ || layout_->sentence != sentence || layout_->format != box.format || layout_->ink != ink) return false;
  if (layout_->wrap_width != box.WrapWidth()) return false;
  if (!layout_->text.window_bound) return true;
  const PixelBox& v = layout_->visible;
  return v.left == visible.left && v.top == visible.top && v.right == visible.right && v.bottom == visible.bottom;
}

int64_t Font::LaidOutHeight(std::string_view sentence, int64_t width, uint32_t format) const {
  const PixelBox box = LaidOutBox(context_.get(), description_.get(), sentence, TextBox{width, 1, format});
  return box.bottom - box.top;
}

void Font::DrawText(const DrawTarget& target, std::string_view sentence, const Rect& rect, uint32_t format,
                    uint32_t argb, InkRange ink) {
  const Affine& m = target.transform;
  constexpr double kFar = 1e12;  // shifts beyond it place nothing on any surface
  const bool shift = m.xx == 1 && m.yy == 1 && m.xy == 0 && m.yx == 0 && std::floor(m.x0) == m.x0 &&
                     std::floor(m.y0) == m.y0 && std::fabs(m.x0) < kFar && std::fabs(m.y0) < kFar;
  if (!shift) {
    DrawTurnedText(target, sentence, rect, format, argb, 0, ink);
    return;
  }
  argb = WithOpacity(argb, target.opacity);
  if ((argb >> 24) == 0) return;
  const PixelBox clip =
      PixelBox{rect.left, rect.top, rect.right, rect.bottom}.Shifted(static_cast<int64_t>(m.x0), static_cast<int64_t>(m.y0));
  const Rect& surface = target.surface.clip;
  const PixelBox visible = clip.Intersect({surface.left, surface.top, surface.right, surface.bottom});
  if (visible.Empty()) return;
  const TextBox box{clip.right - clip.left, clip.bottom - clip.top, format};
  const PixelBox in_box = visible.Shifted(-clip.left, -clip.top);

  if (!Reusable(sentence, box, in_box, ink)) {
    RasterizedText text = RasterizeText(context_.get(), description_.get(), sentence, box, in_box, ink);
    layout_ = Layout{std::string(sentence), format, box.WrapWidth(), ink, std::move(text), in_box};
    ++layout_count_;
  }
  const RasterizedText& text = layout_->text;
  const int64_t x = clip.left + text.OriginX(box) + text.mask.left;
  const int64_t y = clip.top + text.OriginY(box) + text.mask.top;
  BlendMask(target.surface, text.mask, x, y, argb, clip);
}

}  // namespace talmora
