// The frame loop end to end: test objects rendered into a DIB movie, read back from the file.

#include "video/movie_render.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <sstream>

#include "support/cli_harness.h"
#include "support/riff_walk.h"
#include "support/script_fixture.h"
#include "video/fill_object.h"

namespace talmora {
namespace {

using testing::FillObject;

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;

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

  // Renders `objects`, given in script order, through "DIB " unless `options` says otherwise;
  // returns what was printed.
  std::string Render(MovieJob job, std::vector<std::shared_ptr<FillObject>> objects = {},
                     const MovieOptions* options = nullptr) {
    std::vector<std::shared_ptr<VideoObject>> pending(objects.begin(), objects.end());
    std::stable_sort(pending.begin(), pending.end(), [](const auto& p, const auto& q) { return ActivatesAfter(*p, *q); });
    job.options = options ? options : &dib_;
    job.device = device_.get();
    testing::CaptureStdout capture;
    RenderMovie(job, pending, path_);
    avi_ = std::filesystem::exists(path_) ? testing::WalkAvi(path_) : testing::AviLayout{};
    return capture.Text();
  }

  // The pixel at (x, y) of frame `index`, read from the file's bottom-up rows.
  uint32_t Pixel(size_t index, int x, int y) {
    const auto data = testing::ReadChunk(path_, avi_.frames.at(index));
    const size_t at = (static_cast<size_t>(avi_.strh.rcFrame[3] - 1 - y) * avi_.strh.rcFrame[2] + x) * 4;
    return data.at(at) | data.at(at + 1) << 8 | data.at(at + 2) << 16 | static_cast<uint32_t>(data.at(at + 3)) << 24;
  }

  testing::TempDir dir_;
  std::string path_ = dir_ / "movie.avi";
  testing::ScriptFixture fixture_;
  std::unique_ptr<Device> device_;
  MovieOptions dib_{.codec = "DIB "};
  testing::AviLayout avi_;
};

TEST_F(MovieRenderTest, DefaultsGive75FramesOf512By384TransparentBlackFor2Point5Seconds) {
  MovieJob job;
  job.length = 2.5;
  std::string expected = "avi作成開始\n";
  for (int i = 1; i <= 75; ++i) expected += std::to_string(i) + " / 75 フレーム\r";
  EXPECT_EQ(Render(job), expected + "aviの作成が完了しました\n");
  ASSERT_EQ(avi_.error, "");
  EXPECT_EQ(avi_.strh.dwRate, 30u);
  EXPECT_EQ(avi_.strh.dwLength, 75u);
  EXPECT_EQ(avi_.strh.rcFrame[2], 512);
  EXPECT_EQ(avi_.strh.rcFrame[3], 384);
  ASSERT_EQ(avi_.frames.size(), 75u);
  const auto first = testing::ReadChunk(path_, avi_.frames[0]);
  EXPECT_TRUE(std::all_of(first.begin(), first.end(), [](uint8_t byte) { return byte == 0; }));
}

TEST_F(MovieRenderTest, FrameCountsTruncateAndUncountableOnesGiveAnEmptyValidMovie) {
  for (const auto& [fps, length, frames] : std::vector<std::tuple<int32_t, double, size_t>>{
           {30, 1.01, 30}, {0, 10, 0}, {30, -1, 0}, {-30, -1, 0}, {30, std::numeric_limits<double>::quiet_NaN(), 0},
           {1, 2147483648.0, 0}, {30, 1e300, 0}}) {
    MovieJob job;
    job.width = job.height = 2;
    job.fps = fps;
    job.length = length;
    const std::string out = Render(job, {Fill(0, 1, Rect{0, 0, 2, 2}, 0, kRed)});
    EXPECT_EQ(avi_.error, "") << fps << " " << length;
    EXPECT_EQ(avi_.frames.size(), frames) << fps << " " << length;
    if (frames == 0) EXPECT_EQ(out, "avi作成開始\naviの作成が完了しました\n");
  }
}

TEST_F(MovieRenderTest, AnObjectFromTwoToThreeSecondsShowsInFrames60To89) {
  MovieJob job;
  job.width = job.height = 16;
  job.length = 3.5;
  auto object = Fill(2, 3, Rect{4, 4, 12, 12}, 0, kRed);
  auto brief = Fill(0.51, 0.52, Rect{0, 0, 2, 2}, 0, kBlue);  // between two frame times
  Render(job, {object, brief});
  ASSERT_EQ(avi_.frames.size(), 105u);
  for (size_t i = 0; i < 105; ++i) {
    EXPECT_EQ(Pixel(i, 8, 8), i >= 60 && i <= 89 ? kRed : 0u) << "frame " << i;
    EXPECT_EQ(Pixel(i, 1, 1), 0u) << "frame " << i;
  }
  ASSERT_EQ(object->draws.size(), 30u);
  EXPECT_EQ(object->draws.front(), 60.0 / 30 + 0.000000001);
  // Activated in the first frame after its start, drawn there once past its end, then dropped.
  ASSERT_EQ(brief->draws.size(), 1u);
  EXPECT_GT(brief->draws[0], 0.52);
}

TEST_F(MovieRenderTest, DepthThenActivationDecideWhatLiesOnTop) {
  MovieJob job;
  job.width = 30;
  job.height = 10;
  job.length = 2;
  job.background = 0xFFFF0000;  // opaque red
  const Rect left{0, 1, 10, 10}, middle{10, 1, 20, 10}, right{20, 1, 30, 10};
  Render(job, {
                  Fill(0, 2, left, 0, kBlue), Fill(0, 2, left, 0, kGreen),      // equal: later in script on top
                  Fill(0, 2, middle, 5, kBlue), Fill(0, 2, middle, 4, kGreen),  // larger z on top
                  Fill(0, 2, right, 1, kGreen), Fill(1, 2, right, 1, kBlue),    // a newcomer goes under
                  Fill(0, 2, Rect{0, 0, 30, 1}, std::numeric_limits<double>::quiet_NaN(), 0),  // no harm
              });
  ASSERT_EQ(avi_.frames.size(), 60u);
  for (size_t frame : {0u, 45u}) {
    EXPECT_EQ(Pixel(frame, 5, 5), kGreen) << frame;
    EXPECT_EQ(Pixel(frame, 15, 5), kBlue) << frame;
    EXPECT_EQ(Pixel(frame, 25, 5), kGreen) << frame;
  }
  EXPECT_EQ(Pixel(0, 5, 0), kRed);  // the transparent object leaves the background as it is
}

TEST_F(MovieRenderTest, TheMenuChoiceAndItsSettingsMakeTheMovie) {
  std::istringstream typed("ffv1\n5\n");
  MovieOptions menu{.input = &typed};
  MovieJob job;
  job.width = job.height = 8;
  job.length = 0.5;
  const std::string out = Render(job, {}, &menu);
  EXPECT_TRUE(out.starts_with("avi作成開始\n圧縮形式 :\n")) << out;
  EXPECT_EQ(avi_.strh.fccHandler, "FFV1");
  ASSERT_EQ(avi_.idx1.size(), 15u);
  for (size_t i = 0; i < 15; ++i) EXPECT_EQ(avi_.idx1[i].key, i % 5 == 0) << i;
}

TEST_F(MovieRenderTest, FrameSizesThatCannotBeAllocatedFailTheFrameTexture) {
  for (const auto& [width, height] : {std::pair{0, 384}, {512, -1}, {100000, 100000}, {INT32_MAX, 2}}) {
    MovieJob job;
    job.width = width;
    job.height = height;
    job.length = 1;
    EXPECT_EQ(Render(job, {Fill(0, 1, Rect{0, 0, 4, 4}, 0, kRed)}),
              "avi作成開始\n"
              "エラー : レンダリングターゲットテクスチャの作成に失敗しました\n"
              "エラー : サーフィス→ビットマップへの変換に失敗しました\n")
        << width << " × " << height;
    EXPECT_FALSE(std::filesystem::exists(path_));
  }
}

}  // namespace
}  // namespace talmora
