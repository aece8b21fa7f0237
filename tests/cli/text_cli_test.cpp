// Texts in the movie as a user sees them: the uncompressed frames of the AVI file read back from
// disk, and the console lines.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "render/picture_files.h"
#include "support/cli_harness.h"
#include "support/riff_walk.h"

namespace talmora {
namespace {

using testing::RunScript;
using testing::TempDir;

constexpr uint32_t kBlack = 0xFF000000;

struct Box {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool Empty() const { return right <= left; }
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

// The frames of an uncompressed movie, top row first, as 0xAARRGGBB.
struct Frames {
  int width = 0, height = 0;
  std::vector<std::vector<uint32_t>> pixels;

  uint32_t At(size_t frame, int x, int y) const { return pixels.at(frame)[static_cast<size_t>(y) * width + x]; }
  // Where pixels differ from the black background, within the area (the whole frame by default).
  Box Ink(size_t frame, Box area = {}) const {
    if (area.Empty()) area = {0, 0, width, height};
    Box box{area.right, area.bottom, area.left, area.top};
    for (int y = area.top; y < area.bottom; ++y) {
      for (int x = area.left; x < area.right; ++x) {
        if (At(frame, x, y) == kBlack) continue;
        box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1), std::max(box.bottom, y + 1)};
      }
    }
    return box.Empty() ? Box{} : box;
  }
};

Frames ReadFrames(const std::string& avi_path) {
  const auto avi = testing::WalkAvi(avi_path);
  EXPECT_EQ(avi.error, "");
  Frames frames{static_cast<int>(avi.width), static_cast<int>(avi.height), {}};
  const size_t row_bytes = static_cast<size_t>(frames.width) * 4;
  for (const auto& chunk : avi.frames) {
    const auto data = testing::ReadChunk(avi_path, chunk);
    std::vector<uint32_t> pixels(static_cast<size_t>(frames.width) * frames.height);
    if (data.size() != pixels.size() * 4) {
      ADD_FAILURE() << "frame of " << data.size() << " bytes";
      continue;
    }
    for (int y = 0; y < frames.height; ++y) {  // bottom-up rows
      std::memcpy(&pixels[y * static_cast<size_t>(frames.width)], &data[(frames.height - 1 - y) * row_bytes], row_bytes);
    }
    frames.pixels.push_back(std::move(pixels));
  }
  return frames;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class TextCommandLine : public ::testing::Test {
 protected:
  // Runs a movie on an opaque black background at 10 frames per second, uncompressed.
  testing::RunResult Run(const std::string& root, const std::string& body) {
    auto result = RunScript(dir_, "<talmora fps=\"10\" a=\"1\" " + root + ">" + body + "</talmora>");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(Count(result.out, "aviの作成が完了しました\n"), 1u) << result.out;
    return result;
  }

  TempDir dir_;
};

TEST_F(TextCommandLine, LayoutFlagsPlaceTheInkInsideEachRectangle) {
  const std::string sentence = "the quick brown fox jumps over the lazy dog";
  Run(R"(width="640" height="480" length="0.1")",
      R"(<template name="t" time="0" duration="1" fontsize="20"/>)"
      R"(<text template="t" sentence="Hello" x="10" y="10" width="200" height="50"/>)"
      R"(<text template="t" sentence="Hello" x="10" y="70" width="200" height="50" align="center" valign="middle"/>)"
      R"(<text template="t" sentence="Hello" x="10" y="130" width="200" height="50" align="right" valign="bottom"/>)"
      R"(<text template="t" sentence=")" + sentence + R"(" x="220" y="10" width="120" height="200" wordbreak="yes"/>)"
      R"(<text template="t" sentence=")" + sentence + R"(" x="350" y="10" width="120" height="200"/>)"
      R"(<text template="t" sentence="Hello%nWorld" x="10" y="190" width="200" height="60" singleline="yes"/>)"
      R"(<text template="t" sentence="Hello%nWorld" x="480" y="10" width="150" height="60"/>)"
      R"(<text sentence="日本語とかな" x="10" y="270" width="300" height="60" time="0" duration="1"/>)"
      R"(<text template="t" sentence="Hg" x="10" y="340" width="100" height="100" fontsize="12"/>)"
      R"(<text template="t" sentence="Hg" x="120" y="340" width="100" height="100" fontsize="48"/>)");
  const Frames frames = ReadFrames(dir_ / "movie.avi");
  ASSERT_EQ(frames.pixels.size(), 1u);
  const Box rects[] = {{10, 10, 210, 60},   {10, 70, 210, 120},  {10, 130, 210, 180}, {220, 10, 340, 210},
                       {350, 10, 470, 210}, {10, 190, 210, 250}, {480, 10, 630, 70},  {10, 270, 310, 330},
                       {10, 340, 110, 440}, {120, 340, 220, 440}};
  Box ink[std::size(rects)];
  for (size_t i = 0; i < std::size(rects); ++i) {
    ink[i] = frames.Ink(0, rects[i]);
    EXPECT_FALSE(ink[i].Empty()) << i;
  }
  // Nothing outside the rectangles.
  std::vector<uint32_t> outside = frames.pixels[0];
  for (const Box& r : rects) {
    for (int y = r.top; y < r.bottom; ++y) std::fill_n(&outside[y * 640 + r.left], r.Width(), kBlack);
  }
  EXPECT_EQ(std::count(outside.begin(), outside.end(), kBlack), 640 * 480);

  // Left-top, centre-middle and right-bottom of the same word.
  EXPECT_LE(ink[0].left - 10, 3);
  EXPECT_LE(ink[0].top - 10, 8);
  EXPECT_NEAR(ink[1].left - 10, 210 - ink[1].right, 2);
  EXPECT_NEAR(ink[1].top - 70, 120 - ink[1].bottom, 6);
  EXPECT_LE(210 - ink[2].right, 3);
  EXPECT_LE(180 - ink[2].bottom, 8);
  EXPECT_EQ(ink[0].Width(), ink[2].Width());
  // Word break wraps into several lines; without it one line runs into the right edge.
  EXPECT_GT(ink[3].Height(), 60);
  EXPECT_LT(ink[4].Height(), 25);
  EXPECT_GE(ink[4].right, 466);
  // Single line keeps Hello and World on one line; without it they take two.
  EXPECT_LT(ink[5].Height(), 25);
  EXPECT_GT(ink[6].Height(), 30);
  EXPECT_GT(ink[5].Width(), ink[6].Width());
  // Japanese with the default face, and a larger font size gives taller ink.
  EXPECT_GT(ink[7].Width(), 60);
  EXPECT_GT(ink[9].Height(), 3 * ink[8].Height());
}

TEST_F(TextCommandLine, FadeRisesFrameByFrameAndNothingShowsOutsideTheWindow) {
  Run(R"(width="64" height="64" length="3")",
      R"(<text sentence="■" fontsize="48" a="0" aend="1" time="1" duration="1"/>)");
  const Frames frames = ReadFrames(dir_ / "movie.avi");
  ASSERT_EQ(frames.pixels.size(), 30u);
  const Box full = frames.Ink(19);
  ASSERT_FALSE(full.Empty());
  const int x = (full.left + full.right) / 2, y = (full.top + full.bottom) / 2;
  int previous = -1;
  for (size_t i = 0; i < 30; ++i) {
    if (i < 10 || i >= 20) {
      EXPECT_TRUE(frames.Ink(i).Empty()) << i;
      continue;
    }
    const int level = static_cast<int>(frames.At(i, x, y) & 0xFF);
    EXPECT_GE(level, previous) << i;
    EXPECT_NEAR(level, static_cast<int>((i - 10) * 25.5), 1) << i;
    previous = level;
  }
}

TEST_F(TextCommandLine, DepthStacksTextsAndImagesBothWays) {
  ASSERT_TRUE(WritePng(dir_ / "blue.png", 4, 4, std::vector<uint32_t>(16, 0xFF0000FF)));
  Run(R"(width="200" height="60" length="0.1")",
      R"(<text sentence="■" fontsize="48" x="0" width="100" height="60" r="1" g="0" b="0" z="2" time="0" duration="1"/>)"
      R"(<image src="blue.png" x="0" width="100" height="60" z="1" time="0" duration="1"/>)"
      R"(<text sentence="■" fontsize="48" x="100" width="100" height="60" r="1" g="0" b="0" z="1" time="0" duration="1"/>)"
      R"(<image src="blue.png" x="100" width="100" height="60" z="2" time="0" duration="1"/>)");
  const Frames frames = ReadFrames(dir_ / "movie.avi");
  ASSERT_EQ(frames.pixels.size(), 1u);
  // Left: the red square on the blue picture. Right: the picture hides the text entirely.
  EXPECT_EQ(frames.At(0, 20, 25), 0xFFFF0000u);
  EXPECT_EQ(frames.At(0, 90, 55), 0xFF0000FFu);
  for (int y = 0; y < 60; ++y) {
    for (int x = 100; x < 200; ++x) ASSERT_EQ(frames.At(0, x, y), 0xFF0000FFu) << x << ", " << y;
  }
}

TEST_F(TextCommandLine, ConsoleShowsEachSentenceOnceAtItsFirstFrame) {
  const auto result = Run(R"(width="32" height="32" length="1")",
                          R"(<text sentence="First%nsecond line" time="0" duration="1"/>)"
                          R"(<text time="0.5" duration="1"/>)"
                          R"(<text sentence="never shown" time="5" duration="1"/>)");
  EXPECT_EQ(Count(result.out, "First\nsecond line\n"), 1u) << result.out;
  EXPECT_EQ(Count(result.out, "never shown"), 0u);
  // The text without a sentence prints an empty line as it first shows, in the sixth frame.
  EXPECT_EQ(Count(result.out, "5 / 10 フレーム\r\n6 / 10"), 1u) << result.out;
  EXPECT_LT(result.out.find("スクリプトパース完了\n"), result.out.find("First\n"));
}

TEST_F(TextCommandLine, WithoutFontsTheFailureLineShowsOnceAndTheRunGoesOn) {
  // A fontconfig setup that knows no fonts at all.
  const std::string config = dir_.Write("fonts.conf", "<?xml version=\"1.0\"?><fontconfig></fontconfig>\n");
  ::setenv("FONTCONFIG_FILE", config.c_str(), 1);
  const auto result = Run(R"(width="32" height="32" length="1")", R"(<text sentence="Hello" time="0" duration="1"/>)");
  ::unsetenv("FONTCONFIG_FILE");
  EXPECT_EQ(Count(result.out, "Text::Draw() : フォントインタフェースの作成に失敗しました\n"), 1u) << result.out;
  EXPECT_EQ(Count(result.out, "Hello"), 0u);
  const Frames frames = ReadFrames(dir_ / "movie.avi");
  ASSERT_EQ(frames.pixels.size(), 10u);
  for (size_t i = 0; i < frames.pixels.size(); ++i) EXPECT_TRUE(frames.Ink(i).Empty()) << i;
}

}  // namespace
}  // namespace talmora
