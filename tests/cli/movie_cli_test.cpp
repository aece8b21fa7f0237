// The movie as a user makes it from the command line: compressor options, the menu on standard
// input, the files left behind.

#include <gtest/gtest.h>

#include <filesystem>

#include "support/cli_harness.h"
#include "support/riff_walk.h"

namespace talmora {
namespace {

using testing::kClosingLine;
using testing::kDeviceLines;
using testing::RunScript;
using testing::RunTalmora;
using testing::TempDir;

constexpr int kFailureStatus = 255;

// One second of stereo 16-bit silence at 44.1 kHz, so that the sound pass has a file to mix.
std::string SilentWav() {
  auto le = [](uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i, value >>= 8) out += static_cast<char>(value & 0xff);
    return out;
  };
  const uint32_t data = 44100 * 4;
  return "RIFF" + le(36 + data, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(2, 2) + le(44100, 4) + le(44100 * 4, 4) +
         le(4, 2) + le(16, 2) + "data" + le(data, 4) + std::string(data, '\0');
}

bool Exists(const TempDir& dir, const std::string& name) { return std::filesystem::exists(dir / name); }

TEST(MovieCommandLine, WithoutObjectsOrLengthTheMenuStillOpensAndAnEmptyMovieIsWritten) {
  TempDir dir;
  const auto result = RunScript(dir, "<talmora/>", "movie.xml", "");
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("スクリプトパース完了\navi作成開始\n圧縮形式 :\n  1  DIB   Full Frames (Uncompressed)\n"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("aviの作成が完了しました\n"), std::string::npos);
  EXPECT_EQ(result.out.find("フレーム\r"), std::string::npos);
  const auto avi = testing::WalkAvi(dir / "movie.avi");
  ASSERT_EQ(avi.error, "");
  EXPECT_EQ(avi.strh.fccHandler, "DIB ");
  EXPECT_EQ(avi.strh.dwRate, 30u);
  EXPECT_EQ(avi.strh.rcFrame[2], 512);
  EXPECT_EQ(avi.strh.rcFrame[3], 384);
  EXPECT_EQ(avi.strh.dwLength, 0u);
}

TEST(MovieCommandLine, ACodecOptionSkipsTheMenuAndTheCounterRunsToTheLastFrame) {
  TempDir dir;
  dir.Write("movie.xml", "<talmora width=\"16\" height=\"8\" length=\"2.5\"/>");
  const auto result = RunTalmora({"--codec", "MJPG", "--quality", "8000", "movie.xml"}, dir.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out.find("圧縮形式 :"), std::string::npos);
  std::string frames;
  for (int i = 1; i <= 75; ++i) frames += std::to_string(i) + " / 75 フレーム\r";
  EXPECT_NE(result.out.find("avi作成開始\n" + frames + "aviの作成が完了しました\n" + kClosingLine), std::string::npos)
      << result.out;
  const auto avi = testing::WalkAvi(dir / "movie.avi");
  ASSERT_EQ(avi.error, "");
  EXPECT_EQ(avi.strh.fccHandler, "MJPG");
  EXPECT_EQ(avi.strh.dwLength, 75u);
}

TEST(MovieCommandLine, CancellingTheMenuLeavesNoMovieButTheSoundIsStillMade) {
  TempDir dir;
  dir.Write("tone.wav", SilentWav());
  const auto result =
      RunScript(dir, "<talmora length=\"0.5\"><sound src=\"tone.wav\" time=\"0\"/></talmora>", "movie.xml", "q\n");
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("エラー : 圧縮形式の選択がキャンセルされました\n"), std::string::npos) << result.out;
  EXPECT_FALSE(Exists(dir, "movie.avi"));
  EXPECT_TRUE(Exists(dir, "movie.wav"));
  EXPECT_TRUE(result.out.ends_with(kClosingLine));
}

TEST(MovieCommandLine, AnUnknownCodecOrSettingStopsBeforeAnythingIsWritten) {
  TempDir dir;
  dir.Write("tone.wav", SilentWav());
  dir.Write("movie.xml", "<talmora length=\"1\"><sound src=\"tone.wav\" time=\"0\"/></talmora>");
  auto result = RunTalmora({"movie.xml", "--codec", "XVID"}, dir.path());
  EXPECT_EQ(result.status, kFailureStatus);
  EXPECT_EQ(result.out, kDeviceLines + "エラー : 不明な圧縮形式です - XVID (--list-codecs で一覧を表示します)\n");
  for (const auto& option : std::vector<std::vector<std::string>>{
           {"--quality", "10001"}, {"--quality", "-2"}, {"--keyframe", "-1"}, {"--datarate", "-5"}}) {
    result = RunTalmora({option[0], option[1], "movie.xml"}, dir.path());
    EXPECT_EQ(result.status, kFailureStatus);
    EXPECT_EQ(result.out, kDeviceLines + "エラー : オプションの値が不正です - " + option[0] + "\n");
  }
  EXPECT_FALSE(Exists(dir, "movie.avi"));
  EXPECT_FALSE(Exists(dir, "movie.wav"));

  // The script is still the one positional argument.
  result = RunTalmora({"--codec", "DIB", "movie.xml", "other.xml"}, dir.path());
  EXPECT_EQ(result.out, kDeviceLines + "使い方 : talmora [xmlファイルパス]\n");
  EXPECT_EQ(result.status, kFailureStatus);
}

TEST(MovieCommandLine, ListCodecsShowsTheCompressorsAndEnds) {
  TempDir dir;
  const auto result = RunTalmora({"--list-codecs"}, dir.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(result.out.starts_with(kDeviceLines + "  1  DIB   Full Frames (Uncompressed)\n")) << result.out;
  EXPECT_NE(result.out.find("  H264  H.264 (x264)\n"), std::string::npos);
  EXPECT_EQ(result.out.find(kClosingLine), std::string::npos);
}

TEST(MovieCommandLine, FramesTheChosenCodecCannotTakeAreRefusedAndTheRunGoesOn) {
  TempDir dir;
  dir.Write("tone.wav", SilentWav());
  dir.Write("movie.xml", "<talmora width=\"33\" height=\"20\" length=\"1\"><sound src=\"tone.wav\"/></talmora>");
  const auto result = RunTalmora({"--codec", "h264", "movie.xml"}, dir.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("avi作成開始\nエラー : 圧縮形式 h264 ではこのフレームを圧縮できません (33 × 20、30 fps)\n"),
            std::string::npos)
      << result.out;
  EXPECT_FALSE(Exists(dir, "movie.avi"));
  EXPECT_TRUE(Exists(dir, "movie.wav"));
}

TEST(MovieCommandLine, AFrameSizeThatCannotBeAllocatedFailsTheTextureAndTheSoundPassRuns) {
  TempDir dir;
  dir.Write("tone.wav", SilentWav());
  dir.Write("movie.xml", "<talmora width=\"0\" length=\"1\"><sound src=\"tone.wav\"/></talmora>");
  const auto result = RunTalmora({"movie.xml"}, dir.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("avi作成開始\n"
                            "エラー : レンダリングターゲットテクスチャの作成に失敗しました\n"
                            "エラー : サーフィス→ビットマップへの変換に失敗しました\n"),
            std::string::npos)
      << result.out;
  EXPECT_FALSE(Exists(dir, "movie.avi"));
  EXPECT_TRUE(Exists(dir, "movie.wav"));
}

TEST(MovieCommandLine, RootColourGivesAnOpaqueRedBackground) {
  TempDir dir;
  dir.Write("movie.xml", "<talmora width=\"4\" height=\"2\" length=\"0.1\" r=\"1\" a=\"1\"/>");
  const auto result = RunTalmora({"--codec", "dib", "movie.xml"}, dir.path());
  ASSERT_EQ(result.status, 0);
  const auto avi = testing::WalkAvi(dir / "movie.avi");
  ASSERT_EQ(avi.frames.size(), 3u);
  const auto pixels = testing::ReadChunk(dir / "movie.avi", avi.frames[0]);
  std::vector<uint8_t> red;
  for (int i = 0; i < 8; ++i) red.insert(red.end(), {0x00, 0x00, 0xFF, 0xFF});
  EXPECT_EQ(pixels, red);
}

}  // namespace
}  // namespace talmora
