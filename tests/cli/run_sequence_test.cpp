// The run as a user sees it: arguments, exit status, the script's folder, both passes, the wait.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <set>

#include "support/cli_harness.h"

namespace talmora {
namespace {

using testing::kClosingLine;
using testing::kDeviceLines;
using testing::RunTalmora;
using testing::TempDir;

constexpr int kFailureStatus = 255;  // -1 as the shell sees it
const std::string kUsage = "使い方 : talmora [xmlファイルパス]\n";

// A wrong command line, a script that cannot be read, or an output that is the script or
// another output (by link too): one line, status -1, nothing written.
TEST(RunSequence, ArgumentsOrScriptThatCannotBeReadStopBeforeLoading) {
  TempDir dir;
  const std::string script = "<talmora length=\"1\"/>";
  for (const char* name : {"a.xml", "s.avi", "s.wav", "s.mkv", "s.png"}) dir.Write(name, script);
  std::filesystem::create_hard_link(dir / "s.png", dir / "shot.png");
  std::filesystem::create_directory_symlink(".", dir / "here");
  std::filesystem::create_directory(dir / "folder.xml");
  ASSERT_EQ(::mkfifo((dir / "pipe.xml").c_str(), 0600), 0);  // must not stall the run
  const std::string unreadable = "エラー : xmlファイルを開けませんでした\n";
  const auto same = [&](const std::string& what, const std::string& path, const std::string& other) {
    return "エラー : " + what + "の出力先 " + path + " は" + other + " と同じファイルです\n";
  };
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"s.avi"}, same("動画", dir / "s.avi", "スクリプト s.avi")},
      {{"--codec", "DIB", "s.wav"}, same("音声", dir / "s.wav", "スクリプト s.wav")},
      {{"-o", "s.mkv", "s.mkv"}, same("--output ", dir / "s.mkv", "スクリプト s.mkv")},
      {{"--frame", "0", "s.png"}, same("画像", dir / "s.png", "スクリプト s.png")},
      {{"--frame", "0", "-o", "shot.png", "s.png"}, same("--output ", dir / "shot.png", "スクリプト s.png")},
      {{"--progress", "a.xml", "a.xml"}, same("--progress ", "a.xml", "スクリプト a.xml")},
      {{"-o", "here/a.avi", "a.xml"}, same("--output ", dir / "here/a.avi", "動画の出力先 " + (dir / "a.avi"))},
      {{"--progress", "here/a.wav", "a.xml"}, same("--progress ", "here/a.wav", "音声の出力先 " + (dir / "a.wav"))},
      {{"--progress", "pipe.xml", "a.xml"}, "エラー : 進み具合の出力先を開けませんでした : pipe.xml (No such device or address)\n"},
      {{}, kUsage},
      {{"a.xml", "a.xml"}, kUsage},
      {{"missing.xml"}, "エラー : xmlファイルが見つかりません\n"},
      {{"folder.xml"}, unreadable},
      {{"pipe.xml"}, unreadable},
      {{"--frobnicate", "a.xml"}, "エラー : 不明なオプションです - --frobnicate\n"},
      {{"a.xml", "--codec", "XVID"}, "エラー : 不明な圧縮形式です - XVID (--list-codecs で一覧を表示します)\n"},
  };
  for (const auto& [args, message] : cases) {
    const auto result = RunTalmora(args, dir.path());
    EXPECT_EQ(result.out, kDeviceLines + message);
    EXPECT_EQ(result.status, kFailureStatus);
  }
  EXPECT_EQ(testing::Names(dir.path()), (std::set<std::string>{"a.xml", "s.avi", "s.wav", "s.mkv", "s.png", "shot.png",
                                                                 "here", "folder.xml", "pipe.xml"}));
  for (const char* name : {"a.xml", "s.avi", "s.wav", "s.mkv", "s.png"}) EXPECT_EQ(testing::ReadFile(dir / name), script);
}

TEST(RunSequence, ExitStatusIsZeroOnlyWhenEverythingAskedForWasMade) {
  TempDir dir;
  const std::string kText = "<text sentence=\"a\" time=\"0\" duration=\"0.1\"";
  const struct {
    std::string script;
    int status;
    int unread = 0;  // names no reader reads, counted on one line after the script is read
  } cases[] = {
      {"<talmora width=\"8\" height=\"8\" length=\"0.1\"/>", 0},
      {"<talmora width=\"8\" height=\"8\" length=\"0.1\" fps=\"fast\"/>", 2},
      {"<talmora width=\"8\" height=\"8\">" + kText + " ease=\"bouncy\"/></talmora>", 2},
      {"<talmora width=\"8\" height=\"8\">" + kText + " weight=\"bold\"/></talmora>", 2},
      // A failure inside a movie that could not be made still ends as an unmade movie.
      {"<talmora width=\"0\" length=\"0.1\" fps=\"fast\"/>", 1},
      // What the script asks for in a name no reader knows is not done: the run says so.
      {"<talmora width=\"8\" height=\"8\" lenght=\"1\">" + kText + " durtion=\"2\" fontsise=\"9\"/><polygon x=\"1\"/></talmora>",
       2, 4},
      {"<talmora width=\"0\" height=\"8\" length=\"0.1\"><polygon/></talmora>", 1, 1},
      // Namespace declarations are the XML reader's; a number with text after it is read as ever.
      {"<talmora xmlns:p=\"urn:p\" width=\"8\" height=\"8\">" + kText + " x=\"1O0\"/></talmora>", 0},
      // A script that does not load makes nothing, and still waits for Enter.
      {"<movie/>", 1},
      {"<talmora>", 1},
  };
  for (const auto& c : cases) {
    dir.Write("a.xml", c.script);
    std::filesystem::remove(dir / "a.avi");
    const auto result = RunTalmora({"--codec", "DIB ", "a.xml"}, dir.path());
    EXPECT_EQ(result.status, c.status) << c.script << "\n" << result.out;
    EXPECT_TRUE(result.out.ends_with(kClosingLine)) << result.out;
    EXPECT_EQ(std::filesystem::exists(dir / "a.avi"), c.status != 1) << c.script;
    const std::string line = "XMLのパースが完了しました\n警告 : 不明な要素・属性が " + std::to_string(c.unread) +
                             " 個あります (--check で一覧を表示します)\n";
    EXPECT_EQ(testing::Count(result.out, "不明な要素・属性"), c.unread ? 1u : 0u) << result.out;
    if (c.unread) {
      EXPECT_NE(result.out.find(line), std::string::npos) << result.out;
    }
  }
}

}  // namespace
}  // namespace talmora

