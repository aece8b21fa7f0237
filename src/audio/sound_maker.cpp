#include "audio/sound_maker.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "audio/sound.h"
#include "audio/sound_track.h"
#include "audio/wav_header.h"
#include "platform/console/print_line.h"
#include "platform/files/pending_file.h"
#include "script/object_factory.h"

namespace talmora {
namespace {

constexpr char kOpenFailed[] = "出力先サウンドファイルを開けませんでした : ";
constexpr char kWriteFailed[] = "出力先サウンドファイルへの書き込みに失敗しました : ";

}  // namespace

SoundMaker::SoundMaker(const ObjectFactory& factory, double movie_length)
    : length(movie_length), factory_(factory) {}

SoundMaker::~SoundMaker() = default;

void SoundMaker::ReadProperties(const TagList& tags) {
  for (const ScriptTag& tag : tags) {
    auto sound = factory_.Create<Sound>(tag);
    if (!sound) continue;
    if (sound->EndsWithMovie()) sound->end = length;
    sounds_.push_back(std::move(sound));
  }
  // Stable, so equal sounds keep script order and their console lines a fixed order.
  std::stable_sort(sounds_.begin(), sounds_.end(),
                   [](const auto& p, const auto& q) { return ActivatesAfter(*p, *q); });
}

void SoundMaker::Make(const std::string& path) {
  if (sounds_.empty()) return;
  // A negative length makes an empty track; one beyond the header's 32-bit sizes is refused
  // before anything is replaced.
  const int64_t whole = std::max<int64_t>(TrackFrames(length), 0);
  const int64_t first = from ? std::clamp<int64_t>(TrackFrames(*from), 0, whole) : 0;
  const int64_t frames = (to ? std::clamp<int64_t>(TrackFrames(*to), first, whole) : whole) - first;
  if (frames > kMaxTrackFrames) {
    PrintLine("エラー : 動画が長すぎてWAVファイルの上限(4GB)を超えます : " + path);
    factory_.Outcome().NoteIncomplete();
    return;
  }
  PendingFile file(path);
  if (!file.IsOpen()) {
    PrintLine(kOpenFailed + path);
    factory_.Outcome().NoteIncomplete();
    return;
  }
  if (!WriteSilentTrack(file.Path(), path, frames)) {
    factory_.Outcome().NoteIncomplete();
    return;
  }
  SoundTrack track(file.Path(), path, first);
  for (const auto& sound : sounds_) sound->MixInto(track);
  // A track the disk refused part of is dropped; the one there before stays.
  if (track.WriteFailed()) {
    factory_.Outcome().NoteIncomplete();
    return;
  }
  if (!file.Commit()) {
    PrintWriteFailure(path, errno);
    factory_.Outcome().NoteIncomplete();
    return;
  }
  made = true;
}

void SoundMaker::PrintWriteFailure(const std::string& path, int error) {
  PrintLine(kWriteFailed + path);
  PrintLine(WriteFailureDetail(path, error));
}

bool SoundMaker::WriteSilentTrack(const std::string& file, const std::string& path, int64_t frames) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    PrintLine(kOpenFailed + path);
    return false;
  }
  // The data area is only sized, never written: it reads back as zeros, which is silence.
  const WavHeaderBytes header = WavHeader(frames);
  ssize_t written;
  do {
    written = ::write(fd, header.data(), header.size());
  } while (written < 0 && errno == EINTR);
  // A short write leaves no reason of its own: it is the disk running full.
  int error = written < 0 ? errno : ENOSPC;
  bool sized = written == static_cast<ssize_t>(header.size());
  if (sized && ::ftruncate(fd, kWavHeaderBytes + frames * kTrackFrameBytes) != 0) {
    sized = false;
    error = errno;
  }
  if (::close(fd) != 0 && sized) {
    sized = false;
    error = errno;
  }
  if (sized) return true;
  PrintWriteFailure(path, error);
  return false;
}

}  // namespace talmora
