#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace talmora {

// Sample rates a sound is decoded at; outside them the resampler's filter for so wild a ratio
// would cost far more memory than any real recording is worth.
inline constexpr int kMinSoundRate = 1000;
inline constexpr int kMaxSoundRate = 768000;

// What a decoding call reports: success, or what failed as the decoder library's negative code
// (the number the messages show) and its own words for it.
struct SoundStatus {
  int code = 0;
  std::string reason;

  bool Ok() const { return code == 0; }
  static SoundStatus Failure(int code);
};

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
  // Decodes up to `frames` frames into `out` (2 values a frame); `got` is how many came.
  // got < frames on success means the end.
  virtual SoundStatus Read(int16_t* out, int frames, int& got) = 0;
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
  SoundStatus OpenStream(const std::string& path, SoundInfo& info);
  // Opens the file only to learn that it decodes; spares the count when the length is not needed.
  SoundStatus OpenStream(const std::string& path);
  // Opens the file for decoding as `playback` says; `decoder` is set only on success.
  SoundStatus OpenDecoded(const std::string& path, const Playback& playback,
                          std::unique_ptr<SoundDecoder>& decoder);
};

}  // namespace talmora
