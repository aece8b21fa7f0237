// Frame counts and times without rendering a movie.

#include "video/frame_timing.h"

#include "video/movie_part.h"

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

TEST(FrameTiming, PartsCoverTheFramesOnScreenOrWithinTheirStretch) {
  constexpr std::optional<double> kNone;
  const struct {
    std::optional<double> frame, from, to;
    int32_t fps, count;
    std::optional<FrameRange> frames;
  } cases[] = {
      // The frame a player shows at the time, exact seconds included.
      {0.0, kNone, kNone, 30, 60, FrameRange{0, 1}},
      {1.0, kNone, kNone, 30, 60, FrameRange{30, 31}},
      {0.1, kNone, kNone, 30, 60, FrameRange{3, 4}},
      {1.999, kNone, kNone, 30, 60, FrameRange{59, 60}},
      {2.0, kNone, kNone, 30, 60, std::nullopt},
      {1e300, kNone, kNone, 30, 60, std::nullopt},
      {1.005, kNone, kNone, 30, 30, std::nullopt},  // a length of 1.01 s: still no frame 30
      // Frame times in [from, to): the slight bias keeps a frame at `to` out and at `from` in.
      {kNone, 1.0, 2.0, 30, 60, FrameRange{30, 60}},
      {kNone, 0.25, 0.75, 10, 20, FrameRange{3, 8}},
      {kNone, kNone, 0.5, 10, 20, FrameRange{0, 5}},
      {kNone, 1.5, kNone, 10, 20, FrameRange{15, 20}},
      {kNone, 1.5, 1e300, 10, 20, FrameRange{15, 20}},
      {kNone, 2.0, kNone, 10, 20, std::nullopt},
      {kNone, kNone, 1e-10, 10, 20, std::nullopt},
      {kNone, 0.0, kNone, 10, 0, std::nullopt},
  };
  for (const auto& c : cases) {
    const auto frames = PartFrames(MoviePart{c.frame, c.from, c.to}, c.fps, c.count);
    ASSERT_EQ(frames.has_value(), c.frames.has_value()) << c.frame.value_or(-1) << " " << c.from.value_or(-1);
    if (frames) {
      EXPECT_EQ(std::pair(frames->first, frames->end), std::pair(c.frames->first, c.frames->end));
    }
  }
}

}  // namespace
}  // namespace talmora
