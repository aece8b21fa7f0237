#pragma once

#include <pango/pango.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text/coverage_mask.h"
#include "platform/text/text_handles.h"

namespace talmora {

// The rectangle a sentence is laid out in, by size only: where it lies does not change the
// layout, so a moving text keeps its mask.
struct TextBox {
  int64_t width = 0;
  int64_t height = 0;
  uint32_t format = 0;

  // Lines are broken to the box's width only with word breaking; otherwise the layout does not
  // depend on the box at all, only its placement does.
  int64_t WrapWidth() const;
};

// The bytes of a sentence whose glyphs leave ink; the others are laid out in their places but
// left blank, so that two ranges drawn in two colours make up the whole text.
struct InkRange {
  size_t from = 0;
  size_t to = SIZE_MAX;

  bool Whole() const { return from == 0 && to == SIZE_MAX; }
  bool operator==(const InkRange&) const = default;
};

struct RasterizedText {
  // The ink, placed relative to the layout's origin.
  CoverageMask mask;
  // The lines' logical box relative to the origin, which the alignment places in the rectangle.
  PixelBox logical;
  // True when the ink was too large for one mask and only what was visible got drawn; such a
  // mask is valid for that rectangle on that target alone.
  bool window_bound = false;

  // Where the layout's origin lies in a box of the given size, by the format's alignment.
  int64_t OriginX(const TextBox& box) const;
  int64_t OriginY(const TextBox& box) const;
};

// The sentence as laid out: valid UTF-8, without line breaks for a single line.
std::string PrepareText(std::string_view sentence, bool single_line);
GObjectPtr<PangoLayout> MakeLayout(PangoContext* context, const PangoFontDescription* font, const std::string& text,
                                   const TextBox& box);
// Where byte `byte` of the sentence falls in its prepared text.
unsigned PreparedIndex(std::string_view sentence, bool single_line, size_t byte);
// Leaves the glyphs outside `ink` in the layout's places but without ink.
void BlankOutside(PangoLayout* layout, std::string_view sentence, bool single_line, InkRange ink);
// Offset of a block [start, end) inside the space, by the chosen alignment.
int64_t Align(int64_t space, int64_t start, int64_t end, bool middle, bool far);

// Lays the UTF-8 sentence out by the box's format flags and rasterises its ink with greyscale
// anti-aliasing. `visible` is the part of the box that can show, in box coordinates; only an
// ink too large for one mask is cut to it. Invalid UTF-8 shows as replacement characters.
RasterizedText RasterizeText(PangoContext* context, const PangoFontDescription* font, std::string_view sentence,
                             const TextBox& box, const PixelBox& visible, InkRange ink = {});

// The lines' logical box of the sentence laid out by the box's flags, relative to its origin.
PixelBox LaidOutBox(PangoContext* context, const PangoFontDescription* font, std::string_view sentence,
                    const TextBox& box);

}  // namespace talmora
