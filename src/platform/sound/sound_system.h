#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/error.h"

namespace talmora {

// Sample rates a sound is decoded at; outside them the resampler's filter for so wild a ratio
// would cost far more memory than any real recording is worth.
inline constexpr int kMinSoundRate = 1000;
inline constexpr int kMaxSoundRate = 768000;

// A failure of the decoder library: its negative code and its own words for it.
Error SoundError(int code);

// What opening a file for its length learns.
struct SoundInfo {
  uint32_t length_ms = 0;  // whole milliseconds
  int rate = 0;            // the file's own samples per second
};

// How a file is played: its own samples taken at `rate` a second (0: at the file's rate), from
// `start` seconds into the file, and, when `repeats` is not 0, the stretch from `loop_start` to
// `loop_end` (seconds in the file's own time; an end not after the start means the file's end)
// played `repeats` more times, or forever when negative. A start at or after the loop's end
// passes the loop by.
struct Playback {
  int rate = 0;
  int32_t repeats = 0;
  double loop_start = 0.0;
  double loop_end = 0.0;
  double start = 0.0;
};

// A sound file decoded as a stream: 44100 Hz, stereo, signed 16-bit interleaved output,
// delivered in order from where its playback starts. A mono file plays on both sides unchanged;
// more channels are mixed down with the resampler's standard matrix.
class SoundDecoder {
 public:
  virtual ~SoundDecoder() = default;
  // Decodes up to `frames` frames into `out` (2 values a frame); how many came. Fewer than
  // `frames` means the end.
  virtual Expected<int> Read(int16_t* out, int frames) = 0;
  // Once the output has begun to repeat itself, the frames of one repetition; 0 until then
  // and for a sound that never repeats. Lets a skip far into an endless loop end.
  virtual int64_t Period() const { return 0; }
};

// The decoding layer.
class SoundSystem {
 public:
  // Silences the decoder library's own logging: the program writes nothing to standard error.
  SoundSystem();

  // Opens the file only to learn its length, counted by decoding where the container cannot
  // state it exactly, and its rate.
  Expected<SoundInfo> MeasureStream(const std::string& path);
  // Opens the file only to learn that it decodes, and its rate; spares the count of its length.
  Expected<SoundInfo> OpenStream(const std::string& path);
  // Opens the file for decoding as `playback` says.
  Expected<std::unique_ptr<SoundDecoder>> OpenDecoded(const std::string& path, const Playback& playback);
};

}  // namespace talmora
