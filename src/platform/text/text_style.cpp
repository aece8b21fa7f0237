#include "platform/text/text_style.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/render/affine_draw.h"
#include "platform/render/sprite.h"
#include "platform/render/texture.h"
#include "platform/text/font.h"
#include "platform/text/painted_plane.h"
#include "platform/text/text_format.h"

namespace talmora {
namespace {

// A styled picture is kept whole; past this many pixels the text is drawn plainly.
constexpr double kMaxStyledPixels = 16.0 * 1024 * 1024;
constexpr double kMaxStyledSide = 16384;

// One box blur of half-width `k` along a line of `count` values `step` apart.
void BlurLine(uint8_t* line, int count, int step, int k, std::vector<uint32_t>& copy) {
  copy.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) copy[static_cast<size_t>(i)] = line[static_cast<ptrdiff_t>(i) * step];
  const uint32_t taps = static_cast<uint32_t>(2 * k + 1);
  uint32_t sum = 0;
  for (int i = 0; i <= std::min(k, count - 1); ++i) sum += copy[static_cast<size_t>(i)];
  for (int i = 0; i < count; ++i) {
    line[static_cast<ptrdiff_t>(i) * step] = static_cast<uint8_t>((sum + taps / 2) / taps);
    if (i + k + 1 < count) sum += copy[static_cast<size_t>(i + k + 1)];
    if (i - k >= 0) sum -= copy[static_cast<size_t>(i - k)];
  }
}

// The pixels the painting may reach, from the layout's origin.
struct Extent {
  double left = HUGE_VAL, top = HUGE_VAL, right = -HUGE_VAL, bottom = -HUGE_VAL;
  void Add(double l, double t, double r, double b) {
    left = std::min(left, l), top = std::min(top, t), right = std::max(right, r), bottom = std::max(bottom, b);
  }
};

// Each line's logical box, or the whole block's, in pixels from the origin.
std::vector<PangoRectangle> BoxedRects(PangoLayout* layout, TextBoxing boxing) {
  std::vector<PangoRectangle> rects;
  if (boxing == TextBoxing::kBlock) {
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    rects.push_back(logical);
    return rects;
  }
  PangoLayoutIter* iter = pango_layout_get_iter(layout);
  do {
    PangoRectangle logical;
    pango_layout_iter_get_line_extents(iter, nullptr, &logical);
    pango_extents_to_pixels(&logical, nullptr);
    if (logical.width > 0) rects.push_back(logical);
  } while (pango_layout_iter_next_line(iter));
  pango_layout_iter_free(iter);
  return rects;
}

// Adds the outlines of the glyphs whose text begins in [from, to) of the layout's text, where the
// whole layout places them: a blanked glyph keeps its place but has no path to stroke.
void RangePath(cairo_t* cairo, PangoLayout* layout, unsigned from, unsigned to) {
  PangoLayoutIter* iter = pango_layout_get_iter(layout);
  do {
    PangoLayoutRun* run = pango_layout_iter_get_run_readonly(iter);
    if (!run) continue;  // a line's end
    const auto offset = static_cast<unsigned>(run->item->offset);
    if (offset >= to || offset + static_cast<unsigned>(run->item->length) <= from) continue;
    PangoRectangle logical;
    pango_layout_iter_get_run_extents(iter, nullptr, &logical);
    PangoGlyphString* glyphs = pango_glyph_string_copy(run->glyphs);
    for (int i = 0; i < glyphs->num_glyphs; ++i) {
      const unsigned byte = offset + static_cast<unsigned>(glyphs->log_clusters[i]);
      if (byte < from || byte >= to) glyphs->glyphs[i].glyph = PANGO_GLYPH_EMPTY;
    }
    cairo_move_to(cairo, pango_units_to_double(logical.x), pango_units_to_double(pango_layout_iter_get_baseline(iter)));
    pango_cairo_glyph_string_path(cairo, run->item->analysis.font, glyphs);
    pango_glyph_string_free(glyphs);
  } while (pango_layout_iter_next_run(iter));
  pango_layout_iter_free(iter);
}

}  // namespace

void BlurCoverage(uint8_t* pixels, int width, int height, int stride, int radius) {
  if (radius <= 0 || width <= 0 || height <= 0) return;
  // Three passes come close to a gaussian; their half-widths add up to the radius.
  const int passes = std::min(radius, 3);
  std::vector<uint32_t> copy;
  for (int pass = 0; pass < passes; ++pass) {
    const int k = radius / passes + (pass < radius % passes ? 1 : 0);
    for (int y = 0; y < height; ++y) BlurLine(pixels + static_cast<ptrdiff_t>(y) * stride, width, 1, k, copy);
    for (int x = 0; x < width; ++x) BlurLine(pixels + x, height, stride, k, copy);
  }
}

StyledText PaintStyledText(PangoContext* context, const PangoFontDescription* font, std::string_view sentence,
                           const TextBox& box, const TextStyle& style, InkRange ink_range) {
  StyledText result;
  if (box.width <= 0 || box.height <= 0) return result;
  const bool single_line = box.format & DT_SINGLELINE;
  const std::string text = PrepareText(sentence, single_line);
  if (text.empty()) return result;
  GObjectPtr<PangoLayout> layout = MakeLayout(context, font, text, box);
  const bool part = !ink_range.Whole();
  const unsigned from = part ? PreparedIndex(sentence, single_line, ink_range.from) : 0;
  const unsigned to = part ? PreparedIndex(sentence, single_line, ink_range.to) : 0;
  if (part) BlankOutside(layout.get(), sentence, single_line, ink_range);
  const auto glyph_path = [&](cairo_t* on) {
    if (part) {
      RangePath(on, layout.get(), from, to);
    } else {
      pango_cairo_layout_path(on, layout.get());
    }
  };
  PangoRectangle ink, logical;
  pango_layout_get_pixel_extents(layout.get(), &ink, &logical);
  result.logical = {logical.x, logical.y, int64_t{logical.x} + logical.width, int64_t{logical.y} + logical.height};

  const double outline = style.HasOutline() ? style.outline : 0.0;
  const int blur = style.HasShadow() ? static_cast<int>(std::min(std::ceil(std::max(style.shadow_blur, 0.0)), 1024.0)) : 0;
  const std::vector<PangoRectangle> boxes =
      style.box == TextBoxing::kNone ? std::vector<PangoRectangle>{} : BoxedRects(layout.get(), style.box);
  Extent extent;
  const bool inked = ink.width > 0 && ink.height > 0;
  // A pixel of margin keeps anti-aliased edges whole.
  const double glyph_margin = outline + 1;
  if (inked) {
    extent.Add(ink.x - glyph_margin, ink.y - glyph_margin, ink.x + ink.width + glyph_margin,
               ink.y + ink.height + glyph_margin);
    if (style.HasShadow()) {
      extent.Add(ink.x - glyph_margin - blur + style.shadow_x, ink.y - glyph_margin - blur + style.shadow_y,
                 ink.x + ink.width + glyph_margin + blur + style.shadow_x,
                 ink.y + ink.height + glyph_margin + blur + style.shadow_y);
    }
  }
  const double padding = std::max(style.box_padding, 0.0);
  for (const PangoRectangle& r : boxes) {
    extent.Add(r.x - padding - 1, r.y - padding - 1, r.x + r.width + padding + 1, r.y + r.height + padding + 1);
  }
  if (!(extent.right > extent.left) || !(extent.bottom > extent.top)) return result;
  const double left = std::floor(extent.left), top = std::floor(extent.top);
  const double across = std::ceil(extent.right) - left, down = std::ceil(extent.bottom) - top;
  if (!(across <= kMaxStyledSide && down <= kMaxStyledSide && across * down <= kMaxStyledPixels)) {
    result.too_large = true;
    return result;
  }
  const int width = static_cast<int>(across), height = static_cast<int>(down);
  PaintedPlane painted(width, height);
  if (!painted.Valid()) return result;
  cairo_t* cairo = painted.cairo.get();
  cairo_translate(cairo, -left, -top);

  if (!boxes.empty()) {
    // One fill of every line's box: where they overlap the colour is laid once.
    for (const PangoRectangle& r : boxes) {
      RoundedRectPath(cairo, r.x - padding, r.y - padding, r.width + 2 * padding, r.height + 2 * padding,
                      style.box_radius);
    }
    SetSource(cairo, style.box_colour);
    cairo_fill(cairo);
  }
  const auto glyph_shape = [&](cairo_t* on, bool with_outline) {
    glyph_path(on);
    if (with_outline && outline > 0) {
      cairo_set_line_width(on, 2 * outline);
      cairo_set_line_join(on, CAIRO_LINE_JOIN_ROUND);
      cairo_stroke_preserve(on);
    }
    cairo_fill(on);
  };
  if (inked && style.HasShadow() && (style.shadow_colour >> 24) != 0) {
    CairoSurfacePtr shadow(cairo_image_surface_create(CAIRO_FORMAT_A8, width, height));
    CairoPtr on(cairo_create(shadow.get()));
    if (cairo_status(on.get()) == CAIRO_STATUS_SUCCESS) {
      cairo_translate(on.get(), -left + style.shadow_x, -top + style.shadow_y);
      glyph_shape(on.get(), true);
      cairo_surface_flush(shadow.get());
      BlurCoverage(cairo_image_surface_get_data(shadow.get()), width, height,
                   cairo_image_surface_get_stride(shadow.get()), blur);
      cairo_surface_mark_dirty(shadow.get());
      cairo_save(cairo);
      cairo_identity_matrix(cairo);
      SetSource(cairo, style.shadow_colour);
      cairo_mask_surface(cairo, shadow.get(), 0, 0);
      cairo_restore(cairo);
    }
  }
  if (inked && outline > 0 && (style.outline_colour >> 24) != 0) {
    glyph_path(cairo);
    SetSource(cairo, style.outline_colour);
    cairo_set_line_width(cairo, 2 * outline);
    cairo_set_line_join(cairo, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cairo);
  }
  if (inked) {
    SetSource(cairo, style.colour | 0xFF000000);
    pango_cairo_show_layout(cairo, layout.get());
  }
  result.left = static_cast<int64_t>(left);
  result.top = static_cast<int64_t>(top);
  result.picture = painted.Finish();
  return result;
}

void Font::DrawStyledText(const DrawTarget& target, std::string_view sentence, const Rect& rect, uint32_t format,
                          uint32_t argb, double degrees, const TextStyle& style, InkRange ink) {
  const PixelBox clip{rect.left, rect.top, rect.right, rect.bottom};
  if (clip.Empty()) return;
  const TextBox box{clip.right - clip.left, clip.bottom - clip.top, format};
  if (!styled_ || styled_->sentence != sentence || styled_->format != format ||
      styled_->wrap_width != box.WrapWidth() || !(styled_->style == style) || !(styled_->ink == ink)) {
    styled_ = Styled{std::string(sentence), format, box.WrapWidth(), style, ink,
                     PaintStyledText(context_.get(), description_.get(), sentence, box, style, ink)};
    ++layout_count_;
  }
  const StyledText& text = styled_->text;
  if (text.too_large) {
    const uint32_t plain = (argb & 0xFF000000) | (style.colour & 0xFFFFFF);
    if (IsTurned(degrees)) {
      DrawTurnedText(target, sentence, rect, format, plain, degrees, ink);
    } else {
      DrawText(target, sentence, rect, format, plain, ink);
    }
    return;
  }
  const uint32_t fade = WithOpacity((argb & 0xFF000000) | 0xFFFFFF, target.opacity);
  if (!text.picture || (fade >> 24) == 0 || target.surface.Empty()) return;
  const double x = static_cast<double>(clip.left + text.left +
                                       Align(box.width, text.logical.left, text.logical.right, format & DT_CENTER,
                                             format & DT_RIGHT));
  const double y = static_cast<double>(clip.top + text.top +
                                       Align(box.height, text.logical.top, text.logical.bottom, format & DT_VCENTER,
                                             format & DT_BOTTOM));
  const Affine& m = target.transform;
  if (!IsTurned(degrees) && m.xx == 1 && m.yy == 1 && m.xy == 0 && m.yx == 0 && std::floor(m.x0) == m.x0 &&
      std::floor(m.y0) == m.y0) {
    Sprite sprite;
    sprite.SetTransform(1, 1, static_cast<float>(x + m.x0), static_cast<float>(y + m.y0));
    sprite.Draw(target.surface, *text.picture, fade);
    return;
  }
  const double cx = (static_cast<double>(clip.left) + static_cast<double>(clip.right)) / 2;
  const double cy = (static_cast<double>(clip.top) + static_cast<double>(clip.bottom)) / 2;
  const Affine place = PlaceTurned(x, y, 1, 1, cx, cy, degrees);
  DrawAffine(target.surface, *text.picture, m.Identity() ? place : Then(place, m), fade);
}

}  // namespace talmora
