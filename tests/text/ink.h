#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>

#include "platform/render/frame.h"

namespace talmora::testing {

// Bounding box of the pixels that differ from the background; right and bottom exclusive.
struct InkBox {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool Empty() const { return right <= left || bottom <= top; }
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

inline InkBox FindInk(const Frame& frame, uint32_t background) {
  InkBox box{frame.Width(), frame.Height(), 0, 0};
  for (int y = 0; y < frame.Height(); ++y) {
    const uint32_t* row = frame.Row(y);
    for (int x = 0; x < frame.Width(); ++x) {
      if (row[x] == background) continue;
      box.left = std::min(box.left, x);
      box.top = std::min(box.top, y);
      box.right = std::max(box.right, x + 1);
      box.bottom = std::max(box.bottom, y + 1);
    }
  }
  return box;
}

inline std::unique_ptr<Frame> MakeFrame(int width, int height, uint32_t background) {
  std::unique_ptr<Frame> frame = Frame::Create(width, height);
  frame->Clear(background);
  return frame;
}

}  // namespace talmora::testing
