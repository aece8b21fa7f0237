// Movies written through each compressor, read back by a RIFF walk and decoded by libavcodec
// as players will.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

extern "C" {
#include <libavutil/log.h>
}

#include "platform/movie/bgra_to_yuv420.h"
#include "platform/movie/movie_recorder.h"
#include "platform/movie/row_bands.h"
#include "platform/render/canvas.h"
#include "platform/libav_handles.h"
#include "support/cli_harness.h"
#include "support/media_streams.h"
#include "support/riff_walk.h"

namespace talmora {
namespace {

constexpr int kFrames = 9;
using Pixels = std::vector<uint32_t>;  // 0xAARRGGBB, top row first

struct Size {
  int width, height;
};

// Every pixel, alpha included, unlike its neighbours: what a lossless compressor must give back.
uint32_t Noise(int x, int y, int i) {
  uint32_t h = x * 0x9E3779B1u ^ y * 0x85EBCA77u ^ i * 0xC2B2AE3Du;
  h = (h ^ h >> 15) * 0x2C1B3C6Du;
  return h ^ h >> 12;
}

// Smooth opaque gradients that move a little each frame: what a lossy one keeps well.
uint32_t Gradient(int x, int y, int i) {
  return 0xff000000u | 4 * x << 16 | std::min(5 * y, 255) << 8 | ((64 + 8 * i + (x + y) / 2) & 255);
}

// Writes `count` frames of `pixel`, each picture held for `hold` frames (written again by
// Repeat with `repeat`), then a broken one, and leaves the file to its destructor: what was
// written before the failure must stay, in a valid file. Returns the file's size, 0 when a
// step failed.
uintmax_t WriteMovie(const std::string& path, const CompressorSettings& settings, Size size,
                     uint32_t (*pixel)(int, int, int), int count = kFrames, int hold = 1, bool repeat = false) {
  auto opened = MovieRecorder::Open(MovieContainers().front(), path,
                                     {settings.fourcc, 30, size.width, size.height, "created by talmora"}, settings);
  if (!opened) return 0;
  std::unique_ptr<MovieRecorder> file = std::move(*opened);
  auto frame = Frame::Create(size.width, size.height);
  for (int i = 0; i < count; ++i) {
    if (i % hold != 0 && repeat) {
      if (!file->Repeat(i)) return 0;
      continue;
    }
    for (int y = 0; y < size.height; ++y) {
      for (int x = 0; x < size.width; ++x) frame->Row(y)[x] = pixel(x, y, i / hold);
    }
    if (!file->Write(i, *frame)) return 0;
  }
  if (file->Write(count, *Frame::Create(size.width + 1, size.height))) return 0;
  file.reset();
  return std::filesystem::file_size(path);
}

// Frames drawn over a background with a rectangle moving about, under another background once
// and empty once. With `forget` each frame is touched behind its back before it is written, so
// that it is converted whole rather than where it changed.
std::string WriteDrawnMovie(const std::string& path, const CompressorSettings& settings, Size size, bool forget) {
  auto opened = MovieRecorder::Open(MovieContainers().front(), path,
                                     {settings.fourcc, 30, size.width, size.height, "created by talmora"}, settings);
  if (!opened) return "";
  std::unique_ptr<MovieRecorder> file = std::move(*opened);
  auto frame = Frame::Create(size.width, size.height);
  for (int i = 0; i < kFrames; ++i) {
    {
      Canvas canvas(*frame, i == 5 ? 0xFF806040 : 0xFF203040);
      if (i != 3) canvas.FillRect(9 * i - 12, 3 * i, 9 * i + 20, 3 * i + 21, i % 2 ? 0x80FFFFFF : 0xFFC02010);
    }
    if (forget) frame->Row(0)[0] = frame->Row(0)[0];
    if (!file->Write(i, *frame)) return "";
  }
  file.reset();
  return testing::ReadFile(path);
}

TEST(Compressors, LosslessOnesGiveBackEveryPixelLossyOnesStayCloseHeldFramesRepeatAndTheIndexFlagsTheKeyFrames) {
  av_log_set_level(AV_LOG_QUIET);
  // A key frame at least every `key` frames; with 0 every frame is one. Odd sides where the
  // compressor takes them: the last column and row are where 4:2:0 breaks, and where slices (and
  // the bands frames are converted in) end. FFV1 runs in slices, but not on frames too small for
  // them. (Ut Video stays small: libavcodec's own decoder fails on its sliced noise from about
  // 64 × 131 on.)
  for (const auto& [code, key, lossless, size] : std::vector<std::tuple<std::string, int32_t, bool, Size>>{
           {"DIB ", 0, true, {63, 47}}, {"FFV1", 4, true, {63, 47}}, {"FFV1", 4, true, {1, 1}},
           {"FFV1", 4, true, {200, 131}}, {"HFYU", 0, true, {63, 47}}, {"FFVH", 0, true, {63, 47}},
           {"ULRA", 0, true, {63, 47}}, {"MAGY", 0, true, {63, 131}}, {"MPNG", 0, true, {63, 131}},
           {"MJPG", 0, false, {63, 131}}, {"MJPG", 0, false, {64, 48}}, {"H264", 4, false, {64, 48}},
           {"FMP4", 4, false, {63, 47}}}) {
    SCOPED_TRACE(code + " " + std::to_string(size.width) + "x" + std::to_string(size.height));
    testing::TempDir dir;
    const std::string path = dir.Write("movie.avi", std::string(100000, 'x'));  // replaced
    const auto pixel = lossless ? Noise : Gradient;
    ASSERT_TRUE(WriteMovie(path, {MakeFourcc(code), -1, key, 0}, size, pixel));
    const testing::AviLayout avi = testing::WalkAvi(path);
    ASSERT_EQ(avi.error, "");
    EXPECT_EQ(avi.strh.fccHandler, code);
    EXPECT_EQ(avi.compression, code == "DIB " ? std::string(4, '\0') : code);
    EXPECT_EQ(avi.strh.dwLength, static_cast<uint32_t>(kFrames));

    const std::vector<testing::Stream> streams = testing::ReadStreams(path);
    ASSERT_EQ(streams.size(), 1u);
    const std::vector<Pixels>& frames = streams[0].frames;
    const std::vector<bool>& keys = streams[0].keys;
    if (code == "FFV1") {
      EXPECT_EQ(streams[0].header > 0, size.width >= 32);  // only the sliced version 3 has one
    }
    ASSERT_EQ(frames.size(), static_cast<size_t>(kFrames));
    EXPECT_EQ(avi.idx1_keys, keys);
    EXPECT_EQ(std::count(keys.begin(), keys.end(), true) < kFrames, key > 0);  // delta frames where they can be
    int largest = 0, since_key = 0;
    double total = 0;
    for (int i = 0; i < kFrames; ++i) {
      since_key = keys[i] ? 0 : since_key + 1;
      EXPECT_LT(since_key, std::max(key, 1));
      for (int at = 0; at < size.width * size.height; ++at) {
        for (int shift = 0; shift < 32; shift += 8) {
          const int d = (pixel(at % size.width, at / size.width, i) >> shift & 255) - (frames[i][at] >> shift & 255);
          largest = std::max(largest, std::abs(d));
          total += std::abs(d);
        }
      }
    }
    EXPECT_LE(largest, lossless ? 0 : 40);
    EXPECT_LT(total / (kFrames * size.width * size.height * 3), lossless ? 1e-9 : 3);  // over the colours
    // A held picture written again without compressing it gives the bytes compressing it does,
    // also where a data rate makes each frame depend on those before it.
    for (const int32_t rate : {0, 8}) {
      const auto held = [&, code = code, key = key, size = size](bool repeat) {
        return WriteMovie(path, {MakeFourcc(code), -1, key, rate}, size, pixel, 2 * kFrames, 3, repeat)
                   ? testing::ReadFile(path)
                   : std::string();
      };
      const std::string compressed = held(false);
      EXPECT_FALSE(compressed.empty());
      EXPECT_TRUE(compressed == held(true)) << "rate " << rate;
    }
    if (!lossless) {  // converting only the blocks that changed gives the same bytes as converting all
      const std::string drawn = WriteDrawnMovie(path, {MakeFourcc(code), -1, key, 0}, size, false);
      EXPECT_FALSE(drawn.empty());
      EXPECT_TRUE(drawn == WriteDrawnMovie(path, {MakeFourcc(code), -1, key, 0}, size, true));
    }
    if (!lossless) {  // the quality and the data rate reach the encoder
      const auto bytes = [&, code = code, key = key, size = size](int32_t quality, int32_t rate) {
        return WriteMovie(path, {MakeFourcc(code), quality, key, rate}, size, Noise, 30);
      };
      EXPECT_GT(bytes(10000, 0), 2 * std::max(bytes(0, 0), bytes(-1, 8)));
    }
  }
}

// The 4:2:0 planes the lossy compressors take, against the BT.601 sums in 1/65536 computed
// pixel by pixel, with each set of instructions this processor has (the widest last, as it is
// left). Widths around 16, 32 and 64 put pixels and blocks on both sides of where the vector
// rows hand over to the scalar tail; odd sides and bands test the edges.
TEST(Compressors, YuvPlanesAreTheExactBt601SumsForEveryInstructionSetWidthRangeAndBand) {
  struct Weights {
    int y[3], cb[3], cr[3], offset;
  };
  const Weights full{{19595, 38470, 7471}, {-11058, -21710, 32768}, {32768, -27439, -5329}, 0};
  const Weights limited{{16829, 33039, 6416}, {-9714, -19070, 28784}, {28784, -24103, -4681}, 16};
  using enum YuvInstructions;
  for (const YuvInstructions instructions : {kPlain, kSse2, kAvx2}) {
    if (!UseYuvInstructions(instructions)) continue;
    for (const int width : {1, 2, 15, 16, 17, 31, 32, 33, 35, 63, 64, 65, 70, 99}) {
      for (const int height : {1, 2, 5, 130}) {
        for (const YuvRange range : {YuvRange::kFull, YuvRange::kLimited}) {
          SCOPED_TRACE(std::to_string(static_cast<int>(instructions)) + ": " + std::to_string(width) + "x" +
                       std::to_string(height));
          const Weights& w = range == YuvRange::kFull ? full : limited;
          std::vector<uint32_t> bgra(static_cast<size_t>(width * height));
          for (int at = 0; at < width * height; ++at) bgra[at] = Noise(at % width, at / width, height);
          if (width == 70) std::fill(bgra.begin(), bgra.begin() + width, 0xffffffffu);  // saturated white
          const auto channel = [&](int x, int y, int c) {
            return static_cast<int>(bgra[std::min(y, height - 1) * width + std::min(x, width - 1)] >> (8 * c) & 255);
          };
          FramePtr picture(av_frame_alloc());
          picture->format = range == YuvRange::kFull ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
          picture->width = width;
          picture->height = height;
          ASSERT_GE(av_frame_get_buffer(picture.get(), 0), 0);
          const auto* top = reinterpret_cast<const uint8_t*>(bgra.data());
          if (height == 130) {  // in two bands, meeting on an even row
            BgraToYuv420(top, width * 4, range, *picture, 64, height);
            BgraToYuv420(top, width * 4, range, *picture, 0, 64);
          } else {
            BgraToYuv420(top, width * 4, range, *picture);
          }
          for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
              const int luma = (w.y[0] * channel(x, y, 2) + w.y[1] * channel(x, y, 1) + w.y[2] * channel(x, y, 0) +
                                (w.offset << 16) + (1 << 15)) >> 16;
              ASSERT_EQ(picture->data[0][y * picture->linesize[0] + x], luma) << x << "," << y;
            }
          }
          for (int y = 0; y < (height + 1) / 2; ++y) {
            for (int x = 0; x < (width + 1) / 2; ++x) {
              int sum[3] = {};  // B, G, R over the block; a last odd row or column stands for its pair
              for (int c = 0; c < 3; ++c) {
                for (int d = 0; d < 4; ++d) sum[c] += channel(2 * x + d % 2, 2 * y + d / 2, c);
              }
              for (int plane = 1; plane <= 2; ++plane) {
                const int* k = plane == 1 ? w.cb : w.cr;
                const int v = (k[0] * sum[2] + k[1] * sum[1] + k[2] * sum[0] + (128 << 18) + (1 << 17)) >> 18;
                ASSERT_EQ(picture->data[plane][y * picture->linesize[plane] + x], std::clamp(v, 0, 255))
                    << plane << ": " << x << "," << y;
              }
            }
          }
        }
      }
    }
  }
}

// The conversion's helpers are kept from frame to frame: every call covers each row once, in bands
// that meet on even rows, whatever the calls before it asked, on the same few threads.
TEST(Compressors, RowBandsCoverEveryRowOnceOnThreadsKeptFromCallToCall) {
  const size_t most = std::min(3u, std::max(1u, std::thread::hardware_concurrency()));
  RowBands bands(3);
  std::mutex mutex;
  std::set<pid_t> threads;
  for (int call = 0; call < 100; ++call) {
    const int rows = std::vector<int>{1080, 130, 1, 129, 720}[call % 5];
    std::vector<int> covered(static_cast<size_t>(rows));
    std::vector<std::pair<int, int>> seen;
    bands.ForEach(rows, 2, [&](int first, int end) {
      for (int row = first; row < end; ++row) ++covered[static_cast<size_t>(row)];
      std::lock_guard lock(mutex);
      seen.emplace_back(first, end);
      threads.insert(gettid());
    });
    ASSERT_EQ(std::count(covered.begin(), covered.end(), 1), rows) << rows;
    std::sort(seen.begin(), seen.end());
    ASSERT_LE(seen.size(), most);
    for (size_t i = 0; i + 1 < seen.size(); ++i) {
      EXPECT_EQ(seen[i].second, seen[i + 1].first);
      EXPECT_EQ(seen[i].second % 2, 0);
    }
  }
  EXPECT_LE(threads.size(), most);
}

}  // namespace
}  // namespace talmora
