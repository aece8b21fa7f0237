#include "audio/sound_track.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <csignal>

#include "audio/wav_header.h"
#include "platform/sound/sound_system.h"
#include "sound/sound_files.h"
#include "support/capture_stdout.h"

namespace talmora {
namespace {

// A decoder whose frame i is (Left(i), -Left(i)); it records what it is asked for and can fail.
class FakeDecoder : public SoundDecoder {
 public:
  FakeDecoder(int64_t frames, int fail_on_read) : frames_(frames), fail_on_read_(fail_on_read) {}
  static int16_t Left(int64_t i) { return static_cast<int16_t>(i % 20000 + 1); }
  int Channels() const override { return 2; }
  int BitsPerSample() const override { return 16; }
  SoundStatus Read(int16_t* out, int frames, int& got) override {
    requests.push_back(frames);
    if (static_cast<int>(requests.size()) - 1 == fail_on_read_) return SoundStatus::Failure(-5);
    for (got = 0; got < frames && next_ < frames_; ++got, ++next_) {
      out[2 * got] = Left(next_);
      out[2 * got + 1] = static_cast<int16_t>(-Left(next_));
    }
    return {};
  }
  std::vector<int> requests;

 private:
  int64_t frames_, next_ = 0;
  int fail_on_read_;
};

// A silent track of `frames` frames, as the sound maker leaves it.
std::string Track(int64_t frames) {
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
      {3000, -1000, 3000, 5000, {1000, 2000}, 0, 2000, -1, "", {0.0, 1.0, -1.0, 1.0}},
      {3000, 100, 70000, 100000, {2900}, 100, 3000, -1, "", {0.5, 0.5, 0.25, 0.25}},
  };
  testing::TempDir dir;
  for (const Case& c : cases) {
    const std::string before = Track(c.track), path = dir.Write("track.wav", before);
    FakeDecoder decoder(c.sound, c.fail_on_read);
    testing::CaptureStdout out;
    EXPECT_EQ(SoundTrack(path, "movie.wav").Mix(decoder, {c.first, c.first + c.frames}, c.gains), c.message.empty());
    EXPECT_EQ(out.Text(), c.message);
    EXPECT_EQ(decoder.requests, c.requests) << c.first;
    const std::string after = testing::ReadFile(path);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.substr(0, 44), before.substr(0, 44));
    const std::vector<int16_t> samples = test::TrackSamples(path);
    const SoundGains& g = c.gains;
    for (int64_t f = 0; f < c.track; ++f) {
      const double s = static_cast<double>(f - c.first) / static_cast<double>(c.frames);
      const double volume = g.volume + s * (g.volume_end - g.volume), pan = g.pan + s * (g.pan_end - g.pan);
      const double left = f >= c.from && f < c.to ? FakeDecoder::Left(f - c.first) * volume : 0;
      // Rounded to the nearest value.
      ASSERT_NEAR(samples[2 * f], left * std::min(1.0, 1 - pan), 0.5) << c.first << ", frame " << f;
      ASSERT_NEAR(samples[2 * f + 1], -left * std::min(1.0, 1 + pan), 0.5) << c.first << ", frame " << f;
    }
  }
}

TEST(SoundTrack, SumsSaturateInsteadOfWrapping) {
  int16_t track[] = {30000, -30000, -5000, 32767, -32768, 0};
  const int16_t sound[] = {30000, -30000, 30000, 1, -1, -32768};
  AddSaturating(track, sound, 6);
  EXPECT_EQ(std::vector<int16_t>(track, track + 6),
            (std::vector<int16_t>{32767, -32768, 25000, 32767, -32768, -32768}));
}

// The mixer works on a temporary; its messages name the track it becomes.
TEST(SoundTrack, OutputFileFailuresNameTheFileAndStop) {
  struct Case { std::string bytes, message; rlim_t size_limit = 0; std::string reason = {}; };
  const Case cases[] = {
      {"", "出力先サウンドファイルを開けませんでした : "},  // removed
      {Track(1000).substr(0, 20), "出力先サウンドファイルの読み込みに失敗しました : "},
      {std::string(4044, 'x'), "出力先サウンドファイルの読み込みに失敗しました : "},
      // The header declares 1000 frames; the file was cut to 500 behind the mixer's back.
      {Track(1000).substr(0, 2044), "出力先サウンドファイルの読み込みに失敗しました : "},
      // A file size limit inside the data area fails the write as a full disk would.
      {Track(1000), "出力先サウンドファイルへの書き込みに失敗しました : ", 2000,
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
    FakeDecoder decoder(1000, -1);
    testing::CaptureStdout out;
    const rlimit limited{c.size_limit ? c.size_limit : saved.rlim_cur, saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool mixed = SoundTrack(path, "movie.wav").Mix(decoder, {0, 1000});
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(mixed) << c.message;
    EXPECT_EQ(out.Text(), c.message + "movie.wav\n" + c.reason);
    EXPECT_TRUE(c.size_limit || testing::ReadFile(path) == c.bytes) << c.message;
  }
}

}  // namespace
}  // namespace talmora
