#include "platform/movie/avi_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "movie/movie_frames.h"
#include "support/riff_walk.h"
#include "support/cli_harness.h"

namespace talmora {
namespace {

using testing::AviLayout;
using testing::WalkAvi;

// Writes `count` frames of `width` × `height` uncompressed at `fps`; returns the images written.
struct DibMovie {
  std::vector<std::vector<uint8_t>> images;
  bool closed = false;
};

AviStreamInfo StreamInfo(int width, int height, int fps) {
  AviStreamInfo info;
  info.dwRate = fps;
  info.width = width;
  info.height = height;
  info.szName = "created by talmora";
  return info;
}

DibMovie WriteDib(const std::string& path, int width, int height, int fps, int count) {
  DibMovie movie;
  auto file = AviFile::Create(path);
  if (!file || !file->CreateStream(StreamInfo(width, height, fps)) ||
      !file->MakeCompressedStream(CompressorSettings{})) {
    return movie;
  }
  BitmapImage image;
  for (int i = 0; i < count || i == 0; ++i) {
    auto frame = testing::MakeFrame(width, height, [i](int x, int y) { return testing::NoisePixel(x, y, i); });
    if (!image.Encode(*frame)) return movie;
    if (i == 0 && !file->SetFormat(image.InfoHeader())) return movie;
    if (i == count) break;
    if (!file->Write(i, image.FrameData())) return movie;
    movie.images.emplace_back(image.FrameData().begin(), image.FrameData().end());
  }
  movie.closed = file->Close();
  return movie;
}

TEST(AviFile, UncompressedMovieHasTheBindingHeaderFields) {
  testing::TempDir dir;
  const std::string path = dir / "movie.avi";
  const DibMovie movie = WriteDib(path, 5, 3, 30, 3);
  ASSERT_TRUE(movie.closed);

  const AviLayout avi = WalkAvi(path);
  ASSERT_EQ(avi.error, "");
  EXPECT_EQ(avi.riffs, std::vector<std::string>{"AVI "});
  EXPECT_EQ(avi.streams, 1u);
  EXPECT_EQ(avi.total_frames, 3u);
  EXPECT_EQ(avi.width, 5u);
  EXPECT_EQ(avi.height, 3u);
  EXPECT_EQ(avi.usec_per_frame, 33333u);

  EXPECT_EQ(avi.strh.fccType, "vids");
  EXPECT_EQ(avi.strh.fccHandler, "DIB ");
  EXPECT_EQ(avi.strh.dwScale, 1u);
  EXPECT_EQ(avi.strh.dwRate, 30u);
  EXPECT_EQ(avi.strh.dwStart, 0u);
  EXPECT_EQ(avi.strh.dwLength, 3u);
  EXPECT_EQ(avi.strh.dwQuality, -1);
  EXPECT_EQ(avi.strh.dwSampleSize, 0u);
  EXPECT_EQ(avi.strh.rcFrame[0], 0);
  EXPECT_EQ(avi.strh.rcFrame[1], 0);
  EXPECT_EQ(avi.strh.rcFrame[2], 5);
  EXPECT_EQ(avi.strh.rcFrame[3], 3);
  EXPECT_EQ(avi.strn, "created by talmora");
}

TEST(AviFile, UncompressedFramesAreTheBitmapsAsTheyAreAllKeyFrames) {
  testing::TempDir dir;
  const std::string path = dir / "movie.avi";
  const DibMovie movie = WriteDib(path, 7, 5, 25, 4);
  ASSERT_TRUE(movie.closed);
  const AviLayout avi = WalkAvi(path);
  ASSERT_EQ(avi.error, "");

  // The stream format is the frames' own info header, biCompression 0.
  auto frame = testing::MakeFrame(7, 5, [](int x, int y) { return testing::NoisePixel(x, y, 0); });
  BitmapImage image;
  ASSERT_TRUE(image.Encode(*frame));
  const auto header = image.Bytes().subspan(BitmapImage::kFileHeaderSize, BitmapInfoHeader::kSize);
  EXPECT_EQ(avi.strf, std::vector<uint8_t>(header.begin(), header.end()));

  ASSERT_EQ(avi.frames.size(), 4u);
  ASSERT_EQ(avi.idx1.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(testing::ReadChunk(path, avi.frames[i]), movie.images[i]) << "frame " << i;
    EXPECT_TRUE(avi.idx1[i].key) << "frame " << i;
    EXPECT_EQ(avi.idx1[i].size, 7u * 5 * 4);
  }
}

TEST(AviFile, AnEmptyMovieIsAValidFile) {
  testing::TempDir dir;
  const std::string path = dir / "empty.avi";
  ASSERT_TRUE(WriteDib(path, 16, 16, 30, 0).closed);
  const AviLayout avi = WalkAvi(path);
  ASSERT_EQ(avi.error, "");
  EXPECT_EQ(avi.strh.dwLength, 0u);
  EXPECT_EQ(avi.total_frames, 0u);
  EXPECT_TRUE(avi.frames.empty());
  EXPECT_EQ(avi.strn, "created by talmora");
}

TEST(AviFile, RatesAreWrittenAsGivenEvenWhereTheMuxerWouldSubstituteItsOwn) {
  testing::TempDir dir;
  const std::string fast = dir / "fast.avi";
  ASSERT_TRUE(WriteDib(fast, 4, 4, 2000, 3).closed);
  AviLayout avi = WalkAvi(fast);
  ASSERT_EQ(avi.error, "");
  EXPECT_EQ(avi.strh.dwScale, 1u);
  EXPECT_EQ(avi.strh.dwRate, 2000u);
  EXPECT_EQ(avi.usec_per_frame, 500u);
  EXPECT_EQ(avi.strh.dwLength, 3u);
  EXPECT_EQ(avi.frames.size(), 3u);

  const std::string still = dir / "still.avi";
  ASSERT_TRUE(WriteDib(still, 4, 4, 0, 0).closed);
  avi = WalkAvi(still);
  ASSERT_EQ(avi.error, "");
  EXPECT_EQ(avi.strh.dwRate, 0u);
  EXPECT_EQ(avi.strh.dwScale, 1u);
}

TEST(AviFile, AnExistingFileIsReplaced) {
  testing::TempDir dir;
  const std::string path = dir / "movie.avi";
  dir.Write("movie.avi", std::string(100000, 'x'));
  ASSERT_TRUE(WriteDib(path, 4, 2, 30, 2).closed);
  const AviLayout avi = WalkAvi(path);
  EXPECT_EQ(avi.error, "");
  EXPECT_EQ(avi.frames.size(), 2u);
}

TEST(AviFile, AfterAFailedWriteTheFileKeepsTheFramesWrittenAndIsValid) {
  testing::TempDir dir;
  const std::string path = dir / "movie.avi";
  {
    auto file = AviFile::Create(path);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->CreateStream(StreamInfo(4, 4, 30)));
    ASSERT_TRUE(file->MakeCompressedStream(CompressorSettings{}));
    BitmapImage image;
    ASSERT_TRUE(image.Encode(*testing::MakeFrame(4, 4, [](int, int) { return 0xff00ff00u; })));
    ASSERT_TRUE(file->SetFormat(image.InfoHeader()));
    ASSERT_TRUE(file->Write(0, image.FrameData()));
    ASSERT_TRUE(file->Write(1, image.FrameData()));
    EXPECT_FALSE(file->Write(2, image.FrameData().first(20)));  // not a whole frame
    // Destruction alone finishes the file.
  }
  const AviLayout avi = WalkAvi(path);
  ASSERT_EQ(avi.error, "");
  EXPECT_EQ(avi.strh.dwLength, 2u);
  EXPECT_EQ(avi.frames.size(), 2u);
  EXPECT_EQ(avi.idx1.size(), 2u);
}

TEST(AviFile, StepsOutOfOrderOrMismatchedFailAndLeaveNoFile) {
  testing::TempDir dir;
  BitmapImage image;
  ASSERT_TRUE(image.Encode(*testing::MakeFrame(8, 6, [](int, int) { return 0u; })));

  const std::string unknown = dir / "unknown.avi";
  {
    auto file = AviFile::Create(unknown);
    ASSERT_TRUE(file);
    EXPECT_FALSE(file->MakeCompressedStream(CompressorSettings{}));  // no stream yet
    EXPECT_FALSE(file->Write(0, image.FrameData()));
    ASSERT_TRUE(file->CreateStream(StreamInfo(8, 6, 30)));
    EXPECT_FALSE(file->CreateStream(StreamInfo(8, 6, 30)));  // one stream only
    CompressorSettings settings;
    settings.fccHandler = MakeFourcc("XVID");
    EXPECT_FALSE(file->MakeCompressedStream(settings));
    EXPECT_FALSE(file->SetFormat(image.InfoHeader()));
    EXPECT_FALSE(file->Close());
  }
  EXPECT_FALSE(std::filesystem::exists(unknown));

  const std::string mismatched = dir / "mismatched.avi";
  {
    auto file = AviFile::Create(mismatched);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->CreateStream(StreamInfo(8, 8, 30)));
    ASSERT_TRUE(file->MakeCompressedStream(CompressorSettings{}));
    EXPECT_FALSE(file->SetFormat(image.InfoHeader()));  // 8 × 6 frames for an 8 × 8 stream
    BitmapInfoHeader top_down = image.InfoHeader();
    top_down.biHeight = -8;
    EXPECT_FALSE(file->SetFormat(top_down));
  }
  EXPECT_FALSE(std::filesystem::exists(mismatched));
}

TEST(AviFile, PathsAreFilesEvenWhenTheyLookLikeProtocols) {
  testing::TempDir dir;
  const std::string path = dir / "pipe:1.avi";
  ASSERT_TRUE(WriteDib(path, 2, 2, 30, 1).closed);
  EXPECT_EQ(WalkAvi(path).frames.size(), 1u);
  EXPECT_EQ(AviFile::Create(dir / "missing/folder/movie.avi"), nullptr);
}

}  // namespace
}  // namespace talmora
