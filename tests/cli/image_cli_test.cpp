// Pictures in the movie as a user sees them: the uncompressed frames of the AVI file read back
// from disk, and the console lines.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "render/picture_files.h"
#include "support/cli_harness.h"
#include "support/riff_walk.h"

namespace talmora {
namespace {

using testing::RunScript;
using testing::TempDir;

constexpr const char* kFailure = "Image::Draw() : テクスチャの読み込みに失敗しました - ";
constexpr uint32_t kBlack = 0xFF000000;

// The frames of an uncompressed movie, top row first, as 0xAARRGGBB.
struct Frames {
  int width = 0, height = 0;
  std::vector<std::vector<uint32_t>> pixels;
  uint32_t At(size_t frame, int x, int y) const { return pixels.at(frame)[static_cast<size_t>(y) * width + x]; }
  // The pixels of a frame that differ from the black background, as {left, top, right, bottom}.
  std::vector<int> Changed(size_t frame) const {
    std::vector<int> box{width, height, 0, 0};
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        if (At(frame, x, y) == kBlack) continue;
        box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x + 1), std::max(box[3], y + 1)};
      }
    }
    return box[2] ? box : std::vector<int>{0, 0, 0, 0};
  }
};

Frames ReadFrames(const std::string& avi_path) {
  const auto avi = testing::WalkAvi(avi_path);
  EXPECT_EQ(avi.error, "");
  EXPECT_EQ(avi.strh.fccHandler, "DIB ");
  Frames frames{static_cast<int>(avi.width), static_cast<int>(avi.height), {}};
  for (const auto& chunk : avi.frames) {
    const auto data = testing::ReadChunk(avi_path, chunk);
    std::vector<uint32_t> pixels(static_cast<size_t>(frames.width) * frames.height);
    EXPECT_EQ(data.size(), pixels.size() * 4);
    for (int y = 0; y < frames.height && data.size() == pixels.size() * 4; ++y) {
      // Bottom-up rows.
      std::memcpy(&pixels[static_cast<size_t>(y) * frames.width],
                  &data[static_cast<size_t>(frames.height - 1 - y) * frames.width * 4], frames.width * 4);
    }
    frames.pixels.push_back(std::move(pixels));
  }
  return frames;
}

class ImageCommandLine : public ::testing::Test {
 protected:
  std::string Picture(const std::string& name, int width, int height, const std::vector<uint32_t>& pixels) {
    EXPECT_TRUE(WritePng(dir_ / name, width, height, pixels));
    return dir_ / name;
  }
  std::string Solid(const std::string& name, int width, int height, uint32_t argb) {
    return Picture(name, width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height, argb));
  }

  // Runs a movie on an opaque black background at 10 frames per second.
  testing::RunResult Run(const std::string& root, const std::string& body) {
    auto result = RunScript(dir_, "<talmora fps=\"10\" a=\"1\" " + root + ">" + body + "</talmora>");
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("aviの作成が完了しました\n"), std::string::npos) << result.out;
    return result;
  }

  TempDir dir_;
};

TEST_F(ImageCommandLine, PicturesLandExactlyOnTheirRectangles) {
  std::vector<uint32_t> pattern;
  for (int y = 0; y < 24; ++y) {
    for (int x = 0; x < 32; ++x) pattern.push_back(0xFF000000u | (x * 8) << 16 | (y * 10) << 8 | ((x * y) & 0xFF));
  }
  Picture("pattern.png", 32, 24, pattern);
  Solid("pic.png", 100, 50, 0xFF3366CC);
  Run(R"(width="640" height="480" length="0.1")",
      // Stretched twice over (drawn on top of the rest), copied at whole pixels, mirrored, and
      // at the default size of 512 × 384.
      R"(<image src="pic.png" x="10" y="20" width="200" height="100" time="0" duration="1" z="2"/>)"
      R"(<image src="pattern.png" x="300" y="7" width="32" height="24" time="0" duration="1" z="1"/>)"
      R"(<image src="pattern.png" x="372" y="7" width="-32" height="24" time="0" duration="1" z="1"/>)"
      R"(<image src="pattern.png" x="100" y="50" time="0" duration="1"/>)");
  const Frames frames = ReadFrames(dir_ / "movie.avi");
  ASSERT_EQ(frames.pixels.size(), 1u);
  for (const auto& [x, y] : {std::pair{10, 20}, {209, 20}, {10, 119}, {209, 119}}) {
    EXPECT_EQ(frames.At(0, x, y), 0xFF3366CCu) << x << ", " << y;
  }
  EXPECT_NE(frames.At(0, 210, 70), 0xFF3366CCu);
  EXPECT_NE(frames.At(0, 100, 120), 0xFF3366CCu);
  for (int y = 0; y < 24; ++y) {
    for (int x = 0; x < 32; ++x) {
      ASSERT_EQ(frames.At(0, 300 + x, 7 + y), pattern[y * 32 + x]) << x << ", " << y;
      ASSERT_EQ(frames.At(0, 371 - x, 7 + y), pattern[y * 32 + x]) << x << ", " << y;
    }
  }
  EXPECT_EQ(frames.Changed(0), (std::vector<int>{10, 7, 612, 434}));
  EXPECT_EQ(frames.At(0, 611, 433), pattern.back());
}

TEST_F(ImageCommandLine, ColourTintsFadesAndMultipliesThePictureAlpha) {
  Solid("grey.png", 8, 8, 0xFFC8C8C8);
  Solid("half.png", 8, 8, 0x80FFFFFF);
  Run(R"(width="64" height="16" length="0.1")",
      R"(<image src="grey.png" x="0" width="8" height="8" r="1" g="0" b="0" time="0" duration="1"/>)"
      R"(<image src="grey.png" x="16" width="8" height="8" a="0.5" time="0" duration="1"/>)"
      R"(<image src="half.png" x="32" width="8" height="8" a="0.5" time="0" duration="1"/>)");
  const Frames frames = ReadFrames(dir_ / "movie.avi");
  ASSERT_EQ(frames.pixels.size(), 1u);
  EXPECT_EQ(frames.At(0, 4, 4), 0xFFC80000u);
  // Alpha 127 over opaque black: 200 · 127 / 255 rounds to 100; alpha 127² + 255 · 128 over 255.
  EXPECT_EQ(frames.At(0, 20, 4), 0xBF646464u);
  // Picture alpha 128 times colour alpha 127: 64 of white.
  EXPECT_EQ(frames.At(0, 36, 4) & 0xFFFFFF, 0x404040u);
}

TEST_F(ImageCommandLine, FadeRisesFrameByFrameAndNothingShowsOutsideTheWindow) {
  Solid("white.png", 4, 4, 0xFFFFFFFF);
  Run(R"(width="16" height="16" length="3")",
      R"(<image src="white.png" width="4" height="4" a="0" aend="1" time="1" duration="1"/>)");
  const Frames frames = ReadFrames(dir_ / "movie.avi");
  ASSERT_EQ(frames.pixels.size(), 30u);
  // Frames 10 to 19 lie in the window [1, 2); frame 10 is at its very start, alpha 0.
  int previous = -1;
  for (size_t i = 0; i < 30; ++i) {
    const int level = static_cast<int>(frames.At(i, 1, 1) & 0xFF);
    if (i < 10 || i >= 20) {
      EXPECT_EQ(frames.Changed(i), (std::vector<int>{0, 0, 0, 0})) << i;
    } else {
      EXPECT_GT(level, previous) << i;
      EXPECT_NEAR(level, static_cast<int>((i - 10) * 25.5), 1) << i;
      previous = level;
    }
  }
}

TEST_F(ImageCommandLine, ConsoleShowsEachPathOnceAndEveryFailureWhileTheRunGoesOn) {
  Solid("pic.png", 4, 4, 0xFFFFFFFF);
  WriteBytes(dir_ / "broken.png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0});
  WriteBytes(dir_ / "huge.png", ClaimPngSize(ReadBytes(dir_ / "pic.png"), 100000, 100000));
  std::filesystem::create_directory(dir_ / "folder");
  const auto result = Run(R"(width="16" height="16" length="1")",
                          R"(<image src="pic.png" time="0" duration="1"/>)"
                          R"(<image src="gone/missing.png" time="0" duration="1"/>)"
                          R"(<image src="broken.png" time="0.5" duration="1"/>)"
                          R"(<image src="huge.png" time="0.5" duration="1"/>)"
                          R"(<image src="folder" time="0.5" duration="1"/>)");
  const auto count = [&](const std::string& line) {
    size_t n = 0;
    for (size_t at = result.out.find(line); at != std::string::npos; at = result.out.find(line, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("\n" + dir_ / "pic.png" + "\n"), 1u) << result.out;
  EXPECT_EQ(count(std::string(kFailure) + "gone/missing.png\n"), 1u);
  EXPECT_EQ(count(kFailure + dir_ / "broken.png" + "\n"), 1u);
  EXPECT_EQ(count(kFailure + dir_ / "huge.png" + "\n"), 1u);
  EXPECT_EQ(count(std::string(kFailure) + "folder\n"), 1u);
  // Every frame is still written, and the good picture is in all of them.
  const Frames frames = ReadFrames(dir_ / "movie.avi");
  ASSERT_EQ(frames.pixels.size(), 10u);
  for (size_t i = 0; i < 10; ++i) EXPECT_EQ(frames.At(i, 15, 15), 0xFFFFFFFFu) << i;
}

}  // namespace
}  // namespace talmora
