#include "audio/sound_track.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>

#include "platform/console/print_line.h"
#include "platform/files/pending_file.h"
#include "platform/sound/sound_system.h"

namespace talmora {
namespace {

static_assert(std::endian::native == std::endian::little,
              "track samples are read and written in the file's own byte order");

constexpr char kOpenFailed[] = "出力先サウンドファイルを開けませんでした : ";
constexpr char kReadFailed[] = "出力先サウンドファイルの読み込みに失敗しました : ";
constexpr char kWriteFailed[] = "出力先サウンドファイルへの書き込みに失敗しました : ";

// The track file, open for one step of the mix: nothing stays open between chunks, so a file
// removed or replaced meanwhile is noticed.
class TrackFile {
 public:
  explicit TrackFile(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_CLOEXEC)) {}
  ~TrackFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  TrackFile(const TrackFile&) = delete;
  TrackFile& operator=(const TrackFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }

  // All `size` bytes or false; the end of the file counts as a failure.
  bool ReadAt(int64_t offset, void* data, size_t size) {
    return Transfer(::pread, offset, static_cast<char*>(data), size);
  }
  bool WriteAt(int64_t offset, const void* data, size_t size) {
    return Transfer(::pwrite, offset, static_cast<const char*>(data), size);
  }

  // A late write error (a full disk on a network file system) shows up here.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  // Repeats the call until every byte is through; interrupted calls are retried.
  template <typename Call, typename Byte>
  bool Transfer(Call call, int64_t offset, Byte* at, size_t size) {
    while (size > 0) {
      const ssize_t n = call(fd_, at, size, offset);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      at += n;
      offset += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }

  int fd_;
};

}  // namespace

void AddSaturating(int16_t* track, const int16_t* sound, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    track[i] = static_cast<int16_t>(std::clamp(track[i] + sound[i], -32768, 32767));
  }
}

namespace {

// The sum of a track value and a scaled sound value, rounded to the nearest integer (ties to
// even) and saturated. Adding and taking away 1.5 × 2^52 rounds without a library call; gains
// up to kMaxGain keep the sum within an int.
inline int16_t AddScaled(int16_t track, int16_t sound, double gain) {
  constexpr double kRound = 6755399441055744.0;
  const int sum = static_cast<int>((track + sound * gain + kRound) - kRound);
  return static_cast<int16_t>(std::clamp(sum, -32768, 32767));
}

// Scales and adds `frames` frames, the first of which is frame `at` of a window `span` long.
// Its loops become vector code only under the cost model that -O2 leaves off.
__attribute__((optimize("vect-cost-model=dynamic"))) void AddWithGains(
    int16_t* track, const int16_t* sound, int frames, double at, double span, const SoundGains& g) {
  const auto sides = [](double volume, double pan, double* gains) {
    gains[0] = volume * std::min(1.0, 1.0 - pan);
    gains[1] = volume * std::min(1.0, 1.0 + pan);
  };
  // The gains are worked out a block at a time, each frame's from its place in a ramp.
  constexpr int kBlock = 32;
  alignas(32) double gains[2 * kBlock];
  const bool ramp = g.volume != g.volume_end || g.pan != g.pan_end;
  if (!ramp) {
    for (int i = 0; i < kBlock; ++i) sides(g.volume, g.pan, gains + 2 * i);
  }
  for (int done = 0; done < frames; done += kBlock) {
    if (ramp) {
      for (int i = 0; i < kBlock; ++i) {
        const double s = (at + done + i) / span, c = 1.0 - s;
        sides(c * g.volume + s * g.volume_end, c * g.pan + s * g.pan_end, gains + 2 * i);
      }
    }
    int16_t* __restrict t = track + 2 * done;
    const int16_t* __restrict in = sound + 2 * done;
    if (frames - done >= kBlock) {
      for (int i = 0; i < 2 * kBlock; ++i) t[i] = AddScaled(t[i], in[i], gains[i]);
    } else {
      for (int i = 0; i < 2 * (frames - done); ++i) t[i] = AddScaled(t[i], in[i], gains[i]);
    }
  }
}

}  // namespace

SoundTrack::SoundTrack(std::string path, std::string name, int64_t first)
    : path_(std::move(path)),
      name_(name.empty() ? path_ : std::move(name)),
      first_(first),
      sound_(size_t{kChunkFrames} * 2),
      track_(size_t{kChunkFrames} * 2) {}

bool SoundTrack::Mix(SoundDecoder& decoder, TrackWindow window, const SoundGains& gains) {
  if (window.end <= window.first) return true;
  const int64_t track_frames = TrackLength();
  if (track_frames < 0) return false;
  // In the movie's frames; the file starts at first_. Both ends lie within ±2^62 and the track
  // within 2^31 frames: no difference below overflows.
  const int64_t from = std::max<int64_t>(window.first, first_);
  const int64_t to = std::min(window.end, first_ + track_frames);
  if (from >= to) return true;
  // A sound that starts before the track plays on into it from the matching point: the skip a
  // whole track makes first, then on into a slice decoded through, since the shortcut across an
  // endless loop's repetitions need not land on the same samples once they are resampled.
  const int64_t lead = std::max<int64_t>(-window.first, 0);
  if (!Skip(decoder, lead, true) || !Skip(decoder, from - window.first - lead, false)) return false;
  for (int64_t frame = from; frame < to; frame += kChunkFrames) {
    const int count = static_cast<int>(std::min<int64_t>(kChunkFrames, to - frame));
    int got = 0;
    if (!Decode(decoder, count, got)) return false;
    if (got > 0 && !AddChunk(frame - first_, got, frame - window.first, window, gains)) return false;
    if (got < count) break;  // the file ends inside its window: the rest stays as it was
  }
  return true;
}

int64_t SoundTrack::TrackLength() {
  TrackFile file(path_);
  if (!file.IsOpen()) {
    Fail(kOpenFailed);
    return -1;
  }
  WavHeaderBytes header;
  const int64_t frames = file.ReadAt(0, header.data(), header.size()) ? DeclaredFrames(header) : -1;
  if (frames < 0) Fail(kReadFailed);
  return frames;
}

bool SoundTrack::Skip(SoundDecoder& decoder, int64_t frames, bool by_repetitions) {
  while (frames > 0) {
    // Deep into an endless loop, whole repetitions are skipped without decoding them.
    if (const int64_t period = decoder.Period(); by_repetitions && period > 0) frames %= period;
    const int count = static_cast<int>(std::min<int64_t>(kChunkFrames, frames));
    int got = 0;
    if (!Decode(decoder, count, got)) return false;
    if (got < count) return true;
    frames -= got;
  }
  return true;
}

bool SoundTrack::Decode(SoundDecoder& decoder, int count, int& got) {
  const SoundStatus status = decoder.Read(sound_.data(), count, got);
  if (status.Ok()) return true;
  PrintLine("サウンドバッファのロックに失敗しました (" + std::to_string(status.code) + ")");
  return false;
}

bool SoundTrack::AddChunk(int64_t track_frame, int frames, int64_t window_frame,
                          const TrackWindow& window, const SoundGains& gains) {
  const int64_t offset = kWavHeaderBytes + track_frame * kTrackFrameBytes;
  const size_t bytes = static_cast<size_t>(frames) * kTrackFrameBytes;
  TrackFile file(path_);
  if (!file.IsOpen()) {
    Fail(kOpenFailed);
    return false;
  }
  if (!file.ReadAt(offset, track_.data(), bytes)) {
    Fail(kReadFailed);
    return false;
  }
  if (gains.IsUnity()) {
    AddSaturating(track_.data(), sound_.data(), static_cast<size_t>(frames) * 2);
  } else {
    const double span = static_cast<double>(window.end) - static_cast<double>(window.first);
    AddWithGains(track_.data(), sound_.data(), frames, static_cast<double>(window_frame), span,
                 gains);
  }
  errno = 0;
  if (!file.WriteAt(offset, track_.data(), bytes) || !file.Close()) {
    // pwrite returns 0 only when nothing more fits.
    const int error = errno ? errno : ENOSPC;
    Fail(kWriteFailed);
    PrintLine(WriteFailureDetail(name_, error));
    write_failed_ = true;
    return false;
  }
  return true;
}

void SoundTrack::Fail(const char* what) const { PrintLine(what + name_); }

}  // namespace talmora
