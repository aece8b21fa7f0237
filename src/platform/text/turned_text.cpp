#include <algorithm>
#include <cmath>

#include "platform/render/affine_draw.h"
#include "platform/render/texture.h"
#include "platform/text/font.h"

namespace talmora {

// The laid-out mask as a white picture whose alpha is the coverage, for drawing it turned. It
// is made once per layout and clip, so a text that turns costs one affine draw per frame.
struct TurnedMask {
  int layout = -1;  // the layout count it was made for
  PixelBox region;  // the part of the mask it holds, in mask pixels
  std::unique_ptr<Texture> texture;
};

namespace {

// Above this many pixels only the part of the mask that can reach the target is turned.
constexpr int64_t kMaxWholePixels = int64_t{4} << 20;

// The bounding box, in box coordinates, of the surface's clip turned back into the box; `undo`
// takes the surface back to the drawer's coordinates.
PixelBox VisibleInBox(const DrawTarget& target, const Affine& undo, const PixelBox& clip, double cx, double cy,
                      double degrees) {
  Affine back = PlaceTurned(0, 0, 1, 1, cx, cy, -degrees);
  if (!target.transform.Identity()) back = Then(undo, back);
  const Rect& surface = target.surface.clip;
  double left = HUGE_VAL, top = HUGE_VAL, right = -HUGE_VAL, bottom = -HUGE_VAL;
  for (const double x : {1.0 * surface.left, 1.0 * surface.right}) {
    for (const double y : {1.0 * surface.top, 1.0 * surface.bottom}) {
      const double bx = back.xx * x + back.xy * y + back.x0 - static_cast<double>(clip.left);
      const double by = back.yx * x + back.yy * y + back.y0 - static_cast<double>(clip.top);
      left = std::min(left, bx), right = std::max(right, bx);
      top = std::min(top, by), bottom = std::max(bottom, by);
    }
  }
  auto whole = [](double v) { return static_cast<int64_t>(std::clamp(v, -1e15, 1e15)); };
  return {whole(std::floor(left)) - 1, whole(std::floor(top)) - 1, whole(std::ceil(right)) + 1,
          whole(std::ceil(bottom)) + 1};
}

std::unique_ptr<Texture> MaskPicture(const CoverageMask& mask, const PixelBox& region) {
  TexelPlane plane(static_cast<int>(region.right - region.left), static_cast<int>(region.bottom - region.top));
  if (!plane.Valid()) return nullptr;
  for (int y = 0; y < plane.Height(); ++y) {
    const uint8_t* coverage = mask.Row(static_cast<int>(region.top) + y) + region.left;
    uint32_t* row = plane.Row(y);
    for (int x = 0; x < plane.Width(); ++x) row[x] = uint32_t{coverage[x]} << 24 | 0xFFFFFF;
  }
  return Texture::FromStraightAlpha(std::move(plane));
}

}  // namespace

void Font::DrawTurnedText(const DrawTarget& target, std::string_view sentence, const Rect& rect, uint32_t format,
                          uint32_t argb, double degrees, InkRange ink) {
  argb = WithOpacity(argb, target.opacity);
  Affine undo;
  if ((argb >> 24) == 0 || target.surface.Empty() || !Invert(target.transform, undo)) return;
  const PixelBox clip{rect.left, rect.top, rect.right, rect.bottom};
  if (clip.Empty()) return;
  const TextBox box{clip.right - clip.left, clip.bottom - clip.top, format};
  const double cx = (static_cast<double>(clip.left) + static_cast<double>(clip.right)) / 2;
  const double cy = (static_cast<double>(clip.top) + static_cast<double>(clip.bottom)) / 2;
  const PixelBox visible = VisibleInBox(target, undo, clip, cx, cy, degrees).Intersect({0, 0, box.width, box.height});

  // A mask cut to a window holds for one view only: turned, that changes every frame.
  if (!Reusable(sentence, box, visible, ink) || layout_->text.window_bound) {
    RasterizedText text = RasterizeText(context_.get(), description_.get(), sentence, box, visible, ink);
    layout_ = Layout{std::string(sentence), format, box.WrapWidth(), ink, std::move(text), visible};
    ++layout_count_;
  }
  const CoverageMask& mask = layout_->text.mask;
  if (mask.Empty()) return;
  // Mask pixel (0, 0) in box coordinates; only what lies inside the box shows.
  const int64_t ox = layout_->text.OriginX(box) + mask.left;
  const int64_t oy = layout_->text.OriginY(box) + mask.top;
  PixelBox region = PixelBox{-ox, -oy, box.width - ox, box.height - oy}.Intersect({0, 0, mask.width, mask.height});
  if ((region.right - region.left) * (region.bottom - region.top) > kMaxWholePixels) {
    region = region.Intersect(visible.Shifted(-ox, -oy));
  }
  if (region.Empty()) return;
  const bool same = turned_ && turned_->layout == layout_count_ && turned_->region.left == region.left &&
                    turned_->region.top == region.top && turned_->region.right == region.right &&
                    turned_->region.bottom == region.bottom;
  if (!same) turned_ = std::make_shared<TurnedMask>(TurnedMask{layout_count_, region, MaskPicture(mask, region)});
  if (!turned_->texture) return;
  const Affine place = PlaceTurned(static_cast<double>(clip.left + ox + region.left),
                                   static_cast<double>(clip.top + oy + region.top), 1, 1, cx, cy, degrees);
  DrawAffine(target.surface, *turned_->texture,
             target.transform.Identity() ? place : Then(place, target.transform), argb);
}

}  // namespace talmora
