// Pictures in the movie as a user sees them: the frames of the movie file and the console lines.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#ifndef __has_feature
#define __has_feature(x) 0
#endif

#include "render/picture_files.h"
#include "support/cli_harness.h"
#include "support/dib_frames.h"

namespace talmora {
namespace {

using testing::Box;

const std::string kFailure = "Image::Draw() : テクスチャの読み込みに失敗しました - ";
constexpr uint32_t kBlack = 0xFF000000;

class ImageCommandLine : public ::testing::Test {
 protected:
  void Solid(const std::string& name, int width, int height, uint32_t argb) {
    WritePam(dir_ / name, width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height, argb));
  }

  // Runs a movie on an opaque black background at 10 frames per second and reads its frames back.
  testing::DibFrames Run(const std::string& size, const std::string& body) {
    const auto result = testing::RunScript(dir_, "<talmora fps=\"10\" a=\"1\" " + size + ">" + body + "</talmora>");
    out_ = result.out;
    status_ = result.status;
    EXPECT_NE(out_.find("aviの作成が完了しました\n"), std::string::npos) << out_;
    return testing::ReadDibFrames(dir_ / "movie.avi");
  }

  testing::TempDir dir_;
  std::string out_;
  int status_ = -1;
};

TEST_F(ImageCommandLine, PicturesFillTheirRectanglesInTheirColour) {
  Solid("pic.pam", 100, 50, 0xFF3366CC);
  Solid("grey.pam", 8, 8, 0xFFC8C8C8);
  Solid("half.pam", 8, 8, 0x80FFFFFF);
  // Stretched, then at the default size; along the top, three small ones in colour.
  const auto frames = Run(
      R"(width="640" height="480" length="0.2")",
      R"(<image src="pic.pam" x="10" y="20" width="200" height="100" time="0" duration="0.1"/>)"
      R"(<image src="pic.pam" x="100" y="50" time="0.1" duration="0.1"/>)"
      R"(<image src="grey.pam" x="0" width="8" height="8" r="1" g="0" b="0" time="0" duration="1"/>)"
      R"(<image src="grey.pam" x="16" width="8" height="8" a="0.5" time="0" duration="1"/>)"
      R"(<image src="half.pam" x="32" width="8" height="8" a="0.5" time="0" duration="1"/>)");
  EXPECT_EQ(status_, 0);
  ASSERT_EQ(frames.pixels.size(), 2u);
  for (const auto& [i, box] : {std::pair{0, Box{10, 20, 210, 120}}, {1, Box{100, 50, 612, 434}}}) {
    EXPECT_EQ(frames.Ink(i, kBlack, {0, 10, 640, 480}), box);
    EXPECT_TRUE(frames.Ink(i, 0xFF3366CC, box).Empty()) << i;  // edges clamped: the colour up to the last pixels
  }
  EXPECT_EQ(frames.At(0, 4, 4), 0xFFC80000u);
  // Alpha 127 over opaque black: 200 · 127 / 255 rounds to 100; alpha 127² + 255 · 128 over 255.
  EXPECT_EQ(frames.At(0, 20, 4), 0xBF646464u);
  // Picture alpha 128 times colour alpha 127: 64 of white.
  EXPECT_EQ(frames.At(0, 36, 4) & 0xFFFFFF, 0x404040u);
}

TEST_F(ImageCommandLine, FadeRisesFrameByFrameAndNothingShowsOutsideTheWindow) {
  Solid("white.pam", 4, 4, 0xFFFFFFFF);
  const auto frames = Run(R"(width="16" height="16" length="3")",
                          R"(<image src="white.pam" width="4" height="4" a="0" aend="1" time="1" duration="1"/>)");
  ASSERT_EQ(frames.pixels.size(), 30u);
  // Frames 10 to 19 lie in the window [1, 2); frame 10 is at its very start, alpha 0.
  for (size_t i = 0; i < 30; ++i) {
    const bool shown = i >= 10 && i < 20;
    EXPECT_EQ(frames.Ink(i, kBlack), (shown && i > 10 ? Box{0, 0, 4, 4} : Box{})) << i;
    EXPECT_NEAR(frames.At(i, 1, 1) & 0xFF, shown ? static_cast<double>(i - 10) * 25.5 : 0, 1) << i;
  }
}

TEST_F(ImageCommandLine, NoTurnDrawsAsAlwaysAndARightAngleTurnsAboutTheCentre) {
  // Red on the left, blue on the right; 8 × 4 about the centre (8, 8).
  WritePam(dir_ / "pic.pam", 4, 2, {0xFFFF0000, 0xFFFF0000, 0xFF0000FF, 0xFF0000FF, 0xFFFF0000, 0xFFFF0000, 0xFF0000FF, 0xFF0000FF});
  const std::string size = R"(width="16" height="16" length="0.5")";
  const std::string image = R"(<image src="pic.pam" x="4" y="6" width="8" height="4" xend="6" a="0.5" aend="1" time="0" duration="0.5")";
  // Moving and fading; whole turns are no turn.
  const auto plain = Run(size, image + "/>");
  for (const std::string extra : {R"( angle="0" angleend="0" ease="linear")", R"( angle="-720")"}) {
    EXPECT_EQ(Run(size, image + extra + "/>").pixels, plain.pixels) << extra;
  }
  const auto turned = Run(size, R"(<image src="pic.pam" x="4" y="6" width="8" height="4" angle="90" time="0" duration="1"/>)");
  EXPECT_EQ(turned.Ink(0, kBlack), (Box{6, 4, 10, 12}));
  EXPECT_EQ(turned.At(0, 7, 4), 0xFFFF0000u);   // left went to the top
  EXPECT_EQ(turned.At(0, 9, 11), 0xFF0000FFu);  // right to the bottom
}

TEST_F(ImageCommandLine, ConsoleShowsEachPathOnceAndEveryFailureOnceWhileTheRunGoesOn) {
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
                          R"(<image src="pipe.png" time="0.5" duration="1"/>)");
  // A failed load is not tried again: each line comes once over all the frames.
  // Names of files show as full paths, the others as written.
  for (const std::string& line : {"\n" + dir_ / "pic.pam", kFailure + dir_ / "broken.png", kFailure + dir_ / "huge.png",
                                  kFailure + "gone/missing.png", kFailure + "folder", kFailure + "pipe.png"}) {
    size_t n = 0;
    for (size_t at = out_.find(line + "\n"); at != std::string::npos; at = out_.find(line + "\n", at + 1)) ++n;
    EXPECT_EQ(n, 1u) << line << "\n" << out_;
  }
  // Every frame is still written, and the good picture is in all of them; the run says what it lacks.
  EXPECT_EQ(status_, 2);
  ASSERT_EQ(frames.pixels.size(), 10u);
  for (size_t i = 0; i < 10; ++i) EXPECT_EQ(frames.At(i, 15, 15), 0xFFFFFFFFu) << i;
}

// A 31 KB file of 16000 × 16000 pixels: decoded once for all the elements naming it, and a
// second such file is refused for the texture memory it would take.
TEST_F(ImageCommandLine, APictureBombIsDecodedOnceAndTextureMemoryIsBounded) {
  Solid("pic.pam", 2, 2, 0xFFFFFFFF);
  const std::string small = R"(<image src="pic.pam" time="0" duration="1"/>)";
  EXPECT_EQ(Run(R"(width="4" height="4" length="0.2")", small + small).At(1, 3, 3), 0xFFFFFFFFu);
  EXPECT_NE(out_.find(dir_ / "pic.pam\n" + dir_ / "pic.pam\n"), std::string::npos) << out_;
#if defined(__SANITIZE_ADDRESS__) || __has_feature(address_sanitizer)
  GTEST_SKIP() << "a gigabyte picture takes minutes under the sanitizers, and their own memory";
#endif
  const std::string make = "ffmpeg -nostdin -loglevel error -y -f lavfi -i color=c=black:s=16000x16000 -frames:v 1 "
                           "-pix_fmt monob '" + dir_ / "bomb.png" + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0);
  std::filesystem::copy_file(dir_ / "bomb.png", dir_ / "bomb2.png");
  const std::string element = R"(<image src="bomb.png" time="0" duration="1" width="16000" height="16000"/>)";
  auto run = [&](const std::string& body) {
    dir_.Write("movie.xml", R"(<talmora width="8" height="8" length="0.1" fps="10">)" + body + "</talmora>");
    return testing::RunTalmora({"--codec", "DIB ", "movie.xml"}, dir_.path());
  };
  const auto shared = run(element + element + element);
  EXPECT_NE(shared.out.find(dir_ / "bomb.png\n" + dir_ / "bomb.png\n" + dir_ / "bomb.png\n"), std::string::npos)
      << shared.out;
  EXPECT_LT(shared.peak_kib, 1200L * 1024);  // one copy is 1000 MB
  const auto refused = run(element + R"(<image src="bomb2.png" time="0" duration="1"/>)");
  EXPECT_NE(refused.out.find(kFailure + dir_ / "bomb2.png\nエラー : 画像 16000 × 16000 のテクスチャ (1303 MiB) は"
                                          "テクスチャメモリの上限 2048 MiB を超えます (使用中 1303 MiB) - " +
                             dir_ / "bomb2.png\n"),
            std::string::npos)
      << refused.out;
  EXPECT_NE(refused.out.find("aviの作成が完了しました"), std::string::npos);
}

}  // namespace
}  // namespace talmora
