#include "platform/render/picture_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "render/picture_files.h"

namespace talmora {
namespace {

// libav's complaints about the broken files would bury the test's own output.
[[maybe_unused]] const bool kQuiet = (av_log_set_level(AV_LOG_QUIET), true);

// 12 × 9 pixels with every channel varying: 'a' with alpha (never 0, where an encoder may drop the
// colour), 'o' opaque, 'g' grey.
std::vector<uint32_t> Pattern(char kind) {
  std::vector<uint32_t> pixels;
  for (uint32_t i = 0; i < 12 * 9; ++i) {
    const uint32_t x = i % 12, y = i / 12, r = x * 16, a = kind == 'a' ? (x * 37 + y * 11) % 255 + 1 : 255;
    pixels.push_back(a << 24 | r << 16 | (kind == 'g' ? r * 0x101 : y * 20 << 8 | (x + y) * 9));
  }
  return pixels;
}

// An uncompressed DDS file with alpha, of 12 × 9 pixels.
void WriteDds(const std::string& path, const std::vector<uint32_t>& pixels) {
  std::vector<uint32_t> words = {0x20534444, 124, 0x100F, 9, 12, 12 * 4};
  words.resize(19);  // depth, level count, reserved
  words.insert(words.end(), {32, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0x1000, 0, 0, 0, 0});
  words.insert(words.end(), pixels.begin(), pixels.end());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(words.data()), words.size() * 4);
}

TEST(PictureDecoder, EachFormatDecodesToItsPixelsAndIsRefusedWhenCut) {
  struct Format { std::string name; const char* options; char kind; int tolerance; };
  const Format formats[] = {
      // Written here, not by ffmpeg: a name that is neither a numbered pattern nor a protocol, and DDS.
      {"100%d: a*b?.pam", nullptr, 'a', 0}, {"a.dds", nullptr, 'a', 0},
      {"a.png", "", 'a', 0}, {"a.tga", "", 'a', 0}, {"a.tiff", "", 'a', 0}, {"a.webp", "-lossless 1", 'a', 0},
      {"o.bmp", "", 'o', 0}, {"o.ppm", "", 'o', 0}, {"g.pgm", "", 'g', 0},
      {"o.jpg", "-q:v 2 -pix_fmt yuvj444p", 'o', 6},
      // Two frames, the second the negative of the first, on a palette of their exact colours.
      {"o.gif", "-filter_complex 'split[a][b];[b]negate[n];[a][n]concat,split[c][d];[c]palettegen[p];"
                "[d][p]paletteuse=dither=none'", 'o', 0},
  };
  testing::TempDir folder;
  for (const char kind : {'a', 'o', 'g'}) WritePam(folder / (kind + std::string(".pam")), 12, 9, Pattern(kind));
  WritePam(folder / formats[0].name, 12, 9, Pattern('a'));
  WriteDds(folder / formats[1].name, Pattern('a'));
  for (const Format& format : formats) {
    const std::string path = folder / format.name;
    const std::string source = folder / (format.kind + std::string(".pam"));
    ASSERT_TRUE(!format.options || Convert(source, path, format.options)) << path;
    const Expected<TexelPlane> decoded = DecodePicture(path);
    ASSERT_TRUE(decoded) << format.name << ": " << decoded.error().what;
    const TexelPlane& plane = *decoded;
    ASSERT_TRUE(plane.Width() == 12 && plane.Height() == 9) << format.name;
    const auto* got = reinterpret_cast<const uint8_t*>(plane.Row(0));
    const std::vector<uint32_t> expected = Pattern(format.kind);
    EXPECT_TRUE(std::equal(got, got + 12 * 9 * 4, reinterpret_cast<const uint8_t*>(expected.data()),
                           [&](int a, int b) { return std::abs(a - b) <= format.tolerance; })) << format.name;
    const std::string bytes = testing::ReadFile(path);
    EXPECT_FALSE(DecodePicture(folder.Write("cut", bytes.substr(0, bytes.size() * 2 / 3))).has_value()) << format.name;
  }
}

TEST(PictureDecoder, PngLyingAboutItsSizeOrDataIsRefusedBeforeItsMemoryIsTaken) {
  testing::TempDir folder;
  ASSERT_TRUE(WritePng(folder / "small.png", 12, 9, Pattern('a')));
  const std::string png = testing::ReadFile(folder / "small.png");
  for (const auto& [width, height] : {std::pair{100000u, 100000u}, std::pair{20000u, 10u},
                                      std::pair{10u, 16385u}, std::pair{0x7FFFFFFFu, 0x7FFFFFFFu}}) {
    const std::string huge = folder.Write("huge.png", ClaimPngSize(png, width, height));
    EXPECT_FALSE(DecodePicture(huge).has_value()) << width << " x " << height;
  }
  std::string flipped = png;
  flipped[png.size() - 20] ^= 0x55;  // the data no longer matches its checksum
  EXPECT_FALSE(DecodePicture(folder.Write("flipped.png", flipped)).has_value());
  for (const int side : {16384, 16385}) {  // the limit itself is a picture like any other
    ASSERT_TRUE(WritePng(folder / "long.png", side, 1, std::vector<uint32_t>(side, 0xFF00FF00)));
    EXPECT_EQ(DecodePicture(folder / "long.png").has_value(), side == 16384);
  }
}

}  // namespace
}  // namespace talmora
