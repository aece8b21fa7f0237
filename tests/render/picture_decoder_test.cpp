#include "platform/render/picture_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "platform/render/canvas.h"
#include "platform/render/clip_decoder.h"
#include "platform/render/frame.h"
#include "platform/render/texture.h"
#include "render/guarded_heap.h"
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
    const std::vector<uint32_t> expected = Pattern(format.kind);
    for (size_t y = 0; y < 9; ++y) {
      const auto* got = reinterpret_cast<const uint8_t*>(plane.Row(static_cast<int>(y)));
      EXPECT_TRUE(std::equal(got, got + 12 * 4, reinterpret_cast<const uint8_t*>(&expected[12 * y]),
                             [&](int a, int b) { return std::abs(a - b) <= format.tolerance; })) << format.name << " " << y;
    }
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

// The conversion test's picture: limited-range luma in waves under one colour, so that every
// chroma subsampling shows the same picture and no run of texels repeats.
constexpr const char* kWaves = "nullsrc=s=854x480:d=0.04,format=yuv444p,geq=lum='128+60*sin(X/4)+30*cos(Y/5)':cb=120:cr=140";
constexpr int kWavesWidth = 854, kWavesHeight = 480;

// The picture in BGRA, by the BT.601 matrix.
const std::vector<uint32_t>& Waves() {
  static const std::vector<uint32_t> waves = [] {
    const auto channel = [](double v) { return static_cast<uint32_t>(std::clamp(std::lround(v), 0L, 255L)); };
    std::vector<uint32_t> texels;
    for (int y = 0; y < kWavesHeight; ++y) {
      for (int x = 0; x < kWavesWidth; ++x) {
        const double luma = 1.164383 * (std::floor(128 + 60 * std::sin(x / 4.0) + 30 * std::cos(y / 5.0)) - 16);
        texels.push_back(0xFF000000u | channel(luma + 1.596027 * 12) << 16 |
                         channel(luma + 0.391762 * 8 - 0.812968 * 12) << 8 | channel(luma - 2.017232 * 8));
      }
    }
    return texels;
  }();
  return waves;
}

const uint32_t& Wave(int x, int y) {
  return Waves()[static_cast<size_t>(y) * static_cast<size_t>(kWavesWidth) + static_cast<size_t>(x)];
}

// The first texel off by more than `tolerance` in a channel from the range of the picture's
// texels it covers (one, or those it averages when `plane` is smaller); empty when none is.
std::string FirstDifference(const TexelPlane& plane, int width, int height, int tolerance) {
  const auto span = [](int i, int out, int in) { return std::pair{i * in / out, ((i + 1) * in + out - 1) / out}; };
  for (int j = 0; j < plane.Height(); ++j) {
    const auto [top, bottom] = span(j, plane.Height(), height);
    for (int i = 0; i < plane.Width(); ++i) {
      const auto [left, right] = span(i, plane.Width(), width);
      uint8_t low[4] = {255, 255, 255, 255}, high[4] = {};
      for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
          const auto* bytes = reinterpret_cast<const uint8_t*>(&Wave(x, y));
          for (int c = 0; c < 4; ++c) {
            low[c] = std::min(low[c], bytes[c]);
            high[c] = std::max(high[c], bytes[c]);
          }
        }
      }
      const auto* got = reinterpret_cast<const uint8_t*>(&plane.Row(j)[i]);
      for (int c = 0; c < 4; ++c) {
        if (got[c] + tolerance < low[c] || got[c] > high[c] + tolerance) {
          char line[80];
          std::snprintf(line, sizeof line, "%d,%d is %08X, not about %08X", i, j, plane.Row(j)[i],
                        Wave(left, top));
          return line;
        }
      }
    }
  }
  return "";
}

// Every size up to 20 × 20 and three common ones, in the pixel formats decoders hand over, as
// clips (whole and halved) and as pictures: each texel as made, and no library writing past the
// memory we own (a scaler's vector code writes whole blocks, past rows packed at their width).
TEST(PictureDecoder, EverySizeOfClipOrPictureConvertsWholeAndInsideItsMemory) {
  // `tolerance` whole and halved: swscale shrinks RGB through 4:2:2, which moves some colour.
  struct Kind {
    const char* name;
    const char* output;
    const char* extension;
    bool picture;
    int tolerance[2];
    bool all_sizes;
  };
  const Kind kinds[] = {
      {"yuv420p", "format=yuv420p -c:v rawvideo", "nut", false, {3, 3}, true},
      {"yuv422p", "format=yuv422p -c:v rawvideo", "nut", false, {3, 3}, true},
      {"nv12", "format=nv12 -c:v rawvideo", "nut", false, {3, 3}, true},
      {"h264", "format=yuv420p -c:v libx264 -qp 0", "mp4", false, {3, 3}, false},
      // Pictures, decoded as such and as one-frame clips.
      {"rgb24", "format=rgb24", "png", true, {3, 12}, true},
      {"jpeg 4:2:0", "format=yuvj420p -qmin 1 -q:v 1", "jpg", true, {5, 5}, true},
      {"jpeg 4:2:2", "format=yuvj422p -qmin 1 -q:v 1", "jpg", true, {5, 5}, false},
  };
  std::vector<std::pair<int, int>> sizes = {{426, 240}, {854, 480}, {200, 200}};
  const size_t common = sizes.size();
  for (int w = 1; w <= 20; ++w) {
    for (int h = 1; h <= 20; ++h) sizes.emplace_back(w, h);
  }
  const auto used = [&](const Kind& kind) { return kind.all_sizes ? sizes.size() : common; };
  testing::TempDir folder;
  const auto file = [&](const Kind& kind, std::pair<int, int> size) {
    return folder / (kind.name + ("-" + std::to_string(size.first) + "x" + std::to_string(size.second) + ".") + kind.extension);
  };
  // One ffmpeg a kind, all running at once, each cutting hundreds of outputs from one picture.
  std::string script = "pids=\n";
  for (const Kind& kind : kinds) {
    script += "ffmpeg -nostdin -loglevel error -y -filter_threads 1 -f lavfi -i \"" + std::string(kWaves) + "\"";
    for (size_t i = 0; i < used(kind); ++i) {
      script += " -vf crop=" + std::to_string(sizes[i].first) + ":" + std::to_string(sizes[i].second) + ":0:0," +
                kind.output + " -threads 1 -frames:v 1 '" + file(kind, sizes[i]) + "'";
    }
    script += " >/dev/null 2>&1 &\npids=\"$pids $!\"\n";
  }
  script += "for p in $pids; do wait $p || exit 1; done\n";
  ASSERT_EQ(std::system(("bash '" + folder.Write("make.sh", script) + "'").c_str()), 0);

  for (const Kind& kind : kinds) {
    for (size_t i = 0; i < used(kind); ++i) {
      const auto [width, height] = sizes[i];
      const std::string path = file(kind, sizes[i]);
      const testing::GuardedHeap guarded;
      if (kind.picture) {
        const Expected<TexelPlane> picture = DecodePicture(path);
        ASSERT_TRUE(picture) << path << ": " << picture.error().what;
        ASSERT_TRUE(picture->Width() == width && picture->Height() == height) << path;
        EXPECT_EQ(FirstDifference(*picture, width, height, kind.tolerance[0]), "") << path;
      }
      auto clip = ClipDecoder::Open(path);
      ASSERT_TRUE(clip) << path << ": " << clip.error().what;
      const Texture* whole = (*clip)->FrameAt(0, 1, 1);
      ASSERT_TRUE(whole && whole->Width() == width && whole->Height() == height) << path;
      // Drawn over a whole frame before anything reads it: converted straight into the frame where
      // its rows are laid out as the texture's would be, and the same pixels either way.
      const std::unique_ptr<Frame> frame = Frame::Create(width, height);
      ASSERT_TRUE(frame);
      Canvas(*frame, 0xFF000000).DrawTexture(*whole, 1, 1, 0, 0, 0xFFFFFFFF);
      for (int y = 0; y < height; ++y) {
        ASSERT_TRUE(std::equal(frame->Row(y), frame->Row(y) + width, whole->Level(0).Row(y))) << path << " row " << y;
      }
      EXPECT_EQ(FirstDifference(whole->Level(0), width, height, kind.tolerance[0]), "") << path;
      if (width < 2 || height < 2) continue;
      const Texture* half = (*clip)->FrameAt(0, 2, 2);
      ASSERT_TRUE(half && half->Width() == width / 2 && half->Height() == height / 2) << path;
      EXPECT_EQ(FirstDifference(half->Level(0), width, height, kind.tolerance[1]), "") << path << " halved";
    }
  }
}

// Frames are handed to libav's scalers for the compressors' pixel formats, which read past a
// row's end as they do in their own buffers.
TEST(PictureDecoder, FramesLeaveLibavScalersRoomToReadPastTheLastRow) {
  for (int width = 1; width <= 20; ++width) {
    for (int height = 1; height <= 3; ++height) {
      const testing::GuardedHeap guarded;
      const std::unique_ptr<Frame> frame = Frame::Create(width, height);
      ASSERT_TRUE(frame);
      frame->Clear(0xFF336699);
      SwsPtr scaler(sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, AV_PIX_FMT_YUV422P, SWS_BICUBIC,
                                   nullptr, nullptr, nullptr));
      FramePtr picture(av_frame_alloc());
      ASSERT_TRUE(scaler && picture);
      picture->format = AV_PIX_FMT_YUV422P;
      picture->width = width;
      picture->height = height;
      ASSERT_GE(av_frame_get_buffer(picture.get(), 0), 0);
      const auto* rows = reinterpret_cast<const uint8_t*>(frame->Row(0));
      const int stride = width * 4;
      EXPECT_EQ(sws_scale(scaler.get(), &rows, &stride, 0, height, picture->data, picture->linesize), height);
    }
  }
}

}  // namespace
}  // namespace talmora
