#include "platform/render/texel_plane.h"

#include <new>

namespace talmora {
namespace {

constexpr size_t kAlignment = 64;
constexpr size_t kRowTexels = kAlignment / sizeof(uint32_t);

size_t StrideOf(int width) { return (static_cast<size_t>(width) + kRowTexels - 1) / kRowTexels * kRowTexels; }

}  // namespace

size_t TexelPlane::Texels(int width, int height) {
  if (width <= 0 || height <= 0) return 0;
  return StrideOf(width) * static_cast<size_t>(height) + kRowTexels;
}

void TexelPlane::Free::operator()(uint32_t* texels) const {
  ::operator delete[](texels, std::align_val_t{kAlignment});
}

TexelPlane::TexelPlane(int width, int height) {
  if (width <= 0 || height <= 0) return;
  const size_t bytes = Texels(width, height) * sizeof(uint32_t);
  texels_.reset(static_cast<uint32_t*>(::operator new[](bytes, std::align_val_t{kAlignment}, std::nothrow)));
  if (!texels_) return;
  width_ = width;
  height_ = height;
  stride_ = StrideOf(width);
}

}  // namespace talmora
