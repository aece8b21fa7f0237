#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace talmora {

// A box of pixels, right and bottom exclusive; wide enough that sums of 32-bit coordinates
// cannot overflow.
struct PixelBox {
  int64_t left = 0;
  int64_t top = 0;
  int64_t right = 0;
  int64_t bottom = 0;

  bool Empty() const { return left >= right || top >= bottom; }
  PixelBox Intersect(const PixelBox& o) const {
    return {left > o.left ? left : o.left, top > o.top ? top : o.top, right < o.right ? right : o.right,
            bottom < o.bottom ? bottom : o.bottom};
  }
  PixelBox Shifted(int64_t x, int64_t y) const { return {left + x, top + y, right + x, bottom + y}; }
};

// A8 coverage of laid-out text, 0 (no ink) to 255 (fully covered). It covers only the box that
// holds ink; left and top place it relative to the layout's origin.
struct CoverageMask {
  // Columns [begin, end) of a row that hold ink; empty when begin == end.
  struct Span {
    int begin = 0;
    int end = 0;
  };

  int64_t left = 0;
  int64_t top = 0;
  int width = 0;
  int height = 0;
  int stride = 0;
  std::vector<uint8_t> pixels;
  std::vector<Span> spans;

  bool Empty() const { return spans.empty(); }
  const uint8_t* Row(int y) const { return pixels.data() + static_cast<size_t>(y) * stride; }

  // Records each row's ink span, so that drawing skips what holds no ink; a mask without any
  // ink becomes empty.
  void FindSpans();
};

}  // namespace talmora
