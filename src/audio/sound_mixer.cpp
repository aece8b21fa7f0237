#include "audio/sound_mixer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>

#include "audio/wav_header.h"
#include "platform/console/print_line.h"
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

SoundMixer::SoundMixer(std::string output_path)
    : output_path_(std::move(output_path)),
      sound_(size_t{kChunkFrames} * 2),
      track_(size_t{kChunkFrames} * 2) {}

bool SoundMixer::Mix(SoundDecoder& decoder, int64_t first_frame, int64_t frames) {
  if (frames <= 0) return true;
  const int64_t track_frames = TrackLength();
  if (track_frames < 0) return false;
  const int64_t from = std::max<int64_t>(first_frame, 0);
  const int64_t to = std::min(first_frame + frames, track_frames);
  if (from >= to) return true;
  // A sound that starts before the track plays on into it from the matching point.
  if (!Skip(decoder, from - first_frame)) return false;
  for (int64_t frame = from; frame < to; frame += kChunkFrames) {
    const int count = static_cast<int>(std::min<int64_t>(kChunkFrames, to - frame));
    int got = 0;
    if (const int result = decoder.Read(sound_.data(), count, got); result < 0) {
      PrintLine("サウンドバッファのロックに失敗しました (" + std::to_string(result) + ")");
      return false;
    }
    if (got > 0 && !AddChunk(frame, got)) return false;
    if (got < count) break;  // the file ends inside its window: the rest stays as it was
  }
  return true;
}

int64_t SoundMixer::TrackLength() {
  TrackFile file(output_path_);
  if (!file.IsOpen()) {
    Fail(kOpenFailed);
    return -1;
  }
  WavHeaderBytes header;
  const int64_t frames = file.ReadAt(0, header.data(), header.size()) ? DeclaredFrames(header) : -1;
  if (frames < 0) Fail(kReadFailed);
  return frames;
}

bool SoundMixer::Skip(SoundDecoder& decoder, int64_t frames) {
  while (frames > 0) {
    const int count = static_cast<int>(std::min<int64_t>(kChunkFrames, frames));
    int got = 0;
    if (const int result = decoder.Read(sound_.data(), count, got); result < 0) {
      PrintLine("サウンドバッファのロックに失敗しました (" + std::to_string(result) + ")");
      return false;
    }
    if (got < count) return true;
    frames -= got;
  }
  return true;
}

bool SoundMixer::AddChunk(int64_t track_frame, int frames) {
  const int64_t offset = kWavHeaderBytes + track_frame * kTrackFrameBytes;
  const size_t bytes = static_cast<size_t>(frames) * kTrackFrameBytes;
  TrackFile file(output_path_);
  if (!file.IsOpen()) {
    Fail(kOpenFailed);
    return false;
  }
  if (!file.ReadAt(offset, track_.data(), bytes)) {
    Fail(kReadFailed);
    return false;
  }
  AddSaturating(track_.data(), sound_.data(), static_cast<size_t>(frames) * 2);
  if (!file.WriteAt(offset, track_.data(), bytes) || !file.Close()) {
    Fail(kWriteFailed);
    return false;
  }
  return true;
}

void SoundMixer::Fail(const char* what) const { PrintLine(what + output_path_); }

}  // namespace talmora
