#include "audio/sound.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "audio/audio_fixture.h"
#include "video/video_object.h"

namespace talmora {
namespace {

using testing::CaptureStdout;

constexpr int kRate = 44100;

class SoundTest : public ::testing::Test, public testing::AudioFixture {
 protected:
  SoundTest() {
    noise_ = test::Noise(2, 154350);  // 3.5 s
    test::WriteWav(dir / "noise.wav", kRate, 2, 16, noise_);
  }

  std::string Element(const std::string& attributes, const std::string& file = "noise.wav") {
    return "<sound " + attributes + " src=\"" + (dir / file) + "\"/>";
  }

  // Mixes the one sound of `element` into a fresh track of `seconds`; what Draw printed.
  std::string Mix(const std::string& element, double seconds = 10) {
    MakeTrack(seconds);
    auto sounds = ReadSounds(element);
    CaptureStdout out;
    sounds.at(0)->outputPath = track;
    sounds.at(0)->Draw(sounds.at(0)->start);
    return out.Text();
  }

  std::vector<int32_t> noise_;
};

TEST_F(SoundTest, WindowWithoutLengthEndsWithTheFile) {
  CaptureStdout out;
  const TagList tags = Load(Element("time=\"2\"") + "<image time=\"now\"/>");
  auto sound = factory.CreateSound(tags[1]);
  EXPECT_EQ(sound->end, 5.5);
  EXPECT_EQ(keeper.Get("timeend"), "5.5000000000000000");
  EXPECT_EQ(keeper.Get("duration"), "3.5000000000000000");
  EXPECT_EQ(factory.CreateVideoObject(tags[2])->start, 5.5);
  // No time at all: the window starts at 0 and still takes the file's length.
  EXPECT_EQ(ReadSounds(Element(""))[0]->end, 3.5);
  EXPECT_EQ(out.Text(), "");
}

TEST_F(SoundTest, OwnWindowKeepsItsEndAndRecordsNothingMore) {
  keeper.Clear();
  auto sound = ReadSounds(Element("time=\"2\" duration=\"1\""))[0];
  EXPECT_EQ(sound->end, 3);
  EXPECT_EQ(keeper.Get("duration"), "1");
  EXPECT_EQ(keeper.Get("timeend"), "3.0000000000000000");
  auto backwards = ReadSounds(Element("time=\"2\" timeend=\"1\""))[0];
  EXPECT_EQ(backwards->end, 1);
}

TEST_F(SoundTest, UnloadableFileIsReportedAndKeepsTheWindow) {
  const std::string missing = dir / "missing.wav";
  test::WriteFile(dir / "garbage.wav", std::string(3000, 'g'));
  CaptureStdout out;
  auto sounds = ReadSounds("<sound time=\"2\" src=\"" + missing + "\"/><sound time=\"1\" src=\"" +
                           (dir / "garbage.wav") + "\"/><sound time=\"4\"/>");
  EXPECT_EQ(out.Text(), "サウンドの読み込みに失敗しました : " + missing + "(-2)\n" +
                            "サウンドの読み込みに失敗しました : " + (dir / "garbage.wav") +
                            "(-1094995529)\n");
  EXPECT_EQ(sounds[0]->end, 2);
  EXPECT_EQ(keeper.Get("timeend"), "");
  EXPECT_EQ(keeper.Get("duration"), "");
  // No "src": nothing opened in reading, and the load message with an empty path in Draw.
  EXPECT_EQ(sounds[2]->end, 4);
  EXPECT_EQ(Mix("<sound time=\"4\"/>"), "サウンドの読み込みに失敗しました : (-2)\n");
}

TEST_F(SoundTest, ShortWindowTakesTheFilesFirstFramesAtItsStart) {
  EXPECT_EQ(Mix(Element("time=\"2\" duration=\"1\"")), (dir / "noise.wav") + "\n");
  const std::vector<int16_t> track_samples = test::TrackSamples(track);
  ASSERT_EQ(track_samples.size(), 2u * 441000);
  // Output frames 88200 to 132299 hold file frames 0 to 44099; every other frame is silent.
  for (size_t f = 0; f < 441000; ++f) {
    const bool inside = f >= 88200 && f < 132300;
    ASSERT_EQ(track_samples[2 * f], inside ? noise_[2 * (f - 88200)] : 0) << f;
    ASSERT_EQ(track_samples[2 * f + 1], inside ? noise_[2 * (f - 88200) + 1] : 0) << f;
  }
}

TEST_F(SoundTest, StartInsideTheFirstFrameLandsAtByte44) {
  Mix(Element("time=\"0.00001\" duration=\"0.001\""));
  const std::vector<int16_t> samples = test::TrackSamples(track);
  EXPECT_EQ(samples[0], noise_[0]);
  EXPECT_EQ(samples[1], noise_[1]);
  EXPECT_EQ(samples[2 * 43], noise_[2 * 43]);
  EXPECT_EQ(samples[2 * 44], 0);  // trunc(0.001 × 44100) = 44 frames
}

TEST_F(SoundTest, NegativeStartPlaysFromTimeZeroOnly) {
  Mix(Element("time=\"-1\""), 3);
  const std::string bytes = test::ReadFile(track);
  const WavHeaderBytes header = WavHeader(3 * kRate);
  EXPECT_EQ(bytes.substr(0, 44), std::string(header.begin(), header.end()));
  const std::vector<int16_t> samples = test::TrackSamples(track);
  // The file's second 1 plays at 0; its last frame (154349) lands at 110249.
  EXPECT_EQ(samples[0], noise_[2 * 44100]);
  EXPECT_EQ(samples[2 * 110249 + 1], noise_[2 * 154349 + 1]);
  EXPECT_EQ(samples[2 * 110250], 0);
  EXPECT_EQ(bytes.size(), 44u + 4 * 3 * kRate);
}

TEST_F(SoundTest, LoopSettingsChangeNothingInTheMix) {
  Mix(Element("time=\"0.5\" duration=\"2\""), 4);
  const std::string plain = test::ReadFile(track);
  auto looped = ReadSounds(Element("time=\"0.5\" duration=\"2\" loop=\"yes\" loopcount=\"3\" "
                                   "loopstart=\"0.1\" loopend=\"0.2\" frequency=\"22050\" "
                                   "volume=\"0.1\" pan=\"-1\""))[0];
  EXPECT_TRUE(looped->loop);
  EXPECT_EQ(looped->loopcount, 3);
  EXPECT_EQ(looped->volume, 0.1);
  Mix(Element("time=\"0.5\" duration=\"2\" loop=\"yes\" loopcount=\"3\" loopstart=\"0.1\" "
              "loopend=\"0.2\" frequency=\"22050\" volume=\"0.1\" pan=\"-1\""), 4);
  EXPECT_EQ(test::ReadFile(track), plain);
}

TEST_F(SoundTest, OtherRatesFillTheirWindowInRealTime) {
  // One second at 48000 Hz: its window, from its length, is one second, and the resampled
  // sound fills exactly that second of the track.
  test::WriteWav(dir / "48k.wav", 48000, 2, 16, test::Sine(48000, 2, 48000, 400, 16000));
  auto sound = ReadSounds(Element("time=\"1\"", "48k.wav"))[0];
  EXPECT_EQ(sound->end, 2);
  Mix(Element("time=\"1\"", "48k.wav"), 3);
  const std::vector<int16_t> samples = test::TrackSamples(track);
  auto loudest = [&](size_t from, size_t to) {
    int16_t peak = 0;
    for (size_t f = from; f < to; ++f) peak = std::max<int16_t>(peak, samples[2 * f]);
    return peak;
  };
  EXPECT_EQ(loudest(0, kRate), 0);
  EXPECT_GT(loudest(kRate, kRate + 200), 14000);
  EXPECT_GT(loudest(2 * kRate - 200, 2 * kRate), 14000);
  EXPECT_EQ(loudest(2 * kRate, 3 * kRate), 0);
  // 400 upward zero crossings in that second, not the 367 a one-to-one copy would give.
  int crossings = 0;
  for (size_t f = kRate + 1; f < 2 * kRate; ++f) {
    if (samples[2 * (f - 1)] < 0 && samples[2 * f] >= 0) ++crossings;
  }
  EXPECT_NEAR(crossings, 400, 1);
}

TEST_F(SoundTest, CompressedFilesTakeTheirLengthAndFillTheirWindow) {
  test::WriteWav(dir / "tone.wav", kRate, 2, 16, test::Sine(kRate, 2, 154350, 440, 16000));
  for (const std::string name : {"tone.mp3", "tone.ogg"}) {
    ASSERT_TRUE(test::Encode(dir / "tone.wav", dir / name)) << name;
    EXPECT_EQ(ReadSounds(Element("time=\"1\"", name))[0]->end, 4.5) << name;
    EXPECT_EQ(Mix(Element("time=\"1\"", name), 6), (dir / name) + "\n");
    const std::vector<int16_t> samples = test::TrackSamples(track);
    auto loudest = [&](size_t from, size_t to) {
      int16_t peak = 0;
      for (size_t f = from; f < to; ++f) peak = std::max<int16_t>(peak, samples[2 * f + 1]);
      return peak;
    };
    EXPECT_EQ(loudest(0, kRate), 0) << name;
    EXPECT_GT(loudest(kRate, kRate + 1000), 12000) << name;
    EXPECT_GT(loudest(198450 - 1000, 198450), 12000) << name;
    EXPECT_EQ(loudest(198450, 6 * kRate), 0) << name;
  }
}

TEST_F(SoundTest, WithoutASoundSystemSoundsStopWithAMessage) {
  context.device = nullptr;
  CaptureStdout out;
  auto sound = ReadSounds(Element("time=\"1\""))[0];
  sound->outputPath = track;
  sound->Draw(sound->start);
  const std::string line = "エラー : サウンドシステムが使用できません : " + (dir / "noise.wav") + "\n";
  EXPECT_EQ(out.Text(), line + line);
  EXPECT_EQ(sound->end, 1);
}

}  // namespace
}  // namespace talmora
