// Movies written through each compressor, read back by a RIFF walk and decoded by libavcodec.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "movie/decode_movie.h"
#include "movie/movie_frames.h"
#include "support/riff_walk.h"
#include "platform/movie/avi_file.h"
#include "platform/movie/compressor_catalog.h"
#include "support/cli_harness.h"

namespace talmora {
namespace {

using testing::AviLayout;
using testing::DecodedMovie;

constexpr int kWidth = 64;
constexpr int kHeight = 48;

using PixelFunction = uint32_t (*)(int x, int y, int index);

uint32_t Noise(int x, int y, int index) { return testing::NoisePixel(x, y, index); }
uint32_t Gradient(int x, int y, int index) { return testing::GradientPixel(x, y, index, kWidth, kHeight); }

std::unique_ptr<Frame> MovieFrame(PixelFunction pixel, int index) {
  return testing::MakeFrame(kWidth, kHeight, [&](int x, int y) { return pixel(x, y, index); });
}

bool WriteMovie(const std::string& path, const CompressorSettings& settings, PixelFunction pixel, int count) {
  auto file = AviFile::Create(path);
  AviStreamInfo info;
  info.fccHandler = settings.fccHandler;
  info.dwRate = 30;
  info.width = kWidth;
  info.height = kHeight;
  info.szName = "created by talmora";
  if (!file || !file->CreateStream(info) || !file->MakeCompressedStream(settings)) return false;
  BitmapImage image;
  for (int i = 0; i < count; ++i) {
    if (!image.Encode(*MovieFrame(pixel, i))) return false;
    if (i == 0 && !file->SetFormat(image.InfoHeader())) return false;
    if (!file->Write(i, image.FrameData())) return false;
  }
  return file->Close();
}

CompressorSettings Settings(const char* code, int32_t quality = -1, int32_t key = 0, int32_t rate = 0) {
  CompressorSettings settings;
  settings.fccHandler = MakeFourcc(code);
  settings.lQ = quality;
  settings.lKey = key;
  settings.lDataRate = rate;
  return settings;
}

// Largest difference over the colour channels, and the mean one, between source and decoded.
struct Difference {
  int max = 0;
  double mean = 0;
};

Difference Compare(PixelFunction pixel, const DecodedMovie& movie, bool with_alpha) {
  Difference difference;
  long total = 0, count = 0;
  for (size_t i = 0; i < movie.frames.size(); ++i) {
    const auto source = MovieFrame(pixel, static_cast<int>(i));
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const uint32_t a = source->Row(y)[x];
        const uint32_t b = movie.frames[i].pixels[static_cast<size_t>(y) * kWidth + x];
        for (int shift = 0; shift < (with_alpha ? 32 : 24); shift += 8) {
          const int d = std::abs(static_cast<int>(a >> shift & 0xff) - static_cast<int>(b >> shift & 0xff));
          difference.max = std::max(difference.max, d);
          total += d;
          ++count;
        }
      }
    }
  }
  difference.mean = count ? static_cast<double>(total) / count : 0;
  return difference;
}

class LosslessRoundTrip : public ::testing::TestWithParam<const char*> {};

TEST_P(LosslessRoundTrip, GivesBackEveryPixelExactly) {
  testing::TempDir dir;
  const std::string path = dir / "movie.avi";
  const char* code = GetParam();
  ASSERT_TRUE(WriteMovie(path, Settings(code), Noise, 5));

  const AviLayout avi = testing::WalkAvi(path);
  ASSERT_EQ(avi.error, "");
  EXPECT_EQ(avi.strh.fccHandler, FourccText(MakeFourcc(code)));
  EXPECT_EQ(avi.strh.dwLength, 5u);
  EXPECT_EQ(avi.strn, "created by talmora");
  ASSERT_EQ(avi.idx1.size(), 5u);
  EXPECT_TRUE(avi.idx1[0].key);

  const DecodedMovie movie = testing::DecodeMovie(path);
  ASSERT_TRUE(movie.ok) << code;
  ASSERT_EQ(movie.frames.size(), 5u);
  EXPECT_EQ(movie.width, kWidth);
  EXPECT_EQ(movie.height, kHeight);
  // Every lossless compressor here keeps the alpha channel; uncompressed frames do trivially.
  const bool alpha = std::string(code) != "DIB ";
  EXPECT_TRUE(!alpha || movie.has_alpha) << code << " decodes as " << movie.codec;
  EXPECT_EQ(Compare(Noise, movie, alpha).max, 0) << code;
  for (size_t i = 0; i < movie.frames.size(); ++i) EXPECT_EQ(avi.idx1[i].key, movie.frames[i].key) << i;
}

INSTANTIATE_TEST_SUITE_P(Compressors, LosslessRoundTrip,
                         ::testing::Values("DIB ", "FFV1", "HFYU", "FFVH", "ULRA", "MAGY", "MPNG"));

class LossyRoundTrip : public ::testing::TestWithParam<const char*> {};

TEST_P(LossyRoundTrip, StaysCloseToTheSourceWithTheCompressorsOwnFormat) {
  testing::TempDir dir;
  const std::string path = dir / "movie.avi";
  const char* code = GetParam();
  ASSERT_TRUE(WriteMovie(path, Settings(code), Gradient, 12));

  const AviLayout avi = testing::WalkAvi(path);
  ASSERT_EQ(avi.error, "");
  EXPECT_EQ(avi.strh.fccHandler, FourccText(MakeFourcc(code)));
  ASSERT_GE(avi.strf.size(), 40u);
  EXPECT_EQ(std::string(avi.strf.begin() + 16, avi.strf.begin() + 20), FourccText(MakeFourcc(code)));
  EXPECT_EQ(avi.strh.dwLength, 12u);
  ASSERT_EQ(avi.frames.size(), 12u);  // one packet per frame, in order

  const DecodedMovie movie = testing::DecodeMovie(path);
  ASSERT_TRUE(movie.ok) << code;
  ASSERT_EQ(movie.frames.size(), 12u);
  const Difference difference = Compare(Gradient, movie, false);
  EXPECT_LT(difference.mean, 2.5) << code;
  EXPECT_LT(difference.max, 40) << code;
  ASSERT_EQ(avi.idx1.size(), 12u);
  for (size_t i = 0; i < movie.frames.size(); ++i) EXPECT_EQ(avi.idx1[i].key, movie.frames[i].key) << i;
}

INSTANTIATE_TEST_SUITE_P(Compressors, LossyRoundTrip, ::testing::Values("MJPG", "H264", "FMP4"));

// The key frame setting reaches the encoder, and the index flags follow what it made.
class KeyFrameInterval : public ::testing::TestWithParam<const char*> {};

TEST_P(KeyFrameInterval, PutsAKeyFrameAtLeastEveryNFrames) {
  testing::TempDir dir;
  const std::string path = dir / "movie.avi";
  ASSERT_TRUE(WriteMovie(path, Settings(GetParam(), -1, 4), Gradient, 13));
  const AviLayout avi = testing::WalkAvi(path);
  ASSERT_EQ(avi.idx1.size(), 13u);
  int since_key = 0, keys = 0;
  for (const auto& entry : avi.idx1) {
    since_key = entry.key ? 0 : since_key + 1;
    keys += entry.key;
    EXPECT_LT(since_key, 4);
  }
  EXPECT_TRUE(avi.idx1[0].key);
  EXPECT_LT(keys, 13) << "delta frames expected between the key frames";
}

INSTANTIATE_TEST_SUITE_P(Compressors, KeyFrameInterval, ::testing::Values("H264", "FMP4", "FFV1"));

uintmax_t MovieSize(const testing::TempDir& dir, const std::string& name, const CompressorSettings& settings) {
  const std::string path = dir / name;
  return WriteMovie(path, settings, Noise, 30) ? std::filesystem::file_size(path) : 0;
}

TEST(CompressorSettings, QualityAndDataRateChangeWhatTheEncoderMakes) {
  testing::TempDir dir;
  for (const char* code : {"MJPG", "H264", "FMP4"}) {
    const uintmax_t fine = MovieSize(dir, "fine.avi", Settings(code, 10000));
    const uintmax_t coarse = MovieSize(dir, "coarse.avi", Settings(code, 0));
    const uintmax_t limited = MovieSize(dir, "limited.avi", Settings(code, -1, 0, 8));
    ASSERT_GT(coarse, 0u) << code;
    ASSERT_GT(limited, 0u) << code;
    EXPECT_GT(fine, 2 * coarse) << code;
    EXPECT_GT(fine, 2 * limited) << code;
  }
}

}  // namespace
}  // namespace talmora
