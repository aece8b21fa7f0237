#pragma once

#include <cstdint>

namespace talmora {

// fps × length frames, truncated toward zero. None when the rate is not positive, or when the
// product is not a positive number of frames that a 32-bit count can hold (NaN, infinite,
// negative, 2^31 or more).
int32_t FrameCount(int32_t fps, double length);

// The most frames a movie can have.
inline constexpr int32_t kMaxFrameCount = 2147483647;

// True when fps × length is more frames than kMaxFrameCount, infinitely many included: a movie
// that cannot be made, unlike one of no frames at all.
bool FrameCountTooLarge(int32_t fps, double length);

// The time of frame `index`: index ÷ fps + 1e-9, so that a frame at an object's exact start or
// end time already counts as past it. `fps` must be positive.
double FrameTime(int32_t index, int32_t fps);

}  // namespace talmora
