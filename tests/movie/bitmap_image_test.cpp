#include "platform/movie/bitmap_image.h"

#include <gtest/gtest.h>

#include "movie/movie_frames.h"

namespace talmora {
namespace {

uint32_t Le32(std::span<const uint8_t> bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

TEST(BitmapImage, IsA32BitBottomUpBmpWithPixelsInBlueGreenRedAlphaOrder) {
  BitmapImage image;
  // A larger frame first: the reused storage must follow the smaller one.
  ASSERT_TRUE(image.Encode(*testing::MakeFrame(9, 7, [](int x, int y) { return testing::NoisePixel(x, y, 1); })));
  auto frame = testing::MakeFrame(3, 2, [](int x, int y) { return testing::NoisePixel(x, y, 0); });
  ASSERT_TRUE(image.Encode(*frame));
  const auto bytes = image.Bytes();
  ASSERT_EQ(bytes.size(), 54u + 3 * 2 * 4);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  EXPECT_EQ(Le32(bytes, 2), bytes.size());
  EXPECT_EQ(Le32(bytes, 10), 54u);
  EXPECT_EQ(Le32(bytes, 14), 40u);            // biSize
  EXPECT_EQ(Le32(bytes, 18), 3u);             // biWidth
  EXPECT_EQ(Le32(bytes, 22), 2u);             // biHeight, positive: bottom-up
  EXPECT_EQ(bytes[26] | bytes[27] << 8, 1);   // biPlanes
  EXPECT_EQ(bytes[28] | bytes[29] << 8, 32);  // biBitCount
  EXPECT_EQ(Le32(bytes, 30), 0u);             // BI_RGB
  EXPECT_EQ(Le32(bytes, 34), 24u);            // biSizeImage

  const BitmapInfoHeader info = image.InfoHeader();
  EXPECT_EQ(info.biWidth, 3);
  EXPECT_EQ(info.biHeight, 2);
  EXPECT_TRUE(info.IsFrameFormat());

  const auto data = image.FrameData();
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      const uint32_t argb = frame->Row(1 - y)[x];  // file row 0 is the bottom frame row
      EXPECT_EQ(Le32(data, (static_cast<size_t>(y) * 3 + x) * 4), argb) << x << "," << y;
    }
  }
}

TEST(BitmapInfoHeader, OnlyUsable32BitBottomUpFramesAreFrameFormat) {
  auto changed = [](auto change) {
    BitmapInfoHeader h;
    h.biWidth = 640;
    h.biHeight = 480;
    change(h);
    return h.IsFrameFormat();
  };
  EXPECT_TRUE(changed([](auto&) {}));
  EXPECT_FALSE(changed([](auto& h) { h.biHeight = -480; }));  // top-down
  EXPECT_FALSE(changed([](auto& h) { h.biWidth = 0; }));
  EXPECT_FALSE(changed([](auto& h) { h.biBitCount = 24; }));
  EXPECT_FALSE(changed([](auto& h) { h.biCompression = 3; }));  // BI_BITFIELDS
  EXPECT_FALSE(changed([](auto& h) { h.biWidth = Frame::kMaxSide + 1; }));
}

}  // namespace
}  // namespace talmora
