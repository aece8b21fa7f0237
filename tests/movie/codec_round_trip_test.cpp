// Movies written through each compressor, read back by a RIFF walk and decoded by libavcodec.

#include <gtest/gtest.h>

#include <filesystem>

#include "movie/decode_movie.h"
#include "movie/movie_frames.h"
#include "platform/movie/avi_file.h"
#include "support/cli_harness.h"
#include "support/riff_walk.h"

namespace talmora {
namespace {

constexpr int kWidth = 64, kHeight = 48;

using PixelFunction = uint32_t (*)(int x, int y, int index);
uint32_t Noise(int x, int y, int index) { return testing::NoisePixel(x, y, index); }
uint32_t Gradient(int x, int y, int index) { return testing::GradientPixel(x, y, index, kWidth, kHeight); }

bool WriteMovie(const std::string& path, const CompressorSettings& settings, PixelFunction pixel, int count) {
  auto file = AviFile::Create(path);
  if (!file || !file->CreateStream({settings.fccHandler, 30, kWidth, kHeight, "created by talmora"}) ||
      !file->MakeCompressedStream(settings)) {
    return false;
  }
  BitmapImage image;
  for (int i = 0; i < count; ++i) {
    if (!image.Encode(*testing::MakeFrame(kWidth, kHeight, [&](int x, int y) { return pixel(x, y, i); }))) return false;
    if (i == 0 && !file->SetFormat(image.InfoHeader())) return false;
    if (!file->Write(i, image.FrameData())) return false;
  }
  return file->Close();
}

CompressorSettings Settings(const char* code, int32_t quality = -1, int32_t key = 0, int32_t rate = 0) {
  return {MakeFourcc(code), quality, key, rate};
}

// The largest and the mean difference over the channels compared.
std::pair<int, double> Difference(PixelFunction pixel, const testing::DecodedMovie& movie, bool with_alpha) {
  int largest = 0;
  long total = 0, count = 0;
  for (size_t i = 0; i < movie.frames.size(); ++i) {
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const uint32_t a = pixel(x, y, static_cast<int>(i));
        const uint32_t b = movie.frames[i].pixels[static_cast<size_t>(y) * kWidth + x];
        for (int shift = 0; shift < (with_alpha ? 32 : 24); shift += 8, ++count) {
          const int d = std::abs(static_cast<int>(a >> shift & 0xff) - static_cast<int>(b >> shift & 0xff));
          largest = std::max(largest, d);
          total += d;
        }
      }
    }
  }
  return {largest, count ? static_cast<double>(total) / count : 0};
}

// What every compressed movie must show: the code in both headers, one chunk per frame, and
// index flags that say what the bitstream says.
void CheckMovie(const std::string& path, const char* code, size_t frames, const testing::DecodedMovie& movie) {
  const testing::AviLayout avi = testing::WalkAvi(path);
  ASSERT_EQ(avi.error, "");
  EXPECT_EQ(avi.strh.fccHandler, FourccText(MakeFourcc(code)));
  if (std::string(code) != "DIB ") {
    ASSERT_GE(avi.strf.size(), 40u);
    EXPECT_EQ(std::string(avi.strf.begin() + 16, avi.strf.begin() + 20), code);
  }
  EXPECT_EQ(avi.strh.dwLength, frames);
  ASSERT_EQ(avi.idx1.size(), frames);
  ASSERT_TRUE(movie.ok) << code;
  ASSERT_EQ(movie.frames.size(), frames);
  EXPECT_TRUE(avi.idx1[0].key);
  for (size_t i = 0; i < frames; ++i) EXPECT_EQ(avi.idx1[i].key, movie.frames[i].key) << code << " frame " << i;
}

class LosslessRoundTrip : public ::testing::TestWithParam<const char*> {};

TEST_P(LosslessRoundTrip, GivesBackEveryPixelAndItsAlphaExactly) {
  testing::TempDir dir;
  const std::string path = dir / "movie.avi";
  const char* code = GetParam();
  ASSERT_TRUE(WriteMovie(path, Settings(code), Noise, 5));
  const testing::DecodedMovie movie = testing::DecodeMovie(path);
  CheckMovie(path, code, 5, movie);
  EXPECT_TRUE(movie.has_alpha) << code << " decodes as " << movie.codec;
  EXPECT_EQ(Difference(Noise, movie, true).first, 0) << code;
}

INSTANTIATE_TEST_SUITE_P(Compressors, LosslessRoundTrip,
                         ::testing::Values("DIB ", "FFV1", "HFYU", "FFVH", "ULRA", "MAGY", "MPNG"));

class LossyRoundTrip : public ::testing::TestWithParam<const char*> {};

TEST_P(LossyRoundTrip, StaysCloseAndHonoursTheKeyFrameInterval) {
  testing::TempDir dir;
  const std::string path = dir / "movie.avi";
  const char* code = GetParam();
  ASSERT_TRUE(WriteMovie(path, Settings(code, -1, std::string(code) == "MJPG" ? 0 : 4), Gradient, 13));
  const testing::DecodedMovie movie = testing::DecodeMovie(path);
  CheckMovie(path, code, 13, movie);
  const auto [largest, mean] = Difference(Gradient, movie, false);
  EXPECT_LT(mean, 2.5) << code;
  EXPECT_LT(largest, 40) << code;
  int since_key = 0, keys = 0;
  for (const auto& frame : movie.frames) {
    since_key = frame.key ? 0 : since_key + 1;
    keys += frame.key;
    EXPECT_LT(since_key, 4) << code;
  }
  if (std::string(code) != "MJPG") EXPECT_LT(keys, 13) << code << ": delta frames expected between key frames";
}

INSTANTIATE_TEST_SUITE_P(Compressors, LossyRoundTrip, ::testing::Values("MJPG", "H264", "FMP4"));

TEST(CompressorSettings, QualityAndDataRateChangeWhatTheEncoderMakes) {
  testing::TempDir dir;
  auto size = [&](const CompressorSettings& settings) {
    const std::string path = dir / "movie.avi";
    return WriteMovie(path, settings, Noise, 30) ? std::filesystem::file_size(path) : 0;
  };
  for (const char* code : {"MJPG", "H264", "FMP4"}) {
    const uintmax_t fine = size(Settings(code, 10000));
    const uintmax_t coarse = size(Settings(code, 0));
    const uintmax_t limited = size(Settings(code, -1, 0, 8));
    ASSERT_GT(coarse, 0u) << code;
    ASSERT_GT(limited, 0u) << code;
    EXPECT_GT(fine, 2 * coarse) << code;
    EXPECT_GT(fine, 2 * limited) << code;
  }
}

}  // namespace
}  // namespace talmora
