#include "audio/sound_maker.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "audio/audio_fixture.h"

namespace talmora {
namespace {

using testing::CaptureStdout;

constexpr int kRate = 44100;

class SoundMakerTest : public ::testing::Test, public testing::AudioFixture {
 protected:
  SoundMakerTest() {
    test::WriteWav(dir / "a.wav", kRate, 2, 16, test::Sine(kRate, 2, kRate, 440, 30000));
    test::WriteWav(dir / "b.wav", kRate, 2, 16, test::Sine(kRate, 2, kRate, 440, 30000));
  }

  // Reads `body` as the sound pass does and makes the track at `path`; what Make printed.
  std::string Make(double length, const std::string& body, const std::string& path) {
    const TagList tags = Load(body);
    SoundMaker maker(factory, length);
    {
      CaptureStdout quiet;
      maker.ReadProperties(tags);
    }
    CaptureStdout out;
    maker.Make(path);
    return out.Text();
  }

  std::string Sound(const std::string& file, const std::string& attributes) {
    return "<sound " + attributes + " src=\"" + (dir / file) + "\"/>";
  }

  std::string out_ = dir / "out.wav";
};

TEST_F(SoundMakerTest, NoSoundsMakeNoFileAndLeaveAnOldOneAlone) {
  EXPECT_EQ(Make(10, "<image time=\"0\"/>", out_), "");
  EXPECT_FALSE(std::filesystem::exists(out_));
  test::WriteFile(out_, "old");
  EXPECT_EQ(Make(10, "", out_), "");
  EXPECT_EQ(test::ReadFile(out_), "old");
}

TEST_F(SoundMakerTest, TrackIsAsLongAsTheMovie) {
  struct Case { double length; size_t bytes; };
  for (const Case& c : {Case{10, 1764044}, Case{0.00001, 44}, Case{0, 44}, Case{-5, 44},
                        Case{1.5, 44 + 4 * 66150}}) {
    EXPECT_EQ(Make(c.length, Sound("a.wav", "time=\"100\""), out_), dir / "a.wav" + "\n");
    const std::string bytes = test::ReadFile(out_);
    ASSERT_EQ(bytes.size(), c.bytes) << c.length;
    const WavHeaderBytes header = WavHeader((c.bytes - 44) / 4);
    EXPECT_EQ(bytes.substr(0, 44), std::string(header.begin(), header.end())) << c.length;
    EXPECT_EQ(bytes.find_first_not_of('\0', 44), std::string::npos) << c.length;
  }
}

TEST_F(SoundMakerTest, DataAreaIsSizedNotWritten) {
  // Ten minutes of silence take no disk blocks of their own.
  Make(600, Sound("a.wav", "time=\"1000\""), out_);
  struct stat info {};
  ASSERT_EQ(::stat(out_.c_str(), &info), 0);
  EXPECT_EQ(info.st_size, 44 + 4 * 600 * kRate);
  EXPECT_LT(info.st_blocks * 512, 1 << 20);
}

TEST_F(SoundMakerTest, TooLongForAWavIsRefusedBeforeAnythingIsReplaced) {
  test::WriteFile(out_, "old");
  // Just under 24347.89 s is the longest track whose sizes fit the header.
  const std::string refusal = "エラー : 動画が長すぎてWAVファイルの上限(4GB)を超えます : " + out_ + "\n";
  EXPECT_EQ(Make(24348, Sound("a.wav", "time=\"0\""), out_), refusal);
  EXPECT_EQ(Make(1e300, Sound("a.wav", "time=\"0\""), out_), refusal);
  EXPECT_EQ(test::ReadFile(out_), "old");
  // The longest that fits is made, with sizes that did not wrap.
  EXPECT_EQ(Make(24347.88, Sound("a.wav", "time=\"0\""), out_), (dir / "a.wav") + "\n");
  WavHeaderBytes header{};
  std::ifstream(out_, std::ios::binary).read(reinterpret_cast<char*>(header.data()), 44);
  const int64_t frames = DeclaredFrames(header);
  EXPECT_GT(frames, 1073741000);
  EXPECT_EQ(std::filesystem::file_size(out_), static_cast<uintmax_t>(44 + 4 * frames));
  std::filesystem::remove(out_);
}

TEST_F(SoundMakerTest, UnopenableOutputIsReportedAndNothingMixed) {
  const std::string folder = dir / "folder.wav";
  std::filesystem::create_directory(folder);
  EXPECT_EQ(Make(2, Sound("a.wav", "time=\"0\""), folder),
            "出力先サウンドファイルを開けませんでした : " + folder + "\n");
  const std::string nowhere = dir / "no/such/folder/out.wav";
  EXPECT_EQ(Make(2, Sound("a.wav", "time=\"0\""), nowhere),
            "出力先サウンドファイルを開けませんでした : " + nowhere + "\n");
}

TEST_F(SoundMakerTest, LatestStartIsMixedFirstAndOverlapsSaturate) {
  test::WriteWav(dir / "c.wav", kRate, 2, 16, test::Sine(kRate, 2, kRate, 440, 30000));
  EXPECT_EQ(Make(5, Sound("a.wav", "time=\"1\"") + Sound("b.wav", "time=\"3\"") +
                        Sound("c.wav", "time=\"2\"") + Sound("b.wav", "time=\"1.5\" duration=\"1\""),
                 out_),
            (dir / "b.wav") + "\n" + (dir / "c.wav") + "\n" + (dir / "b.wav") + "\n" +
                (dir / "a.wav") + "\n");
  // a (1 to 2 s) and b (1.5 to 2.5 s) carry the same sine; where both peak, the sum clips.
  const std::vector<int16_t> samples = test::TrackSamples(out_);
  const std::vector<int32_t> sine = test::Sine(kRate, 2, kRate, 440, 30000);
  int clipped = 0;
  for (size_t f = 66150; f < 88200; ++f) {
    const int32_t sum = sine[2 * (f - 44100)] + sine[2 * (f - 66150)];
    const int32_t expected = std::clamp(sum, -32768, 32767);
    ASSERT_EQ(samples[2 * f], expected) << f;
    clipped += sum != expected;
  }
  EXPECT_GT(clipped, 1000);
}

}  // namespace
}  // namespace talmora
