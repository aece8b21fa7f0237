#include "platform/text/coverage_mask.h"

namespace talmora {

void CoverageMask::FindSpans() {
  spans.assign(height, Span{});
  bool any_ink = false;
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = Row(y);
    int begin = 0;
    while (begin < width && row[begin] == 0) ++begin;
    if (begin == width) continue;
    int end = width;
    while (row[end - 1] == 0) --end;
    spans[y] = Span{begin, end};
    any_ink = true;
  }
  if (!any_ink) {
    spans.clear();
    pixels.clear();
  }
}

}  // namespace talmora
