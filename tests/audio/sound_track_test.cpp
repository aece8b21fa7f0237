#include "audio/sound_track.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <csignal>

#include "audio/loudness.h"
#include "audio/wav_header.h"
#include "platform/sound/sound_system.h"
#include "sound/sound_files.h"
#include "platform/console/reporter.h"

namespace talmora {
namespace {

// A decoder whose frame i is (Left(i), -Left(i)), or (value, value) when given one; it records
// what it is asked for and can fail.
class FakeDecoder : public SoundDecoder {
 public:
  FakeDecoder(int64_t frames, int fail_on_read, std::vector<int>* requests = nullptr, int value = 0)
      : frames_(frames), fail_on_read_(fail_on_read), requests_(requests), value_(value) {}
  static int16_t Left(int64_t i) { return static_cast<int16_t>(i % 20000 + 1); }
  Expected<int> Read(int16_t* out, int frames) override {
    if (requests_) requests_->push_back(frames);
    if (reads_++ == fail_on_read_) return SoundError(-5);
    int got = 0;
    for (; got < frames && next_ < frames_; ++got, ++next_) {
      out[2 * got] = static_cast<int16_t>(value_ ? value_ : Left(next_));
      out[2 * got + 1] = static_cast<int16_t>(value_ ? value_ : -Left(next_));
    }
    return got;
  }

 private:
  int64_t frames_, next_ = 0;
  int fail_on_read_, reads_ = 0;
  std::vector<int>* requests_;
  int value_;
};

SoundGains Gains(double volume, double volume_end, double pan = 0, double pan_end = 0, double fade_in = 0,
                 double fade_out = 0, const char* ease = "linear") {
  SoundGains g;
  g.volume = Track(std::vector<Key>{{0, volume, *ParseEase(ease)}, {1, volume_end, {}}});
  g.pan = Track(std::vector<Key>{{0, pan, *ParseEase(ease)}, {1, pan_end, {}}});
  g.fade_in = fade_in, g.fade_out = fade_out, g.ease = *ParseEase(ease);
  return g;
}

SoundGains Keyed(std::vector<Key> volume, double fade_in = 0, double fade_out = 0) {
  SoundGains g = Gains(1, 1, 0, 0, fade_in, fade_out);
  g.volume = Track(volume);
  return g;
}

// A sound of the fake decoder over `window`.
TrackSound Fake(TrackWindow window, int64_t frames, SoundGains gains = {}, int value = 0,
                std::vector<int>* requests = nullptr, int fail_on_read = -1) {
  return {window, gains, [=](bool) {
            return std::make_unique<FakeDecoder>(frames, fail_on_read, requests, value);
          }};
}

// A silent track of `frames` frames, as the sound maker leaves it.
std::string SilentTrack(int64_t frames) {
  const WavHeaderBytes header = WavHeader(frames);
  return std::string(header.begin(), header.end()) + std::string(frames * 4, '\0');
}

TEST(SoundTrack, WindowFramesStayInRangeForAnyTimes) {
  constexpr int64_t kFar = int64_t{1} << 62;
  struct Case { double start, end; int64_t first, last; };
  const Case cases[] = {
      {2, 3, 88200, 132300}, {0.00001, 0.00101, 0, 44}, {-1, 0.5, -44100, 22050},
      {1e15, 2e15, kFar, kFar}, {1e308, INFINITY, kFar, kFar}, {-1e308, 1e308, -kFar, 0},
      {NAN, 1, 0, 0}, {-INFINITY, 1, -kFar, 0},
  };
  for (const Case& c : cases) {
    const TrackWindow window = WindowFrames(c.start, c.end);
    EXPECT_EQ(window.first, c.first) << c.start << " " << c.end;
    EXPECT_EQ(window.end, c.last) << c.start << " " << c.end;
  }
}

TEST(SoundTrack, WindowIsCutToTheTrackAndMixedInChunksWithItsGains) {
  constexpr int64_t kFar = int64_t{1} << 62;
  struct Case {
    int64_t track, first, frames, sound;
    std::vector<int> requests;
    int64_t from, to;  // the track frames f that hold sound frame f - first
    int fail_on_read = -1;
    std::string message = "";
    SoundGains gains = {};
  };
  const Case cases[] = {
      {120000, 0, 100000, 200000, {65536, 34464}, 0, 100000},
      // Cut at the end the header declares; wholly past it, nothing is even decoded.
      {1000, 900, 500, 5000, {100}, 900, 1000},
      {1000, 1000, 10, 5000, {}, 0, 0},
      // Before time 0: skipped in two reads, then mixed from frame 0; the header stays.
      {2000, -70000, 71000, 100000, {65536, 4464, 1000}, 0, 1000},
      // The file ends inside its window; empty windows decode nothing.
      {300, 10, 200, 50, {200}, 10, 60},
      {300, 10, 0, 50, {}, 0, 0},
      {300, 10, -5, 50, {}, 0, 0},
      {200000, 0, 150000, 200000, {65536, 65536}, 0, 65536, 1, "サウンドバッファのロックに失敗しました (-5)\n"},
      // Windows as far out as the frames go: no overflow, nothing mixed.
      {1000, kFar - 10, 10, 5000, {}, 0, 0},
      {1000, -kFar, kFar + 500, 5000, {65536, 500}, 0, 0},
      // Gains follow the window, not the track: a ramp begun before time 0 and a pan.
      {3000, -1000, 3000, 5000, {1000, 2000}, 0, 2000, -1, "", Gains(0.0, 1.0, -1.0, 1.0)},
      {3000, 100, 70000, 100000, {2900}, 100, 3000, -1, "", Gains(0.5, 0.5, 0.25, 0.25)},
  };
  testing::TempDir dir;
  for (const Case& c : cases) {
    const std::string before = SilentTrack(c.track), path = dir.Write("track.wav", before);
    std::vector<int> requests;
    std::vector<TrackSound> sounds = {
        Fake({c.first, c.first + c.frames}, c.sound, c.gains, 0, &requests, c.fail_on_read)};
    HeldReporter out;
    EXPECT_TRUE(SoundTrack(out, path, "movie.wav").Mix(sounds));
    EXPECT_EQ(sounds[0].failed, !c.message.empty());
    EXPECT_EQ(out.Text(), c.message);
    EXPECT_EQ(requests, c.requests) << c.first;
    const std::string after = testing::ReadFile(path);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.substr(0, 44), before.substr(0, 44));
    const std::vector<int16_t> samples = test::TrackSamples(path);
    const SoundGains& g = c.gains;
    for (int64_t f = 0; f < c.track; ++f) {
      const double s = static_cast<double>(f - c.first) / static_cast<double>(c.frames);
      const double volume = g.volume.At(s), pan = g.pan.At(s);
      const double left = f >= c.from && f < c.to ? FakeDecoder::Left(f - c.first) * volume : 0;
      // Rounded to the nearest value.
      ASSERT_NEAR(samples[2 * f], left * std::min(1.0, 1 - pan), 0.5) << c.first << ", frame " << f;
      ASSERT_NEAR(samples[2 * f + 1], -left * std::min(1.0, 1 + pan), 0.5) << c.first << ", frame " << f;
    }
  }
}

// Fades multiply the volume: exact gains at known frames of a constant sound.
TEST(SoundTrack, FadesRiseAndFallAlongTheEaseAndFitTheWindow) {
  constexpr int64_t kSecond = 44100;
  struct Case {
    int64_t window;
    SoundGains gains;
    std::vector<std::pair<int64_t, int>> expected;  // frame, left value (right is the same)
  };
  const Case cases[] = {
      {2 * kSecond, Gains(1, 1, 0, 0, 0.5, 1),
       {{0, 0}, {kSecond / 4, 8000}, {kSecond / 2, 16000}, {kSecond, 16000}, {3 * kSecond / 2, 8000},
        {2 * kSecond - 1, 0}}},
      {2 * kSecond, Gains(0.5, 0.5, 0, 0, 0.5, 1),
       {{kSecond / 4, 4000}, {kSecond, 8000}, {3 * kSecond / 2, 4000}}},
      // Curved as the ease says, the fade-out the fade-in's mirror.
      {2 * kSecond, Gains(1, 1, 0, 0, 1, 1, "in"),
       {{kSecond / 2, 2000}, {kSecond, 16000}, {3 * kSecond / 2, 14000}}},
      {2 * kSecond, Gains(1, 1, 0, 0, 1, 1, "out"),
       {{kSecond / 2, 14000}, {3 * kSecond / 2, 2000}}},
      // Too long for the window together: halved, they meet in the middle.
      {kSecond, Gains(1, 1, 0, 0, 2, 2),
       {{kSecond / 4, 8000}, {kSecond / 2, 16000}, {3 * kSecond / 4, 8000}}},
      {kSecond, Gains(1, 1, 0, 0, 3), {{kSecond / 2, 8000}, {kSecond - 1, 16000}}},
      // Under a volume ramp, which the ease paces too.
      {2 * kSecond, Gains(0, 1, 0, 0, 0, 1),
       {{kSecond / 2, 4000}, {kSecond, 8000}, {3 * kSecond / 2, 6000}}},
      {2 * kSecond, Gains(0, 1, 0, 0, 0, 0, "in"), {{kSecond, 2000}}},
      // Keys: each segment along the ease of the key it leaves, the fade over them all.
      {2 * kSecond, Keyed({{0, 0, {}}, {0.25, 1, *ParseEase("in")}, {1, 0.5, {}}}, 0, 0.5),
       {{kSecond / 4, 8000}, {kSecond / 2, 16000}, {kSecond, 15704}, {7 * kSecond / 4, 5685}}},
  };
  testing::TempDir dir;
  HeldReporter quiet;
  for (const Case& c : cases) {
    const std::string path = dir.Write("track.wav", SilentTrack(c.window));
    std::vector<TrackSound> sounds = {Fake({0, c.window}, c.window, c.gains, 16000)};
    ASSERT_TRUE(SoundTrack(quiet, path).Mix(sounds));
    const std::vector<int16_t> samples = test::TrackSamples(path);
    for (const auto& [frame, value] : c.expected) {
      EXPECT_EQ(samples[2 * frame], value) << c.window << " frame " << frame;
      EXPECT_EQ(samples[2 * frame + 1], value) << c.window << " frame " << frame;
    }
  }
}

// Every sound playing is summed before the one clip; the old mix clipped each as it came.
TEST(SoundTrack, SoundsAreSummedThenClippedOnceInAnyOrder) {
  testing::TempDir dir;
  HeldReporter quiet;
  const int values[] = {30000, 30000, -30000};
  int order[] = {0, 1, 2};
  do {
    const std::string path = dir.Write("track.wav", SilentTrack(70000));
    std::vector<TrackSound> sounds;
    for (int i : order) sounds.push_back(Fake({0, 70000}, 70000, {}, values[i]));
    // A fourth, quiet one straddles the stretches and the sum's limits.
    sounds.push_back(Fake({65000, 70000}, 5000, Gains(0.5, 0.5), 10001));
    ASSERT_TRUE(SoundTrack(quiet, path).Mix(sounds));
    const std::vector<int16_t> samples = test::TrackSamples(path);
    EXPECT_EQ(samples[0], 30000);
    EXPECT_EQ(samples[2 * 64999 + 1], 30000);
    EXPECT_EQ(samples[2 * 65000], 32767);  // 30000 + 5000 (rounded to even), clipped
    EXPECT_EQ(samples.back(), 32767);
  } while (std::next_permutation(std::begin(order), std::end(order)));
  // The clip itself, past the vector width's multiples too.
  const int32_t sums[] = {40000, -40000, 32767, -32768, 0, 32768, -32769, 1, -1, 70000, -70000};
  int16_t clipped[11] = {};
  ClipSums(sums, clipped, 11);
  EXPECT_EQ(std::vector<int16_t>(clipped, clipped + 11),
            (std::vector<int16_t>{32767, -32768, 32767, -32768, 0, 32767, -32768, 1, -1, 32767, -32768}));
}

// Below the ceiling the limiter only delays; above it, no sample and no point between two passes it.
TEST(SoundTrack, LimiterHoldsPeaksUnderTheCeilingAndLeavesTheRestAlone) {
  const double ceiling = LimiterCeiling();
  EXPECT_NEAR(20 * std::log10(ceiling / 32768), kTruePeakCeilingDb - 0.1, 1e-9);
  // A quiet sine, then a loud one whose samples fall between its peaks (a quarter of the rate,
  // a half-sample off), then the quiet one again.
  constexpr size_t kFrames = 4 * 44100;
  std::vector<double> in(2 * kFrames);
  for (size_t f = 0; f < kFrames; ++f) {
    const bool loud = f >= 22050 && f < 44100;
    const double value = loud ? 40000 * std::sin(M_PI / 2 * (static_cast<double>(f) + 0.5))
                              : 20000 * std::sin(2 * M_PI * 440 * static_cast<double>(f) / 44100);
    in[2 * f] = value;
    in[2 * f + 1] = -value / 2;
  }
  PeakLimiter limiter;
  std::vector<double> out;
  for (size_t done = 0; done < kFrames; done += 10000) {
    limiter.Push(in.data() + 2 * done, std::min<size_t>(10000, kFrames - done), out);
  }
  EXPECT_EQ(out.size(), in.size() - 2 * PeakLimiter::kDelay);
  limiter.Finish(out);
  ASSERT_EQ(out.size(), in.size());
  // Untouched well before the loud part, and again once the gain has come back.
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 2 * 21000, in.begin()));
  EXPECT_TRUE(std::equal(out.begin() + 2 * 120000, out.end(), in.begin() + 2 * 120000));
  double top = 0;
  for (double v : out) top = std::max(top, std::fabs(v));
  EXPECT_LE(top, ceiling);
  // The loud sine's true peak, half a sample from its samples, is what the limiter held down.
  TruePeakDetector detector;
  std::vector<double> peaks;
  detector.Push(out.data(), kFrames, 0, peaks);
  detector.Finish(0, peaks);
  ASSERT_EQ(peaks.size(), kFrames);
  EXPECT_LE(*std::max_element(peaks.begin(), peaks.end()), ceiling * 1.0001);
  const double loud = *std::max_element(peaks.begin() + 30000, peaks.begin() + 40000);
  EXPECT_GT(loud, top * 1.3);
  EXPECT_GT(loud, ceiling * 0.99);
}

// The mixer works on a temporary; its messages name the track it becomes.
TEST(SoundTrack, OutputFileFailuresNameTheFileAndStop) {
  struct Case { std::string bytes, message; rlim_t size_limit = 0; std::string reason = {}; };
  const Case cases[] = {
      {"", "出力先サウンドファイルを開けませんでした : "},  // removed
      {SilentTrack(1000).substr(0, 20), "出力先サウンドファイルの読み込みに失敗しました : "},
      {std::string(4044, 'x'), "出力先サウンドファイルの読み込みに失敗しました : "},
      // The header declares 1000 frames; the file was cut to 500 behind the mixer's back.
      {SilentTrack(1000).substr(0, 2044), "出力先サウンドファイルの読み込みに失敗しました : "},
      // A file size limit inside the data area fails the write as a full disk would.
      {SilentTrack(1000), "出力先サウンドファイルへの書き込みに失敗しました : ", 2000,
       "書き込みエラー : movie.wav : File too large\n"},
  };
  testing::TempDir dir;
  const std::string path = dir / "track.wav";
  std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  for (const Case& c : cases) {
    std::remove(path.c_str());
    if (!c.bytes.empty()) dir.Write("track.wav", c.bytes);
    std::vector<TrackSound> sounds = {Fake({0, 1000}, 1000)};
    HeldReporter out;
    const rlimit limited{c.size_limit ? c.size_limit : saved.rlim_cur, saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool mixed = SoundTrack(out, path, "movie.wav").Mix(sounds);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(mixed) << c.message;
    EXPECT_EQ(out.Text(), c.message + "movie.wav\n" + c.reason);
    EXPECT_TRUE(c.size_limit || testing::ReadFile(path) == c.bytes) << c.message;
  }
}

}  // namespace
}  // namespace talmora
