#include "audio/sound_track.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>

#include "audio/loudness.h"
#include "platform/console/reporter.h"
#include "platform/files/pending_file.h"
#include "platform/sound/sound_system.h"

namespace talmora {
namespace {

static_assert(std::endian::native == std::endian::little,
              "track samples are written in the file's own byte order");

constexpr char kOpenFailed[] = "出力先サウンドファイルを開けませんでした : ";
constexpr char kReadFailed[] = "出力先サウンドファイルの読み込みに失敗しました : ";
constexpr char kWriteFailed[] = "出力先サウンドファイルへの書き込みに失敗しました : ";

// Far beyond any track value, yet no sum of a scaled value and a sum overflows an int.
constexpr double kSumLimit = 1 << 30;

// The track file, open for the whole mix.
class TrackFile {
 public:
  explicit TrackFile(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_CLOEXEC)) {}
  ~TrackFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  TrackFile(const TrackFile&) = delete;
  TrackFile& operator=(const TrackFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }

  // The frames its header declares, when the file is as long as that; -1 otherwise.
  int64_t Frames() {
    WavHeaderBytes header;
    struct stat info {};
    if (!Transfer(::pread, 0, reinterpret_cast<char*>(header.data()), header.size()) ||
        ::fstat(fd_, &info) != 0) {
      return -1;
    }
    const int64_t frames = DeclaredFrames(header);
    return frames >= 0 && info.st_size >= kWavHeaderBytes + frames * kTrackFrameBytes ? frames : -1;
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

// Adds and takes away 1.5 × 2^52 to round to the nearest integer, ties to even, without a
// library call.
constexpr double kRound = 6755399441055744.0;

// The loops below become vector code under GCC only with the cost model that -O2 leaves off;
// clang vectorises them as they are.
#if defined(__clang__)
#define TALMORA_VECTOR_LOOPS
#else
#define TALMORA_VECTOR_LOOPS __attribute__((optimize("vect-cost-model=dynamic")))
#endif
// The scaled sum also gets a copy for AVX2, chosen when the program loads: twice the doubles a
// step, and the same values, as AVX2 brings no fused multiply-add.
// Not under ThreadSanitizer: the loader runs the choosing function before that runtime is up.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TALMORA_NO_CLONES
#endif
#endif
#if defined(__x86_64__) && !defined(TALMORA_NO_CLONES) && !defined(__SANITIZE_THREAD__)
#define TALMORA_AVX2_TOO __attribute__((target_clones("avx2", "default")))
#else
#define TALMORA_AVX2_TOO
#endif

TALMORA_VECTOR_LOOPS void AddUnity(int32_t* __restrict sums, const int16_t* __restrict sound,
                                   size_t count) {
  for (size_t i = 0; i < count; ++i) sums[i] += sound[i];
}

// Each value of `sound` times its gain, added into the sum and rounded there: as the mix always
// has, so that a sum that never clips keeps its old value to the last bit.
TALMORA_AVX2_TOO TALMORA_VECTOR_LOOPS void AddScaled(int32_t* __restrict sums,
                                                     const int16_t* __restrict sound,
                                                     const double* __restrict gains, int count) {
  for (int i = 0; i < count; ++i) {
    const double sum = (sums[i] + sound[i] * gains[i] + kRound) - kRound;
    // min and max rather than clamp: they are single instructions on vectors.
    sums[i] = static_cast<int32_t>(std::min(std::max(sum, -kSumLimit), kSumLimit));
  }
}

// The volume the fades leave at window frame `at`, of a window `span` frames long.
double FadeAt(const SoundGains& g, double at, double span, double fade_in, double fade_out) {
  double fade = 1.0;
  if (at < fade_in) fade = g.ease.Apply(at / fade_in);
  if (span - at < fade_out) fade *= 1.0 - g.ease.Apply((at - (span - fade_out)) / fade_out);
  return fade;
}

// Scales and adds `frames` frames, the first of which is frame `at` of a window `span` long.
void AddWithGains(int32_t* sums, const int16_t* sound, int frames, double at, double span,
                  const SoundGains& g) {
  const auto sides = [](double volume, double pan, double* gains) {
    gains[0] = volume * std::min(1.0, 1.0 - pan);
    gains[1] = volume * std::min(1.0, 1.0 + pan);
  };
  // Fades too long for the window together keep their proportions.
  double fade_in = g.fade_in * kTrackRate, fade_out = g.fade_out * kTrackRate;
  if (const double both = fade_in + fade_out; both > span) {
    fade_in *= span / both;
    fade_out *= span / both;
  }
  // The gains are worked out a block at a time, each frame's from its place on the tracks.
  constexpr int kBlock = 32;
  alignas(32) double gains[2 * kBlock];
  const double volume = g.volume.First(), pan = g.pan.First();
  const bool ramp = !g.volume.IsConstant(volume) || !g.pan.IsConstant(pan);
  const bool together = g.volume.SameTiming(g.pan);
  bool constant = false;
  for (int done = 0; done < frames; done += kBlock) {
    const int count = std::min(kBlock, frames - done);
    const double first = at + done;
    const bool faded = first < fade_in || span - (first + count) < fade_out;
    if (ramp || faded) {
      for (int i = 0; i < count; ++i) {
        const double place = first + i;
        double v = volume, p = pan;
        if (ramp) {
          const double progress = place / span;
          const TrackPoint point = g.volume.Locate(progress);
          v = g.volume.At(point);
          p = together ? g.pan.At(point) : g.pan.At(progress);
        }
        if (faded) v *= FadeAt(g, place, span, fade_in, fade_out);
        sides(v, p, gains + 2 * i);
      }
      constant = false;
    } else if (!constant) {
      for (int i = 0; i < kBlock; ++i) sides(volume, pan, gains + 2 * i);
      constant = true;
    }
    AddScaled(sums + 2 * done, sound + 2 * done, gains, 2 * count);
  }
}

// A shaped value as a track value: rounded to the nearest, ties to even, and clipped.
int16_t RoundToTrack(double value) {
  return static_cast<int16_t>(std::clamp(std::nearbyint(value), -32768.0, 32767.0));
}

TALMORA_VECTOR_LOOPS bool AnySound(const int16_t* samples, size_t count) {
  int16_t any = 0;
  for (size_t i = 0; i < count; ++i) any |= samples[i];
  return any != 0;
}

}  // namespace

void ClipSums(const int32_t* sums, int16_t* out, size_t count) {
  size_t i = 0;
#ifdef __SSE2__
  // The saturating pack is the clip itself.
  for (; i + 8 <= count; i += 8) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + i));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + i + 4));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(low, high));
  }
#endif
  for (; i < count; ++i) out[i] = static_cast<int16_t>(std::clamp(sums[i], -32768, 32767));
}

void SoundMix::Fail(TrackSound& sound, const Error& status) {
  if (!sound.failed) {
    reporter_.Line("サウンドバッファのロックに失敗しました (" + std::to_string(status.code) + ")");
  }
  sound.failed = true;
}

struct SoundMix::Playing {
  size_t index;
  std::unique_ptr<SoundDecoder> decoder;
};

SoundMix::SoundMix(std::vector<TrackSound>& sounds, int64_t first, int64_t end, Reporter& reporter)
    : sounds_(sounds),
      reporter_(reporter),
      end_(end),
      position_(first),
      sums_(size_t{kChunkFrames} * 2),
      decoded_(size_t{kChunkFrames} * 2) {
  for (size_t i = 0; i < sounds_.size(); ++i) {
    const TrackWindow& w = sounds_[i].window;
    // Windows that never reach the stretch are never opened.
    if (w.end > w.first && w.end > first && w.first < end) by_start_.push_back(i);
  }
  std::stable_sort(by_start_.begin(), by_start_.end(), [&](size_t p, size_t q) {
    return sounds_[p].window.first < sounds_[q].window.first;
  });
}

SoundMix::~SoundMix() = default;

bool SoundMix::Next() {
  position_ += frames_;
  if (position_ >= end_) {
    frames_ = 0;
    return false;
  }
  frames_ = static_cast<int>(std::min<int64_t>(kChunkFrames, end_ - position_));
  const int64_t stretch_end = position_ + frames_;
  // The sounds that start in this stretch join in the list's order.
  for (; next_start_ < by_start_.size(); ++next_start_) {
    const size_t index = by_start_[next_start_];
    if (sounds_[index].window.first >= stretch_end) break;
    const auto at = std::lower_bound(playing_.begin(), playing_.end(), index,
                                     [](const Playing& p, size_t i) { return p.index < i; });
    playing_.insert(at, Playing{index, nullptr});
  }
  std::fill_n(sums_.begin(), 2 * static_cast<size_t>(frames_), 0);
  heard_ = !playing_.empty();
  // In the list's order, frame by frame; those that end here leave.
  size_t kept = 0;
  for (Playing& playing : playing_) {
    const TrackWindow& w = sounds_[playing.index].window;
    const int64_t from = std::max(w.first, position_), to = std::min(w.end, stretch_end);
    const bool plays_on =
        (playing.decoder || Start(playing, from)) && Add(playing, from, to) && to < w.end;
    if (!plays_on) continue;
    if (&playing_[kept] != &playing) playing_[kept] = std::move(playing);
    ++kept;
  }
  playing_.resize(kept);
  return true;
}

bool SoundMix::Start(Playing& playing, int64_t frame) {
  TrackSound& sound = sounds_[playing.index];
  playing.decoder = sound.open(!sound.failed);
  if (!playing.decoder) {
    sound.failed = true;
    return false;
  }
  // A sound that starts before the track plays on into it from the matching point: first the
  // whole track's skip, across an endless loop's repetitions without decoding them, then on
  // into a part decoded through, since repetitions need not land on the same samples once they
  // are resampled.
  SoundDecoder& decoder = *playing.decoder;
  const auto skip = [&](int64_t frames, bool by_repetitions) {
    while (frames > 0) {
      if (const int64_t period = decoder.Period(); by_repetitions && period > 0) frames %= period;
      const int count = static_cast<int>(std::min<int64_t>(kChunkFrames, frames));
      const auto read = decoder.Read(decoded_.data(), count);
      if (!read) {
        Fail(sound, read.error());
        return false;
      }
      const int got = *read;
      if (got < count) return true;
      frames -= got;
    }
    return true;
  };
  const int64_t lead = std::max<int64_t>(-sound.window.first, 0);
  return skip(lead, true) && skip(frame - sound.window.first - lead, false);
}

bool SoundMix::Add(Playing& playing, int64_t from, int64_t to) {
  TrackSound& sound = sounds_[playing.index];
  const int count = static_cast<int>(to - from);
  const auto read = playing.decoder->Read(decoded_.data(), count);
  if (!read) {
    Fail(sound, read.error());
    return false;
  }
  const int got = *read;
  int32_t* sums = sums_.data() + 2 * (from - position_);
  if (sound.gains.IsUnity()) {
    AddUnity(sums, decoded_.data(), static_cast<size_t>(got) * 2);
  } else {
    const TrackWindow& w = sound.window;
    const double span = static_cast<double>(w.end) - static_cast<double>(w.first);
    AddWithGains(sums, decoded_.data(), got, static_cast<double>(from - w.first), span,
                 sound.gains);
  }
  return got == count;  // the file ends inside its window: the rest stays as it was
}

SoundTrack::SoundTrack(Reporter& reporter, std::string path, std::string name, int64_t first)
    : reporter_(reporter), path_(std::move(path)), name_(name.empty() ? path_ : std::move(name)), first_(first) {}

bool SoundTrack::Mix(std::vector<TrackSound>& sounds, const TrackShaping* shaping) {
  TrackFile file(path_);
  if (!file.IsOpen()) {
    Fail(kOpenFailed);
    return false;
  }
  const int64_t track_frames = file.Frames();
  if (track_frames < 0) {
    Fail(kReadFailed);
    return false;
  }
  const int64_t file_end = first_ + track_frames;
  std::vector<int16_t> out(size_t{SoundMix::kChunkFrames} * 2);
  // Writes the 16-bit frames of the movie's track from `frame` on that fall in the file; with
  // `unless_silent`, not when they are all zero.
  const auto write = [&](int64_t frame, const int16_t* samples, int64_t frames, bool unless_silent) {
    const int64_t from = std::max(frame, first_), to = std::min(frame + frames, file_end);
    if (from >= to) return true;
    const int16_t* at = samples + 2 * (from - frame);
    const size_t bytes = static_cast<size_t>(to - from) * kTrackFrameBytes;
    if (unless_silent && !AnySound(at, bytes / 2)) return true;
    errno = 0;
    if (file.WriteAt(kWavHeaderBytes + (from - first_) * kTrackFrameBytes, at, bytes)) return true;
    // pwrite returns 0 only when nothing more fits.
    const int error = errno ? errno : ENOSPC;
    Fail(kWriteFailed);
    reporter_.Line(WriteFailureDetail(name_, error));
    write_failed_ = true;
    return false;
  };

  if (!shaping) {
    SoundMix mix(sounds, first_, file_end, reporter_);
    while (mix.Next()) {
      if (!mix.Heard()) continue;
      ClipSums(mix.Sums(), out.data(), 2 * static_cast<size_t>(mix.Frames()));
      if (!write(mix.Position(), out.data(), mix.Frames(), false)) return false;
    }
  } else {
    // From the track's start, and as far past the file's end as the limiter looks ahead.
    const int64_t end = std::min(shaping->whole, file_end + PeakLimiter::kDelay);
    SoundMix mix(sounds, 0, end, reporter_);
    PeakLimiter limiter;
    std::vector<double> scaled, shaped;
    int64_t written = 0;  // frames of the track through the limiter
    const auto pass = [&](const std::vector<double>& frames) {
      const size_t count = frames.size() / 2;
      out.resize(std::max(out.size(), 2 * count));
      for (size_t i = 0; i < 2 * count; ++i) out[i] = RoundToTrack(frames[i]);
      // What sounds lags behind the mix here: only the limiter's output tells silence apart.
      const bool ok = write(written, out.data(), static_cast<int64_t>(count), true);
      written += static_cast<int64_t>(count);
      return ok;
    };
    while (mix.Next()) {
      const size_t count = 2 * static_cast<size_t>(mix.Frames());
      scaled.resize(count);
      for (size_t i = 0; i < count; ++i) scaled[i] = mix.Sums()[i] * shaping->gain;
      shaped.clear();
      if (shaping->limit) {
        limiter.Push(scaled.data(), count / 2, shaped);
      } else {
        shaped.swap(scaled);
      }
      if (!pass(shaped)) return false;
    }
    if (shaping->limit && end == shaping->whole) {
      shaped.clear();
      limiter.Finish(shaped);
      if (!pass(shaped)) return false;
    }
  }
  errno = 0;
  if (!file.Close()) {
    Fail(kWriteFailed);
    reporter_.Line(WriteFailureDetail(name_, errno ? errno : EIO));
    write_failed_ = true;
    return false;
  }
  return true;
}

void SoundTrack::Fail(const char* what) const { reporter_.Line(what + name_); }

}  // namespace talmora
