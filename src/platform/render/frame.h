#pragma once

#include <cstdint>
#include <memory>

namespace talmora {

// Rectangle in frame pixels; right and bottom are exclusive.
struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

// Frame pixels are 0xAARRGGBB words (A8R8G8B8; bytes B, G, R, A in memory), straight alpha,
// top row first, rows packed without padding; bytes past the last row are there for libav to
// read (its vector code reads past a row's end), and are never part of the picture.
class Frame {
 public:
  // Largest side accepted; beyond it Create fails instead of trying to allocate gigabytes.
  static constexpr int kMaxSide = 16384;

  // Empty when a side is not positive, too large, or the memory cannot be had.
  static std::unique_ptr<Frame> Create(int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }
  uint32_t* Row(int y) { return pixels_.get() + static_cast<size_t>(y) * width_; }
  const uint32_t* Row(int y) const { return pixels_.get() + static_cast<size_t>(y) * width_; }

  void Clear(uint32_t argb);

 private:
  Frame(int width, int height, std::unique_ptr<uint32_t[]> pixels)
      : width_(width), height_(height), pixels_(std::move(pixels)) {}

  int width_;
  int height_;
  std::unique_ptr<uint32_t[]> pixels_;
};

}  // namespace talmora
