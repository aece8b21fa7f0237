#pragma once

#include <pango/pango.h>

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/text/coverage_mask.h"
#include "platform/text/text_rasterizer.h"

namespace talmora {

class Texture;

enum class TextBoxing { kNone, kLines, kBlock };

// What makes a text read on any background, in pixels: an outline around the glyphs, a shadow
// of glyphs and outline, a box behind each line or the whole block. Colours are 0xAARRGGBB.
struct TextStyle {
  uint32_t colour = 0xFFFFFFFF;  // the glyphs' own, alpha aside: the draw fades the whole
  double outline = 0;
  uint32_t outline_colour = 0xFF000000;
  double shadow_x = 0, shadow_y = 0, shadow_blur = 0;
  uint32_t shadow_colour = 0xFF000000;
  TextBoxing box = TextBoxing::kNone;
  uint32_t box_colour = 0x99000000;
  double box_padding = 0, box_radius = 0;

  bool HasOutline() const { return outline > 0; }
  bool HasShadow() const { return shadow_x != 0 || shadow_y != 0 || shadow_blur > 0; }
  bool Plain() const { return !HasOutline() && !HasShadow() && box == TextBoxing::kNone; }
  bool operator==(const TextStyle&) const = default;
};

// The laid-out sentence painted with its style, as one picture.
struct StyledText {
  std::shared_ptr<const Texture> picture;  // empty when there is nothing to draw or it is too large
  int64_t left = 0, top = 0;               // of the picture, from the layout's origin
  PixelBox logical;                        // the lines' box from the origin, which the alignment places
  bool too_large = false;
};

// Only the glyphs of `ink` are painted with their outline and shadow, where the whole sentence
// would place them; the box stays the whole sentence's.
StyledText PaintStyledText(PangoContext* context, const PangoFontDescription* font, std::string_view sentence,
                           const TextBox& box, const TextStyle& style, InkRange ink = {});

// Spreads each coverage over `radius` pixels each way by box blurs: nothing reaches further.
void BlurCoverage(uint8_t* pixels, int width, int height, int stride, int radius);

}  // namespace talmora
