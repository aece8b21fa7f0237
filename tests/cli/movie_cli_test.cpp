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

TEST(MovieCommandLine, FailuresOfTheMovieLeaveNoVideoWhileTheSoundPassRuns) {
  const std::string no_target =
      "エラー : レンダリングターゲットテクスチャの作成に失敗しました\nエラー : サーフィス→ビットマップへの変換に失敗しました\n";
  for (const auto& [root, codec, typed, message] : std::vector<std::array<std::string, 4>>{
           {"", "", "q\n", "エラー : 圧縮形式の選択がキャンセルされました\n"},
           {"width=\"33\"", "h264", "", "エラー : 圧縮形式 h264 ではこのフレームを圧縮できません (33 × 384、30 fps)\n"},
           {"width=\"0\"", "", "", no_target}, {"height=\"-1\"", "", "", no_target},
           {"width=\"100000\" height=\"100000\"", "", "", no_target},
           {"width=\"2147483647\" height=\"2\"", "", "", no_target}}) {
    TempDir dir;
    WriteScript(dir, root + " length=\"1\"");
    const auto result = testing::RunTalmora(codec.empty() ? std::vector<std::string>{"movie.xml"}
                                                          : std::vector<std::string>{"--codec", codec, "movie.xml"},
                                            dir.path(), typed);
    EXPECT_EQ(result.status, 0) << root;
    EXPECT_NE(result.out.find(message), std::string::npos) << result.out;
    EXPECT_TRUE(result.out.ends_with(testing::kClosingLine)) << root;
    EXPECT_FALSE(Exists(dir, "movie.avi")) << root;
    EXPECT_TRUE(Exists(dir, "movie.wav")) << root;
  }
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
