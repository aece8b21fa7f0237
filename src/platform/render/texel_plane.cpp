#include "platform/render/texel_plane.h"

#include <new>

namespace talmora {

TexelPlane::TexelPlane(int width, int height) {
  if (width <= 0 || height <= 0) return;
  texels_.reset(new (std::nothrow) uint32_t[static_cast<size_t>(width) * static_cast<size_t>(height)]);
  if (!texels_) return;
  width_ = width;
  height_ = height;
}

}  // namespace talmora
