#pragma once

#include <array>
#include <cstdint>

namespace talmora {

// The sound track's layout: 16-bit stereo PCM, 44100 frames a second, behind a 44-byte header.
inline constexpr int kTrackRate = 44100;
inline constexpr int kTrackFrameBytes = 4;
inline constexpr int kWavHeaderBytes = 44;
// The longest data area whose sizes still fit the header's 32-bit fields (about 6.76 hours).
inline constexpr int64_t kMaxTrackFrames = (int64_t{0xFFFFFFFF} - 36) / kTrackFrameBytes;

using WavHeaderBytes = std::array<uint8_t, kWavHeaderBytes>;

// trunc(seconds × 44100): the frame a time falls in, or the frames a span covers. NaN gives 0;
// magnitudes stop at 2^62.
int64_t TrackFrames(double seconds);

// The track frames a window of `start` to `end` seconds covers: from TrackFrames(start) to that
// plus TrackFrames(end − start), both within ±2^62 whatever the doubles, so that differences
// and sums of the two stay in range.
struct TrackWindow {
  int64_t first = 0;
  int64_t end = 0;
};
TrackWindow WindowFrames(double start, double end);

// The header of a track of `frames` frames (0 to kMaxTrackFrames).
WavHeaderBytes WavHeader(int64_t frames);

// The frames a header declares; -1 unless it is exactly the header WavHeader writes for them.
int64_t DeclaredFrames(const WavHeaderBytes& header);

}  // namespace talmora
