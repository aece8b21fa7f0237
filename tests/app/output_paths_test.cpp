#include "app/output_paths.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace talmora
