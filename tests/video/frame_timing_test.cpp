// Frame counts and times without rendering a movie.

#include "video/frame_timing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace talmora {
namespace {

TEST(FrameTiming, CountsTruncateAndWhatA32BitCountCannotHoldGivesNoneAndIsTooLarge) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  const struct {
    int32_t fps;
    double length;
    int32_t frames;
    bool too_large = false;
  } cases[] = {
      {30, 2.5, 75},   {30, 1.01, 30},  {30, 0.0333, 0},           {1, 0.999999, 0},
      {1, 2147483647.0, kMax},          {1, 2147483648.0, 0, true}, {kMax, 1.0, kMax},
      {kMax, 1.5, 0, true},             {0, 10, 0},               {-30, -1, 0},
      {-30, 1e308, 0}, {30, -1, 0},     {30, std::nan(""), 0},    {30, kInf, 0, true},
      {30, 1e308, 0, true},             {30, -kInf, 0},           {30, 0.0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FrameCount(c.fps, c.length), c.frames) << c.fps << " fps, " << c.length;
    EXPECT_EQ(FrameCountTooLarge(c.fps, c.length), c.too_large) << c.fps << " fps, " << c.length;
  }
}

TEST(FrameTiming, AFrameAtAnExactTimeLiesJustPastIt) {
  for (const int32_t fps : {1, 24, 30, 60, 1000}) {
    for (const int32_t index : {0, 1, fps - 1, fps, 7 * fps, 3600 * fps}) {  // up to an hour
      const double exact = static_cast<double>(index) / fps;
      EXPECT_GT(FrameTime(index, fps), exact) << index << " / " << fps;
      EXPECT_LT(FrameTime(index, fps), exact + 2e-9) << index << " / " << fps;
    }
  }
}

}  // namespace
}  // namespace talmora
