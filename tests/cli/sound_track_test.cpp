// The ".wav" file as a user gets it: messages of both passes, the track's bytes.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "sound/sound_files.h"
#include "support/cli_harness.h"

namespace talmora {
namespace {

using namespace testing;

constexpr int kRate = 44100;
// The header of a 10-second track: data 1764000 bytes (0x1AEAA0), RIFF size 1764036.
const std::string kTenSecondHeader(
    "RIFF\xC4\xEA\x1A\x00" "WAVEfmt " "\x10\x00\x00\x00" "\x01\x00" "\x02\x00"
    "\x44\xAC\x00\x00" "\x10\xB1\x02\x00" "\x04\x00" "\x10\x00" "data\xA0\xEA\x1A\x00", 44);

// A script whose movie is tiny to render, so that the run is about its sounds.
std::string Script(const std::string& length, const std::string& body) {
  return "<talmora width=\"16\" height=\"16\" fps=\"1\" length=\"" + length + "\">" + body + "</talmora>";
}

// The movie pass's lines open the output and the sound pass's lines close it.
void ExpectOutput(const RunResult& result, const std::string& movie_pass, const std::string& sound_pass) {
  EXPECT_TRUE(result.out.starts_with(kDeviceLines + "XMLのパースが完了しました\n" + movie_pass +
                                     "スクリプトパース完了\n")) << result.out;
  EXPECT_TRUE(result.out.ends_with(sound_pass + kClosingLine)) << result.out;
  EXPECT_EQ(result.status, 0);
}

TEST(SoundTrack, SoundsFillTheirWindowsFromTheirFilesStartLatestFirst) {
  TempDir dir;
  const std::vector<int16_t> noise = test::Noise(2, 154350, 1), one = test::Noise(2, kRate, 2);  // 3.5 s, 1 s
  dir.Write("noise.wav", test::Wav(kRate, 2, 16, noise));
  dir.Write("one.wav", test::Wav(kRate, 2, 16, one));
  dir.Write("mono.wav", test::Wav(kRate, 1, 16, test::Noise(1, kRate)));
  dir.Write("deep.wav", test::Wav(kRate, 2, 24, test::Noise(2, kRate)));
  const std::string n = (dir / "noise.wav") + "\n", o = (dir / "one.wav") + "\n";  // mixed
  struct Placed { const std::vector<int16_t>& file; int64_t at, frames, file_frame; };
  struct Case { std::string body, lines; std::vector<Placed> placed; };
  const Case cases[] = {
      {R"(<sound time="2" duration="1" src="noise.wav"/>)", n, {{noise, 88200, kRate, 0}}},
      // The playback settings change nothing in the mix.
      {R"(<sound time="2" duration="1" loop="yes" loopcount="3" loopstart="0.1" loopend="0.2" )"
       R"(frequency="22050" volume="0.1" pan="-1" src="noise.wav"/>)", n, {{noise, 88200, kRate, 0}}},
      {R"(<sound time="0.00001" duration="0.001" src="noise.wav"/>)", n, {{noise, 0, 44, 0}}},
      // Before time 0 the file is skipped, not the header written; its last frame lands at 110249.
      {R"(<sound time="-1" src="noise.wav"/>)", n, {{noise, 0, 110250, kRate}}},
      // Without a length a sound ends with its file; "now" and "last" take its end and duration.
      {R"(<sound time="2" src="noise.wav"/><sound time="now" duration="last" src="one.wav"/>)", o + n,
       {{noise, 88200, 154350, 0}, {one, 242550, kRate, 0}}},
      // Mono and 24-bit files leave silence with their messages, in the order of the mix.
      {R"(<sound time="1" src="mono.wav"/><sound time="3" src="deep.wav"/><sound time="2" src="one.wav"/>)",
       "サウンドのサンプルビットが16bitではありません : " + (dir / "deep.wav") + "(0)\n" + o +
           "サウンドがステレオ(2ch)ではありません : " + (dir / "mono.wav") + "(0)\n",
       {{one, 88200, kRate, 0}}},
  };
  for (const Case& c : cases) {
    ExpectOutput(RunScript(dir, Script("10", c.body)), "", c.lines);
    EXPECT_EQ(ReadFile(dir / "movie.wav").substr(0, 44), kTenSecondHeader);
    std::vector<int16_t> expected(2 * 10 * kRate, 0);
    for (const Placed& p : c.placed) {
      std::copy_n(p.file.begin() + 2 * p.file_frame, 2 * p.frames, expected.begin() + 2 * p.at);
    }
    EXPECT_TRUE(test::TrackSamples(dir / "movie.wav") == expected) << c.body;
  }
}

TEST(SoundTrack, MissingFileIsReportedThreeTimesAndTheOldTrackIsReplaced) {
  TempDir dir;
  dir.Write("movie.wav", std::string(1000000, 'x'));
  const auto result = RunScript(dir, Script("1", R"(<sound time="0" src="gone.wav"/>)"));
  const std::string line = "サウンドの読み込みに失敗しました : gone.wav(-2)\n";
  ExpectOutput(result, line, line + line);
  const std::string track = ReadFile(dir / "movie.wav");
  ASSERT_EQ(track.size(), 44u + 4 * kRate);
  EXPECT_EQ(track.find_first_not_of('\0', 44), std::string::npos);
}

TEST(SoundTrack, MovieLengthSetsTheTrackWithinWhatAWavCanHold) {
  TempDir dir;
  auto result = RunScript(dir, Script("1", R"(<image time="0" duration="1"/>)"));
  ExpectOutput(result, "", "");
  EXPECT_FALSE(std::filesystem::exists(dir / "movie.wav"));

  dir.Write("a.wav", test::Wav(kRate, 2, 16, test::Noise(2, 4410)));
  const std::string sound = R"(<sound time="0" src="a.wav"/>)";
  ExpectOutput(RunScript(dir, Script("-1", sound)), "", (dir / "a.wav") + "\n");
  std::string empty = kTenSecondHeader;
  empty.replace(4, 4, std::string("\x24\0\0\0", 4)).replace(40, 4, std::string(4, '\0'));
  EXPECT_EQ(ReadFile(dir / "movie.wav"), empty);

  // Just under 24347.89 s is the longest track whose sizes fit the header; one that does not
  // fit is refused before the last track is replaced.
  ExpectOutput(RunScript(dir, Script("24348", sound)), "",
               "エラー : 動画が長すぎてWAVファイルの上限(4GB)を超えます : " + (dir / "movie.wav") + "\n");
  EXPECT_EQ(ReadFile(dir / "movie.wav"), empty);
  ExpectOutput(RunScript(dir, Script("24347.88", sound)), "", (dir / "a.wav") + "\n");
  uint32_t header[11] = {};  // RIFF size at [1], data size at [10]
  std::ifstream(dir / "movie.wav", std::ios::binary).read(reinterpret_cast<char*>(header), 44);
  EXPECT_GT(header[10], 4294964000u);
  EXPECT_EQ(header[1], header[10] + 36);
  // The data area is sized, not written: the silence takes no disk blocks of its own.
  struct stat info {};
  ASSERT_EQ(::stat((dir / "movie.wav").c_str(), &info), 0);
  EXPECT_EQ(info.st_size, 44 + int64_t{header[10]});
  EXPECT_LT(info.st_blocks * 512, 1 << 20);
}

}  // namespace
}  // namespace talmora
