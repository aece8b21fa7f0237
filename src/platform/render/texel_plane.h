#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace talmora {

// A block of premultiplied-alpha texels, 0xAARRGGBB words (bytes B, G, R, A in memory), each
// colour channel at most its alpha; top row first, rows packed.
class TexelPlane {
 public:
  TexelPlane() = default;
  // Empty (Valid() false) when a side is not positive or the memory cannot be had.
  TexelPlane(int width, int height);

  bool Valid() const { return texels_ != nullptr; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  uint32_t* Row(int y) { return texels_.get() + static_cast<size_t>(y) * width_; }
  const uint32_t* Row(int y) const { return texels_.get() + static_cast<size_t>(y) * width_; }

 private:
  int width_ = 0;
  int height_ = 0;
  std::unique_ptr<uint32_t[]> texels_;
};

}  // namespace talmora
