#include "platform/render/frame.h"

#include <algorithm>
#include <new>

namespace talmora {

std::unique_ptr<Frame> Frame::Create(int width, int height) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return nullptr;
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  std::unique_ptr<uint32_t[]> pixels(new (std::nothrow) uint32_t[count]);
  if (!pixels) return nullptr;
  return std::unique_ptr<Frame>(new Frame(width, height, std::move(pixels)));
}

void Frame::Clear(uint32_t argb) {
  std::fill_n(pixels_.get(), static_cast<size_t>(width_) * height_, argb);
}

}  // namespace talmora
