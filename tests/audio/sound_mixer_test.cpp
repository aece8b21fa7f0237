#include "audio/sound_mixer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "audio/wav_header.h"
#include "platform/sound/sound_system.h"
#include "sound/sound_files.h"
#include "support/capture_stdout.h"

namespace talmora {
namespace {

using testing::CaptureStdout;

// A decoder whose frame i is (Left(i), -Left(i)); it records what it is asked for and can fail.
class FakeDecoder : public SoundDecoder {
 public:
  explicit FakeDecoder(int64_t frames, int fail_on_read = -1)
      : frames_(frames), fail_on_read_(fail_on_read) {}

  static int16_t Left(int64_t i) { return static_cast<int16_t>(i % 20000 + 1); }

  int Channels() const override { return 2; }
  int BitsPerSample() const override { return 16; }
  int Read(int16_t* out, int frames, int& got) override {
    requests.push_back(frames);
    got = 0;
    if (static_cast<int>(requests.size()) - 1 == fail_on_read_) return -5;
    for (; got < frames && next_ < frames_; ++got, ++next_) {
      out[2 * got] = Left(next_);
      out[2 * got + 1] = static_cast<int16_t>(-Left(next_));
    }
    return 0;
  }

  std::vector<int> requests;

 private:
  int64_t frames_;
  int fail_on_read_;
  int64_t next_ = 0;
};

class SoundMixerTest : public ::testing::Test {
 protected:
  // A silent track of `frames` frames, as the sound maker leaves it.
  std::string MakeTrack(int64_t frames) {
    const WavHeaderBytes header = WavHeader(frames);
    std::string bytes(header.begin(), header.end());
    bytes.resize(bytes.size() + frames * 4);
    test::WriteFile(track_, bytes);
    return bytes;
  }

  // Track frame f must hold sound frame f - first for f in [from, to) and silence elsewhere.
  void ExpectPlaced(int64_t first, int64_t from, int64_t to) {
    const std::vector<int16_t> samples = test::TrackSamples(track_);
    for (size_t f = 0; f < samples.size() / 2; ++f) {
      const bool inside = static_cast<int64_t>(f) >= from && static_cast<int64_t>(f) < to;
      const int16_t left = inside ? FakeDecoder::Left(static_cast<int64_t>(f) - first) : 0;
      ASSERT_EQ(samples[2 * f], left) << "frame " << f;
      ASSERT_EQ(samples[2 * f + 1], -left) << "frame " << f;
    }
  }

  test::TempDir dir_;
  std::string track_ = dir_ / "track.wav";
};

TEST_F(SoundMixerTest, HundredThousandFramesGoInTwoChunks) {
  MakeTrack(120000);
  FakeDecoder decoder(200000);
  CaptureStdout out;
  EXPECT_TRUE(SoundMixer(track_).Mix(decoder, 0, 100000));
  EXPECT_EQ(out.Text(), "");
  EXPECT_EQ(decoder.requests, (std::vector<int>{65536, 34464}));
  ExpectPlaced(0, 0, 100000);
}

TEST_F(SoundMixerTest, SumsSaturateInsteadOfWrapping) {
  MakeTrack(4);
  std::string bytes = test::ReadFile(track_);
  // The track already holds 30000 | -30000 | 30000 | -30000 ... and 32767 | -32768 at frame 3.
  const int16_t before[] = {30000, -30000, 30000, -30000, -5000, 5000, 32767, -32768};
  std::memcpy(bytes.data() + 44, before, sizeof before);
  test::WriteFile(track_, bytes);

  class Loud : public FakeDecoder {
   public:
    Loud() : FakeDecoder(4) {}
    int Read(int16_t* out, int frames, int& got) override {
      const int16_t sound[] = {30000, -30000, 2767, -2768, 30000, -30000, -1, 1};
      std::memcpy(out, sound, sizeof sound);
      got = std::min(frames, 4);
      return 0;
    }
  } decoder;
  ASSERT_TRUE(SoundMixer(track_).Mix(decoder, 0, 4));
  EXPECT_EQ(test::TrackSamples(track_),
            (std::vector<int16_t>{32767, -32768, 32767, -32768, 25000, -25000, 32766, -32767}));
}

TEST_F(SoundMixerTest, WindowIsCutAtTheEndTheHeaderDeclares) {
  const std::string before = MakeTrack(1000);
  FakeDecoder decoder(5000);
  ASSERT_TRUE(SoundMixer(track_).Mix(decoder, 900, 500));
  EXPECT_EQ(decoder.requests, (std::vector<int>{100}));
  EXPECT_EQ(test::ReadFile(track_).size(), before.size());
  ExpectPlaced(900, 900, 1000);

  // A window wholly past the end touches nothing and decodes nothing.
  FakeDecoder late(5000);
  ASSERT_TRUE(SoundMixer(track_).Mix(late, 1000, 10));
  EXPECT_TRUE(late.requests.empty());
}

TEST_F(SoundMixerTest, NegativeStartPlaysOnFromTimeZero) {
  const std::string before = MakeTrack(2000);
  FakeDecoder decoder(100000);
  // 70000 frames before the track's start: skipped in two reads, then 30000 frames mixed.
  ASSERT_TRUE(SoundMixer(track_).Mix(decoder, -70000, 71000));
  EXPECT_EQ(decoder.requests, (std::vector<int>{65536, 4464, 1000}));
  EXPECT_EQ(test::ReadFile(track_).substr(0, 44), before.substr(0, 44));
  ExpectPlaced(-70000, 0, 1000);
}

TEST_F(SoundMixerTest, SoundShorterThanItsWindowLeavesTheRestAlone) {
  MakeTrack(300);
  FakeDecoder decoder(50);
  CaptureStdout out;
  EXPECT_TRUE(SoundMixer(track_).Mix(decoder, 10, 200));
  EXPECT_EQ(out.Text(), "");
  ExpectPlaced(10, 10, 60);

  FakeDecoder empty_window(50);
  EXPECT_TRUE(SoundMixer(track_).Mix(empty_window, 10, 0));
  EXPECT_TRUE(SoundMixer(track_).Mix(empty_window, 10, -5));
  EXPECT_TRUE(empty_window.requests.empty());
}

TEST_F(SoundMixerTest, DecoderFailureStopsThisSound) {
  MakeTrack(200000);
  FakeDecoder decoder(200000, 1);
  CaptureStdout out;
  EXPECT_FALSE(SoundMixer(track_).Mix(decoder, 0, 150000));
  EXPECT_EQ(out.Text(), "サウンドバッファのロックに失敗しました (-5)\n");
  EXPECT_EQ(decoder.requests.size(), 2u);
  ExpectPlaced(0, 0, 65536);
}

TEST_F(SoundMixerTest, OutputFileFailuresNameTheFileAndStop) {
  struct Case { const char* name; std::string bytes; const char* message; };
  const WavHeaderBytes declared = WavHeader(1000);
  const std::string header(declared.begin(), declared.end());
  const Case cases[] = {
      {"removed", "", "出力先サウンドファイルを開けませんでした : "},
      {"short header", header.substr(0, 20), "出力先サウンドファイルの読み込みに失敗しました : "},
      {"foreign header", std::string(4044, 'x'), "出力先サウンドファイルの読み込みに失敗しました : "},
      // The header declares 1000 frames; the file was cut to 500 behind the mixer's back.
      {"cut data", header + std::string(2000, '\0'), "出力先サウンドファイルの読み込みに失敗しました : "},
  };
  for (const Case& c : cases) {
    std::remove(track_.c_str());
    if (std::string(c.name) != "removed") test::WriteFile(track_, c.bytes);
    FakeDecoder decoder(1000);
    CaptureStdout out;
    EXPECT_FALSE(SoundMixer(track_).Mix(decoder, 0, 1000)) << c.name;
    EXPECT_EQ(out.Text(), c.message + track_ + "\n") << c.name;
    if (std::string(c.name) != "removed") {
      EXPECT_EQ(test::ReadFile(track_), c.bytes) << c.name;
    }
  }
}

TEST_F(SoundMixerTest, WriteFailureNamesTheFileAndStops) {
  // A file size limit below the write position makes the write fail as a full disk would.
  MakeTrack(100000);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 100000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  FakeDecoder decoder(100000);
  CaptureStdout out;
  const bool mixed = SoundMixer(track_).Mix(decoder, 0, 100000);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(mixed);
  EXPECT_EQ(out.Text(), "出力先サウンドファイルへの書き込みに失敗しました : " + track_ + "\n");
  EXPECT_EQ(decoder.requests.size(), 1u);
}

}  // namespace
}  // namespace talmora
