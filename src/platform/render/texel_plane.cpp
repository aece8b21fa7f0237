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

TexelPlane::TexelPlane(int width, int height) {
  if (width <= 0 || height <= 0) return;
  // Aligned by hand: the allocator's aligned path kept several megabytes more at the peak.
  memory_.reset(new (std::nothrow) uint32_t[Texels(width, height) + kRowTexels - 1]);
  if (!memory_) return;
  const auto address = reinterpret_cast<uintptr_t>(memory_.get());
  offset_ = ((kAlignment - address % kAlignment) % kAlignment) / sizeof(uint32_t);
  width_ = width;
  height_ = height;
  stride_ = StrideOf(width);
}

}  // namespace talmora
