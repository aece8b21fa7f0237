// The frame loop end to end: test objects rendered into a movie, read back from the file.

#include "video/movie_render.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "app/device.h"
#include "platform/console/reporter.h"
#include "platform/movie/avi_writer.h"
#include "platform/render/canvas.h"
#include "support/cli_harness.h"
#include "support/riff_walk.h"
#include "support/script_fixture.h"
#include "video/scene.h"

namespace talmora {
namespace {

constexpr uint32_t kRed = 0xFFFF0000, kBlue = 0xFF0000FF;

// An AVI whose packets fail from the `failing_packet`-th on (never when negative), as a full disk
// would; it counts the packets offered after the first failure.
int failing_packet = -1;
int offered_after_failure = 0;

class FailingAvi final : public MovieFile {
 public:
  explicit FailingAvi(std::unique_ptr<MovieFile> avi) : avi_(std::move(avi)) {}
  bool AddStream(const MovieStream& stream) override { return avi_->AddStream(stream); }
  bool Begin(const AVCodecParameters& parameters, AVRational time_base) override {
    return avi_->Begin(parameters, time_base);
  }
  bool Write(AVPacket& packet) override {
    if (failing_packet < 0 || written_ < failing_packet) return ++written_, avi_->Write(packet);
    offered_after_failure += failed_++ > 0;
    return false;
  }
  bool Close() override { return avi_->Close(); }

 private:
  std::unique_ptr<MovieFile> avi_;
  int written_ = 0, failed_ = 0;
};

constexpr MovieContainer kFailingAvi{".avi", [](const std::string& path) -> std::unique_ptr<MovieFile> {
                                       auto avi = MovieContainers().front().create(path);
                                       return avi ? std::make_unique<FailingAvi>(std::move(avi)) : nullptr;
                                     }};

// Within its window fills its rectangle in blue; says when it starts as it comes on screen, as
// pictures and texts do, and counts its drawings.
class LoudFill final : public VideoObject {
 public:
  LoudFill(ScriptContext& context, double start_time, Rect rect) : VideoObject(context) {
    start = start_time, end = 2;
    x.SetFirst(rect.left), y.SetFirst(rect.top), width.SetFirst(rect.right - rect.left);
    height.SetFirst(rect.bottom - rect.top);
  }
  std::unique_ptr<Resources> Prepare(Reporter& reporter) const override {
    reporter.Line("drawn from " + std::to_string(start));
    return nullptr;
  }
  bool DrawsSame(double earlier, double later, const Resources*) const override { return LooksSame(earlier, later); }
  void Draw(Canvas& canvas, double time, Resources*) const override {
    ++drawings;
    Rect rect;
    uint32_t ignored = 0;
    Interpolate(time, rect, ignored);
    canvas.FillRect(rect.left, rect.top, rect.right, rect.bottom, kBlue);
  }
  static inline int drawings = 0;
};

class MovieRenderTest : public ::testing::Test {
 protected:
  MovieRenderTest() {
    HeldReporter quiet;
    device_ = std::make_unique<Device>(quiet);
    fixture_.context.graphics = device_->Graphics();
  }

  // Renders `objects`, given in script order, through the options' compressor ("DIB " when
  // none) or the menu on `typed`; returns what was printed.
  std::string Render(MovieJob job, std::vector<std::shared_ptr<VideoObject>> objects = {},
                     std::istream* typed = nullptr, MovieOptions options = {}) {
    options.input = typed;
    if (!typed && !options.codec) options.codec = "DIB ";
    const Scene scene(std::move(objects));
    job.options = &options;
    job.graphics = device_->Graphics();
    HeldReporter said;
    RenderMovie(job, scene, path_, said);
    return said.Take();
  }

  testing::TempDir dir_;
  std::string path_ = dir_ / "movie.avi";
  testing::ScriptFixture fixture_;
  std::unique_ptr<Device> device_;
};

TEST_F(MovieRenderTest, DefaultsGive75FramesOf512By384TransparentBlackFor2Point5Seconds) {
  MovieJob job;
  job.length = 2.5;
  std::string expected = "avi作成開始\n";
  for (int i = 1; i <= 75; ++i) expected += std::to_string(i) + " / 75 フレーム\r";
  EXPECT_EQ(Render(job), expected + "aviの作成が完了しました\n");
  const testing::AviLayout avi = testing::WalkAvi(path_);
  ASSERT_EQ(avi.error, "");
  EXPECT_EQ(avi.strh, (testing::AviStreamHeader{"vids", "DIB ", 1, 30, 75, -1, {0, 0, 512, 384}}));
  EXPECT_EQ(avi.compression, std::string(4, '\0'));
  EXPECT_EQ(avi.strn, "created by talmora");
  EXPECT_EQ(avi.idx1_keys, std::vector<bool>(75, true));
  ASSERT_EQ(avi.frames.size(), 75u);
  EXPECT_EQ(testing::ReadChunk(path_, avi.frames[0]), std::vector<uint8_t>(512 * 384 * 4, 0));
}

TEST_F(MovieRenderTest, DrawingOverlapsCompressionYetFilesAndConsoleMatchTheSerialLoopUpToAFailedFrame) {
  // The failing frame (-1: none): in the middle, where a newcomer prints on it (16) or on the one
  // after (15), the first and the last. Only the frames where a newcomer comes on are drawn; the
  // others are written again (DIB) or encoded again (FFV1 between key frames).
  for (const auto& [code, failing] : std::vector<std::pair<std::string, int>>{
           {"DIB ", -1}, {"DIB ", 15}, {"FFV1", -1}, {"FFV1", 15}, {"FFV1", 16}, {"FFV1", 0}, {"FFV1", 29}}) {
    SCOPED_TRACE(code + " failing at " + std::to_string(failing));
    std::string printed[2];
    std::vector<uint8_t> bytes[2];
    for (const bool serial : {true, false}) {
      failing_packet = failing;
      offered_after_failure = 0;
      LoudFill::drawings = 0;
      std::vector<std::shared_ptr<VideoObject>> objects;
      // First drawn on frames 1, 10, 16 and 28, each a little further right.
      for (const double start : {0.01, 0.31, 0.51, 0.91}) {
        const int left = static_cast<int>(start * 30);
        objects.push_back(std::make_shared<LoudFill>(fixture_.context, start, Rect{left, 0, left + 9, 20}));
      }
      MovieOptions options;
      options.codec = code;
      options.container = &kFailingAvi;
      printed[serial] = Render({.width = 40, .height = 30, .length = 1, .background = kRed, .serial = serial}, objects,
                               nullptr, options);
      std::ifstream file(path_, std::ios::binary);
      bytes[serial].assign(std::istreambuf_iterator<char>(file), {});
      EXPECT_EQ(testing::WalkAvi(path_).frames.size(), failing < 0 ? 30u : static_cast<size_t>(failing));
      EXPECT_EQ(offered_after_failure, 0);
      if (failing < 0) {
        EXPECT_EQ(LoudFill::drawings, 1 + 2 + 3 + 4);
      }
    }
    failing_packet = -1;
    EXPECT_EQ(bytes[0], bytes[1]);
    EXPECT_EQ(printed[0], printed[1]);
    std::string expected = "avi作成開始\n";
    const std::map<int, std::string> newcomers = {{1, "0.010000"}, {10, "0.310000"}, {16, "0.510000"}, {28, "0.910000"}};
    for (int i = 0; i < 30; ++i) {
      if (newcomers.contains(i)) expected += "drawn from " + newcomers.at(i) + "\n";
      if (i == failing) break;
      expected += std::to_string(i + 1) + " / 30 フレーム\r";
    }
    expected += failing < 0 ? "aviの作成が完了しました\n" : "エラー : サーフィス→ビットマップへの変換に失敗しました\n";
    EXPECT_EQ(printed[1], expected);
  }
}

TEST_F(MovieRenderTest, TheMenuAsksAgainUntilTheAnswerIsValidAndItsChoiceMakesTheMovie) {
  std::istringstream typed("0\nXVID\nffv1\n99999999999\n-1\n5\n");
  const std::string out = Render({.width = 8, .height = 8, .length = 0.5}, {}, &typed);
  EXPECT_TRUE(out.starts_with("avi作成開始\n圧縮形式 :\n  1  DIB   Full Frames (Uncompressed)\n")) << out;
  EXPECT_NE(out.find("入力が正しくありません : [XVID]"), std::string::npos);
  EXPECT_NE(out.find("入力が正しくありません : [99999999999]\n"), std::string::npos);
  const testing::AviLayout avi = testing::WalkAvi(path_);
  EXPECT_EQ(avi.strh.fccHandler, "FFV1");
  EXPECT_EQ(avi.idx1_keys, (std::vector<bool>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace talmora
