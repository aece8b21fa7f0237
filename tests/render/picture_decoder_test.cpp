#include "platform/render/picture_decoder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "platform/render/graphics_device.h"
#include "platform/render/texture.h"
#include "render/picture_files.h"
#include "render/texture_maker.h"

extern "C" {
#include <libavutil/log.h>
}

namespace talmora {
namespace {

class PictureDecoderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { av_log_set_level(AV_LOG_QUIET); }

  // A small picture with every channel varying, alpha included when `alpha` (never 0, where an
  // encoder may drop the colour).
  static std::vector<uint32_t> Pattern(int width, int height, bool alpha) {
    std::vector<uint32_t> pixels;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const uint32_t a = alpha ? static_cast<uint32_t>((x * 37 + y * 11) % 255 + 1) : 255;
        pixels.push_back(a << 24 | (x * 16 % 256) << 16 | (y * 20 % 256) << 8 | ((x + y) * 9 % 256));
      }
    }
    return pixels;
  }

  static std::vector<uint32_t> Pixels(const TexelPlane& plane) {
    std::vector<uint32_t> pixels;
    for (int y = 0; y < plane.Height(); ++y) pixels.insert(pixels.end(), plane.Row(y), plane.Row(y) + plane.Width());
    return pixels;
  }

  std::string Png(const std::string& name, int width, int height, bool alpha) {
    const std::string path = folder_ / name;
    EXPECT_TRUE(WritePng(path, width, height, Pattern(width, height, alpha)));
    return path;
  }

  TempFolder folder_;
};

TEST_F(PictureDecoderTest, LosslessFormatsDecodeExactlyWithTheirAlpha) {
  const std::string opaque = Png("opaque.png", 12, 9, false);
  const std::string alpha = Png("alpha.png", 12, 9, true);
  EXPECT_EQ(Pixels(DecodePicture(alpha)), Pattern(12, 9, true));
  for (const std::string name : {"o.bmp", "o.tga", "o.tiff", "o.ppm", "o.webp", "a.tga", "a.tiff", "a.webp"}) {
    const bool with_alpha = name[0] == 'a';
    const std::string path = folder_ / name;
    ASSERT_TRUE(Convert(with_alpha ? alpha : opaque, path, name.ends_with("webp") ? "-lossless 1" : "")) << name;
    const TexelPlane plane = DecodePicture(path);
    EXPECT_EQ(plane.Width(), 12) << name;
    EXPECT_EQ(Pixels(plane), Pattern(12, 9, with_alpha)) << name;
  }
}

TEST_F(PictureDecoderTest, GreyAndLossyPicturesComeOutOpaque) {
  const std::string source = Png("source.png", 16, 16, false);
  const std::string grey = folder_ / "p.pgm";
  const std::string jpeg = folder_ / "p.jpg";
  ASSERT_TRUE(Convert(source, grey));
  ASSERT_TRUE(Convert(source, jpeg, "-q:v 2"));
  const TexelPlane grey_plane = DecodePicture(grey);
  ASSERT_TRUE(grey_plane.Valid());
  for (const uint32_t p : Pixels(grey_plane)) {
    ASSERT_EQ(p >> 24, 255u);
    ASSERT_EQ(ChannelOf(p, 0), ChannelOf(p, 1));
    ASSERT_EQ(ChannelOf(p, 1), ChannelOf(p, 2));
  }
  const TexelPlane jpeg_plane = DecodePicture(jpeg);
  ASSERT_TRUE(jpeg_plane.Valid());
  ASSERT_EQ(jpeg_plane.Width(), 16);
  long error = 0;
  const auto expected = Pattern(16, 16, false);
  const auto decoded = Pixels(jpeg_plane);
  for (size_t i = 0; i < decoded.size(); ++i) {
    ASSERT_EQ(decoded[i] >> 24, 255u);
    for (int c = 0; c < 3; ++c) error += std::abs(ChannelOf(decoded[i], c) - ChannelOf(expected[i], c));
  }
  EXPECT_LT(error / static_cast<double>(decoded.size() * 3), 12.0);
}

TEST_F(PictureDecoderTest, GifGivesItsFirstFrame) {
  const std::vector<uint32_t> red(64, 0xFFFF0000), blue(64, 0xFF0000FF);
  ASSERT_TRUE(WritePng(folder_ / "frame1.png", 8, 8, red));
  ASSERT_TRUE(WritePng(folder_ / "frame2.png", 8, 8, blue));
  const std::string gif = folder_ / "moving.gif";
  const std::string command = "ffmpeg -nostdin -loglevel error -y -framerate 2 -i '" + folder_.Path() +
                              "/frame%d.png' '" + gif + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const TexelPlane plane = DecodePicture(gif);
  ASSERT_TRUE(plane.Valid());
  // The encoder's palette may shift the shade; the frame must still be the red one.
  for (const uint32_t p : Pixels(plane)) ASSERT_LE(Distance(p, red[0]), 8);
}

TEST_F(PictureDecoderTest, UncompressedDdsDecodes) {
  auto le32 = [](std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  std::vector<uint8_t> dds = {'D', 'D', 'S', ' '};
  le32(dds, 124);
  le32(dds, 0x100F);  // caps, height, width, pitch, pixel format
  le32(dds, 3);       // height
  le32(dds, 5);       // width
  le32(dds, 5 * 4);   // pitch
  for (int i = 0; i < 13; ++i) le32(dds, 0);  // depth, mip count, reserved
  le32(dds, 32);
  le32(dds, 0x41);  // RGB with alpha
  le32(dds, 0);
  le32(dds, 32);
  for (const uint32_t mask : {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u}) le32(dds, mask);
  le32(dds, 0x1000);  // texture
  for (int i = 0; i < 4; ++i) le32(dds, 0);
  const auto pixels = Pattern(5, 3, true);
  for (const uint32_t p : pixels) le32(dds, p);
  WriteBytes(folder_ / "p.dds", dds);
  const TexelPlane plane = DecodePicture(folder_ / "p.dds");
  ASSERT_TRUE(plane.Valid());
  EXPECT_EQ(Pixels(plane), pixels);
}

TEST_F(PictureDecoderTest, NamesAreFileNamesNotPatternsOrProtocols) {
  const std::string odd = folder_ / "100%d: a*b?.png";
  ASSERT_TRUE(WritePng(odd, 3, 2, Pattern(3, 2, true)));
  const TexelPlane plane = DecodePicture(odd);
  ASSERT_TRUE(plane.Valid());
  EXPECT_EQ(Pixels(plane), Pattern(3, 2, true));
}

TEST_F(PictureDecoderTest, OversizedPicturesAreRefusedBeforeTheirMemoryIsTaken) {
  const auto png = ReadBytes(Png("small.png", 4, 4, true));
  for (const auto& [width, height] : {std::pair{100000u, 100000u}, std::pair{20000u, 10u},
                                      std::pair{10u, 16385u}, std::pair{0x7FFFFFFFu, 0x7FFFFFFFu}}) {
    WriteBytes(folder_ / "huge.png", ClaimPngSize(png, width, height));
    EXPECT_FALSE(DecodePicture(folder_ / "huge.png").Valid()) << width << " x " << height;
  }
  // The limit itself is a picture like any other.
  ASSERT_TRUE(WritePng(folder_ / "wide.png", 16384, 1, std::vector<uint32_t>(16384, 0xFF00FF00)));
  EXPECT_EQ(DecodePicture(folder_ / "wide.png").Width(), 16384);
  ASSERT_TRUE(WritePng(folder_ / "wider.png", 16385, 1, std::vector<uint32_t>(16385, 0xFF00FF00)));
  EXPECT_FALSE(DecodePicture(folder_ / "wider.png").Valid());
}

TEST_F(PictureDecoderTest, TruncatedPicturesAreRefused) {
  const std::string source = Png("source.png", 64, 48, true);
  for (const std::string name : {"t.png", "t.jpg", "t.bmp", "t.gif", "t.tga", "t.tiff", "t.webp", "t.ppm"}) {
    const std::string whole = folder_ / name;
    ASSERT_TRUE(Convert(source, whole)) << name;
    auto bytes = ReadBytes(whole);
    bytes.resize(bytes.size() * 2 / 3);
    const std::string cut = folder_ / ("cut-" + name);
    WriteBytes(cut, bytes);
    EXPECT_TRUE(DecodePicture(whole).Valid()) << name;
    EXPECT_FALSE(DecodePicture(cut).Valid()) << name;
  }
}

TEST_F(PictureDecoderTest, BrokenDataIsRefused) {
  auto png = ReadBytes(Png("good.png", 16, 16, true));
  // A flipped byte in the compressed data: the checksum no longer matches.
  png[png.size() - 20] ^= 0x55;
  WriteBytes(folder_ / "flipped.png", png);
  EXPECT_FALSE(DecodePicture(folder_ / "flipped.png").Valid());

  WriteBytes(folder_ / "empty.png", {});
  EXPECT_FALSE(DecodePicture(folder_ / "empty.png").Valid());
  std::vector<uint8_t> noise(5000);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 7919 % 251);
  WriteBytes(folder_ / "noise.jpg", noise);
  EXPECT_FALSE(DecodePicture(folder_ / "noise.jpg").Valid());
  WriteBytes(folder_ / "text.png", {'h', 'e', 'l', 'l', 'o', '\n'});
  EXPECT_FALSE(DecodePicture(folder_ / "text.png").Valid());
}

TEST_F(PictureDecoderTest, OnlyRegularFilesAreRead) {
  EXPECT_FALSE(DecodePicture(folder_.Path()).Valid());
  EXPECT_FALSE(DecodePicture(folder_ / "missing.png").Valid());
  EXPECT_FALSE(DecodePicture("").Valid());
  // A pipe nobody writes to would block a reader forever.
  const std::string fifo = folder_ / "pipe.png";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(DecodePicture(fifo).Valid());
}

TEST_F(PictureDecoderTest, DeviceLoadsATextureAtThePictureSize) {
  GraphicsDevice device;
  auto texture = device.LoadTexture(Png("t.png", 21, 11, true));
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->Width(), 21);
  EXPECT_EQ(texture->Height(), 11);
  EXPECT_FALSE(texture->Opaque());
  EXPECT_EQ(device.LoadTexture(folder_.Path()), nullptr);
}

}  // namespace
}  // namespace talmora
