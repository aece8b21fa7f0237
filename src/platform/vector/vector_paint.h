#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/error.h"
#include "platform/text/painted_plane.h"

namespace talmora {

class Texture;

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
