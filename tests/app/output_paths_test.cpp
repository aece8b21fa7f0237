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

TEST(OutputPaths, PartialRendersSayWhatTheyHold) {
  const std::optional<double> none;
  EXPECT_EQ(PartialName(std::nullopt, none, none, none), "");
  EXPECT_EQ(PartialName(PartNumber{3, 8}, none, none, none), ".part-3-of-8");
  EXPECT_EQ(PartialName(std::nullopt, 10.0, 20.0, none), ".10-20s");
  EXPECT_EQ(PartialName(std::nullopt, 2.5, none, none), ".2.5s-end");
  EXPECT_EQ(PartialName(std::nullopt, none, 0.1, none), ".0-0.1s");
  EXPECT_EQ(PartialName(std::nullopt, 0.0, 1e21, 0.5), ".0-1e+21s.x0.5");
  EXPECT_EQ(PartialName(PartNumber{12, 64}, none, none, 1.0), ".part-12-of-64.x1");
  EXPECT_EQ(ReplaceExtension("/f/movie.xml", PartialName(std::nullopt, 10.0, 20.0, 2.0) + ".avi"), "/f/movie.10-20s.x2.avi");
}

}  // namespace
}  // namespace talmora
