#include "audio/sound_maker.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>

#include "audio/loudness.h"
#include "audio/sound.h"
#include "audio/sound_track.h"
#include "audio/wav_header.h"
#include "platform/console/reporter.h"
#include "platform/files/pending_file.h"
#include "script/object_factory.h"
#include "script/property_readers.h"

namespace talmora {
namespace {

constexpr char kOpenFailed[] = "出力先サウンドファイルを開けませんでした : ";
constexpr char kWriteFailed[] = "出力先サウンドファイルへの書き込みに失敗しました : ";

// A limited track is measured again until it comes this close to its target, or that many times.
constexpr double kLoudnessTolerance = 0.05;
constexpr int kLimitedRuns = 3;

// Runs the mix of `sounds` over the whole track, scaled by `gain` and, with `limiter`, limited,
// into `meter`; `peak`, when given, gets the highest true peak.
void MeasureMix(std::vector<TrackSound>& sounds, int64_t whole, double gain, PeakLimiter* limiter,
                LoudnessMeter& meter, double* peak, Reporter& reporter) {
  SoundMix mix(sounds, 0, whole, reporter);
  TruePeakDetector detector;
  std::vector<double> scaled, limited, peaks;
  const auto measure = [&](const std::vector<double>& frames) {
    meter.Add(frames.data(), frames.size() / 2);
    if (!peak) return;
    peaks.clear();
    detector.Push(frames.data(), frames.size() / 2, *peak, peaks);
    for (double p : peaks) *peak = std::max(*peak, p);
  };
  while (mix.Next()) {
    scaled.resize(2 * static_cast<size_t>(mix.Frames()));
    for (size_t i = 0; i < scaled.size(); ++i) scaled[i] = mix.Sums()[i] * gain;
    if (limiter) {
      limited.clear();
      limiter->Push(scaled.data(), static_cast<size_t>(mix.Frames()), limited);
      measure(limited);
    } else {
      measure(scaled);
    }
  }
  if (limiter) {
    limited.clear();
    limiter->Finish(limited);
    measure(limited);
  }
  if (peak) {
    peaks.clear();
    detector.Finish(*peak, peaks);
    for (double p : peaks) *peak = std::max(*peak, p);
  }
}

double Decibels(double gain) { return 20.0 * std::log10(gain); }

}  // namespace

SoundMaker::SoundMaker(const ObjectFactory& factory, double movie_length)
    : length(movie_length), factory_(factory) {}

SoundMaker::~SoundMaker() = default;

void SoundMaker::ReadProperties(const TagList& tags) {
  if (double target = 0.0;
      !tags.empty() && ReadPlainNumber(tags.front().attributes, "loudness", target, factory_.Reports(), &factory_.Outcome())) {
    if (target >= kQuietestTarget && target <= 0.0) {
      loudness = target;
    } else {
      PrintInvalidValue(factory_.Reports(), "loudness", tags.front().attributes.at("loudness"), &factory_.Outcome());
    }
  }
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
    factory_.Reports().Line("エラー : 動画が長すぎてWAVファイルの上限(4GB)を超えます : " + path);
    factory_.Outcome().NoteIncomplete();
    return;
  }
  PendingFile file(path);
  if (!file.IsOpen()) {
    factory_.Reports().Line(kOpenFailed + path);
    factory_.Outcome().NoteIncomplete();
    return;
  }
  if (!WriteSilentTrack(file.Path(), path, frames)) {
    factory_.Outcome().NoteIncomplete();
    return;
  }
  std::vector<TrackSound> mixed;
  for (const auto& sound : sounds_) {
    if (auto opened = sound->ForTrack()) mixed.push_back(std::move(*opened));
  }
  std::optional<TrackShaping> shaping;
  if (loudness && !mixed.empty()) shaping = PlanLoudness(mixed, whole);
  SoundTrack track(factory_.Reports(), file.Path(), path, first);
  if (!track.Mix(mixed, shaping ? &*shaping : nullptr)) factory_.Outcome().NoteFailed();
  for (const TrackSound& sound : mixed) {
    if (sound.failed) factory_.Outcome().NoteFailed();
  }
  // A track the disk refused part of is dropped; the one there before stays.
  if (track.WriteFailed()) {
    factory_.Outcome().NoteIncomplete();
    return;
  }
  if (before_replacing) before_replacing(file.Path());
  if (!file.Commit()) {
    PrintWriteFailure(path, errno);
    factory_.Outcome().NoteIncomplete();
    return;
  }
  made = true;
}

std::optional<TrackShaping> SoundMaker::PlanLoudness(std::vector<TrackSound>& sounds,
                                                     int64_t whole) const {
  LoudnessMeter meter;
  double peak = 0.0;
  MeasureMix(sounds, whole, 1.0, nullptr, meter, &peak, factory_.Reports());
  const double measured = meter.Integrated();
  if (!std::isfinite(measured)) {
    factory_.Reports().Line("ラウドネスを測れません (無音です): 音量はそのままです");
    return std::nullopt;
  }
  TrackShaping shaping;
  shaping.whole = whole;
  shaping.gain = std::pow(10.0, (*loudness - measured) / 20.0);
  // The limiter takes loudness from what it holds down: runs through it measure how much, and
  // the gain makes up for it until the track comes close enough.
  shaping.limit = peak * shaping.gain > LimiterCeiling();
  for (int run = 0; shaping.limit && run < kLimitedRuns; ++run) {
    LoudnessMeter limited;
    PeakLimiter limiter;
    MeasureMix(sounds, whole, shaping.gain, &limiter, limited, nullptr, factory_.Reports());
    const double missing = *loudness - limited.Integrated();
    if (!std::isfinite(missing) || std::fabs(missing) < kLoudnessTolerance) break;
    shaping.gain *= std::pow(10.0, missing / 20.0);
  }
  char line[200];
  std::snprintf(line, sizeof line, "ラウドネス : %.1f LUFS を %.1f LUFS に合わせます (%+.1f dB%s)",
                measured, *loudness, Decibels(shaping.gain), shaping.limit ? ", リミッター使用" : "");
  factory_.Reports().Line(line);
  return shaping;
}

void SoundMaker::PrintWriteFailure(const std::string& path, int error) {
  factory_.Reports().Line(kWriteFailed + path);
  factory_.Reports().Line(WriteFailureDetail(path, error));
}

bool SoundMaker::WriteSilentTrack(const std::string& file, const std::string& path, int64_t frames) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    factory_.Reports().Line(kOpenFailed + path);
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
