#include "app/output_paths.h"

#include <gtest/gtest.h>

#include "app/command_line.h"
#include "script/file_path.h"

namespace talmora {
namespace {

TEST(OutputPaths, ExtensionOfTheLastComponentAndTheFolder) {
  EXPECT_EQ(ReplaceExtension("/movies/intro.xml", ".avi"), "/movies/intro.avi");
  EXPECT_EQ(ReplaceExtension("/clips.old/intro", ".avi"), "/clips.old/intro.avi");
  EXPECT_EQ(ReplaceExtension("/a/intro.tar.xml", ".wav"), "/a/intro.tar.wav");
  EXPECT_EQ(ReplaceExtension("/a/.hidden", ".avi"), "/a/.hidden.avi");
  EXPECT_EQ(FolderOf("/movies/intro.xml"), "/movies");
  EXPECT_EQ(FolderOf("/intro.xml"), "/");
  EXPECT_EQ(AbsolutePath("/a/./b/../c.xml"), "/a/c.xml");
}

TEST(CommandLine, OptionsAndPositionals) {
  const char* argv[] = {"talmora", "--codec", "MJPG", "--quality", "7500", "a.xml",
                        "--keyframe", "10", "--datarate", "300", "--list-codecs"};
  const CommandLine line = ParseCommandLine(11, argv);
  EXPECT_EQ(line.error, "");
  EXPECT_EQ(line.scripts, std::vector<std::string>{"a.xml"});
  EXPECT_EQ(line.movie.codec, "MJPG");
  EXPECT_EQ(line.movie.quality, 7500);
  EXPECT_EQ(line.movie.keyframe, 10);
  EXPECT_EQ(line.movie.datarate, 300);
  EXPECT_TRUE(line.list_codecs);
  const char* missing[] = {"talmora", "a.xml", "--codec"};
  EXPECT_NE(ParseCommandLine(3, missing).error, "");
}

}  // namespace
}  // namespace talmora
