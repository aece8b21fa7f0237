#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/wav_header.h"
#include "video/easing.h"
#include "video/track.h"

namespace talmora {

class Reporter;
struct Error;
class SoundDecoder;

// A sound's gains across its window: volume and pan each move along their track, from key to
// key. Pan runs from −1 (left only) to +1, volume from 0 to kMaxGain. The volume also rises from
// 0 over the first `fade_in` seconds of the window and falls to 0 over the last `fade_out`, along
// `ease`; fades that together outlast the window are shortened in proportion.
struct SoundGains {
  static constexpr double kMaxGain = 32768.0;

  Track volume{1.0};
  Track pan{0.0};
  double fade_in = 0.0, fade_out = 0.0;
  Ease ease;

  bool IsUnity() const { return volume.IsConstant(1.0) && pan.IsConstant(0.0) && fade_in == 0.0 && fade_out == 0.0; }
};

// One sound as the track mixes it: its window in the movie's track frames, its gains, and how to
// open its decoder, which the mix calls only once it reaches the window (null when it cannot;
// told to `report`, it prints why). A sound that does not open or stops decoding is marked
// `failed`, and its failures are printed only the first time: a mix may be run more than once.
struct TrackSound {
  TrackWindow window;
  SoundGains gains;
  std::function<std::unique_ptr<SoundDecoder>(bool report)> open;
  bool failed = false;
};

// The sum of the sounds over the movie's track frames [first, end), a stretch at a time, front
// to back. Within a stretch every sound playing there is added, in the order of the list, into
// 32-bit sums, which whoever takes them clips once: the sums do not depend on that order, except
// how a scaled value's exact half rounds. Only the sounds playing in a stretch are open, so
// memory does not grow with the track's length.
class SoundMix {
 public:
  static constexpr int kChunkFrames = 65536;

  SoundMix(std::vector<TrackSound>& sounds, int64_t first, int64_t end, Reporter& reporter);
  ~SoundMix();
  SoundMix(const SoundMix&) = delete;
  SoundMix& operator=(const SoundMix&) = delete;

  // Mixes the next stretch; false once the end is reached.
  bool Next();
  // The stretch last mixed: its first track frame, its frames and their sums, two a frame.
  int64_t Position() const { return position_; }
  int Frames() const { return frames_; }
  const int32_t* Sums() const { return sums_.data(); }
  int32_t* Sums() { return sums_.data(); }
  // Whether any sound played in it; if not, its sums are all 0.
  bool Heard() const { return heard_; }

 private:
  struct Playing;
  // Opens the sound and decodes its way to `frame`; false after marking it failed.
  bool Start(Playing& playing, int64_t frame);
  // Adds the playing sound's frames over [from, to) of the stretch; false when its file ends or
  // fails there.
  bool Add(Playing& playing, int64_t from, int64_t to);
  void Fail(TrackSound& sound, const Error& status);

  std::vector<TrackSound>& sounds_;
  Reporter& reporter_;
  std::vector<size_t> by_start_;  // sound indices by the frame they start in
  size_t next_start_ = 0;
  std::vector<Playing> playing_;  // in the list's order
  int64_t end_;
  int64_t position_;
  int frames_ = 0;
  bool heard_ = false;
  std::vector<int32_t> sums_;
  std::vector<int16_t> decoded_;
};

// The 16-bit track value of a sum: clipped at the limits.
void ClipSums(const int32_t* sums, int16_t* out, size_t count);

// What the loudness target does to the mix before it is clipped: a gain and, where it would
// lift a peak past the ceiling, a limiter. The mix then runs from the track's start, so that
// the limiter sees what comes before a part, and `whole` frames long.
struct TrackShaping {
  double gain = 1.0;
  bool limit = false;
  int64_t whole = 0;
};

// The track file the sound maker has sized, holding the movie's track from frame `first` on,
// which the mix is written into once, front to back. Stretches where no sound plays (shaped:
// where the track is silent) are left as the file's unwritten zeros.
class SoundTrack {
 public:
  // The track file at `path`, called `name` in messages (the path itself when empty).
  SoundTrack(Reporter& reporter, std::string path, std::string name = {}, int64_t first = 0);

  const std::string& Path() const { return path_; }
  // Whether a write to the file has failed: the track is then incomplete.
  bool WriteFailed() const { return write_failed_; }

  // Mixes `sounds` (see SoundMix) over the frames the file's header declares and writes them,
  // shaped when `shaping` is given. A failure of the file is printed and ends the mix; false
  // then. A sound's own failure is printed and marked on it, and the others play on.
  bool Mix(std::vector<TrackSound>& sounds, const TrackShaping* shaping = nullptr);

 private:
  void Fail(const char* what) const;

  Reporter& reporter_;
  std::string path_;
  std::string name_;
  int64_t first_;
  bool write_failed_ = false;
};

}  // namespace talmora
