#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/render/draw_target.h"
#include "platform/text/text_handles.h"
#include "platform/text/text_rasterizer.h"
#include "platform/text/text_style.h"

namespace talmora {

struct TurnedMask;

struct FontRequest {
  // Pixels: positive is the cell height (ascent + descent), negative the em height, 0 the
  // default of 16.
  int height = 0;
  // 0 is normal; 1 to 1000 on the usual scale, 400 normal and 700 bold.
  int weight = 0;
  bool italic = false;
  // A fontconfig family; one that is not installed falls back to a Japanese gothic face.
  std::string face;
  // The size above is multiplied by this, for a movie rendered at another size.
  double scale = 1.0;
};

// A font that lays sentences out in rectangles and draws them where a canvas says. It keeps the mask of
// its last sentence and lays out again only when the sentence or the flags change, or, with
// word breaking, the rectangle's width: a text that moves or resizes costs one blend per frame.
class Font {
 public:
  // Fails when no font can be had for the request.
  static Expected<std::unique_ptr<Font>> Create(const FontRequest& request);

  // Draws the UTF-8 sentence inside the rectangle by the DT_ format flags, in the ARGB colour;
  // nothing lands outside the rectangle or the target's clip. Under anything but a shift by
  // whole pixels the mask is drawn as a turned text is.
  // Only the glyphs of `ink` are drawn, where the whole sentence would place them.
  void DrawText(const DrawTarget& target, std::string_view sentence, const Rect& rect, uint32_t format,
                uint32_t argb, InkRange ink = {});
  // The same text turned as a whole by `degrees` clockwise about the rectangle's centre: the
  // laid-out mask, clipped to the rectangle, is turned, not laid out anew.
  void DrawTurnedText(const DrawTarget& target, std::string_view sentence, const Rect& rect, uint32_t format,
                      uint32_t argb, double degrees, InkRange ink = {});

  // The height of the sentence's lines laid out in a box `width` wide by the flags.
  int64_t LaidOutHeight(std::string_view sentence, int64_t width, uint32_t format) const;

  // The sentence painted with its style as one picture, which is kept while the sentence, the
  // flags, the wrap width and the style stay: a styled text costs one picture's blend per frame.
  // Turned by `degrees` as DrawTurnedText turns, faded as a whole by the colour's alpha; the
  // style may reach past the rectangle. A picture too large to be kept whole is drawn plainly.
  void DrawStyledText(const DrawTarget& target, std::string_view sentence, const Rect& rect, uint32_t format,
                      uint32_t argb, double degrees, const TextStyle& style, InkRange ink = {});

  // The family the font lays text out with, after falling back.
  const std::string& Family() const { return family_; }
  // The em height in pixels the requested height came to.
  double EmHeight() const { return em_; }
  // How many times a sentence has been laid out and rasterised.
  int LayoutCount() const { return layout_count_; }

 private:
  struct Layout {
    std::string sentence;
    uint32_t format = 0;
    int64_t wrap_width = 0;
    InkRange ink;
    RasterizedText text;
    // For a window-bound mask: the part of the box it was cut to.
    PixelBox visible;
  };

  Font(GObjectPtr<PangoContext> context, FontDescriptionPtr description, std::string family, double em)
      : context_(std::move(context)), description_(std::move(description)), family_(std::move(family)), em_(em) {}

  bool Reusable(std::string_view sentence, const TextBox& box, const PixelBox& visible, InkRange ink) const;

  GObjectPtr<PangoContext> context_;
  FontDescriptionPtr description_;
  std::string family_;
  double em_;
  std::optional<Layout> layout_;
  int layout_count_ = 0;
  std::shared_ptr<TurnedMask> turned_;
  struct Styled {
    std::string sentence;
    uint32_t format = 0;
    int64_t wrap_width = 0;
    TextStyle style;
    InkRange ink;
    StyledText text;
  };
  std::optional<Styled> styled_;  // shared: complete only where texts turn
};

}  // namespace talmora
