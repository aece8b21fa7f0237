#pragma once

#include <pango/pango.h>

#include <cstdint>
#include <string_view>

#include "platform/text/coverage_mask.h"

namespace talmora {

// The rectangle a sentence is laid out in, by size only: where it lies does not change the
// layout, so a moving text keeps its mask.
struct TextBox {
  int64_t width = 0;
  int64_t height = 0;
  uint32_t format = 0;
};

// A part of the rectangle, in its own coordinates: right and bottom exclusive.
struct BoxWindow {
  int64_t left = 0;
  int64_t top = 0;
  int64_t right = 0;
  int64_t bottom = 0;
};

struct RasterizedText {
  CoverageMask mask;
  // True when the ink was too large for one mask and only the visible window was drawn; such a
  // mask is valid for this position alone.
  bool window_bound = false;
};

// Lays the UTF-8 sentence out in the box by its format flags and rasterises it with greyscale
// anti-aliasing. Invalid UTF-8 shows as replacement characters.
RasterizedText RasterizeText(PangoContext* context, const PangoFontDescription* font,
                             std::string_view sentence, const TextBox& box, const BoxWindow& visible);

}  // namespace talmora
