#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/wav_header.h"

namespace talmora {

class SoundDecoder;

// A sound's gains across its window: volume and pan each move linearly from their start value
// at the window's start to their end value at its end. Pan runs from −1 (left only) to +1,
// volume from 0 to kMaxGain.
struct SoundGains {
  static constexpr double kMaxGain = 32768.0;

  double volume = 1.0, volume_end = 1.0;
  double pan = 0.0, pan_end = 0.0;

  bool IsUnity() const {
    return volume == 1.0 && volume_end == 1.0 && pan == 0.0 && pan_end == 0.0;
  }
};

// Adds `sound` into `track`, value by value, saturating at the 16-bit limits.
void AddSaturating(int16_t* track, const int16_t* sound, size_t count);

// The track file the sound maker has made, which every sound adds itself into in place, one
// chunk at a time: each chunk is read from the file, added to and written back, so memory stays
// at two chunks whatever the length.
class SoundTrack {
 public:
  static constexpr int kChunkFrames = 65536;

  // The track file at `path`, called `name` in messages (the path itself when empty), holding the
  // movie's track from frame `first` on.
  explicit SoundTrack(std::string path, std::string name = {}, int64_t first = 0);

  const std::string& Path() const { return path_; }
  // Whether a write to the file has failed: the track is then incomplete.
  bool WriteFailed() const { return write_failed_; }

  // Adds `decoder`'s frames over the window (in the movie's track frames), from its first frame
  // on, with `gains`. What falls before the file's start or after the end its header declares
  // is left out. A failure is printed and ends the mix; false then.
  bool Mix(SoundDecoder& decoder, TrackWindow window, const SoundGains& gains = {});

 private:
  int64_t TrackLength();
  // Reads past `frames` frames; `by_repetitions` lets whole repetitions of an endless loop go
  // undecoded.
  bool Skip(SoundDecoder& decoder, int64_t frames, bool by_repetitions);
  bool Decode(SoundDecoder& decoder, int count, int& got);
  // Adds the first `frames` decoded frames at `track_frame`, window frame `window_frame`.
  bool AddChunk(int64_t track_frame, int frames, int64_t window_frame, const TrackWindow& window,
                const SoundGains& gains);
  void Fail(const char* what) const;

  std::string path_;
  std::string name_;
  int64_t first_;
  bool write_failed_ = false;
  std::vector<int16_t> sound_;
  std::vector<int16_t> track_;
};

}  // namespace talmora
