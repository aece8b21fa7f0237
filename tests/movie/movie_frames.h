#pragma once

// Frames with known contents for the movie layer's tests.

#include <cstdint>
#include <memory>

#include "platform/render/frame.h"

namespace talmora::testing {

// Every pixel, alpha included, differs from its neighbours and from frame to frame: what a
// lossless compressor must give back exactly.
inline uint32_t NoisePixel(int x, int y, int index) {
  uint32_t h = static_cast<uint32_t>(x) * 0x9E3779B1u ^ static_cast<uint32_t>(y) * 0x85EBCA77u ^
               static_cast<uint32_t>(index) * 0xC2B2AE3Du;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return h;
}

// Smooth opaque gradients that move a little each frame: what a lossy compressor keeps well.
inline uint32_t GradientPixel(int x, int y, int index, int width, int height) {
  const uint32_t r = static_cast<uint32_t>(255 * x / (width - 1));
  const uint32_t g = static_cast<uint32_t>(255 * y / (height - 1));
  const uint32_t b = static_cast<uint32_t>((64 + 8 * index + (x + y) / 2) & 0xff);
  return 0xff000000u | r << 16 | g << 8 | b;
}

template <typename Pixel>
std::unique_ptr<Frame> MakeFrame(int width, int height, Pixel pixel) {
  auto frame = Frame::Create(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) frame->Row(y)[x] = pixel(x, y);
  }
  return frame;
}

}  // namespace talmora::testing
