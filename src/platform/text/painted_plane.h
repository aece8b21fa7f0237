#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>

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

}  // namespace talmora
