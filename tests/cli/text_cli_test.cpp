// Texts in the movie as a user sees them: the uncompressed frames of the AVI file read back from
// disk, and the console lines.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "render/picture_files.h"
#include "support/cli_harness.h"
#include "support/dib_frames.h"

namespace talmora {
namespace {

using testing::Box;
using testing::ReadDibFrames;

constexpr uint32_t kBlack = 0xFF000000;

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class TextCommandLine : public ::testing::Test {
 protected:
  // Runs a movie on an opaque black background at 10 frames per second, uncompressed.
  testing::RunResult Run(const std::string& root, const std::string& body, int status = 0) {
    auto result = testing::RunScript(dir_, "<talmora fps=\"10\" a=\"1\" " + root + ">" + body + "</talmora>");
    EXPECT_EQ(result.status, status) << result.out;
    return result;
  }

  testing::TempDir dir_;
};

TEST_F(TextCommandLine, LayoutFlagsPlaceTheInkInsideEachRectangle) {
  const std::pair<Box, std::string> texts[] = {
      {{10, 10, 210, 60}, R"(sentence="Hello")"},
      {{10, 70, 210, 120}, R"(sentence="Hello%nab" align="center" valign="middle")"},
      {{10, 130, 210, 180}, R"(sentence="Hello%nab" align="right" valign="bottom")"},
      {{220, 10, 340, 210}, R"(sentence="the quick brown fox jumps over the lazy dog" wordbreak="yes")"},
      {{350, 10, 470, 210}, R"(sentence="the quick brown fox jumps over the lazy dog")"},
      {{10, 190, 210, 250}, R"(sentence="Hello%nWorld" singleline="yes")"},
      {{480, 10, 630, 70}, R"(sentence="Hello%nWorld")"},
      {{10, 270, 310, 330}, R"(sentence="日本語とかな")"},
      {{10, 340, 110, 440}, R"(sentence="Hg" fontsize="12")"},
      {{120, 340, 220, 440}, R"(sentence="Hg" fontsize="48")"},
      {{230, 340, 330, 440}, R"(sentence="I" fontsize="-48" face="DejaVu Sans")"},
      {{340, 340, 440, 440}, R"(sentence="I" fontsize="-48" face="DejaVu Sans" weight="700")"},
      {{450, 340, 550, 440}, R"(sentence="I" fontsize="-48" face="DejaVu Sans" italic="yes")"},
  };
  std::string body = R"(<template name="t" time="0" duration="1" fontsize="20"/>)";
  for (const auto& [r, attributes] : texts) {
    body += "<text template=\"t\" " + attributes + " x=\"" + std::to_string(r.left) + "\" y=\"" + std::to_string(r.top) +
            "\" width=\"" + std::to_string(r.Width()) + "\" height=\"" + std::to_string(r.Height()) + "\"/>";
  }
  Run(R"(width="640" height="480" length="0.1")", body);
  const auto frames = ReadDibFrames(dir_ / "movie.avi");
  ASSERT_EQ(frames.pixels.size(), 1u);
  std::vector<Box> ink;
  std::vector<uint32_t> outside = frames.pixels[0];
  for (const auto& [r, attributes] : texts) {
    ink.push_back(frames.Ink(0, kBlack, r));
    EXPECT_FALSE(ink.back().Empty()) << attributes;
    for (int y = r.top; y < r.bottom; ++y) std::fill_n(&outside[y * 640 + r.left], r.Width(), kBlack);
  }
  EXPECT_EQ(std::count(outside.begin(), outside.end(), kBlack), 640 * 480);  // nothing outside
  // Left-top; centre-middle and right-bottom of two lines, each line placed on its own (the
  // bottom rows of the ink are the short second line's).
  EXPECT_LE(ink[0].left - 10, 3);
  EXPECT_LE(ink[0].top - 10, 8);
  EXPECT_NEAR(ink[1].left - 10, 210 - ink[1].right, 2);
  EXPECT_NEAR(ink[1].top - 70, 120 - ink[1].bottom, 6);
  const Box centred = frames.Ink(0, kBlack, {10, ink[1].bottom - 5, 210, ink[1].bottom});
  EXPECT_NEAR(centred.left - 10, 210 - centred.right, 2);
  EXPECT_LE(210 - ink[2].right, 3);
  EXPECT_LE(180 - ink[2].bottom, 8);
  EXPECT_LE(210 - frames.Ink(0, kBlack, {10, ink[2].bottom - 5, 210, ink[2].bottom}).right, 3);
  // Word break wraps into several lines; without it one line is cut at the right edge.
  EXPECT_GT(ink[3].Height(), 60);
  EXPECT_LT(ink[4].Height(), 25);
  EXPECT_GE(ink[4].right, 466);
  // Single line keeps Hello and World on one line; without it they take two.
  EXPECT_LT(ink[5].Height(), 25);
  EXPECT_GT(ink[6].Height(), 30);
  // Japanese with the default face, and a larger font size gives taller ink.
  EXPECT_GT(ink[7].Width(), 60);
  EXPECT_GT(ink[9].Height(), 3 * ink[8].Height());
  // Bold thickens the stem of the I, italic slants it over more columns.
  EXPECT_GT(ink[11].Width(), ink[10].Width() + 1);
  EXPECT_GT(ink[12].Width(), ink[10].Width() + 4);
}

TEST_F(TextCommandLine, FadeRisesFrameByFrameAndNothingShowsOutsideTheWindow) {
  Run(R"(width="64" height="64" length="3")", R"(<text sentence="■" fontsize="48" a="0" aend="1" time="1" duration="1"/>)");
  const auto frames = ReadDibFrames(dir_ / "movie.avi");
  ASSERT_EQ(frames.pixels.size(), 30u);
  const Box full = frames.Ink(19, kBlack);
  ASSERT_FALSE(full.Empty());
  for (size_t i = 0; i < 30; ++i) {
    if (i < 10 || i >= 20) {
      EXPECT_TRUE(frames.Ink(i, kBlack).Empty()) << i;
    } else {
      const int level = frames.At(i, (full.left + full.right) / 2, (full.top + full.bottom) / 2) & 0xFF;
      EXPECT_NEAR(level, static_cast<int>(static_cast<double>(i - 10) * 25.5), 1) << i;
    }
  }
}

TEST_F(TextCommandLine, DepthStacksTextsAndImagesBothWays) {
  ASSERT_TRUE(WritePng(dir_ / "blue.png", 4, 4, std::vector<uint32_t>(16, 0xFF0000FF)));
  const std::string square = R"(<text sentence="■" fontsize="48" width="100" height="60" r="1" g="0" b="0" time="0" duration="1" )";
  const std::string image = R"(<image src="blue.png" width="100" height="60" time="0" duration="1" )";
  Run(R"(width="200" height="60" length="0.1")", square + R"(x="0" z="2"/>)" + image + R"(x="0" z="1"/>)" +
                                                     square + R"(x="100" z="1"/>)" + image + R"(x="100" z="2"/>)");
  const auto frames = ReadDibFrames(dir_ / "movie.avi");
  ASSERT_EQ(frames.pixels.size(), 1u);
  // Left: the red square on the blue picture. Right: the picture hides the text entirely.
  EXPECT_EQ(frames.At(0, 20, 25), 0xFFFF0000u);
  EXPECT_EQ(frames.At(0, 90, 55), 0xFF0000FFu);
  EXPECT_TRUE(frames.Ink(0, 0xFF0000FF, {100, 0, 200, 60}).Empty());
}

TEST_F(TextCommandLine, ConsoleShowsEachSentenceOnceAtItsFirstFrame) {
  const auto result = Run(R"(width="32" height="32" length="1")",
                          R"(<text sentence="First%nsecond%tline" time="0" duration="1"/>)"
                          R"(<text time="0.5" duration="1"/><text sentence="never shown" time="5" duration="1"/>)");
  EXPECT_EQ(Count(result.out, "First\nsecond\tline\n"), 1u) << result.out;
  EXPECT_EQ(Count(result.out, "never shown"), 0u);
  // The text without a sentence prints an empty line as it first shows, in the sixth frame.
  EXPECT_EQ(Count(result.out, "5 / 10 フレーム\r\n6 / 10"), 1u) << result.out;
}

TEST_F(TextCommandLine, WithoutFontsTheFailureLineShowsOnceAndTheRunGoesOn) {
  // A fontconfig setup that knows no fonts at all.
  ::setenv("FONTCONFIG_FILE", dir_.Write("fonts.conf", "<?xml version=\"1.0\"?><fontconfig></fontconfig>\n").c_str(), 1);
  const auto result = Run(R"(width="32" height="32" length="1")", R"(<text sentence="Hello" time="0" duration="1"/>)", 2);
  ::unsetenv("FONTCONFIG_FILE");
  EXPECT_EQ(Count(result.out, "Text::Draw() : フォントインタフェースの作成に失敗しました\n"), 1u) << result.out;
  EXPECT_EQ(Count(result.out, "Hello"), 0u);
  const auto frames = ReadDibFrames(dir_ / "movie.avi");
  ASSERT_EQ(frames.pixels.size(), 10u);
  for (size_t i = 0; i < frames.pixels.size(); ++i) EXPECT_TRUE(frames.Ink(i, kBlack).Empty()) << i;
}

}  // namespace
}  // namespace talmora
