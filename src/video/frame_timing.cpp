#include "video/frame_timing.h"

namespace talmora {

int32_t FrameCount(int32_t fps, double length) {
  if (fps <= 0) return 0;
  const double count = static_cast<double>(fps) * length;
  if (!(count >= 1.0 && count < 2147483648.0)) return 0;
  return static_cast<int32_t>(count);
}

bool FrameCountTooLarge(int32_t fps, double length) {
  return fps > 0 && static_cast<double>(fps) * length >= 2147483648.0;
}

double FrameTime(int32_t index, int32_t fps) {
  return static_cast<double>(index) / fps + 0.000000001;
}

}  // namespace talmora
