#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace talmora {

class SoundDecoder;

// Adds `sound` into `track`, value by value, saturating at the 16-bit limits.
void AddSaturating(int16_t* track, const int16_t* sound, size_t count);

// Adds a decoded sound into the track file in place, one chunk at a time: each chunk is read
// from the file, added to and written back, so memory stays at two chunks whatever the length.
class SoundMixer {
 public:
  static constexpr int kChunkFrames = 65536;

  explicit SoundMixer(std::string output_path);

  // Adds the first `frames` frames of `decoder` from track frame `first_frame` on. What falls
  // before the track's start or after the end its header declares is left out. A failure is
  // printed and ends the mix; false then.
  bool Mix(SoundDecoder& decoder, int64_t first_frame, int64_t frames);

 private:
  int64_t TrackLength();
  bool Skip(SoundDecoder& decoder, int64_t frames);
  bool AddChunk(int64_t track_frame, int frames);
  void Fail(const char* what) const;

  std::string output_path_;
  std::vector<int16_t> sound_;
  std::vector<int16_t> track_;
};

}  // namespace talmora
