#include "platform/text/text_rasterizer.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <climits>
#include <string>

#include "platform/text/text_format.h"
#include "platform/text/text_handles.h"

namespace talmora {
namespace {

// Cairo refuses image surfaces with a larger side.
constexpr int64_t kMaxMaskSide = 32767;
// A mask for the whole ink is kept up to this many pixels (a long credit roll fits); beyond
// it only the visible part is drawn.
constexpr int64_t kMaxMaskPixels = int64_t{64} << 20;
// Above this em size glyphs are filled as paths: cairo would otherwise cache a bitmap of each
// glyph at full size.
constexpr double kMaxBitmapGlyphEm = 512;

std::string PrepareText(std::string_view sentence, bool single_line) {
  const gssize length = static_cast<gssize>(std::min<size_t>(sentence.size(), INT_MAX / 4));
  gchar* valid = g_utf8_make_valid(sentence.data(), length);
  std::string text(valid);
  g_free(valid);
  if (single_line) std::erase_if(text, [](char c) { return c == '\n' || c == '\r'; });
  return text;
}

GObjectPtr<PangoLayout> MakeLayout(PangoContext* context, const PangoFontDescription* font,
                                   const std::string& text, const TextBox& box) {
  GObjectPtr<PangoLayout> layout(pango_layout_new(context));
  pango_layout_set_font_description(layout.get(), font);
  // Left stays left for right-to-left scripts too, as the flags say.
  pango_layout_set_auto_dir(layout.get(), FALSE);
  pango_layout_set_text(layout.get(), text.data(), static_cast<int>(text.size()));
  if (box.format & DT_CENTER) {
    pango_layout_set_alignment(layout.get(), PANGO_ALIGN_CENTER);
  } else if (box.format & DT_RIGHT) {
    pango_layout_set_alignment(layout.get(), PANGO_ALIGN_RIGHT);
  }
  if ((box.format & DT_WORDBREAK) && !(box.format & DT_SINGLELINE)) {
    const int64_t width = std::min<int64_t>(box.width, INT_MAX / PANGO_SCALE);
    pango_layout_set_width(layout.get(), static_cast<int>(width) * PANGO_SCALE);
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD);
  }
  return layout;
}

// Offset of a block of the given extent inside the space, by the chosen alignment.
int64_t Align(int64_t space, int64_t extent, int64_t origin, bool middle, bool end) {
  const int64_t free_space = space - extent;
  const int64_t shift = middle ? free_space >> 1 : end ? free_space : 0;
  return shift - origin;
}

BoxWindow Intersect(const BoxWindow& a, const BoxWindow& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

bool IsEmpty(const BoxWindow& w) { return w.left >= w.right || w.top >= w.bottom; }

bool FitsOneMask(const BoxWindow& w) {
  const int64_t width = w.right - w.left;
  const int64_t height = w.bottom - w.top;
  return width <= kMaxMaskSide && height <= kMaxMaskSide && width * height <= kMaxMaskPixels;
}

bool Render(PangoLayout* layout, double em, int64_t x, int64_t y, CoverageMask& mask) {
  mask.stride = cairo_format_stride_for_width(CAIRO_FORMAT_A8, mask.width);
  if (mask.stride <= 0) return false;
  mask.pixels.assign(static_cast<size_t>(mask.stride) * mask.height, 0);
  CairoSurfacePtr surface(cairo_image_surface_create_for_data(mask.pixels.data(), CAIRO_FORMAT_A8,
                                                              mask.width, mask.height, mask.stride));
  CairoPtr cairo(cairo_create(surface.get()));
  if (cairo_status(cairo.get()) != CAIRO_STATUS_SUCCESS) return false;
  cairo_translate(cairo.get(), static_cast<double>(x), static_cast<double>(y));
  if (em > kMaxBitmapGlyphEm) {
    pango_cairo_layout_path(cairo.get(), layout);
    cairo_fill(cairo.get());
  } else {
    pango_cairo_show_layout(cairo.get(), layout);
  }
  cairo_surface_flush(surface.get());
  return true;
}

}  // namespace

RasterizedText RasterizeText(PangoContext* context, const PangoFontDescription* font,
                             std::string_view sentence, const TextBox& box, const BoxWindow& visible) {
  RasterizedText result;
  if (box.width <= 0 || box.height <= 0) return result;
  const std::string text = PrepareText(sentence, box.format & DT_SINGLELINE);
  if (text.empty()) return result;
  GObjectPtr<PangoLayout> layout = MakeLayout(context, font, text, box);

  PangoRectangle ink;
  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout.get(), &ink, &logical);
  if (ink.width <= 0 || ink.height <= 0) return result;
  const int64_t x = Align(box.width, logical.width, logical.x, box.format & DT_CENTER, box.format & DT_RIGHT);
  const int64_t y = Align(box.height, logical.height, logical.y, box.format & DT_VCENTER, box.format & DT_BOTTOM);

  // A pixel of margin around the ink keeps anti-aliased edges whole.
  const BoxWindow inked{x + ink.x - 1, y + ink.y - 1, x + ink.x + ink.width + 1, y + ink.y + ink.height + 1};
  BoxWindow region = Intersect(inked, {0, 0, box.width, box.height});
  if (IsEmpty(region)) return result;
  if (!FitsOneMask(region)) {
    region = Intersect(region, visible);
    result.window_bound = true;
    if (IsEmpty(region) || !FitsOneMask(region)) return result;
  }

  CoverageMask mask;
  mask.left = region.left;
  mask.top = region.top;
  mask.width = static_cast<int>(region.right - region.left);
  mask.height = static_cast<int>(region.bottom - region.top);
  const double em = static_cast<double>(pango_font_description_get_size(font)) / PANGO_SCALE;
  if (!Render(layout.get(), em, x - region.left, y - region.top, mask)) return result;
  mask.FindSpans();
  result.mask = std::move(mask);
  return result;
}

}  // namespace talmora
