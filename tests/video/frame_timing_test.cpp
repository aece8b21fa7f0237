#include "video/frame_timing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace talmora {
namespace {

TEST(FrameCount, IsRateTimesLengthTruncated) {
  EXPECT_EQ(FrameCount(30, 2.5), 75);
  EXPECT_EQ(FrameCount(30, 1.01), 30);  // 30.3
  EXPECT_EQ(FrameCount(30, 20), 600);
  EXPECT_EQ(FrameCount(1, 2147483647.9), 2147483647);
}

TEST(FrameCount, IsNoneForRatesOrLengthsThatGiveNoCountableFrames) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(FrameCount(0, 10), 0);
  EXPECT_EQ(FrameCount(30, 0), 0);
  EXPECT_EQ(FrameCount(30, -2.5), 0);
  EXPECT_EQ(FrameCount(-30, -2.5), 0);  // two negatives do not make frames
  EXPECT_EQ(FrameCount(30, 0.02), 0);   // 0.6 of a frame
  EXPECT_EQ(FrameCount(30, nan), 0);
  EXPECT_EQ(FrameCount(30, inf), 0);
  EXPECT_EQ(FrameCount(30, -inf), 0);
  EXPECT_EQ(FrameCount(1, 2147483648.0), 0);
  EXPECT_EQ(FrameCount(INT32_MAX, 1e300), 0);
}

TEST(FrameTime, LiesJustPastTheFramesInstant) {
  EXPECT_EQ(FrameTime(0, 30), 0.000000001);
  EXPECT_EQ(FrameTime(60, 30), 60.0 / 30 + 0.000000001);
  // Frame 60 at 30 fps is already past a start of 2, frame 90 past an end of 3.
  EXPECT_GT(FrameTime(60, 30), 2.0);
  EXPECT_LT(FrameTime(59, 30), 2.0);
  EXPECT_GT(FrameTime(90, 30), 3.0);
  EXPECT_LT(FrameTime(89, 30), 3.0);
  EXPECT_TRUE(std::isfinite(FrameTime(INT32_MAX, 1)));
}

}  // namespace
}  // namespace talmora
