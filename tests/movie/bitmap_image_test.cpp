#include "platform/movie/bitmap_image.h"

#include <gtest/gtest.h>

#include <array>

#include "movie/movie_frames.h"

namespace talmora {
namespace {

uint32_t Le32(std::span<const uint8_t> bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

TEST(BitmapImage, HeadersDescribeA32BitBottomUpImage) {
  auto frame = testing::MakeFrame(3, 2, [](int x, int y) { return testing::NoisePixel(x, y, 0); });
  BitmapImage image;
  ASSERT_TRUE(image.Encode(*frame));
  const auto bytes = image.Bytes();
  ASSERT_EQ(bytes.size(), 54u + 3 * 2 * 4);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  EXPECT_EQ(Le32(bytes, 2), bytes.size());
  EXPECT_EQ(Le32(bytes, 6), 0u);
  EXPECT_EQ(Le32(bytes, 10), 54u);

  EXPECT_EQ(Le32(bytes, 14), 40u);          // biSize
  EXPECT_EQ(Le32(bytes, 18), 3u);           // biWidth
  EXPECT_EQ(Le32(bytes, 22), 2u);           // biHeight, positive
  EXPECT_EQ(bytes[26] | bytes[27] << 8, 1);   // biPlanes
  EXPECT_EQ(bytes[28] | bytes[29] << 8, 32);  // biBitCount
  EXPECT_EQ(Le32(bytes, 30), 0u);           // BI_RGB
  EXPECT_EQ(Le32(bytes, 34), 24u);          // biSizeImage

  const BitmapInfoHeader info = image.InfoHeader();
  EXPECT_EQ(info.biWidth, 3);
  EXPECT_EQ(info.biHeight, 2);
  EXPECT_TRUE(info.IsFrameFormat());
  EXPECT_EQ(info.FrameDataSize(), image.FrameData().size());
}

TEST(BitmapImage, RowsRunBottomUpInBlueGreenRedAlphaOrder) {
  auto frame = testing::MakeFrame(3, 2, [](int x, int y) { return testing::NoisePixel(x, y, 7); });
  BitmapImage image;
  ASSERT_TRUE(image.Encode(*frame));
  const auto data = image.FrameData();
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      const uint32_t argb = frame->Row(1 - y)[x];  // file row 0 is the bottom frame row
      const size_t at = (static_cast<size_t>(y) * 3 + x) * 4;
      EXPECT_EQ(data[at + 0], argb & 0xff) << x << "," << y;
      EXPECT_EQ(data[at + 1], argb >> 8 & 0xff);
      EXPECT_EQ(data[at + 2], argb >> 16 & 0xff);
      EXPECT_EQ(data[at + 3], argb >> 24);
    }
  }
}

TEST(BitmapImage, StorageFollowsTheFrameSizeWhenReused) {
  BitmapImage image;
  auto large = testing::MakeFrame(9, 7, [](int x, int y) { return testing::NoisePixel(x, y, 1); });
  auto small = testing::MakeFrame(2, 1, [](int x, int) { return x ? 0x11223344u : 0xAABBCCDDu; });
  ASSERT_TRUE(image.Encode(*large));
  ASSERT_TRUE(image.Encode(*small));
  ASSERT_EQ(image.Bytes().size(), 54u + 8);
  EXPECT_EQ(image.InfoHeader().biWidth, 2);
  EXPECT_EQ(image.InfoHeader().biHeight, 1);
  const std::array<uint8_t, 8> expected = {0xDD, 0xCC, 0xBB, 0xAA, 0x44, 0x33, 0x22, 0x11};
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), image.FrameData().begin()));
}

TEST(BitmapInfoHeader, WritesAndReadsEveryFieldLittleEndian) {
  BitmapInfoHeader header;
  header.biWidth = 0x01020304;
  header.biHeight = -5;
  header.biBitCount = 24;
  header.biCompression = 0x47504A4D;
  header.biSizeImage = 0xFFFFFFFF;
  header.biXPelsPerMeter = -1;
  header.biYPelsPerMeter = 2835;
  header.biClrUsed = 7;
  header.biClrImportant = 9;
  std::array<uint8_t, 40> bytes{};
  header.Write(bytes);
  EXPECT_EQ(bytes[4], 0x04);
  EXPECT_EQ(bytes[7], 0x01);
  EXPECT_EQ(bytes[8], 0xFB);
  EXPECT_EQ(bytes[11], 0xFF);
  const BitmapInfoHeader back = BitmapInfoHeader::Read(bytes);
  EXPECT_EQ(back.biSize, 40u);
  EXPECT_EQ(back.biWidth, header.biWidth);
  EXPECT_EQ(back.biHeight, -5);
  EXPECT_EQ(back.biPlanes, 1);
  EXPECT_EQ(back.biBitCount, 24);
  EXPECT_EQ(back.biCompression, header.biCompression);
  EXPECT_EQ(back.biSizeImage, header.biSizeImage);
  EXPECT_EQ(back.biXPelsPerMeter, -1);
  EXPECT_EQ(back.biYPelsPerMeter, 2835);
  EXPECT_EQ(back.biClrUsed, 7u);
  EXPECT_EQ(back.biClrImportant, 9u);
}

TEST(BitmapInfoHeader, OnlyUsable32BitBottomUpFramesAreFrameFormat) {
  BitmapInfoHeader good;
  good.biWidth = 640;
  good.biHeight = 480;
  EXPECT_TRUE(good.IsFrameFormat());

  auto changed = [&](auto change) {
    BitmapInfoHeader h = good;
    change(h);
    return h.IsFrameFormat();
  };
  EXPECT_FALSE(changed([](auto& h) { h.biHeight = -480; }));  // top-down
  EXPECT_FALSE(changed([](auto& h) { h.biWidth = 0; }));
  EXPECT_FALSE(changed([](auto& h) { h.biBitCount = 24; }));
  EXPECT_FALSE(changed([](auto& h) { h.biCompression = 3; }));  // BI_BITFIELDS
  EXPECT_FALSE(changed([](auto& h) { h.biSize = 124; }));
  EXPECT_FALSE(changed([](auto& h) { h.biWidth = Frame::kMaxSide + 1; }));
}

}  // namespace
}  // namespace talmora
