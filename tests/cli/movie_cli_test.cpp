// Failures of the movie as a user meets them on the command line, and which files they leave.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "support/cli_harness.h"
#include "support/riff_walk.h"

namespace talmora {
namespace {

using testing::TempDir;

// A script of `root_attributes` with a second of silence (44.1 kHz, 16-bit stereo), so that the
// sound pass has a file to mix.
void WriteScript(const TempDir& dir, const std::string& root_attributes) {
  using namespace std::string_literals;
  const auto header = "RIFF\44\261\2\0WAVEfmt \20\0\0\0\1\0\2\0\104\254\0\0\20\261\2\0\4\0\20\0data\0\261\2\0"s;
  dir.Write("tone.wav", header + std::string(44100 * 4, '\0'));
  dir.Write("movie.xml", "<talmora " + root_attributes + "><sound src=\"tone.wav\"/></talmora>");
}

bool Exists(const TempDir& dir, const std::string& name) { return std::filesystem::exists(dir / name); }

TEST(MovieCommandLine, FailuresOfTheMovieLeaveNoVideoWhileTheSoundPassRunsAndEndWithStatusOne) {
  const std::string no_target =
      "エラー : レンダリングターゲットテクスチャの作成に失敗しました\nエラー : サーフィス→ビットマップへの変換に失敗しました\n";
  const auto out_of_range = [&](const std::string& size) {
    return no_target + "エラー : 動画の大きさ " + size + " は使えません。幅・高さとも 1 から 16384 までです\n";
  };
  const std::string too_long_track = "エラー : 動画が長すぎてWAVファイルの上限(4GB)を超えます : ";
  struct Case {
    std::string root, codec, typed, message;
    int status = 1;
    bool avi = false, wav = true;
  };
  for (const Case& c : std::vector<Case>{
           {"length=\"1\"", "", "q\n", "エラー : 圧縮形式の選択がキャンセルされました\n"},
           {"width=\"33\" length=\"1\"", "h264", "", "エラー : 圧縮形式 h264 ではこのフレームを圧縮できません (33 × 384、30 fps)\n"},
           {"width=\"0\" length=\"1\"", "", "", out_of_range("0 × 384")},
           {"height=\"-1\" length=\"1\"", "", "", out_of_range("512 × -1")},
           {"width=\"16385\" length=\"1\"", "", "", out_of_range("16385 × 384")},
           {"width=\"16384\" height=\"0\" length=\"1\"", "", "", out_of_range("16384 × 0")},
           {"width=\"100000\" height=\"100000\" length=\"1\"", "", "", out_of_range("100000 × 100000")},
           {"width=\"2147483647\" height=\"2\" length=\"1\"", "", "", out_of_range("2147483647 × 2")},
           // More frames than a movie can count: nothing is made, not an empty movie.
           {"width=\"8\" height=\"8\" length=\"1e308\"", "DIB ", "",
            "avi作成開始\nエラー : 動画の長さ 1e+308 秒は 30 fps でフレーム数の上限 2147483647 を超えます\n" + too_long_track,
            1, false, false},
           {"width=\"8\" height=\"8\" fps=\"1\" length=\"2147483648\"", "DIB ", "",
            "エラー : 動画の長さ 2147483648 秒は 1 fps でフレーム数の上限 2147483647 を超えます\n", 1, false, false},
           // No frames at all is a movie all the same.
           {"width=\"8\" height=\"8\" length=\"0\"", "DIB ", "", "avi作成開始\naviの作成が完了しました\n", 0, true},
           {"width=\"8\" height=\"8\" length=\"-5\"", "DIB ", "", "avi作成開始\naviの作成が完了しました\n", 0, true}}) {
    TempDir dir;
    WriteScript(dir, c.root);
    const auto result = testing::RunTalmora(c.codec.empty() ? std::vector<std::string>{"movie.xml"}
                                                            : std::vector<std::string>{"--codec", c.codec, "movie.xml"},
                                            dir.path(), c.typed);
    EXPECT_EQ(result.status, c.status) << c.root;
    EXPECT_NE(result.out.find(c.message), std::string::npos) << result.out;
    EXPECT_TRUE(result.out.ends_with(testing::kClosingLine)) << c.root;
    EXPECT_EQ(Exists(dir, "movie.avi"), c.avi) << c.root;
    EXPECT_EQ(Exists(dir, "movie.wav"), c.wav) << c.root;
  }
  // A movie file that cannot be made: the track is still written, the run did not make it all.
  TempDir dir;
  WriteScript(dir, "length=\"1\"");
  std::filesystem::create_directory(dir / "movie.avi");
  const auto result = testing::RunTalmora({"--codec", "DIB ", "movie.xml"}, dir.path());
  EXPECT_NE(result.out.find("エラー : aviファイルのオープンに失敗しました\n"), std::string::npos) << result.out;
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(Exists(dir, "movie.wav"));
}

TEST(MovieCommandLine, AnUnknownCodecStopsBeforeAnythingIsWritten) {
  TempDir dir;
  WriteScript(dir, "length=\"1\"");
  const auto result = testing::RunTalmora({"movie.xml", "--codec", "XVID"}, dir.path());
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out, testing::kDeviceLines + "エラー : 不明な圧縮形式です - XVID (--list-codecs で一覧を表示します)\n");
  EXPECT_FALSE(Exists(dir, "movie.avi"));
  EXPECT_FALSE(Exists(dir, "movie.wav"));
}

}  // namespace
}  // namespace talmora
