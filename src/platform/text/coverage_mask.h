#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace talmora {

// A8 coverage of laid-out text, 0 (no ink) to 255 (fully covered). It covers only the part of
// its rectangle that holds ink; left and top place it inside that rectangle.
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
