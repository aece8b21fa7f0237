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

}  // namespace

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
  // Without a width Pango aligns the lines within the widest one, which the box then places.
  if (box.format & DT_CENTER) {
    pango_layout_set_alignment(layout.get(), PANGO_ALIGN_CENTER);
  } else if (box.format & DT_RIGHT) {
    pango_layout_set_alignment(layout.get(), PANGO_ALIGN_RIGHT);
  }
  if (const int64_t wrap = box.WrapWidth()) {
    pango_layout_set_width(layout.get(), static_cast<int>(std::min<int64_t>(wrap, INT_MAX / PANGO_SCALE)) * PANGO_SCALE);
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD);
  }
  return layout;
}

int64_t Align(int64_t space, int64_t start, int64_t end, bool middle, bool far) {
  const int64_t free_space = space - (end - start);
  const int64_t shift = middle ? free_space >> 1 : far ? free_space : 0;
  return shift - start;
}

namespace {

bool FitsOneMask(const PixelBox& b) {
  const int64_t width = b.right - b.left;
  const int64_t height = b.bottom - b.top;
  return width <= kMaxMaskSide && height <= kMaxMaskSide && width * height <= kMaxMaskPixels;
}

bool Render(PangoLayout* layout, double em, CoverageMask& mask) {
  mask.stride = cairo_format_stride_for_width(CAIRO_FORMAT_A8, mask.width);
  if (mask.stride <= 0) return false;
  mask.pixels.assign(static_cast<size_t>(mask.stride) * mask.height, 0);
  CairoSurfacePtr surface(cairo_image_surface_create_for_data(mask.pixels.data(), CAIRO_FORMAT_A8,
                                                              mask.width, mask.height, mask.stride));
  CairoPtr cairo(cairo_create(surface.get()));
  if (cairo_status(cairo.get()) != CAIRO_STATUS_SUCCESS) return false;
  cairo_translate(cairo.get(), -static_cast<double>(mask.left), -static_cast<double>(mask.top));
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

unsigned PreparedIndex(std::string_view sentence, bool single_line, size_t byte) {
  // The prepared text of a prefix is the prefix of the prepared text.
  return static_cast<unsigned>(PrepareText(sentence.substr(0, std::min(byte, sentence.size())), single_line).size());
}

// Colour attributes are applied after shaping, so the blanked glyphs keep their places; the least
// alpha Pango takes comes to no coverage in an 8-bit mask.
void BlankOutside(PangoLayout* layout, std::string_view sentence, bool single_line, InkRange ink) {
  PangoAttrList* list = pango_attr_list_new();
  const guint from = PreparedIndex(sentence, single_line, ink.from);
  const guint to = PreparedIndex(sentence, single_line, ink.to);
  for (const auto& [begin, end] : {std::pair{0u, from}, std::pair{to, static_cast<guint>(G_MAXUINT)}}) {
    if (begin >= end) continue;
    PangoAttribute* blank = pango_attr_foreground_alpha_new(1);
    blank->start_index = begin;
    blank->end_index = end;
    pango_attr_list_insert(list, blank);
  }
  pango_layout_set_attributes(layout, list);
  pango_attr_list_unref(list);
}

int64_t TextBox::WrapWidth() const {
  return (format & DT_WORDBREAK) && !(format & DT_SINGLELINE) ? width : 0;
}

int64_t RasterizedText::OriginX(const TextBox& box) const {
  return Align(box.width, logical.left, logical.right, box.format & DT_CENTER, box.format & DT_RIGHT);
}

int64_t RasterizedText::OriginY(const TextBox& box) const {
  return Align(box.height, logical.top, logical.bottom, box.format & DT_VCENTER, box.format & DT_BOTTOM);
}

PixelBox LaidOutBox(PangoContext* context, const PangoFontDescription* font, std::string_view sentence,
                    const TextBox& box) {
  const std::string text = PrepareText(sentence, box.format & DT_SINGLELINE);
  if (text.empty()) return {};
  GObjectPtr<PangoLayout> layout = MakeLayout(context, font, text, box);
  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout.get(), nullptr, &logical);
  return {logical.x, logical.y, int64_t{logical.x} + logical.width, int64_t{logical.y} + logical.height};
}

RasterizedText RasterizeText(PangoContext* context, const PangoFontDescription* font, std::string_view sentence,
                             const TextBox& box, const PixelBox& visible, InkRange inked) {
  RasterizedText result;
  if (box.width <= 0 || box.height <= 0) return result;
  const std::string text = PrepareText(sentence, box.format & DT_SINGLELINE);
  if (text.empty()) return result;
  GObjectPtr<PangoLayout> layout = MakeLayout(context, font, text, box);
  if (!inked.Whole()) BlankOutside(layout.get(), sentence, box.format & DT_SINGLELINE, inked);

  PangoRectangle ink;
  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout.get(), &ink, &logical);
  result.logical = {logical.x, logical.y, int64_t{logical.x} + logical.width, int64_t{logical.y} + logical.height};
  if (ink.width <= 0 || ink.height <= 0) return result;

  // A pixel of margin around the ink keeps anti-aliased edges whole.
  PixelBox region{int64_t{ink.x} - 1, int64_t{ink.y} - 1, int64_t{ink.x} + ink.width + 1, int64_t{ink.y} + ink.height + 1};
  if (!FitsOneMask(region)) {
    region = region.Intersect(visible.Shifted(-result.OriginX(box), -result.OriginY(box)));
    result.window_bound = true;
    if (region.Empty() || !FitsOneMask(region)) return result;
  }

  CoverageMask mask;
  mask.left = region.left;
  mask.top = region.top;
  mask.width = static_cast<int>(region.right - region.left);
  mask.height = static_cast<int>(region.bottom - region.top);
  const double em = static_cast<double>(pango_font_description_get_size(font)) / PANGO_SCALE;
  if (!Render(layout.get(), em, mask)) return result;
  mask.FindSpans();
  result.mask = std::move(mask);
  return result;
}

}  // namespace talmora
