// Pictures and texts in the movie as a user sees them: the frames of the movie file and the
// console lines.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#ifndef __has_feature
#define __has_feature(x) 0
#endif

#include "render/picture_files.h"
#include "support/cli_harness.h"
#include "support/dib_frames.h"

namespace talmora {
namespace {

using testing::Box;
using testing::Count;

const std::string kFailure = "Image::Draw() : テクスチャの読み込みに失敗しました - ";
constexpr uint32_t kBlack = 0xFF000000;

class ImageCommandLine : public ::testing::Test {
 protected:
  void Solid(const std::string& name, int width, int height, uint32_t argb) {
    WritePam(dir_ / name, width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height, argb));
  }

  // Runs a movie on an opaque black background at 10 frames per second, which ends with
  // `status`, and reads its frames back.
  testing::DibFrames Run(const std::string& size, const std::string& body, int status = 0) {
    const auto result = testing::RunScript(dir_, "<talmora fps=\"10\" a=\"1\" " + size + ">" + body + "</talmora>");
    out_ = result.out;
    EXPECT_EQ(result.status, status) << out_;
    EXPECT_NE(out_.find("aviの作成が完了しました\n"), std::string::npos) << out_;
    return testing::ReadDibFrames(dir_ / "movie.avi");
  }

  testing::TempDir dir_;
  std::string out_;
};

// A picture on the left, a text on the right: each blended through its own path.
TEST_F(ImageCommandLine, FadeRisesFrameByFrameAndNothingShowsOutsideTheWindow) {
  Solid("white.pam", 4, 4, 0xFFFFFFFF);
  // Beside it the same rise as a fade in, and one up and down again in half the time each, also
  // as two fades of the whole window shortened to fit.
  const auto frames = Run(R"(width="80" height="64" length="3")",
                          R"(<image src="white.pam" width="4" height="4" a="0" aend="1" time="1" duration="1"/>)"
                          R"(<image src="white.pam" x="4" width="4" height="4" fadein="1" time="1" duration="1"/>)"
                          R"(<image src="white.pam" x="8" width="4" height="4" fadein="0.5" fadeout="0.5" time="1" duration="1"/>)"
                          R"(<image src="white.pam" x="12" width="4" height="4" fadein="1" fadeout="1" time="1" duration="1"/>)"
                          R"(<text sentence="■" fontsize="48" x="16" a="0" aend="1" time="1" duration="1"/>)");
  ASSERT_EQ(frames.pixels.size(), 30u);
  const Box text = frames.Ink(19, kBlack, {16, 0, 80, 64});
  ASSERT_FALSE(text.Empty());
  // Frames 10 to 19 lie in the window [1, 2); frame 10 is at its very start, alpha 0.
  for (size_t i = 0; i < 30; ++i) {
    const bool shown = i >= 10 && i < 20;
    const double level = shown ? static_cast<double>(i - 10) * 25.5 : 0;
    EXPECT_EQ(frames.Ink(i, kBlack, {0, 0, 16, 64}), (shown && i > 10 ? Box{0, 0, 16, 4} : Box{})) << i;
    EXPECT_NEAR(frames.At(i, 1, 1) & 0xFF, level, 1) << i;
    EXPECT_NEAR(frames.At(i, 5, 1) & 0xFF, level, 1) << i;
    EXPECT_NEAR(frames.At(i, 9, 1) & 0xFF, shown ? static_cast<double>(std::min(i - 10, 20 - i)) * 51 : 0, 1) << i;
    EXPECT_EQ(frames.At(i, 13, 1), frames.At(i, 9, 1)) << i;
    EXPECT_EQ(frames.Ink(i, kBlack, {16, 0, 80, 64}).Empty(), !shown || i == 10) << i;
    EXPECT_NEAR(frames.At(i, (text.left + text.right) / 2, (text.top + text.bottom) / 2) & 0xFF, level, 1) << i;
  }
}

// Keys in any order: the path hits each key's value at its frame, and each stretch moves along
// the ease of the key it leaves. "now-1" starts the next one a second before the end; its own
// key at 0 replaces its start, and its template's key moves it on, the last key holding.
TEST_F(ImageCommandLine, KeysMoveAPictureThroughEachValueOnItsFrame) {
  Solid("white.pam", 4, 4, 0xFFFFFFFF);
  const auto frames = Run(R"(width="80" height="16" length="2")",
                          R"(<image src="white.pam" width="4" height="4" time="0" duration="2" x="0" xend="60">)"
                          R"(<key at="1" x="40" ease="out"/><key at="0.5" x="20" ease="in"/></image>)"
                          R"(<template name="down"><key at="0.5" y="12"/></template>)"
                          R"(<image src="white.pam" template="down" width="4" height="4" time="now-1" duration="1" x="70")"
                          R"( y="8"><key at="0" y="2"/></image>)");
  ASSERT_EQ(frames.pixels.size(), 20u);
  // Linear to the first key, s³ to the second, 1 - (1 - s)³ to the end.
  for (const auto& [i, left] : std::vector<std::pair<size_t, int>>{{0, 0}, {2, 8}, {5, 20}, {7, 21}, {10, 40}, {16, 59}, {19, 60}}) {
    EXPECT_EQ(frames.Ink(i, kBlack, {0, 0, 64, 16}), (Box{left, 0, left + 4, 4})) << i;
  }
  for (const auto& [i, top] : std::vector<std::pair<size_t, int>>{{9, -1}, {10, 2}, {12, 6}, {15, 12}, {19, 12}}) {
    EXPECT_EQ(frames.Ink(i, kBlack, {64, 0, 80, 16}), (top < 0 ? Box{} : Box{70, top, 74, top + 4})) << i;
  }
}

// At every frame a picture with keys draws as its stretches given one element each: turned,
// tinted and half out of the frame, with its template's keys, its own winning at the same time.
// Whole turns are no turn: moving and fading, they draw as the plain picture.
TEST_F(ImageCommandLine, AKeyedPictureDrawsAsItsStretchesOneElementEachAndWholeTurnsAsNone) {
  WritePam(dir_ / "pic.pam", 4, 2, {0xFFFF0000, 0xFFFF0000, 0xFF0000FF, 0xFF0000FF, 0xFFFF0000, 0xFFFF0000, 0xFF0000FF, 0xFF0000FF});
  const std::string image = R"(<image src="pic.pam" x="4" y="6" width="8" height="4" xend="6" a="0.5" aend="1" time="0" duration="0.5")";
  const auto plain = Run(R"(width="16" height="16" length="0.5")", image + "/>");
  for (const std::string extra : {R"( angle="0" angleend="0" ease="linear")", R"( angle="-720")"}) {
    EXPECT_EQ(Run(R"(width="16" height="16" length="0.5")", image + extra + "/>").pixels, plain.pixels) << extra;
  }
  const std::string size = R"(width="24" height="24" length="1")", common = R"(<image src="pic.pam" y="4" height="8" g="0.5")";
  const auto keyed = Run(size, R"(<template name="moves"><key at="0.3" x="-2" width="20" angle="40" r="0.6" ease="out"/>)"
                               R"(<key at="0.6" x="999"/></template>)" + common +
                               R"( template="moves" time="0" duration="1" x="-8" width="16" angle="10" r="1" ease="in")"
                               R"( xend="10" widthend="12" angleend="200" rend="0">)"
                               R"(<key at="0.6" x="4" width="16" angle="100" r="0.2" ease="inout"/></image>)");
  const auto split = Run(size, common + R"( time="0" timeend="0.3" x="-8" xend="-2" width="16" widthend="20" angle="10")"
                                        R"( angleend="40" r="1" rend="0.6" ease="in"/>)" + common +
                                   R"( time="0.3" timeend="0.6" x="-2" xend="4" width="20" widthend="16" angle="40")"
                                   R"( angleend="100" r="0.6" rend="0.2" ease="out"/>)" + common +
                                   R"( time="0.6" timeend="1" x="4" xend="10" width="16" widthend="12" angle="100")"
                                   R"( angleend="200" r="0.2" rend="0" ease="inout"/>)");
  ASSERT_EQ(keyed.pixels.size(), 10u);
  EXPECT_EQ(keyed.pixels, split.pixels);
  EXPECT_NE(keyed.pixels[4], keyed.pixels[5]);
}

TEST_F(ImageCommandLine, ConsoleShowsEachPathSentenceAndFailureOnceWhileTheRunGoesOn) {
  Solid("pic.pam", 4, 4, 0xFFFFFFFF);
  dir_.Write("broken.png", std::string("\x89PNG\r\n\x1A\n\0\0\0", 11));
  ASSERT_TRUE(WritePng(dir_ / "huge.png", 4, 4, std::vector<uint32_t>(16, 0xFFFFFFFF)));
  dir_.Write("huge.png", ClaimPngSize(testing::ReadFile(dir_ / "huge.png"), 100000, 100000));
  std::filesystem::create_directory(dir_ / "folder");
  ASSERT_EQ(mkfifo((dir_ / "pipe.png").c_str(), 0600), 0);  // nobody writes to it: a reader would wait forever
  const auto frames = Run(R"(width="16" height="16" length="1")",
                          R"(<image src="pic.pam" time="0" duration="1"/>)"
                          R"(<image src="gone/missing.png" time="0" duration="1"/>)"
                          R"(<image src="broken.png" time="0.5" duration="1"/>)"
                          R"(<image src="huge.png" time="0.5" duration="1"/>)"
                          R"(<image src="folder" time="0.5" duration="1"/>)"
                          R"(<image src="pipe.png" time="0.5" duration="1"/>)"
                          R"(<text sentence="First%nsecond%tline" time="0" duration="1"/>)"
                          R"(<text time="0.3" duration="1"/><text sentence="never shown" time="5" duration="1"/>)", 2);
  // A failed load is not tried again: each line comes once over all the frames.
  // Names of files show as full paths, the others as written.
  for (const std::string& line : {"\n" + dir_ / "pic.pam", kFailure + dir_ / "broken.png", kFailure + dir_ / "huge.png",
                                  kFailure + "gone/missing.png", kFailure + "folder", kFailure + "pipe.png"}) {
    EXPECT_EQ(testing::Count(out_, line + "\n"), 1u) << line << "\n" << out_;
  }
  // A sentence at its first frame; the text without one prints an empty line there, in the fourth.
  EXPECT_EQ(Count(out_, "First\nsecond\tline\n"), 1u) << out_;
  EXPECT_EQ(Count(out_, "never shown"), 0u);
  EXPECT_EQ(Count(out_, "3 / 10 フレーム\r\n4 / 10"), 1u) << out_;
  // Every frame is still written, and the good picture is in all of them; the run says what it lacks.
  ASSERT_EQ(frames.pixels.size(), 10u);
  for (size_t i = 0; i < 10; ++i) EXPECT_EQ(frames.At(i, 15, 15), 0xFFFFFFFFu) << i;
}

// Two 16000 × 16000 frames of 4:2:0 in a file that is nearly all holes: a clip bomb.
void WriteClipBomb(const std::string& path) {
  std::ofstream file(path, std::ios::binary);
  file << "YUV4MPEG2 W16000 H16000 F2:1 Ip A1:1 C420jpeg\n";
  for (int i = 0; i < 2; ++i) {
    file << "FRAME\n";
    file.seekp(16000LL * 16000 * 3 / 2 - (i == 1), std::ios::cur);
  }
  file.put('\0');
}

// A 31 KB file of 16000 × 16000 pixels: decoded once for all the elements naming it, and a
// second such file is refused for the texture memory it would take. Elements playing a clip
// alike share its decoder, whose frames and texture count against the same budget.
TEST_F(ImageCommandLine, PictureAndClipBombsAreDecodedOnceAndTheirMemoryIsBounded) {
  Solid("pic.pam", 2, 2, 0xFFFFFFFF);
  const std::string small = R"(<image src="pic.pam" time="0" duration="1"/>)";
  EXPECT_EQ(Run(R"(width="4" height="4" length="0.2")", small + small).At(1, 3, 3), 0xFFFFFFFFu);
  EXPECT_NE(out_.find(dir_ / "pic.pam\n" + dir_ / "pic.pam\n"), std::string::npos) << out_;
#if defined(__SANITIZE_ADDRESS__) || __has_feature(address_sanitizer)
  GTEST_SKIP() << "a gigabyte picture takes minutes under the sanitizers, and their own memory";
#endif
  ASSERT_TRUE(testing::Ffmpeg("-f lavfi -i color=c=black:s=16000x16000 -frames:v 1 -pix_fmt monob '" + dir_ / "bomb.png" + "'"));
  std::filesystem::copy_file(dir_ / "bomb.png", dir_ / "bomb2.png");
  WriteClipBomb(dir_ / "bomb.y4m");
  const std::string element = R"(<image src="bomb.png" time="0" duration="1" width="16000" height="16000"/>)";
  const std::string clip = R"(<image src="bomb.y4m" time="0" duration="0.1" width="8" height="8"/>)";
  auto run = [&](const std::string& body) {
    dir_.Write("movie.xml", R"(<talmora width="8" height="8" length="0.1" fps="10">)" + body + "</talmora>");
    return testing::RunTalmora({"--codec", "DIB ", "movie.xml"}, dir_.path());
  };
  const auto refusal = [&](const std::string& what, const std::string& name, int mib, int in_use) {
    return kFailure + dir_ / name + "\nエラー : " + what + " (" + std::to_string(mib) + " MiB) はテクスチャメモリの上限 2048 MiB を超えます (使用中 " +
           std::to_string(in_use) + " MiB) - " + dir_ / name + "\n";
  };
  const auto shared = run(element + element + element);
  EXPECT_NE(shared.out.find(dir_ / "bomb.png\n" + dir_ / "bomb.png\n" + dir_ / "bomb.png\n"), std::string::npos)
      << shared.out;
  EXPECT_LT(shared.peak_kib, 1200L * 1024);  // one copy is 1000 MB
  const auto refused = run(element + R"(<image src="bomb2.png" time="0" duration="1"/>)" + clip);
  EXPECT_NE(refused.out.find(refusal("画像 16000 × 16000 のテクスチャ", "bomb2.png", 1303, 1303) +
                             refusal("動画 16000 × 16000 のフレームとテクスチャ", "bomb.y4m", 1465, 1303)),
            std::string::npos)
      << refused.out;
  EXPECT_NE(refused.out.find("aviの作成が完了しました"), std::string::npos);
  const auto clips = run(clip + clip + R"(<image src="bomb.y4m" time="0" clipstart="0.5" duration="0.1" width="8" height="8"/>)");
  EXPECT_NE(clips.out.find("\n" + dir_ / "bomb.y4m\n" + dir_ / "bomb.y4m\n" +
                           refusal("動画 16000 × 16000 のフレームとテクスチャ", "bomb.y4m", 1465, 1465)),
            std::string::npos)
      << clips.out;
  EXPECT_EQ(clips.status, 2);
  EXPECT_LT(clips.peak_kib, 1200L * 1024);  // a frame is 366 MiB
}

// A vector picture painted at the size shown: edges stay a pixel or two wide however large it is
// drawn, and nothing outside the file is read, next to the script, elsewhere or on the network.
TEST_F(ImageCommandLine, VectorPicturesAreCrispAtAnySizeAndLoadNothingElse) {
  dir_.Write("disc.svg", R"(<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10" viewBox="0 0 10 10">)"
                         R"(<circle cx="5" cy="5" r="4" fill="#f00"/></svg>)");
  ASSERT_TRUE(WritePng(dir_ / "dot.png", 4, 4, std::vector<uint32_t>(16, 0xFFFFFFFF)));
  const std::string absolute = dir_ / "dot.png";
  dir_.Write("refs.svg",
             R"(<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" width="40" height="40">)"
             R"(<image href="dot.png" width="20" height="20"/><image xlink:href="file://)" + absolute +
                 R"(" x="20" width="20" height="20"/>)"
                 R"(<image href="http://127.0.0.1:9/dot.png" y="20" width="20" height="20"/>)"
                 R"(<rect x="30" y="30" width="10" height="10" fill="#00f"/></svg>)");
  const auto frames = Run(R"(width="360" height="240" length="0.1")",
                          R"(<template name="t" time="0" duration="1"/>)"
                          R"(<image template="t" src="disc.svg" x="0" y="0" width="20" height="20"/>)"
                          R"(<image template="t" src="disc.svg" x="20" y="0" width="200" height="200"/>)"
                          R"(<image template="t" src="refs.svg" x="240" y="0" width="120" height="120"/>)");
  ASSERT_EQ(frames.pixels.size(), 1u);
  for (const auto& [x, side] : {std::pair{0, 20}, {20, 200}}) {
    const int y = side / 2;
    int partial = 0, full = 0;
    for (int i = x; i < x + side / 2; ++i) {
      const uint32_t pixel = frames.At(0, i, y);
      partial += pixel != kBlack && pixel != 0xFFFF0000;
      full += pixel == 0xFFFF0000;
    }
    EXPECT_LE(partial, 2) << side;
    EXPECT_NEAR(full, side * 4 / 10, 1) << side;
  }
  EXPECT_TRUE(frames.Ink(0, kBlack, {240, 0, 360, 120}) == (Box{330, 90, 360, 120}));
}

using ShapeCommandLine = ImageCommandLine;

// Below them, depth stacks texts and pictures both ways.
TEST_F(ShapeCommandLine, RectanglesLandExactlyEllipsesCoverTheirAreaTurnedOnesFadeAndTurnAndDepthStacks) {
  ASSERT_TRUE(WritePng(dir_ / "blue.png", 4, 4, std::vector<uint32_t>(16, 0xFF0000FF)));
  const std::string square = R"(<text sentence="■" fontsize="48" y="120" width="100" height="60" r="1" g="0" b="0" time="0" duration="1" )";
  const std::string image = R"(<image src="blue.png" y="120" width="100" height="60" time="0" duration="1" )";
  const auto frames = Run(R"(width="200" height="180" length="0.1")",
                          square + R"(x="0" z="2"/>)" + image + R"(x="0" z="1"/>)" + square + R"(x="100" z="1"/>)" + image +
                              R"(x="100" z="2"/>)"
                          R"(<template name="t" time="0" duration="1"/>)"
                          R"(<rect template="t" x="10" y="10" width="50" height="30" fill="#f00"/>)"
                          R"(<rect template="t" x="70" y="10" width="50" height="30" fill="#00ff00" stroke="4" strokecolor="1 1 1 1"/>)"
                          R"(<ellipse template="t" x="10" y="50" width="80" height="60"/>)"
                          R"(<rect template="t" x="120" y="60" width="40" height="20" angle="90" a="0.5"/>)"
                          // Past the bound of a painted shape: stretched, still one colour to its edges.
                          R"(<rect template="t" x="-20000" y="112" width="40000" height="1000" fill="#808080"/>)");
  ASSERT_EQ(frames.pixels.size(), 1u);
  EXPECT_EQ(frames.Ink(0, kBlack, {0, 0, 65, 45}), (Box{10, 10, 60, 40}));
  EXPECT_TRUE(frames.Ink(0, 0xFFFF0000, {10, 10, 60, 40}).Empty());
  // The stroke lies inside the edge, the fill within it.
  EXPECT_EQ(frames.Ink(0, kBlack, {65, 0, 125, 45}), (Box{70, 10, 120, 40}));
  EXPECT_TRUE(frames.Ink(0, 0xFFFFFFFF, {70, 10, 120, 14}).Empty());
  EXPECT_TRUE(frames.Ink(0, 0xFFFFFFFF, {70, 10, 74, 40}).Empty());
  EXPECT_TRUE(frames.Ink(0, 0xFF00FF00, {74, 14, 116, 36}).Empty());
  double covered = 0;
  for (int y = 45; y < 112; ++y) {
    for (int x = 0; x < 100; ++x) covered += (frames.At(0, x, y) & 0xFF) / 255.0;
  }
  EXPECT_NEAR(covered, M_PI * 40 * 30, M_PI * 40 * 30 * 0.01);
  EXPECT_EQ(frames.Ink(0, kBlack, {0, 45, 100, 112}), (Box{10, 50, 90, 110}));
  EXPECT_TRUE(frames.Ink(0, 0xFF808080, {0, 112, 200, 120}).Empty());
  // 40 × 20 about (140, 70), a quarter turn: upright, at half strength, edges smoothed.
  const Box turned = frames.Ink(0, kBlack, {100, 45, 200, 112});
  EXPECT_NEAR(turned.left, 130, 1);
  EXPECT_NEAR(turned.right, 150, 1);
  EXPECT_NEAR(turned.top, 50, 1);
  EXPECT_NEAR(turned.bottom, 90, 1);
  EXPECT_NEAR(frames.At(0, 140, 70) & 0xFF, 127, 1);
  // Left: the red square on the blue picture. Right: the picture hides the text entirely.
  EXPECT_EQ(frames.At(0, 20, 145), 0xFFFF0000u);
  EXPECT_EQ(frames.At(0, 90, 175), 0xFF0000FFu);
  EXPECT_TRUE(frames.Ink(0, 0xFF0000FF, {100, 120, 200, 180}).Empty());
}

using TextCommandLine = ImageCommandLine;

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
  const auto frames = Run(R"(width="640" height="480" length="0.1")", body);
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

// Each a square glyph in white on black, alone in a 120-pixel cell of a row.
TEST_F(TextCommandLine, OutlinesShadowsAndBoxesLieWhereTheirPixelsSayFadedAndTurnedAsOne) {
  const std::string styles[] = {
      "",
      R"(outline="3" outlinecolor="#f00")",
      R"(shadowx="10" shadowy="6" shadowcolor="#0f0")",
      R"(shadowx="10" shadowy="6" shadowblur="4" shadowcolor="#0f0")",
      R"(sentence="■%n■■" box="yes" boxcolor="#00f")",
      R"(sentence="■%n■■" box="yes" boxcolor="#00f" boxpadding="5")",
      R"(sentence="■%n■■" box="block" boxcolor="#00f")",
      R"(sentence="■%n■■" box="yes" boxcolor="#00f" a="0.5")",
      R"(sentence="■%n■■" box="yes" boxcolor="#00f" angle="90")",
  };
  std::string body = R"(<template name="t" sentence="■" fontsize="40" width="100" height="100" align="center" valign="middle" time="0" duration="1"/>)";
  for (size_t i = 0; i < std::size(styles); ++i) {
    body += "<text template=\"t\" x=\"" + std::to_string(10 + 120 * i) + "\" y=\"10\" " + styles[i] + "/>";
  }
  const auto frames = Run(R"(width="1080" height="120" length="0.1")", body);
  ASSERT_EQ(frames.pixels.size(), 1u);
  const auto cell = [](size_t i) { return Box{static_cast<int>(120 * i), 0, static_cast<int>(120 * i + 120), 120}; };
  const auto shifted = [](Box b, int x, int y) { return Box{b.left + x, b.top + y, b.right + x, b.bottom + y}; };
  const auto grown = [](Box b, int by) { return Box{b.left - by, b.top - by, b.right + by, b.bottom + by}; };
  const Box glyph = frames.Ink(0, kBlack, cell(0));
  ASSERT_GT(glyph.Width(), 20);
  const int mid_x = (glyph.left + glyph.right) / 2, mid_y = (glyph.top + glyph.bottom) / 2;
  // The outline lies outside the glyph, which keeps its colour.
  const Box outlined = shifted(frames.Ink(0, kBlack, cell(1)), -120, 0);
  for (int edge : {outlined.left - glyph.left, outlined.top - glyph.top, glyph.right - outlined.right,
                   glyph.bottom - outlined.bottom}) {
    EXPECT_NEAR(edge, -3, 1);
  }
  EXPECT_EQ(frames.At(0, 120 + glyph.left - 2, mid_y), 0xFFFF0000u);
  EXPECT_EQ(frames.At(0, 120 + mid_x, mid_y), 0xFFFFFFFFu);
  // A sharp shadow is the glyph moved; a blurred one reaches its radius further and no more.
  EXPECT_EQ(shifted(frames.Ink(0, kBlack, cell(2)), -240, 0), (Box{glyph.left, glyph.top, glyph.right + 10, glyph.bottom + 6}));
  EXPECT_EQ(frames.At(0, 240 + glyph.right + 5, glyph.bottom + 3), 0xFF00FF00u);
  const Box blurred = shifted(frames.Ink(0, kBlack, cell(3)), -360, 0);
  EXPECT_GE(blurred.right, glyph.right + 10 + 2);
  EXPECT_LE(blurred.right, glyph.right + 10 + 4);
  EXPECT_LE(blurred.bottom, glyph.bottom + 6 + 4);
  // A box per line, each as wide as its line, and padding grows each side by itself; one box for
  // the block.
  const Box lines = shifted(frames.Ink(0, kBlack, cell(4)), -480, 0);
  EXPECT_EQ(shifted(frames.Ink(0, kBlack, cell(5)), -600, 0), grown(lines, 5));
  const auto row_width = [&](size_t i, int y) { return frames.Ink(0, kBlack, {cell(i).left, y, cell(i).right, y + 1}).Width(); };
  EXPECT_LT(2 * row_width(4, lines.top + 1), row_width(4, lines.bottom - 2) + 6);
  EXPECT_EQ(row_width(6, lines.top + 1), row_width(6, lines.bottom - 2));
  EXPECT_EQ(row_width(6, lines.top + 1), lines.Width());
  // Faded as one: the box at half strength, and the glyph on it half white over black, not over
  // a half blue.
  EXPECT_NEAR(static_cast<int>(frames.At(0, 840 + lines.left + 1, lines.bottom - 2) & 0xFF), 127, 1);
  EXPECT_EQ(frames.At(0, 840 + lines.left + 1, lines.bottom - 2) & 0xFFFF00, 0u);
  EXPECT_NEAR(static_cast<int>(frames.At(0, 840 + mid_x, mid_y - 20) >> 8 & 0xFF), 127, 1);
  // Turned a quarter about the rectangle's centre: box and glyphs alike.
  const Box turned = shifted(frames.Ink(0, kBlack, cell(8)), -960, 0);
  EXPECT_NEAR(turned.Width(), lines.Height(), 2);
  EXPECT_NEAR(turned.Height(), lines.Width(), 2);
}

TEST_F(TextCommandLine, WithoutFontsTheFailureLineShowsOnceAndTheRunGoesOn) {
  // A fontconfig setup that knows no fonts at all.
  ::setenv("FONTCONFIG_FILE", dir_.Write("fonts.conf", "<?xml version=\"1.0\"?><fontconfig></fontconfig>\n").c_str(), 1);
  const auto frames = Run(R"(width="32" height="32" length="1")", R"(<text sentence="Hello" time="0" duration="1"/>)", 2);
  ::unsetenv("FONTCONFIG_FILE");
  EXPECT_EQ(Count(out_, "Text::Draw() : フォントインタフェースの作成に失敗しました\n"), 1u) << out_;
  EXPECT_EQ(Count(out_, "Hello"), 0u);
  ASSERT_EQ(frames.pixels.size(), 10u);
  for (size_t i = 0; i < frames.pixels.size(); ++i) EXPECT_TRUE(frames.Ink(i, kBlack).Empty()) << i;
}

// How many pixels of the frame are mostly red, and how many white.
std::pair<int, int> RedAndWhite(const testing::DibFrames& frames, size_t i) {
  int red = 0, white = 0;
  for (const uint32_t p : frames.pixels.at(i)) {
    red += (p >> 16 & 0xFF) > 128 && (p >> 8 & 0xFF) < 64;
    white += (p >> 8 & 0xFF) > 128;
  }
  return {red, white};
}

TEST_F(TextCommandLine, CaptionsShowEachCueOnItsFramesAndLightTheSungWordsOnTheirFrames) {
  // On a frame's time; between two frames, so on none, as any element; a cue of two words; the
  // same in WebVTT.
  dir_.Write("a.srt", "1\n00:00:00,300 --> 00:00:00,600\n<b>A</b>\n\n2\n00:00:01,020 --> 00:00:01,050\nB\n\n"
                      "3\n00:00:01,500 --> 00:00:02,500\nxx yy\n");
  dir_.Write("a.vtt", "WEBVTT\n\n00:00.300 --> 00:00.600\n<b>A</b>\n\n00:01.020 --> 00:01.050\nB\n\n"
                      "00:01.500 --> 00:02.500\nxx yy\n");
  dir_.Write("timed.vtt", "WEBVTT\n\n00:01.500 --> 00:02.500\nxx <00:02.300>yy\n");
  const std::string size = R"(width="80" height="40" length="4")";
  const auto captions = [](const std::string& more) {
    return R"(<captions width="80" height="40" fontsize="20" highlight="word" highlightcolor="#f00" )" + more + "/>";
  };
  const auto srt = Run(size, captions(R"(src="a.srt")"));
  EXPECT_EQ(Run(size, captions(R"(src="a.vtt")")).pixels, srt.pixels);
  ASSERT_EQ(srt.pixels.size(), 40u);
  for (size_t i = 0; i < 40; ++i) {
    const bool shown = (i >= 3 && i < 6) || (i >= 15 && i < 25);
    EXPECT_EQ(srt.Ink(i, kBlack).Empty(), !shown) << i;
  }
  // The second word's turn begins at 2.0 s: frame 20. The first is lit from the cue's start.
  const auto switches = [](const testing::DibFrames& frames, size_t all_lit) {
    for (size_t i = 15; i < 25; ++i) {
      const auto [red, white] = RedAndWhite(frames, i);
      EXPECT_GT(red, 10) << i;
      EXPECT_EQ(white == 0, i >= all_lit) << i;
    }
  };
  switches(srt, 20);
  switches(Run(size, captions(R"(src="timed.vtt")")), 23);
  // "time" shifts every cue.
  const auto later = Run(size, captions(R"(src="a.srt" time="1")"));
  for (size_t i = 0; i < 30; ++i) EXPECT_EQ(later.pixels[i + 10], srt.pixels[i]) << i;
}

TEST_F(TextCommandLine, OverlappingCuesStackUpwardsAndTheOneWithoutRoomIsSaid) {
  dir_.Write("s.srt", "1\n00:00:00,000 --> 00:00:01,000\nlow\n\n2\n00:00:00,200 --> 00:00:01,000\nmid\n\n"
                      "3\n00:00:00,400 --> 00:00:01,000\ntop\n\n4\n00:00:00,600 --> 00:00:01,000\nnone\n\n"
                      "5\n00:00:00,000 --> 00:00:00,000\n\n");
  const auto frames = Run(R"(width="80" height="100" length="1")",
                          R"(<captions src="s.srt" y="10" width="80" height="75" fontsize="20" valign="bottom"/>)", 2);
  EXPECT_EQ(Count(out_, "s.srt:18: 字幕の文がありません\n"), 2u) << out_;  // both passes read the file
  EXPECT_EQ(Count(out_, "s.srt:14: 重なる字幕を積み上げる場所がありません (高さ 75 に収まりません): "
                        "下の字幕に重ねて描きます\n"), 2u) << out_;
  const Box one = frames.Ink(1, kBlack), two = frames.Ink(3, kBlack), three = frames.Ink(5, kBlack);
  EXPECT_GE(one.top, 60);
  EXPECT_LE(one.bottom, 85);
  EXPECT_EQ(two.bottom, one.bottom);
  EXPECT_LT(two.top, one.top - 15);
  EXPECT_LT(three.top, two.top - 15);
  EXPECT_GE(three.top, 10);
  EXPECT_EQ(frames.Ink(7, kBlack).top, three.top);  // the fourth lies over the first
}

// Clips made by the ffmpeg command whose frame k is grey 16 + 7k (limited range), so that its
// number reads back from any pixel.
bool MakeClip(const std::string& path, int fps, double seconds, const std::string& codec, int side = 16) {
  return testing::Ffmpeg("-f lavfi -i 'nullsrc=s=" + std::to_string(side) + "x" + std::to_string(side) + ":r=" +
                         std::to_string(fps) + ":d=" + std::to_string(seconds) + ",geq=lum=16+7*N:cb=128:cr=128' " +
                         codec + " '" + path + "'");
}

int FrameNumber(uint32_t pixel) { return static_cast<int>(std::lround((pixel & 0xFF) * 219.0 / 255 / 7)); }

class ClipCommandLine : public ImageCommandLine {
 protected:
  // Made only where a test plays them: each takes an ffmpeg run.
  void MakeClips() {
    ASSERT_TRUE(MakeClip(dir_ / "c10.mp4", 10, 2, "-c:v libx264 -qp 0 -pix_fmt yuv420p"));
    ASSERT_TRUE(MakeClip(dir_ / "c25.mkv", 25, 1, "-c:v ffv1"));
    ASSERT_TRUE(MakeClip(dir_ / "c30.webm", 30, 1, "-c:v libvpx-vp9 -lossless 1"));
    // Three frames shown 0.1, 0.3 and 0.3 seconds, in full-range greys that read back alike.
    ASSERT_TRUE(testing::Ffmpeg("-f lavfi -i 'nullsrc=s=16x16:r=10:d=0.3,geq=lum=8*N,format=gray' "
                                "-vf \"setpts='if(eq(N,0),0,if(eq(N,1),0.1/TB,0.4/TB))'\" '" + dir_ / "g.gif" + "'"));
  }
};

TEST_F(ClipCommandLine, EachMovieFrameShowsTheSourceFrameDueAtItsTime) {
  ASSERT_NO_FATAL_FAILURE(MakeClips());
  struct Case {
    std::string attributes;
    std::vector<std::pair<int, int>> shown;  // movie frame (10 per second), source frame
  };
  const std::vector<Case> cases = {
      {R"(src="c10.mp4" time="0")", {{0, 0}, {5, 5}, {19, 19}}},
      {R"(src="c25.mkv" time="0.5")", {{5, 0}, {8, 7}, {14, 22}}},
      {R"(src="c30.webm" time="0" clipstart="0.5")", {{0, 15}, {2, 21}, {4, 27}}},
      {R"(src="c10.mp4" time="0" clipspeed="2")", {{3, 6}, {9, 18}}},
      // Held at the last frame, and looping over the same stretch.
      {R"(src="c10.mp4" time="0" duration="5")", {{19, 19}, {30, 19}, {49, 19}}},
      {R"(src="c10.mp4" time="0" cliploop="yes")", {{19, 19}, {20, 0}, {25, 5}, {41, 1}}},
      {R"(src="c10.mp4" time="0" clipstart="1.5" cliploop="yes")", {{0, 15}, {4, 19}, {5, 15}, {17, 17}}},
      {R"(src="c10.mp4" time="0" clipspeed="2" cliploop="yes")", {{9, 18}, {10, 0}, {12, 4}}},
      {R"(src="g.gif" time="0" duration="5")", {{0, 0}, {1, 1}, {3, 1}, {4, 2}, {20, 2}}},
      {R"(src="g.gif" time="0" cliploop="yes")", {{4, 2}, {6, 2}, {7, 0}, {8, 1}, {11, 2}}},
  };
  std::string body;
  for (size_t c = 0; c < cases.size(); ++c) {
    body += "<image " + cases[c].attributes + " x=\"" + std::to_string(16 * c) + "\" width=\"16\" height=\"16\"/>";
  }
  const auto frames = Run("width=\"" + std::to_string(16 * cases.size()) + R"(" height="16" length="5")", body);
  ASSERT_EQ(frames.pixels.size(), 50u);
  for (size_t c = 0; c < cases.size(); ++c) {
    for (const auto& [i, k] : cases[c].shown) {
      EXPECT_EQ(FrameNumber(frames.At(i, 16 * static_cast<int>(c) + 8, 8)), k) << cases[c].attributes << " frame " << i;
    }
  }
}

TEST_F(ClipCommandLine, AClipLastsAsItsSourceAndALoopingOneUntilTheMovieEnds) {
  ASSERT_NO_FATAL_FAILURE(MakeClips());
  Solid("white.pam", 4, 4, 0xFFFFFFFF);
  // 2 s at speed 2 less 0.5 s: 0.75 s from 1; then the white square "now" for 0.5 s.
  const auto frames = Run(R"(width="32" height="16")",
                          R"(<image src="c10.mp4" time="1" clipstart="0.5" clipspeed="2" width="16" height="16"/>)"
                          R"(<image src="white.pam" time="now" duration="0.5" x="16" width="4" height="4"/>)"
                          R"(<image src="g.gif" time="0" cliploop="yes" x="20" width="4" height="4"/>)");
  // 1.75 + 0.5 (frames 0 to 21): the looping picture counts one pass (0.7 s), and shows until the end.
  ASSERT_EQ(frames.pixels.size(), 22u);
  for (size_t i = 0; i < 22; ++i) {
    EXPECT_EQ(frames.At(i, 8, 8) != kBlack, i >= 10 && i < 18) << i;
    EXPECT_EQ(frames.At(i, 17, 1), i >= 18 ? 0xFFFFFFFFu : kBlack) << i;
    EXPECT_EQ(FrameNumber(frames.At(i, 21, 1)), i % 7 == 0 ? 0 : i % 7 < 4 ? 1 : 2) << i;
  }
  EXPECT_EQ(FrameNumber(frames.At(17, 8, 8)), 19);
}

TEST_F(ClipCommandLine, BrokenClipsFailOnceAndACutOffOneHoldsItsLastGoodFrame) {
  ASSERT_TRUE(MakeClip(dir_ / "full.mp4", 10, 2, "-c:v libx264 -qp 0 -pix_fmt yuv420p -g 5 -movflags +faststart"));
  const std::string whole = testing::ReadFile(dir_ / "full.mp4");
  const size_t media = whole.find("mdat");  // the frames follow the index
  ASSERT_NE(media, std::string::npos);
  dir_.Write("cut.mp4", whole.substr(0, media + (whole.size() - media) * 4 / 5));
  dir_.Write("headless.mp4", whole.substr(whole.size() / 2));
  ASSERT_TRUE(MakeClip(dir_ / "big.y4m", 10, 0.2, "-pix_fmt yuv420p"));
  std::string y4m = testing::ReadFile(dir_ / "big.y4m");
  y4m.replace(y4m.find("W16 H16"), 7, "W20000 H20000");
  dir_.Write("big.y4m", y4m);
  ASSERT_TRUE(testing::Ffmpeg("-f lavfi -i sine=d=1 -ac 2 '" + dir_ / "sound.m4a" + "'"));
  const auto frames = Run(R"(width="16" height="16" length="2")",
                          R"(<image src="cut.mp4" time="0" duration="2"/>)"
                          R"(<image src="headless.mp4" time="0.5" duration="1"/>)"
                          R"(<image src="big.y4m" time="0.5" duration="1"/>)"
                          R"(<image src="sound.m4a" time="0.5" duration="1"/>)", 2);
  for (const std::string name : {"headless.mp4", "big.y4m", "sound.m4a"}) {
    EXPECT_EQ(testing::Count(out_, kFailure + dir_ / name + "\n"), 1u) << out_;
  }
  ASSERT_EQ(frames.pixels.size(), 20u);
  const int last = FrameNumber(frames.At(19, 8, 8));
  EXPECT_GT(last, 3);
  EXPECT_LT(last, 19);
  EXPECT_EQ(FrameNumber(frames.At(3, 8, 8)), 3);
}

// With few files to open, clips hold theirs only while on screen, and elements playing one clip
// alike share one; those that would leave the run too few are refused with the reason, and the
// run ends failed but complete, its temporaries gone.
TEST_F(ClipCommandLine, ClipsOpenTheirFilesOnlyOnScreenAndRefuseToRunOutOfThem) {
  ASSERT_NO_FATAL_FAILURE(MakeClips());
  constexpr int kClips = 100;
  std::string one_by_one, alike, apart;
  for (int i = 0; i < kClips; ++i) {
    one_by_one += "<image src=\"c10.mp4\" time=\"" + std::to_string(i * 0.1) + "\" duration=\"0.1\" width=\"16\" height=\"16\"/>";
    alike += R"(<image src="c10.mp4" time="0" duration="1" width="16" height="16"/>)";
    apart += "<image src=\"c10.mp4\" time=\"0\" clipstart=\"" + std::to_string(i * 0.01) +
             "\" duration=\"1\" width=\"16\" height=\"16\"/>";
  }
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
  auto run = [&](const std::string& length, const std::string& body) {
    dir_.Write("movie.xml", "<talmora fps=\"10\" width=\"16\" height=\"16\" length=\"" + length + "\">" + body + "</talmora>");
    rlimit few = old;
    few.rlim_cur = 64;
    setrlimit(RLIMIT_NOFILE, &few);
    auto result = testing::RunTalmora({"--codec", "MJPG", "movie.xml"}, dir_.path());
    setrlimit(RLIMIT_NOFILE, &old);
    return result;
  };
  for (const auto& [body, length] : {std::pair{one_by_one, std::to_string(kClips * 0.1)}, std::pair{alike, std::string("1")}}) {
    const auto ran = run(length, body);
    EXPECT_EQ(ran.status, 0) << ran.out;
    EXPECT_EQ(Count(ran.out, dir_ / "c10.mp4\n"), static_cast<size_t>(kClips));
  }
  const auto refused = run("1", apart);
  EXPECT_EQ(refused.status, 2);
  const size_t failed = Count(refused.out, kFailure + dir_ / "c10.mp4\nエラー : 開いているファイルが ");
  EXPECT_GT(failed, 0u) << refused.out;
  EXPECT_EQ(Count(refused.out, "個に近いため動画を開きません - " + dir_ / "c10.mp4\n"), failed);
  EXPECT_EQ(Count(refused.out, dir_ / "c10.mp4\n"), static_cast<size_t>(kClips) + failed);
  EXPECT_NE(refused.out.find("aviの作成が完了しました"), std::string::npos);
  for (const auto& name : testing::Names(dir_.path())) EXPECT_NE(name[0], '.') << name;
}

TEST_F(ClipCommandLine, PeakMemoryDoesNotGrowWithTheLoopsOfAClip) {
#if defined(__SANITIZE_ADDRESS__) || __has_feature(address_sanitizer)
  GTEST_SKIP() << "the sanitizer's allocator keeps freed memory back: peaks say nothing here";
#endif
  ASSERT_TRUE(MakeClip(dir_ / "big.mp4", 25, 1, "-c:v libx264 -pix_fmt yuv420p", 320));
  const std::string clip = R"(<image src="big.mp4" time="0" cliploop="yes" width="16" height="16"/>)";
  auto peak = [&](const std::string& length) {
    dir_.Write("movie.xml", "<talmora fps=\"10\" width=\"16\" height=\"16\" length=\"" + length + "\">" + clip + "</talmora>");
    const auto run = testing::RunTalmora({"--codec", "MJPG", "movie.xml"}, dir_.path());
    EXPECT_EQ(run.status, 0) << run.out;
    return run.peak_kib;
  };
  const long ten_seconds = peak("10");
  const long ten_minutes = peak("600");
  EXPECT_LT(std::abs(ten_minutes - ten_seconds), 2048) << ten_seconds << " KB against " << ten_minutes << " KB";
}

}  // namespace
}  // namespace talmora
