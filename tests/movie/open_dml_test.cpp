#include <gtest/gtest.h>

#include "support/riff_walk.h"
#include "platform/movie/avi_file.h"
#include "support/cli_harness.h"

namespace talmora {
namespace {

uint32_t FrameColour(int index) { return 0x01000000u * static_cast<uint32_t>(index + 1) | 0x00345678u; }

// 18 frames of 64 MiB: the file passes 1 GiB and, with OpenDML, stays readable to the end.
TEST(OpenDml, MoviesPastOneGibibyteContinueInFurtherRiffsWithEveryFrameIndexed) {
  constexpr int kSide = 4096;
  constexpr int kFrames = 18;
  testing::TempDir dir;
  const std::string path = dir / "large.avi";
  {
    auto file = AviFile::Create(path);
    ASSERT_TRUE(file);
    AviStreamInfo info;
    info.width = info.height = kSide;
    info.szName = "created by talmora";
    ASSERT_TRUE(file->CreateStream(info));
    ASSERT_TRUE(file->MakeCompressedStream(CompressorSettings{}));
    auto frame = Frame::Create(kSide, kSide);
    ASSERT_TRUE(frame);
    BitmapImage image;
    for (int i = 0; i < kFrames; ++i) {
      frame->Clear(FrameColour(i));
      ASSERT_TRUE(image.Encode(*frame));
      if (i == 0) ASSERT_TRUE(file->SetFormat(image.InfoHeader()));
      ASSERT_TRUE(file->Write(i, image.FrameData())) << i;
    }
    ASSERT_TRUE(file->Close());
  }

  const testing::AviLayout avi = testing::WalkAvi(path);
  ASSERT_EQ(avi.error, "");
  ASSERT_GE(avi.riffs.size(), 2u);
  EXPECT_EQ(avi.riffs[0], "AVI ");
  for (size_t i = 1; i < avi.riffs.size(); ++i) EXPECT_EQ(avi.riffs[i], "AVIX");
  EXPECT_EQ(avi.strh.dwLength, static_cast<uint32_t>(kFrames));
  EXPECT_TRUE(avi.has_dmlh);
  EXPECT_EQ(avi.dmlh_frames, static_cast<uint32_t>(kFrames));
  // The legacy index covers the first RIFF only.
  EXPECT_GT(avi.idx1.size(), 0u);
  EXPECT_LT(avi.idx1.size(), static_cast<size_t>(kFrames));

  ASSERT_EQ(avi.odml_index.size(), static_cast<size_t>(kFrames));
  ASSERT_EQ(avi.frames.size(), static_cast<size_t>(kFrames));
  for (int i = 0; i < kFrames; ++i) {
    EXPECT_TRUE(avi.odml_index[i].key);
    EXPECT_EQ(avi.odml_index[i].size, uint32_t{kSide} * kSide * 4);
    const auto& chunk = avi.frames[i];
    const auto tail = testing::ReadChunk(path, {chunk.offset + chunk.size - 4, 4});
    const uint32_t colour = FrameColour(i);
    EXPECT_EQ(tail, (std::vector<uint8_t>{0x78, 0x56, 0x34, static_cast<uint8_t>(colour >> 24)})) << i;
  }
}

}  // namespace
}  // namespace talmora
