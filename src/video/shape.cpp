#include "video/shape.h"

#include <algorithm>
#include <cmath>

#include "platform/render/canvas.h"
#include "platform/render/picture_decoder.h"
#include "platform/render/texture.h"

namespace talmora {
namespace {

// A shape larger than this is painted at this size and stretched: a fill stays one colour, and
// the memory stays that of a picture of 64 MiB.
constexpr double kMaxShapeSide = kMaxPictureSide;
constexpr double kMaxShapePixels = 16.0 * 1024 * 1024;

struct Painted : VideoObject::Resources {
  ShapeStyle style;
  int width = 0;
  int height = 0;
  std::unique_ptr<Texture> texture;
};

}  // namespace

Shape::Shape(ScriptContext& context, ShapeForm form) : VideoObject(context), form_(form) {}

void Shape::ReadProperties(AttributeMap& attributes) {
  VideoObject::ReadProperties(attributes);
  ReadPair(attributes, "radius", radius);
  ReadPair(attributes, "stroke", stroke);
  ReadColour(attributes, "fill", fill);
  ReadColour(attributes, "strokecolor", strokecolor);
}

void Shape::SetEase(const Ease& ease) {
  VideoObject::SetEase(ease);
  radius.SetEase(ease);
  stroke.SetEase(ease);
}

std::unique_ptr<VideoObject::Resources> Shape::Prepare(Reporter& /*reporter*/) const {
  return std::make_unique<Painted>();
}

void Shape::Draw(Canvas& canvas, double time, Resources* resources) const {
  auto* painted = static_cast<Painted*>(resources);
  if (!painted) return;
  Rect rect;
  uint32_t argb = 0;
  Interpolate(time, rect, argb);
  const double across = std::fabs(static_cast<double>(rect.right) - rect.left);
  const double down = std::fabs(static_cast<double>(rect.bottom) - rect.top);
  if (across == 0 || down == 0 || (argb >> 24) == 0) return;
  // Painted at the size shown, so a whole-pixel rectangle lands texel for pixel.
  const double shrink =
      std::min({1.0, kMaxShapeSide / across, kMaxShapeSide / down, std::sqrt(kMaxShapePixels / (across * down))});
  const int texels_across = std::max(1, static_cast<int>(std::lround(across * shrink)));
  const int texels_down = std::max(1, static_cast<int>(std::lround(down * shrink)));
  const ShapeStyle style{form_, ValueAt(radius, time) * Scale() * shrink, fill, ValueAt(stroke, time) * Scale() * shrink,
                         strokecolor};
  if (!painted->texture || painted->width != texels_across || painted->height != texels_down ||
      !(painted->style == style)) {
    painted->texture = PaintShape(style, texels_across, texels_down);
    painted->width = texels_across, painted->height = texels_down, painted->style = style;
  }
  const Texture* texture = painted->texture.get();
  if (!texture) return;
  DrawStretched(canvas, *texture, rect, time, argb);
}

}  // namespace talmora
