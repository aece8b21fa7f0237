// The ".wav" file as a user gets it: messages of both passes, the track's bytes.

#include <gtest/gtest.h>

#include <filesystem>

#include "sound/sound_files.h"
#include "support/cli_harness.h"

namespace talmora {
namespace {

using testing::kClosingLine;
using testing::kDeviceLines;
using testing::RunScript;
using testing::TempDir;

constexpr int kRate = 44100;
const std::string kRead = kDeviceLines + "XMLのパースが完了しました\n";
const std::string kParsed = "スクリプトパース完了\n";

// A script whose movie is tiny to render, so that the run is about its sounds.
std::string Script(const std::string& length, const std::string& body) {
  return "<talmora width=\"16\" height=\"16\" fps=\"1\" length=\"" + length + "\">" + body +
         "</talmora>";
}

// The movie pass's lines open the output and the sound pass's lines close it; what the movie
// maker prints between them is its own business.
void ExpectOutput(const testing::RunResult& result, const std::string& movie_pass,
                  const std::string& sound_pass) {
  EXPECT_TRUE(result.out.starts_with(kRead + movie_pass + kParsed)) << result.out;
  EXPECT_TRUE(result.out.ends_with(sound_pass + kClosingLine)) << result.out;
  EXPECT_EQ(result.status, 0);
}

TEST(SoundTrack, SoundWithoutLengthEndsWithItsFileAndNowFollowsIt) {
  TempDir dir;
  const std::vector<int32_t> first = test::Noise(2, 154350, 1);  // 3.5 s
  const std::vector<int32_t> second = test::Noise(2, kRate, 2);
  test::WriteWav(dir / "first.wav", kRate, 2, 16, first);
  test::WriteWav(dir / "second.wav", kRate, 2, 16, second);
  const auto result = RunScript(dir, Script("8", R"(
      <sound time="2" src="first.wav"/>
      <sound time="now" duration="0.5" src="second.wav"/>)"));
  ExpectOutput(result, "", (dir / "second.wav") + "\n" + (dir / "first.wav") + "\n");

  // first.wav fills 2 s to 5.5 s, then half a second of second.wav from its start.
  std::vector<int16_t> expected(2 * 8 * kRate, 0);
  std::copy(first.begin(), first.end(), expected.begin() + 2 * 88200);
  std::copy_n(second.begin(), 2 * 22050, expected.begin() + 2 * 242550);
  EXPECT_TRUE(test::TrackSamples(dir / "movie.wav") == expected);
  EXPECT_EQ(std::filesystem::file_size(dir / "movie.wav"), 44u + 4 * 8 * kRate);
}

TEST(SoundTrack, MissingFileIsReportedThreeTimesAndTheOldTrackIsReplaced) {
  TempDir dir;
  dir.Write("movie.wav", std::string(1000000, 'x'));
  const auto result = RunScript(dir, Script("1", R"(<sound time="0" src="gone.wav"/>)"));
  const std::string line = "サウンドの読み込みに失敗しました : gone.wav(-2)\n";
  ExpectOutput(result, line, line + line);
  const std::string track = testing::ReadFile(dir / "movie.wav");
  ASSERT_EQ(track.size(), 44u + 4 * kRate);
  EXPECT_EQ(track.find_first_not_of('\0', 44), std::string::npos);
}

TEST(SoundTrack, PathsArePrintedLatestStartFirst) {
  TempDir dir;
  for (const char* name : {"a.wav", "b.wav", "c.wav"}) {
    test::WriteWav(dir / name, kRate, 2, 16, test::Sine(kRate, 2, 4410, 440, 1000));
  }
  const auto result = RunScript(dir, Script("4", R"(
      <sound time="1" src="a.wav"/><sound time="3" src="b.wav"/><sound time="2" src="c.wav"/>)"));
  ExpectOutput(result, "",
               (dir / "b.wav") + "\n" + (dir / "c.wav") + "\n" + (dir / "a.wav") + "\n");
}

TEST(SoundTrack, MonoAndTwentyFourBitFilesLeaveSilence) {
  TempDir dir;
  test::WriteWav(dir / "mono.wav", kRate, 1, 16, test::Sine(kRate, 1, kRate, 440, 8000));
  test::WriteWav(dir / "deep.wav", kRate, 2, 24, test::Sine(kRate, 2, kRate, 440, 800000));
  const auto result = RunScript(dir, Script("2", R"(
      <sound time="0" src="mono.wav"/><sound time="0.5" src="deep.wav"/>)"));
  ExpectOutput(result, "",
               "サウンドのサンプルビットが16bitではありません : " + (dir / "deep.wav") + "(0)\n" +
                   "サウンドがステレオ(2ch)ではありません : " + (dir / "mono.wav") + "(0)\n");
  const std::string track = testing::ReadFile(dir / "movie.wav");
  ASSERT_EQ(track.size(), 44u + 4 * 2 * kRate);
  EXPECT_EQ(track.find_first_not_of('\0', 44), std::string::npos);
}

TEST(SoundTrack, NoSoundElementMakesNoTrack) {
  TempDir dir;
  const auto result = RunScript(dir, Script("1", R"(<image time="0" duration="1"/>)"));
  ExpectOutput(result, "", "");
  EXPECT_FALSE(std::filesystem::exists(dir / "movie.wav"));
}

TEST(SoundTrack, MovieLengthSetsTheFileSize) {
  TempDir dir;
  test::WriteWav(dir / "a.wav", kRate, 2, 16, test::Sine(kRate, 2, 4410, 440, 1000));
  const std::string sound = R"(<sound time="0" duration="0.1" src="a.wav"/>)";

  auto result = RunScript(dir, Script("10", sound));
  ExpectOutput(result, "", (dir / "a.wav") + "\n");
  EXPECT_EQ(std::filesystem::file_size(dir / "movie.wav"), 1764044u);

  // A negative length leaves the header alone, with sizes 36 and 0.
  result = RunScript(dir, Script("-1", sound));
  ExpectOutput(result, "", (dir / "a.wav") + "\n");
  const std::string track = testing::ReadFile(dir / "movie.wav");
  EXPECT_EQ(track.size(), 44u);
  EXPECT_EQ(track.substr(4, 4), std::string("\x24\0\0\0", 4));
  EXPECT_EQ(track.substr(40, 4), std::string(4, '\0'));

  // Beyond what a WAV file can hold: refused, and the last track stays as it was.
  result = RunScript(dir, Script("30000", sound));
  ExpectOutput(result, "",
               "エラー : 動画が長すぎてWAVファイルの上限(4GB)を超えます : " + (dir / "movie.wav") + "\n");
  EXPECT_EQ(testing::ReadFile(dir / "movie.wav"), track);
}

}  // namespace
}  // namespace talmora
