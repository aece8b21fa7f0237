#include "audio/wav_header.h"

#include <cmath>
#include <cstring>

namespace talmora {
namespace {

void Put(uint8_t* at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t Get32(const uint8_t* at) {
  return at[0] | at[1] << 8 | at[2] << 16 | static_cast<uint32_t>(at[3]) << 24;
}

int64_t ClampFrames(double frames) {
  constexpr double kLimit = 4611686018427387904.0;  // 2^62
  if (std::isnan(frames)) return 0;
  if (frames >= kLimit) return int64_t{1} << 62;
  if (frames <= -kLimit) return -(int64_t{1} << 62);
  return static_cast<int64_t>(frames);
}

}  // namespace

int64_t TrackFrames(double seconds) { return ClampFrames(std::trunc(seconds * kTrackRate)); }

TrackWindow WindowFrames(double start, double end) {
  const int64_t first = TrackFrames(start);
  // Exact below 2^53 frames (about 6500 years); beyond, far outside any track.
  const double last = static_cast<double>(first) + static_cast<double>(TrackFrames(end - start));
  return {first, ClampFrames(last)};
}

WavHeaderBytes WavHeader(int64_t frames) {
  const auto data_bytes = static_cast<uint32_t>(frames * kTrackFrameBytes);
  WavHeaderBytes header{};
  uint8_t* at = header.data();
  std::memcpy(at, "RIFF", 4);
  Put(at + 4, data_bytes + 36, 4);
  std::memcpy(at + 8, "WAVEfmt ", 8);
  Put(at + 16, 16, 4);
  Put(at + 20, 1, 2);  // PCM
  Put(at + 22, 2, 2);
  Put(at + 24, kTrackRate, 4);
  Put(at + 28, kTrackRate * kTrackFrameBytes, 4);
  Put(at + 32, kTrackFrameBytes, 2);
  Put(at + 34, 16, 2);
  std::memcpy(at + 36, "data", 4);
  Put(at + 40, data_bytes, 4);
  return header;
}

int64_t DeclaredFrames(const WavHeaderBytes& header) {
  const int64_t frames = Get32(header.data() + 40) / kTrackFrameBytes;
  return frames <= kMaxTrackFrames && header == WavHeader(frames) ? frames : -1;
}

}  // namespace talmora
