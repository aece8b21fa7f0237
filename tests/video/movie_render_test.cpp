// The frame loop end to end: test objects rendered into a DIB movie, read back from the file.

#include "video/movie_render.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <sstream>

#include "script/conversions.h"
#include "support/cli_harness.h"
#include "support/riff_walk.h"
#include "support/script_fixture.h"
#include "video/fill_object.h"

namespace talmora {
namespace {

using testing::AviLayout;
using testing::FillObject;

constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kGreen = 0xFF00FF00;
constexpr uint32_t kBlue = 0xFF0000FF;

struct Rendered {
  std::string out;
  AviLayout avi;
  bool exists = false;
};

class MovieRenderTest : public ::testing::Test {
 protected:
  MovieRenderTest() {
    testing::CaptureStdout quiet;
    device_ = std::make_unique<Device>();
    fixture_.context.device = device_.get();
  }

  std::shared_ptr<FillObject> Fill(double start, double end, Rect rect, double z, uint32_t colour) {
    return std::make_shared<FillObject>(fixture_.context, start, end, rect, z, colour);
  }

  // Renders `objects` (in script order) with the job; the movie goes through "DIB " unless the
  // options say otherwise.
  Rendered Render(MovieJob job, std::vector<std::shared_ptr<FillObject>> objects = {}) {
    std::vector<std::shared_ptr<VideoObject>> pending(objects.begin(), objects.end());
    std::stable_sort(pending.begin(), pending.end(), [](const auto& p, const auto& q) { return ActivatesAfter(*p, *q); });
    if (!job.options) job.options = &dib_;
    if (!job.device) job.device = device_.get();
    Rendered result;
    {
      testing::CaptureStdout capture;
      RenderMovie(job, pending, path_);
      result.out = capture.Text();
    }
    result.exists = std::filesystem::exists(path_);
    if (result.exists) result.avi = testing::WalkAvi(path_);
    return result;
  }

  // The pixel at (x, y) of frame `index`, read from the file's bottom-up rows.
  uint32_t Pixel(const Rendered& movie, size_t index, int x, int y) {
    const auto data = testing::ReadChunk(path_, movie.avi.frames.at(index));
    const int width = movie.avi.strh.rcFrame[2];
    const int height = movie.avi.strh.rcFrame[3];
    const size_t at = (static_cast<size_t>(height - 1 - y) * width + x) * 4;
    return data.at(at) | data.at(at + 1) << 8 | data.at(at + 2) << 16 | static_cast<uint32_t>(data.at(at + 3)) << 24;
  }

  testing::TempDir dir_;
  std::string path_ = dir_ / "movie.avi";
  testing::ScriptFixture fixture_;
  std::unique_ptr<Device> device_;
  MovieOptions dib_{.codec = "DIB "};
};

TEST_F(MovieRenderTest, DefaultsGiveA512By384MovieAt30FpsOnTransparentBlack) {
  MovieJob job;
  job.length = 2.5;
  const Rendered movie = Render(job);
  ASSERT_EQ(movie.avi.error, "");
  EXPECT_EQ(movie.avi.strh.fccHandler, "DIB ");
  EXPECT_EQ(movie.avi.strh.dwRate, 30u);
  EXPECT_EQ(movie.avi.strh.dwScale, 1u);
  EXPECT_EQ(movie.avi.strh.dwLength, 75u);
  EXPECT_EQ(movie.avi.strh.rcFrame[2], 512);
  EXPECT_EQ(movie.avi.strh.rcFrame[3], 384);
  EXPECT_EQ(movie.avi.strn, "created by talmora");
  ASSERT_EQ(movie.avi.frames.size(), 75u);
  const auto first = testing::ReadChunk(path_, movie.avi.frames[0]);
  EXPECT_EQ(first.size(), 512u * 384 * 4);
  EXPECT_TRUE(std::all_of(first.begin(), first.end(), [](uint8_t byte) { return byte == 0; }));
}

TEST_F(MovieRenderTest, PrintsEachFrameOnOneConsoleLineThenTheCompletion) {
  MovieJob job;
  job.width = 8;
  job.height = 8;
  job.length = 2.5;
  const Rendered movie = Render(job);
  std::string expected = "avi作成開始\n";
  for (int i = 1; i <= 75; ++i) expected += std::to_string(i) + " / 75 フレーム\r";
  expected += "aviの作成が完了しました\n";
  EXPECT_EQ(movie.out, expected);
}

TEST_F(MovieRenderTest, NoFramesForZeroRateOrNegativeOrUnusableLengthsButAValidFile) {
  struct Case {
    int32_t fps;
    double length;
  };
  for (const Case c : {Case{0, 10}, Case{30, -1}, Case{-30, -1}, Case{30, std::numeric_limits<double>::quiet_NaN()},
                       Case{30, 1e300}}) {
    MovieJob job;
    job.width = 4;
    job.height = 4;
    job.fps = c.fps;
    job.length = c.length;
    const Rendered movie = Render(job, {Fill(0, 1, Rect{0, 0, 4, 4}, 0, kRed)});
    EXPECT_EQ(movie.out, "avi作成開始\naviの作成が完了しました\n") << c.fps << " " << c.length;
    ASSERT_EQ(movie.avi.error, "");
    EXPECT_EQ(movie.avi.strh.dwLength, 0u);
    EXPECT_TRUE(movie.avi.frames.empty());
  }
}

TEST_F(MovieRenderTest, LengthsTruncateToWholeFrames) {
  MovieJob job;
  job.width = 2;
  job.height = 2;
  job.length = 1.01;
  EXPECT_EQ(Render(job).avi.frames.size(), 30u);
}

TEST_F(MovieRenderTest, AnObjectFromTwoToThreeSecondsShowsInFrames60To89) {
  MovieJob job;
  job.width = 16;
  job.height = 16;
  job.length = 3.5;
  auto object = Fill(2, 3, Rect{4, 4, 12, 12}, 0, kRed);
  const Rendered movie = Render(job, {object});
  ASSERT_EQ(movie.avi.frames.size(), 105u);
  for (size_t i = 0; i < 105; ++i) {
    const bool showing = i >= 60 && i <= 89;
    EXPECT_EQ(Pixel(movie, i, 8, 8), showing ? kRed : 0u) << "frame " << i;
    EXPECT_EQ(Pixel(movie, i, 2, 2), 0u) << "frame " << i;
  }
  ASSERT_EQ(object->draws.size(), 30u);
  EXPECT_EQ(object->draws.front(), 60.0 / 30 + 0.000000001);
  EXPECT_EQ(object->draws.back(), 89.0 / 30 + 0.000000001);
}

TEST_F(MovieRenderTest, AWindowBetweenTwoFrameTimesIsDrawnOnceAfterItsEnd) {
  MovieJob job;
  job.width = 4;
  job.height = 4;
  job.length = 1;
  auto brief = Fill(0.51, 0.52, Rect{0, 0, 4, 4}, 0, kRed);
  const Rendered movie = Render(job, {brief});
  ASSERT_EQ(brief->draws.size(), 1u);
  EXPECT_GT(brief->draws[0], 0.52);
  for (size_t i = 0; i < movie.avi.frames.size(); ++i) EXPECT_EQ(Pixel(movie, i, 1, 1), 0u) << i;
}

TEST_F(MovieRenderTest, DepthThenActivationDecideWhatLiesOnTop) {
  MovieJob job;
  job.width = 30;
  job.height = 10;
  job.length = 2;
  // Left: equal depth and window, so the later in the script is on top.
  auto left_under = Fill(0, 2, Rect{0, 0, 10, 10}, 0, kRed);
  auto left_over = Fill(0, 2, Rect{0, 0, 10, 10}, 0, kGreen);
  // Middle: the larger depth is on top although it comes first.
  auto middle_over = Fill(0, 2, Rect{10, 0, 20, 10}, 5, kBlue);
  auto middle_under = Fill(0, 2, Rect{10, 0, 20, 10}, 4, kRed);
  // Right: at equal depth an object starting later goes under the one already showing.
  auto right_showing = Fill(0, 2, Rect{20, 0, 30, 10}, 1, kGreen);
  auto right_newcomer = Fill(1, 2, Rect{20, 0, 30, 10}, 1, kBlue);
  const Rendered movie =
      Render(job, {left_under, left_over, middle_over, middle_under, right_showing, right_newcomer});
  ASSERT_EQ(movie.avi.frames.size(), 60u);
  for (size_t frame : {0u, 45u}) {
    EXPECT_EQ(Pixel(movie, frame, 5, 5), kGreen) << frame;
    EXPECT_EQ(Pixel(movie, frame, 15, 5), kBlue) << frame;
    EXPECT_EQ(Pixel(movie, frame, 25, 5), kGreen) << frame;
  }
  EXPECT_FALSE(right_newcomer->draws.empty());
}

TEST_F(MovieRenderTest, AnOpaqueRedBackgroundFillsEveryFrame) {
  MovieJob job;
  job.width = 6;
  job.height = 4;
  job.length = 0.1;
  job.background = ArgbColour(1, 1, 0, 0);
  const Rendered movie = Render(job);
  ASSERT_EQ(movie.avi.frames.size(), 3u);
  const auto data = testing::ReadChunk(path_, movie.avi.frames[2]);
  for (size_t i = 0; i < data.size(); i += 4) {
    ASSERT_EQ(data[i], 0x00);
    ASSERT_EQ(data[i + 1], 0x00);
    ASSERT_EQ(data[i + 2], 0xFF);
    ASSERT_EQ(data[i + 3], 0xFF);
  }
}

TEST_F(MovieRenderTest, CancellingTheMenuLeavesNoFile) {
  std::istringstream typed("q\n");
  MovieOptions menu;
  menu.input = &typed;
  MovieJob job;
  job.width = 8;
  job.height = 8;
  job.length = 1;
  job.options = &menu;
  dir_.Write("movie.avi", "an older movie");
  const Rendered movie = Render(job);
  EXPECT_TRUE(movie.out.starts_with("avi作成開始\n圧縮形式 :\n")) << movie.out;
  EXPECT_TRUE(movie.out.ends_with("エラー : 圧縮形式の選択がキャンセルされました\n")) << movie.out;
  EXPECT_EQ(movie.out.find("フレーム\r"), std::string::npos);
  EXPECT_EQ(testing::ReadFile(path_), "an older movie");  // not even opened
}

TEST_F(MovieRenderTest, TheMenuChoiceAndItsSettingsMakeTheMovie) {
  std::istringstream typed("ffv1\n5\n");
  MovieOptions menu;
  menu.input = &typed;
  MovieJob job;
  job.width = 8;
  job.height = 8;
  job.length = 0.5;
  job.options = &menu;
  const Rendered movie = Render(job);
  ASSERT_EQ(movie.avi.error, "");
  EXPECT_EQ(movie.avi.strh.fccHandler, "FFV1");
  ASSERT_EQ(movie.avi.idx1.size(), 15u);
  for (size_t i = 0; i < 15; ++i) EXPECT_EQ(movie.avi.idx1[i].key, i % 5 == 0) << i;
}

TEST_F(MovieRenderTest, FrameSizesThatCannotBeAllocatedFailTheFrameTexture) {
  for (const auto& [width, height] : {std::pair{0, 384}, {512, -1}, {100000, 100000}, {INT32_MAX, 2}}) {
    MovieJob job;
    job.width = width;
    job.height = height;
    job.length = 1;
    const Rendered movie = Render(job, {Fill(0, 1, Rect{0, 0, 4, 4}, 0, kRed)});
    EXPECT_EQ(movie.out,
              "avi作成開始\n"
              "エラー : レンダリングターゲットテクスチャの作成に失敗しました\n"
              "エラー : サーフィス→ビットマップへの変換に失敗しました\n")
        << width << " × " << height;
    EXPECT_FALSE(movie.exists);
  }
}

TEST_F(MovieRenderTest, ACompressorThatRefusesTheFrameStopsBeforeTheFile) {
  MovieOptions h264{.codec = "h264"};
  MovieJob job;
  job.width = 33;  // 4:2:0 needs even sides
  job.height = 16;
  job.length = 1;
  job.options = &h264;
  const Rendered movie = Render(job);
  EXPECT_EQ(movie.out, "avi作成開始\nエラー : 圧縮形式 h264 ではこのフレームを圧縮できません (33 × 16、30 fps)\n");
  EXPECT_FALSE(movie.exists);
}

TEST_F(MovieRenderTest, AnUnwritableFileIsReportedAndTheObjectsStayPending) {
  MovieJob job;
  job.width = 4;
  job.height = 4;
  job.length = 1;
  job.options = &dib_;
  job.device = device_.get();
  std::vector<std::shared_ptr<VideoObject>> pending{Fill(0, 1, Rect{0, 0, 4, 4}, 0, kRed)};
  testing::CaptureStdout capture;
  RenderMovie(job, pending, dir_ / "no/such/folder/movie.avi");
  EXPECT_EQ(capture.Text(), "avi作成開始\nエラー : aviファイルのオープンに失敗しました\n");
  EXPECT_EQ(pending.size(), 1u);
}

TEST_F(MovieRenderTest, WithoutADeviceNothingIsRendered) {
  MovieJob job;
  job.length = 1;
  job.options = &dib_;
  std::vector<std::shared_ptr<VideoObject>> pending;
  testing::CaptureStdout capture;
  RenderMovie(job, pending, path_);
  EXPECT_EQ(capture.Text(),
            "avi作成開始\n"
            "エラー : レンダリングターゲットテクスチャの作成に失敗しました\n"
            "エラー : サーフィルレンダリングインタフェースの作成に失敗しました\n");
  EXPECT_FALSE(std::filesystem::exists(path_));
}

}  // namespace
}  // namespace talmora
