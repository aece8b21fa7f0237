#pragma once

// The frames of an uncompressed ("DIB ") movie read back from disk, top row first, as 0xAARRGGBB.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/riff_walk.h"

namespace talmora::testing {

struct Box {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool Empty() const { return right <= left; }
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const Box&) const = default;
};

struct DibFrames {
  int width = 0, height = 0;
  std::vector<std::vector<uint32_t>> pixels;

  uint32_t At(size_t frame, int x, int y) const {
    return pixels.at(frame)[static_cast<size_t>(y) * width + x];
  }
  // Where pixels differ from `background`, within `area` (the whole frame when empty).
  Box Ink(size_t frame, uint32_t background, Box area = {}) const {
    if (area.Empty()) area = {0, 0, width, height};
    Box box{area.right, area.bottom, area.left, area.top};
    for (int y = area.top; y < area.bottom; ++y) {
      for (int x = area.left; x < area.right; ++x) {
        if (At(frame, x, y) == background) continue;
        box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
               std::max(box.bottom, y + 1)};
      }
    }
    return box.Empty() ? Box{} : box;
  }
};

inline DibFrames ReadDibFrames(const std::string& avi_path) {
  const auto avi = WalkAvi(avi_path);
  EXPECT_EQ(avi.error, "");
  EXPECT_EQ(avi.strh.fccHandler, "DIB ");
  DibFrames frames{static_cast<int>(avi.width), static_cast<int>(avi.height), {}};
  const size_t row_bytes = static_cast<size_t>(frames.width) * 4;
  for (const auto& chunk : avi.frames) {
    const auto data = ReadChunk(avi_path, chunk);
    std::vector<uint32_t> pixels(static_cast<size_t>(frames.width) * frames.height);
    if (data.size() != pixels.size() * 4) {
      ADD_FAILURE() << "frame of " << data.size() << " bytes";
      continue;
    }
    for (int y = 0; y < frames.height; ++y) {  // rows are stored bottom-up
      std::memcpy(&pixels[static_cast<size_t>(y) * frames.width],
                  &data[static_cast<size_t>(frames.height - 1 - y) * row_bytes], row_bytes);
    }
    frames.pixels.push_back(std::move(pixels));
  }
  return frames;
}

}  // namespace talmora::testing
