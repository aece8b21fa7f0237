// The movie as a user makes it from the command line: compressor options, the menu on standard
// input, and which files are left behind.

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

// A script of `root_attributes` with one sound of a second of stereo 16-bit silence, so that
// the sound pass has a file to mix.
void WriteScript(const TempDir& dir, const std::string& root_attributes) {
  auto le = [](uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i, value >>= 8) out += static_cast<char>(value & 0xff);
    return out;
  };
  const uint32_t data = 44100 * 4;
  dir.Write("tone.wav", "RIFF" + le(36 + data, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(2, 2) + le(44100, 4) +
                            le(44100 * 4, 4) + le(4, 2) + le(16, 2) + "data" + le(data, 4) + std::string(data, '\0'));
  dir.Write("movie.xml", "<talmora " + root_attributes + "><sound src=\"tone.wav\"/></talmora>");
}

bool Exists(const TempDir& dir, const std::string& name) { return std::filesystem::exists(dir / name); }

TEST(MovieCommandLine, WithoutObjectsOrLengthTheMenuStillOpensAndAnEmptyMovieIsWritten) {
  TempDir dir;
  const auto result = RunScript(dir, "<talmora/>", "movie.xml", "");
  EXPECT_NE(result.out.find("avi作成開始\n圧縮形式 :\n  1  DIB   Full Frames (Uncompressed)\n"), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("aviの作成が完了しました\n"), std::string::npos);
  EXPECT_EQ(result.out.find("フレーム\r"), std::string::npos);
  const auto avi = testing::WalkAvi(dir / "movie.avi");
  ASSERT_EQ(avi.error, "");
  EXPECT_EQ(avi.strh.fccHandler, "DIB ");
  EXPECT_EQ(avi.strh.dwLength, 0u);
}

TEST(MovieCommandLine, ACodecOptionSkipsTheMenu) {
  TempDir dir;
  WriteScript(dir, "width=\"16\" height=\"8\" length=\"0.5\"");
  const auto result = RunTalmora({"--codec", "MJPG", "--quality", "8000", "movie.xml"}, dir.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("avi作成開始\n1 / 15 フレーム\r"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("15 / 15 フレーム\raviの作成が完了しました\n"), std::string::npos);
  const auto avi = testing::WalkAvi(dir / "movie.avi");
  EXPECT_EQ(avi.strh.fccHandler, "MJPG");
  EXPECT_EQ(avi.frames.size(), 15u);
}

TEST(MovieCommandLine, FailuresOfTheMovieLeaveNoVideoWhileTheSoundPassRuns) {
  struct Case {
    std::string root, codec, typed, message;
  };
  for (const Case& c : {
           Case{"length=\"1\"", "", "q\n", "エラー : 圧縮形式の選択がキャンセルされました\n"},
           Case{"width=\"33\" length=\"1\"", "h264", "",
                "エラー : 圧縮形式 h264 ではこのフレームを圧縮できません (33 × 384、30 fps)\n"},
           Case{"width=\"0\" length=\"1\"", "", "",
                "エラー : レンダリングターゲットテクスチャの作成に失敗しました\n"
                "エラー : サーフィス→ビットマップへの変換に失敗しました\n"},
       }) {
    TempDir dir;
    WriteScript(dir, c.root);
    std::vector<std::string> args{"movie.xml"};
    if (!c.codec.empty()) args = {"--codec", c.codec, "movie.xml"};
    const auto result = RunTalmora(args, dir.path(), c.typed);
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find(c.message), std::string::npos) << result.out;
    EXPECT_TRUE(result.out.ends_with(kClosingLine));
    EXPECT_FALSE(Exists(dir, "movie.avi")) << c.message;
    EXPECT_TRUE(Exists(dir, "movie.wav")) << c.message;
  }
}

TEST(MovieCommandLine, AnUnknownCodecOrSettingStopsBeforeAnythingIsWritten) {
  TempDir dir;
  WriteScript(dir, "length=\"1\"");
  auto result = RunTalmora({"movie.xml", "--codec", "XVID"}, dir.path());
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out, kDeviceLines + "エラー : 不明な圧縮形式です - XVID (--list-codecs で一覧を表示します)\n");
  for (const auto& option : std::vector<std::vector<std::string>>{
           {"--quality", "10001"}, {"--quality", "-2"}, {"--keyframe", "-1"}, {"--datarate", "-5"}}) {
    result = RunTalmora({option[0], option[1], "movie.xml"}, dir.path());
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, kDeviceLines + "エラー : オプションの値が不正です - " + option[0] + "\n");
  }
  EXPECT_FALSE(Exists(dir, "movie.avi"));
  EXPECT_FALSE(Exists(dir, "movie.wav"));

  result = RunTalmora({"--list-codecs"}, dir.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(result.out.starts_with(kDeviceLines + "  1  DIB   Full Frames (Uncompressed)\n")) << result.out;
  EXPECT_NE(result.out.find("  H264  H.264 (x264)\n"), std::string::npos);
}

}  // namespace
}  // namespace talmora
