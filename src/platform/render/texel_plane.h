#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace talmora {

// A block of premultiplied-alpha texels, 0xAARRGGBB words (bytes B, G, R, A in memory), each
// colour channel at most its alpha; top row first, each row Stride() texels after the one above.
// Rows start on 64-byte boundaries and are padded to them, with 64 bytes more after the last:
// libav's scalers write whole vectors of up to 64 bytes, past a row's last texel.
class TexelPlane {
 public:
  TexelPlane() = default;
  // Empty (Valid() false) when a side is not positive or the memory cannot be had.
  TexelPlane(int width, int height);

  bool Valid() const { return memory_ != nullptr; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Texels from the start of one row to the start of the next.
  size_t Stride() const { return stride_; }
  uint32_t* Row(int y) { return memory_.get() + offset_ + static_cast<size_t>(y) * stride_; }
  const uint32_t* Row(int y) const { return memory_.get() + offset_ + static_cast<size_t>(y) * stride_; }

  // The texels a plane of that size holds, padding included.
  static size_t Texels(int width, int height);

 private:
  int width_ = 0;
  int height_ = 0;
  size_t stride_ = 0;
  size_t offset_ = 0;  // of the first row's 64-byte boundary in the memory
  std::unique_ptr<uint32_t[]> memory_;
};

}  // namespace talmora
