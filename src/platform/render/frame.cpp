#include "platform/render/frame.h"

#include <algorithm>
#include <new>

namespace talmora {

namespace {

// libav's scalers read whole vectors, past the last row's end; this much more is theirs to read,
// as libav pads its own buffers.
constexpr size_t kReadPadding = 64 / sizeof(uint32_t);

}  // namespace

std::unique_ptr<Frame> Frame::Create(int width, int height) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return nullptr;
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  std::unique_ptr<uint32_t[]> pixels(new (std::nothrow) uint32_t[count + kReadPadding]);
  if (!pixels) return nullptr;
  std::fill_n(pixels.get() + count, kReadPadding, 0u);
  return std::unique_ptr<Frame>(new Frame(width, height, std::move(pixels)));
}

void Frame::Clear(uint32_t argb) {
  std::fill_n(pixels_.get(), static_cast<size_t>(width_) * height_, argb);
}

}  // namespace talmora
