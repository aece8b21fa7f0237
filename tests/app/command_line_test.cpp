#include "app/command_line.h"
#include "app/output_paths.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <variant>
#include <vector>

#include "script/file_path.h"

namespace talmora {
namespace {

CommandLine Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "talmora");
  return ParseCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CommandLine, ValuesAndTheirForms) {
  const CommandLine line = Parse({"--codec", "MJPG", "--frame=2.5", "--quality", "7500", "-o", "shot.PNG", "--scale", "0.5",
                                  "a.xml", "--keyframe", "10", "--progress", "-", "--datarate", "300", "--list-codecs"});
  EXPECT_EQ(std::tuple(line.error, line.movie.codec, line.movie.quality, line.movie.keyframe, line.movie.datarate),
            std::tuple("", "MJPG", 7500, 10, 300));
  EXPECT_EQ(std::tuple(line.list_codecs, line.frame, line.output, line.scale, line.progress, line.scripts),
            std::tuple(true, 2.5, "shot.PNG", 0.5, "-", std::vector<std::string>{"a.xml"}));
  EXPECT_EQ(Parse({"--from", "0", "--to", "10", "-o", "m.Mp4", "a.xml"}).error, "");
  const CommandLine part = Parse({"--codec", "H264", "--part", "3/8", "--scale", "0.5", "a.xml"});
  EXPECT_EQ(std::tuple(part.error, part.part->index, part.part->count), std::tuple("", 3, 8));
  EXPECT_EQ(Parse({"--codec", "MJPG", "--part=auto/8", "a.xml"}).part->index, 0);
  EXPECT_EQ(Parse({"--join", "10000", "-o", "m.mp4", "--scale", "2", "a.xml"}).join, 10000);
  const CommandLine serve = Parse({"--serve", "--port=0", "--scale", "0.5", "a.xml"});
  EXPECT_EQ(std::tuple(serve.error, serve.serve, serve.port), std::tuple("", true, 0));
}

// `--part auto/N` takes K from the first index variable set, counting from 1 or from 0 as its
// job engine does; an index outside the parts, or none, is refused naming the variable.
TEST(CommandLine, AutomaticPartComesFromTheJobEngine) {
  const std::string missing =
      "エラー : --part auto/8 の部品番号がありません (TALMORA_PART、SLURM_ARRAY_TASK_ID、JOB_COMPLETION_INDEX、"
      "AWS_BATCH_JOB_ARRAY_INDEX のどれも設定されていません)";
  const std::vector<std::pair<std::map<std::string, std::string>, std::variant<int, std::string>>> cases = {
      {{{"TALMORA_PART", "3"}}, 3},
      {{{"SLURM_ARRAY_TASK_ID", "8"}}, 8},
      {{{"JOB_COMPLETION_INDEX", "0"}}, 1},
      {{{"AWS_BATCH_JOB_ARRAY_INDEX", "7"}}, 8},
      {{{"TALMORA_PART", "2"}, {"SLURM_ARRAY_TASK_ID", "5"}}, 2},
      {{{"SLURM_ARRAY_TASK_ID", "0"}}, "エラー : --part auto/8 の部品番号になりません : SLURM_ARRAY_TASK_ID=0 (1 から 8 まで)"},
      {{{"AWS_BATCH_JOB_ARRAY_INDEX", "8"}}, "エラー : --part auto/8 の部品番号になりません : AWS_BATCH_JOB_ARRAY_INDEX=8 (0 から 7 まで)"},
      {{{"JOB_COMPLETION_INDEX", "1a"}}, "エラー : --part auto/8 の部品番号になりません : JOB_COMPLETION_INDEX=1a (0 から 7 まで)"},
      {{}, missing},
  };
  for (const auto& [set, expected] : cases) {
    CommandLine line = Parse({"--codec", "DIB", "--part", "auto/8", "a.xml"});
    const std::map<std::string, std::string>& environment = set;  // by name: clang 14 captures no bindings
    const std::string error = TakePartFromEnvironment(line, [&environment](const char* name) -> const char* {
      const auto found = environment.find(name);
      return found == environment.end() ? nullptr : found->second.c_str();
    });
    if (const int* index = std::get_if<int>(&expected)) {
      EXPECT_EQ(error, "");
      EXPECT_EQ(line.part->index, *index);
    } else {
      EXPECT_EQ(error, std::get<std::string>(expected));
    }
  }
  // A part given by number is left as it is.
  CommandLine given = Parse({"--codec", "DIB", "--part", "2/8", "a.xml"});
  EXPECT_EQ(TakePartFromEnvironment(given, [](const char*) -> const char* { return "5"; }), "");
  EXPECT_EQ(given.part->index, 2);
}

TEST(CommandLine, EveryMalformedOrContradictoryLineIsRefusedWithOneMessage) {
  std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
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
      {{"--join", "0"}, "エラー : オプションの値が不正です - --join 0 (1 から 10000 までの部品の数)"},
      {{"--part", "1/2"}, "エラー : --part には --codec が必要です (部品はどれも同じ圧縮形式で描きます)"},
      {{"--codec", "DIB", "--part", "1/2", "--to", "3"}, "エラー : オプション --to と --part は同時に指定できません"},
      {{"--join", "2", "--check"}, "エラー : オプション --check と --join は同時に指定できません"},
      {{"--join", "2", "--frame", "1"}, "エラー : オプション --frame と --join は同時に指定できません"},
      {{"--codec", "DIB", "--part", "1/2", "--join", "2"}, "エラー : オプション --part と --join は同時に指定できません"},
      {{"--codec", "DIB", "--part", "1/2", "-o", "a.mkv"}, "エラー : オプション --part と --output は同時に指定できません"},
      {{"--join", "2", "--progress", "-"}, "エラー : オプション --join と --progress は同時に指定できません"},
      {{"--serve", "--port", "65536"}, "エラー : オプションの値が不正です - --port 65536 (0 から 65535 までのポート番号)"},
      {{"--serve", "--port", "80x"}, "エラー : オプションの値が不正です - --port 80x (0 から 65535 までのポート番号)"},
      {{"--port", "8080"}, "エラー : --port は --serve と一緒に指定します"},
      {{"--serve", "--frame", "1"}, "エラー : オプション --serve と --frame は同時に指定できません"},
      {{"--progress", "p", "--serve"}, "エラー : オプション --serve と --progress は同時に指定できません"},
  };
  // Whatever is wrong with a part's K/N, the line names the value and the form it must take.
  for (const char* value : {"0/8", "9/8", "3", "auto/10001", "1/2x"}) {
    cases.push_back({{"--part", value},
                     std::string("エラー : オプションの値が不正です - --part ") + value + " (K/N または auto/N、1 ≤ K ≤ N ≤ 10000)"});
  }
  for (const auto& [args, message] : cases) {
    std::vector<const char*> with_script = args;
    with_script.insert(with_script.begin(), "a.xml");
    EXPECT_EQ(Parse(with_script).error, message) << args.front();
  }
}

TEST(CommandLine, HelpNamesEveryOption) {
  const std::string usage = UsageText();
  for (const char* option : {"--codec", "--quality", "--keyframe", "--datarate", "--list-codecs", "--check", "-o, --output",
                             "--frame", "--from", "--to", "--scale", "--part", "--join", "--progress", "--serve", "--port", "-h, --help",
                             "--version"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
}

TEST(OutputPaths, ExtensionOfTheLastComponentTheFolderAndWhatAPartHolds) {
  EXPECT_EQ(ReplaceExtension("/movies/intro.xml", ".avi"), "/movies/intro.avi");
  EXPECT_EQ(ReplaceExtension("/clips.old/intro", ".avi"), "/clips.old/intro.avi");
  EXPECT_EQ(ReplaceExtension("/a/intro.tar.xml", ".wav"), "/a/intro.tar.wav");
  EXPECT_EQ(ReplaceExtension("/a/.hidden", ".avi"), "/a/.hidden.avi");
  EXPECT_EQ(FolderOf("/movies/intro.xml"), "/movies");
  EXPECT_EQ(FolderOf("/intro.xml"), "/");
  EXPECT_EQ(AbsolutePath("/a/./b/../c.xml"), "/a/c.xml");
  // A partial render's usual names are the command line tests'; here the forms they do not reach.
  const std::optional<double> none;
  EXPECT_EQ(PartialName(std::nullopt, none, none, none), "");
  EXPECT_EQ(PartialName(std::nullopt, 0.0, 1e21, 0.5), ".0-1e+21s.x0.5");
  EXPECT_EQ(PartialName(PartNumber{12, 64}, none, none, 1.0), ".part-12-of-64.x1");
}

}  // namespace
}  // namespace talmora
