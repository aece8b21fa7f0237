#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/error.h"
#include "platform/render/texel_plane.h"
#include "platform/text/text_handles.h"

namespace talmora {

class Texture;

// A transparent plane of `width` × `height` and a cairo context that paints on it, premultiplied as
// the plane keeps its texels; both empty when the memory cannot be had.
struct PaintedPlane {
  TexelPlane plane;
  CairoPtr cairo;

  PaintedPlane(int width, int height);
  bool Valid() const { return cairo != nullptr; }
  // The plane as a texture, once the painting is done.
  std::unique_ptr<Texture> Finish();
};

// 0xAARRGGBB as cairo's source colour.
void SetSource(cairo_t* cairo, uint32_t argb);

// A rectangle with corners rounded by `radius` (at most half the shorter side) as the current path.
void RoundedRectPath(cairo_t* cairo, double left, double top, double width, double height, double radius);

enum class ShapeForm { kRect, kEllipse };

struct ShapeStyle {
  ShapeForm form = ShapeForm::kRect;
  double radius = 0;          // of a rectangle's corners
  uint32_t fill = 0xFFFFFFFF;
  double stroke = 0;          // width, inside the shape's box
  uint32_t stroke_colour = 0xFF000000;

  bool operator==(const ShapeStyle&) const = default;
};

// The shape filling a `width` × `height` box, anti-aliased, its stroke inside the box. Empty when
// a side is not positive or the memory cannot be had.
std::unique_ptr<Texture> PaintShape(const ShapeStyle& style, int width, int height);

// A vector picture held as parsed, to be painted at any size. It never reads another file nor
// the network: it is parsed from memory, without a place that relative references could
// resolve against.
class VectorPicture {
 public:
  // Fails when the file cannot be read, is larger than the reader accepts, or is no SVG.
  static Expected<std::unique_ptr<VectorPicture>> Load(const std::string& path);
  ~VectorPicture();

  // The picture fitted into `width` × `height` as its own aspect rules say.
  std::unique_ptr<Texture> Paint(int width, int height) const;

 private:
  struct Handle;
  explicit VectorPicture(std::unique_ptr<Handle> handle);
  std::unique_ptr<Handle> handle_;
};

// Whether a file is read as a vector picture: by its name, ".svg" in any case.
bool IsVectorPicture(const std::string& path);

}  // namespace talmora
