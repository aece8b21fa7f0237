#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace talmora {
namespace {

CommandLine Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "talmora");
  return ParseCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CommandLine, ValuesAndTheirForms) {
  const CommandLine line = Parse({"--codec", "MJPG", "--frame=2.5", "--quality", "7500", "-o", "shot.PNG", "--scale", "0.5",
                                  "a.xml", "--keyframe", "10", "--progress", "-", "--datarate", "300", "--list-codecs"});
  EXPECT_EQ(line.error, "");
  EXPECT_EQ(line.movie.codec, "MJPG");
  EXPECT_EQ(line.movie.quality, 7500);
  EXPECT_EQ(line.movie.keyframe, 10);
  EXPECT_EQ(line.movie.datarate, 300);
  EXPECT_TRUE(line.list_codecs);
  EXPECT_EQ(line.frame, 2.5);
  EXPECT_EQ(line.output, "shot.PNG");
  EXPECT_EQ(line.scale, 0.5);
  EXPECT_EQ(line.progress, "-");
  EXPECT_EQ(line.scripts, std::vector<std::string>{"a.xml"});
  EXPECT_EQ(Parse({"--from", "0", "--to", "10", "-o", "m.Mp4", "a.xml"}).error, "");
}

TEST(CommandLine, EveryMalformedOrContradictoryLineIsRefusedWithOneMessage) {
  const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
      {{"--codec"}, "エラー : オプションの値が不正です - --codec"},
      {{"--quality", "x"}, "エラー : オプションの値が不正です - --quality"},
      {{"--frame", "-1"}, "エラー : オプションの値が不正です - --frame -1 (0以上の秒数)"},
      {{"--from", "10s"}, "エラー : オプションの値が不正です - --from 10s (0以上の秒数)"},
      {{"--to", "nan"}, "エラー : オプションの値が不正です - --to nan (0以上の秒数)"},
      {{"--scale", "0"}, "エラー : オプションの値が不正です - --scale 0 (0より大きく4以下の数)"},
      {{"--scale", "4.01"}, "エラー : オプションの値が不正です - --scale 4.01 (0より大きく4以下の数)"},
      {{"--check=yes"}, "エラー : オプションの値が不正です - --check=yes"},
      {{"-x"}, "エラー : 不明なオプションです - -x"},
      {{"--frames", "1"}, "エラー : 不明なオプションです - --frames"},
      {{"--from", "2", "--to", "2"}, "エラー : --from (2) は --to (2) より前でなければなりません"},
      {{"--frame", "1", "--to", "2"}, "エラー : オプション --frame と --to は同時に指定できません"},
      {{"--check", "--from", "1"}, "エラー : オプション --check と --from は同時に指定できません"},
      {{"-o", "movie.webm"}, "エラー : オプションの値が不正です - --output movie.webm (.mkv .mp4 .mov .avi のいずれかのファイル)"},
      {{"-o", "dir/.mkv"}, "エラー : オプションの値が不正です - --output dir/.mkv (.mkv .mp4 .mov .avi のいずれかのファイル)"},
      {{"--frame", "0", "-o", "f.mkv"}, "エラー : オプションの値が不正です - --output f.mkv (--frame の出力先は .png のファイル)"},
  };
  for (const auto& [args, message] : cases) {
    std::vector<const char*> with_script = args;
    with_script.insert(with_script.begin(), "a.xml");
    EXPECT_EQ(Parse(with_script).error, message) << args.front();
  }
}

TEST(CommandLine, HelpNamesEveryOption) {
  const std::string usage = UsageText();
  for (const char* option : {"--codec", "--quality", "--keyframe", "--datarate", "--list-codecs", "--check", "-o, --output",
                             "--frame", "--from", "--to", "--scale", "--progress", "-h, --help", "--version"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
}

}  // namespace
}  // namespace talmora
