#include "platform/movie/avi_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "movie/movie_frames.h"
#include "support/cli_harness.h"
#include "support/riff_walk.h"

namespace talmora {
namespace {

AviStreamInfo StreamInfo(int width, int height, int fps) {
  return AviStreamInfo{MakeFourcc("DIB "), fps, width, height, "created by talmora"};
}

// Writes `count` uncompressed frames; returns their images, or nothing when a step failed.
std::vector<std::vector<uint8_t>> WriteDib(const std::string& path, int width, int height, int fps, int count) {
  std::vector<std::vector<uint8_t>> images;
  auto file = AviFile::Create(path);
  if (!file || !file->CreateStream(StreamInfo(width, height, fps)) ||
      !file->MakeCompressedStream(CompressorSettings{})) {
    return {};
  }
  BitmapImage image;
  for (int i = 0; i <= count; ++i) {
    if (!image.Encode(*testing::MakeFrame(width, height, [i](int x, int y) { return testing::NoisePixel(x, y, i); })))
      return {};
    if (i == 0 && !file->SetFormat(image.InfoHeader())) return {};
    if (i == count) break;
    if (!file->Write(i, image.FrameData())) return {};
    images.emplace_back(image.FrameData().begin(), image.FrameData().end());
  }
  return file->Close() ? images : std::vector<std::vector<uint8_t>>{};
}

TEST(AviFile, UncompressedMoviesCarryTheBindingHeaderAndTheBitmapsAsKeyFrames) {
  testing::TempDir dir;
  const std::string path = dir / "movie.avi";
  dir.Write("movie.avi", std::string(100000, 'x'));  // replaced
  const auto images = WriteDib(path, 7, 5, 25, 4);
  ASSERT_EQ(images.size(), 4u);

  const testing::AviLayout avi = testing::WalkAvi(path);
  ASSERT_EQ(avi.error, "");
  EXPECT_EQ(avi.riffs, std::vector<std::string>{"AVI "});
  EXPECT_EQ(avi.streams, 1u);
  EXPECT_EQ(avi.total_frames, 4u);
  EXPECT_EQ(avi.usec_per_frame, 40000u);
  EXPECT_EQ(avi.strh.fccType, "vids");
  EXPECT_EQ(avi.strh.fccHandler, "DIB ");
  EXPECT_EQ(avi.strh.dwScale, 1u);
  EXPECT_EQ(avi.strh.dwRate, 25u);
  EXPECT_EQ(avi.strh.dwStart, 0u);
  EXPECT_EQ(avi.strh.dwLength, 4u);
  EXPECT_EQ(avi.strh.dwQuality, -1);
  EXPECT_EQ(std::vector<int>(avi.strh.rcFrame, avi.strh.rcFrame + 4), (std::vector<int>{0, 0, 7, 5}));
  EXPECT_EQ(avi.strn, "created by talmora");

  // The stream format is the frames' own info header, biCompression 0.
  BitmapImage image;
  ASSERT_TRUE(image.Encode(*testing::MakeFrame(7, 5, [](int, int) { return 0u; })));
  const auto header = image.Bytes().subspan(BitmapImage::kFileHeaderSize, BitmapInfoHeader::kSize);
  EXPECT_EQ(avi.strf, std::vector<uint8_t>(header.begin(), header.end()));

  ASSERT_EQ(avi.frames.size(), 4u);
  ASSERT_EQ(avi.idx1.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(testing::ReadChunk(path, avi.frames[i]), images[i]) << "frame " << i;
    EXPECT_TRUE(avi.idx1[i].key) << "frame " << i;
  }
}

TEST(AviFile, RatesAreWrittenAsGivenEvenWhereTheMuxerWouldSubstituteItsOwn) {
  testing::TempDir dir;
  ASSERT_EQ(WriteDib(dir / "fast.avi", 4, 4, 2000, 3).size(), 3u);
  testing::AviLayout avi = testing::WalkAvi(dir / "fast.avi");
  EXPECT_EQ(avi.strh.dwScale, 1u);
  EXPECT_EQ(avi.strh.dwRate, 2000u);
  EXPECT_EQ(avi.usec_per_frame, 500u);
  EXPECT_EQ(avi.strh.dwLength, 3u);

  // No frames at all, at a rate of 0: still a valid file.
  WriteDib(dir / "still.avi", 4, 4, 0, 0);
  avi = testing::WalkAvi(dir / "still.avi");
  ASSERT_EQ(avi.error, "");
  EXPECT_EQ(avi.strh.dwRate, 0u);
  EXPECT_EQ(avi.strh.dwLength, 0u);
  EXPECT_TRUE(avi.frames.empty());
}

TEST(AviFile, AfterAFailedWriteTheFileKeepsTheFramesWrittenAndIsValid) {
  testing::TempDir dir;
  const std::string path = dir / "movie.avi";
  {
    auto file = AviFile::Create(path);
    ASSERT_TRUE(file && file->CreateStream(StreamInfo(4, 4, 30)) && file->MakeCompressedStream(CompressorSettings{}));
    BitmapImage image;
    ASSERT_TRUE(image.Encode(*testing::MakeFrame(4, 4, [](int, int) { return 0xff00ff00u; })));
    ASSERT_TRUE(file->SetFormat(image.InfoHeader()));
    ASSERT_TRUE(file->Write(0, image.FrameData()));
    ASSERT_TRUE(file->Write(1, image.FrameData()));
    EXPECT_FALSE(file->Write(2, image.FrameData().first(20)));  // not a whole frame
  }  // destruction alone finishes the file
  const testing::AviLayout avi = testing::WalkAvi(path);
  ASSERT_EQ(avi.error, "");
  EXPECT_EQ(avi.strh.dwLength, 2u);
  EXPECT_EQ(avi.idx1.size(), 2u);
}

TEST(AviFile, StepsThatFailBeforeTheHeadersLeaveNoFile) {
  testing::TempDir dir;
  BitmapImage image;
  ASSERT_TRUE(image.Encode(*testing::MakeFrame(8, 6, [](int, int) { return 0u; })));
  BitmapInfoHeader top_down = image.InfoHeader();
  top_down.biHeight = -6;
  {
    auto file = AviFile::Create(dir / "a.avi");
    ASSERT_TRUE(file);
    EXPECT_FALSE(file->MakeCompressedStream(CompressorSettings{}));  // no stream yet
    EXPECT_FALSE(file->Write(0, image.FrameData()));
    ASSERT_TRUE(file->CreateStream(StreamInfo(8, 6, 30)));
    EXPECT_FALSE(file->CreateStream(StreamInfo(8, 6, 30)));  // one stream only
    EXPECT_FALSE(file->MakeCompressedStream(CompressorSettings{MakeFourcc("XVID")}));
    ASSERT_TRUE(file->MakeCompressedStream(CompressorSettings{}));
    EXPECT_FALSE(file->SetFormat(top_down));
    ASSERT_TRUE(std::filesystem::exists(dir / "a.avi"));
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "a.avi"));
  {
    auto file = AviFile::Create(dir / "b.avi");
    ASSERT_TRUE(file && file->CreateStream(StreamInfo(8, 8, 30)) && file->MakeCompressedStream(CompressorSettings{}));
    EXPECT_FALSE(file->SetFormat(image.InfoHeader()));  // 8 × 6 frames for an 8 × 8 stream
    EXPECT_FALSE(file->Close());
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "b.avi"));
  EXPECT_EQ(AviFile::Create(dir / "missing/folder/movie.avi"), nullptr);
}

TEST(AviFile, PathsAreFilesEvenWhenTheyLookLikeProtocols) {
  testing::TempDir dir;
  ASSERT_EQ(WriteDib(dir / "pipe:1.avi", 2, 2, 30, 1).size(), 1u);
  EXPECT_EQ(testing::WalkAvi(dir / "pipe:1.avi").frames.size(), 1u);
}

}  // namespace
}  // namespace talmora
