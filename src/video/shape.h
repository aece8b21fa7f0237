#pragma once

#include <cstdint>
#include <memory>

#include "platform/vector/vector_paint.h"
#include "video/video_object.h"

namespace talmora {

// A plain shape filling the interpolated rectangle: its fill, and a stroke of `stroke` pixels
// inside its edge, tinted and faded by the colour as a picture is.
class Shape : public VideoObject {
 public:
  Shape(ScriptContext& context, ShapeForm form);

  void ReadProperties(AttributeMap& attributes) override;
  // Nothing to load: a cache of the shape as last painted.
  std::unique_ptr<Resources> Prepare(Reporter& reporter) const override;
  void Draw(Canvas& canvas, double time, Resources* resources) const override;
  void SetEase(const Ease& ease) override;
  bool DrawsSame(double earlier, double later, const Resources*) const override {
    return LooksSame(earlier, later) && ValueAt(radius, earlier) == ValueAt(radius, later) &&
           ValueAt(stroke, earlier) == ValueAt(stroke, later);
  }

  Track radius;  // of a rectangle's corners
  Track stroke;
  uint32_t fill = 0xFFFFFFFF;
  uint32_t strokecolor = 0xFF000000;

 private:
  ShapeForm form_;
};

class RectShape : public Shape {
 public:
  explicit RectShape(ScriptContext& context) : Shape(context, ShapeForm::kRect) {}
};

class EllipseShape : public Shape {
 public:
  explicit EllipseShape(ScriptContext& context) : Shape(context, ShapeForm::kEllipse) {}
};

}  // namespace talmora
