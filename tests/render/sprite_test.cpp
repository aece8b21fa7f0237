#include "platform/render/canvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "platform/render/affine_draw.h"
// The row kernels' wide vectors pass only between inline functions, as in the compositor itself.
#pragma GCC diagnostic ignored "-Wpsabi"
#include "platform/render/blend_row.h"
#include "platform/render/filter_taps.h"
#include "platform/render/frame.h"
#include "platform/render/resampler.h"
#include "platform/render/texture.h"

namespace talmora {
namespace {

constexpr uint32_t kBackground = 0xFF203040;

// A texture from a function giving each texel as straight-alpha 0xAARRGGBB.
template <typename Texel>
std::unique_ptr<Texture> MakeTexture(int width, int height, Texel texel) {
  TexelPlane plane(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) plane.Row(y)[x] = texel(x, y);
  }
  return Texture::FromStraightAlpha(std::move(plane));
}

// Channel 0 is blue, 1 green, 2 red, 3 alpha.
int Channel(uint32_t argb, int channel) { return static_cast<int>(argb >> (8 * channel) & 0xFF); }

int Distance(uint32_t a, uint32_t b, int channels = 4) {
  int most = 0;
  for (int c = 0; c < channels; ++c) most = std::max(most, std::abs(Channel(a, c) - Channel(b, c)));
  return most;
}

std::unique_ptr<Frame> Blank(int width = 64, int height = 48, uint32_t background = kBackground) {
  auto frame = Frame::Create(width, height);
  frame->Clear(background);
  return frame;
}

// A frame filled with `background`, the texture drawn on it: texel (u, v) lands on (u sx + tx, v sy + ty).
std::unique_ptr<Frame> Drawn(int width, int height, const Texture& texture, float sx, float sy, float tx, float ty,
                             uint32_t argb = 0xFFFFFFFF, uint32_t background = kBackground) {
  auto frame = Blank(width, height, background);
  Canvas(*frame).DrawTexture(texture, sx, sy, tx, ty, argb);
  return frame;
}

// Straight-alpha source-over of one texel in one colour, in doubles, alpha blended like the colours.
uint32_t ReferenceBlend(uint32_t texel, uint32_t colour, uint32_t dst) {
  const double alpha = Channel(texel, 3) / 255.0 * (Channel(colour, 3) / 255.0);
  uint32_t out = 0;
  for (int c = 0; c < 4; ++c) {
    const double source = c == 3 ? alpha * 255 : Channel(texel, c) * (Channel(colour, c) / 255.0);
    out |= static_cast<uint32_t>(std::lround(source * alpha + Channel(dst, c) * (1 - alpha))) << (8 * c);
  }
  return out;
}

TEST(SpritePlacement, CoversExactlyThePixelsWhoseCentresLieInsideInTheTextureColour) {
  auto texture = MakeTexture(10, 10, [](int, int) { return 0xFF00FF00u; });
  struct Case { float sx, sy, tx, ty; Rect covered; };
  const Case cases[] = {
      // Columns 3.4 .. 15.9; rows 7.5 .. 12.5, the near edge's centre in, the far one's out.
      {1.25f, 0.5f, 3.4f, 7.5f, {3, 7, 16, 12}},
      {-2, -1.5f, 30, 20, {10, 5, 30, 20}},      // mirrored
      {3, 3, -10, 50, {0, 50, 20, 64}},          // partly outside the frame
      {1e-15f, 0.4f, 0.5f, 0, {0, 0, 1, 4}},     // vanishingly thin, straddling a centre
      // Nothing: outside the frame, too thin for any centre, or no transform at all.
      {1, 1, 1e9f, 0, {}}, {1, 1, -1e9f, 0, {}}, {1, 1, 0, 64, {}}, {1, 1, -10, 0, {}}, {-1, 1, 0, 0, {}},
      {1e30f, 1, -1e38f, 0, {}}, {1, -1e9f, 0, -1, {}}, {1e-30f, 1, 5, 5, {}}, {0, 1, 5, 5, {}}, {1, 0, 5, 5, {}},
      {NAN, 1, 0, 0, {}}, {1, 1, NAN, 0, {}}, {1, 1, INFINITY, 0, {}}, {1, 1, 0, -INFINITY, {}},
      {INFINITY, INFINITY, 0, 0, {}},
  };
  for (const Case& c : cases) {
    auto frame = Drawn(64, 64, *texture, c.sx, c.sy, c.tx, c.ty);
    for (int y = 0; y < 64; ++y) {
      for (int x = 0; x < 64; ++x) {
        const bool inside = x >= c.covered.left && x < c.covered.right && y >= c.covered.top && y < c.covered.bottom;
        ASSERT_EQ(frame->Row(y)[x], inside ? 0xFF00FF00u : kBackground)
            << c.sx << " " << c.sy << " " << c.tx << " " << c.ty << " at " << x << ", " << y;
      }
    }
  }
}

TEST(SpritePlacement, NegativeScalesMirror) {
  auto texture = MakeTexture(20, 10, [](int x, int y) { return 0xFF000000u | (x * 12) << 16 | (y * 25) << 8; });
  // At whole pixels the texels are copied, in reverse order when mirrored.
  auto plain = Drawn(40, 30, *texture, 1, 1, 5, 5);
  auto mirrored = Drawn(40, 30, *texture, -1, -1, 25, 15);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 20; ++x) {
      ASSERT_EQ(plain->Row(5 + y)[5 + x], texture->Level(0).Row(y)[x]);
      ASSERT_EQ(mirrored->Row(5 + y)[5 + x], texture->Level(0).Row(9 - y)[19 - x]);
    }
  }
  // Stretched: the mirrored drawing is the plain one read backwards.
  plain = Drawn(80, 60, *texture, 3, 2.5f, 4, 7);
  mirrored = Drawn(80, 60, *texture, -3, 2.5f, 64, 7);
  for (int y = 7; y < 32; ++y) {
    for (int x = 4; x < 64; ++x) ASSERT_LE(Distance(mirrored->Row(y)[x], plain->Row(y)[67 - x]), 1);
  }
}

TEST(SpriteFiltering, StretchIsBilinearBetweenTexelCentresClampedBeyondAndWithoutDarkFringes) {
  auto texture = MakeTexture(2, 1, [](int x, int) { return x ? 0xFFFFFFFFu : 0xFF000000u; });
  auto frame = Drawn(200, 1, *texture, 100, 1, 0, 0);
  // From texel centre 0 at pixel 50 to texel centre 1 at pixel 150.
  for (int x = 0; x < 200; ++x) ASSERT_NEAR(Channel(frame->Row(0)[x], 1), 2.55 * std::clamp(x - 49.5, 0.0, 100.0), 1);
  // Blown up to two billion pixels, the frame on the seam between the centres: all halfway grey,
  // and only these pixels are worked out.
  frame = Drawn(64, 64, *texture, 1e9f, 1e9f, -1e9f, -10);
  for (int x = 0; x < 64; ++x) ASSERT_NEAR(Channel(frame->Row(63)[x], 1), 128, 1);
  // Opaque red beside transparent black, over white: filtered premultiplied, each pixel is red
  // over white, never darker.
  texture = MakeTexture(4, 1, [](int x, int) { return x < 2 ? 0xFFFF0000u : 0x00000000u; });
  frame = Drawn(160, 1, *texture, 40, 1, 0, 0, 0xFFFFFFFF, 0xFFFFFFFF);
  for (int x = 0; x < 160; ++x) {
    const int level = x < 60 ? 0 : x >= 100 ? 255 : Channel(frame->Row(0)[x], 0);
    ASSERT_EQ(frame->Row(0)[x] & 0xFFFFFF, 0xFF0000u | level << 8 | level) << x;
  }
}

TEST(SpriteFiltering, WideRowsGiveTheNarrowRowsBytesStretchedAndShrunk) {
  std::mt19937 random(5);
  TexelPlane plane(37, 23);
  for (int y = 0; y < 23; ++y) {
    for (int x = 0; x < 37; ++x) {
      const uint32_t texel = static_cast<uint32_t>(random()), alpha = texel >> 24;
      plane.Row(y)[x] = alpha << 24 | (texel >> 16 & 0xFF) * alpha / 255 << 16 | (texel >> 8 & 0xFF) * alpha / 255 << 8 |
                        (texel & 0xFF) * alpha / 255;
    }
  }
  // Two taps (stretched) and more (shrunk), mirrored, past the edges; every count to 30.
  for (const double step : {0.37, 1.0, -0.8, 1.7, 3.1}) {
    for (int count = 1; count <= 30; ++count) {
      auto columns = FilterTaps::Create(count, -1.3, step, 37);
      auto rows = FilterTaps::Create(3, 2.6, step, 23);
      ASSERT_TRUE(columns && rows);
      Resampler resampler(plane, *columns, *rows);
      ASSERT_TRUE(resampler.Valid());
      for (int j = 0; j < 3; ++j) {
        std::vector<uint32_t> narrow(static_cast<size_t>(count)), wide(narrow.size());
        ASSERT_TRUE(resampler.Row(false, j, narrow.data()));
        if (!resampler.Row(true, j, wide.data())) GTEST_SKIP() << "no AVX2 here";
        ASSERT_EQ(wide, narrow) << step << " " << count << " row " << j;
      }
    }
  }
}

TEST(SpriteFiltering, ShrinkingAveragesFineDetailAndKeepsGradientsInPlace) {
  // Red: one-texel checks; blue: a gradient across; green: a gradient down, each in place to a tenth
  // of a pixel. Odd sides, so that the halved levels have odd sides too.
  auto texture = MakeTexture(511, 127, [](uint32_t x, uint32_t y) {
    return 0xFF000000u | (x + y) % 2 * 0xFF0000u | 2 * y << 8 | x / 2;
  });
  for (const auto& [sx, sy] : {std::pair{0.125f, 1.0f}, {0.05f, 0.05f}, {0.13f, 0.5f}, {0.37f, 0.37f}, {0.5f, 0.5f}}) {
    for (const float offset : {0.0f, 0.25f, 0.5f}) {
      auto frame = Drawn(260, 130, *texture, sx, sy, offset, offset);
      SCOPED_TRACE(::testing::Message() << sx << " " << sy << " " << offset);
      for (int y = 1; y < static_cast<int>(127 * sy) - 1; ++y) {
        for (int x = 1; x < static_cast<int>(511 * sx) - 1; ++x) {
          const double u = (x + 0.5 - offset) / sx, v = (y + 0.5 - offset) / sy;  // in texels
          ASSERT_NEAR(Channel(frame->Row(y)[x], 2), 128, 6) << x << ", " << y;
          ASSERT_NEAR(Channel(frame->Row(y)[x], 0), u / 2 - 0.5, 1 + 0.05 / sx) << x << ", " << y;
          ASSERT_NEAR(Channel(frame->Row(y)[x], 1), 2 * v - 1, 1 + 0.2 / sy) << x << ", " << y;
        }
      }
    }
  }
}

TEST(SpriteColour, TexelTimesColourBlendsOverTheFrame) {
  for (const uint32_t texel : {0x80FF8040u, 0x40FFFFFFu, 0xFF123456u, 0x01FFFFFFu, 0xFE010203u, 0x00FFFFFFu}) {
    for (const uint32_t colour : {0xFFFFFFFFu, 0xFFFF0000u, 0x80FFFFFFu, 0xC0FF8020u, 0x01FFFFFFu, 0x00FFFFFFu}) {
      SCOPED_TRACE(::testing::Message() << std::hex << texel << " " << colour);
      auto texture = MakeTexture(3, 3, [texel](int, int) { return texel; });
      const uint32_t pixel = Drawn(3, 3, *texture, 1, 1, 0, 0, colour, 0xC0408020)->Row(1)[1];
      // Nothing at all where either alpha is 0; elsewhere within one level of the arithmetic.
      ASSERT_LE(Distance(pixel, ReferenceBlend(texel, colour, 0xC0408020)), (texel >> 24) && (colour >> 24) ? 1 : 0);
      // Scaled drawing takes the filtered path and must agree.
      ASSERT_EQ(Drawn(9, 9, *texture, 3, 3, 0, 0, colour, 0xC0408020)->Row(4)[4], pixel);
    }
  }
}

struct Kernel {
  BlendMode mode;
  bool reverse, premultiplied;
  BlendRowFunction narrow;
};

template <BlendMode kMode, bool kReverse, bool kPremultiplied>
Kernel Narrow() {
  return {kMode, kReverse, kPremultiplied, [](uint32_t* dst, const uint32_t* src, int count, const Tint& tint) {
            BlendRowSteps<kMode, kReverse, kPremultiplied, 4, false>(dst, src, count, tint);
          }};
}

TEST(SpriteColour, WideRowsGiveTheNarrowRowsBytesEveryModeWidthAndDirection) {
  if (!WideBlendRow(BlendMode::kOver, false, false)) GTEST_SKIP() << "no AVX2 here: only the narrow rows run";
  using enum BlendMode;
  const Kernel kernels[] = {Narrow<kCopy, false, false>(),   Narrow<kCopy, true, true>(),    Narrow<kOver, false, false>(),
                            Narrow<kOver, true, false>(),    Narrow<kOver, false, true>(),   Narrow<kOver, true, true>(),
                            Narrow<kTinted, false, false>(), Narrow<kTinted, true, false>(), Narrow<kTinted, false, true>(),
                            Narrow<kTinted, true, true>()};
  std::mt19937 random(7);
  auto byte = [&random](uint32_t most = 255) { return std::uniform_int_distribution<uint32_t>(0, most)(random); };
  // Runs of transparent, opaque and translucent texels, each channel within its alpha; long runs
  // fill whole steps, so that transparent ones are passed over and opaque ones copied.
  auto texels = [&](int count) {
    std::vector<uint32_t> row;
    while (static_cast<int>(row.size()) < count) {
      const uint32_t kind = byte(3), run = 1 + byte(20);
      for (uint32_t k = 0; k < run; ++k) {
        const uint32_t alpha = kind == 0 ? 0 : kind == 1 ? 255 : byte();
        row.push_back(alpha << 24 | byte(alpha) << 16 | byte(alpha) << 8 | byte(alpha));
      }
    }
    row.resize(static_cast<size_t>(count));
    return row;
  };
  for (const Kernel& k : kernels) {
    const BlendRowFunction wide = WideBlendRow(k.mode, k.reverse, k.premultiplied);
    for (const uint32_t colour : {0xFFFFFFFFu, 0x80FFFFFFu, 0xC0FF8020u, 0xFF0000FFu, 0x01FFFFFFu}) {
      const Tint tint = MakeTint(colour);
      for (int count = 1; count <= 70; ++count) {
        SCOPED_TRACE(::testing::Message() << static_cast<int>(k.mode) << " " << k.reverse << " " << k.premultiplied
                                          << " " << std::hex << colour << std::dec << " " << count);
        const std::vector<uint32_t> source = texels(count);
        // A pixel of margin either side, which neither kernel may touch.
        std::vector<uint32_t> narrow(static_cast<size_t>(count) + 2);
        for (uint32_t& pixel : narrow) pixel = byte() << 24 | byte() << 16 | byte() << 8 | byte();
        std::vector<uint32_t> wider = narrow;
        const uint32_t* src = k.reverse ? source.data() + count - 1 : source.data();
        k.narrow(narrow.data() + 1, src, count, tint);
        wide(wider.data() + 1, src, count, tint);
        ASSERT_EQ(wider, narrow);
      }
    }
  }
}

// A frame filled with `background`, the texture drawn on the rectangle turned by `degrees`.
std::unique_ptr<Frame> Turned(int width, int height, const Texture& texture, Rect rect, double degrees,
                              uint32_t argb = 0xFFFFFFFF, uint32_t background = kBackground) {
  auto frame = Blank(width, height, background);
  Canvas(*frame).DrawTurnedTexture(texture, rect, degrees, argb);
  return frame;
}

TEST(SpriteTurn, RightAnglesMoveEveryTexelWholeAboutTheCentre) {
  // Every texel different, so that any misplaced one shows; sides of equal parity, so that the
  // turned texel centres land on pixel centres.
  auto texture = MakeTexture(6, 4, [](int x, int y) { return 0xFF000000u | (x * 40) << 16 | (y * 60) << 8 | (x * y); });
  struct Case { Rect rect; double degrees; uint32_t argb; };
  const Case cases[] = {
      {{10, 20, 16, 24}, 90, 0xFFFFFFFF}, {{10, 20, 16, 24}, 180, 0xFFFFFFFF}, {{10, 20, 16, 24}, 270, 0xFFFFFFFF},
      {{10, 20, 16, 24}, -90, 0xC0FF8040}, {{10, 20, 16, 24}, 450, 0xFFFFFFFF},
      {{16, 24, 10, 20}, 90, 0xFFFFFFFF},  // mirrored both ways, then turned
      {{7, 3, 19, 11}, 90, 0xFFFFFFFF},    // doubled: each texel a 2 × 2 block (bilinear between is not whole)
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.rect.left << " " << c.rect.right << " at " << c.degrees);
    auto frame = Turned(40, 40, *texture, c.rect, c.degrees, c.argb);
    const double sx = (c.rect.right - c.rect.left) / 6.0, sy = (c.rect.bottom - c.rect.top) / 4.0;
    const double cx = (c.rect.left + c.rect.right) / 2.0, cy = (c.rect.top + c.rect.bottom) / 2.0;
    const double turn = c.degrees * M_PI / 180;
    int covered = 0;
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 40; ++x) {
        // The pixel centre turned back onto the picture.
        const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
        const double u = (cx + std::cos(turn) * dx + std::sin(turn) * dy - c.rect.left) / sx;
        const double v = (cy - std::sin(turn) * dx + std::cos(turn) * dy - c.rect.top) / sy;
        const bool inside = u > 0 && u < 6 && v > 0 && v < 4;
        covered += inside;
        const uint32_t expected = inside ? ReferenceBlend(texture->Level(0).Row(static_cast<int>(v))[static_cast<int>(u)],
                                                          c.argb, kBackground)
                                         : kBackground;
        if (std::fabs(sx) == 1) {
          ASSERT_LE(Distance(frame->Row(y)[x], expected), c.argb == 0xFFFFFFFF ? 0 : 1) << x << ", " << y;
        } else if (!inside) {
          ASSERT_EQ(frame->Row(y)[x], kBackground) << x << ", " << y;
        }
      }
    }
    EXPECT_EQ(covered, static_cast<int>(std::fabs(sx * sy) * 24));
  }
  // Whole turns draw nothing different: the caller keeps to the straight path for them.
  EXPECT_FALSE(IsTurned(0) || IsTurned(360) || IsTurned(-720) || IsTurned(-0.0));
  EXPECT_TRUE(IsTurned(1e-9) && IsTurned(90));
}

TEST(SpriteTurn, WideSamplesGiveTheNarrowSamplesBytesAlongAnyDirection) {
  std::mt19937 random(3);
  TexelPlane plane(41, 29);
  for (int y = 0; y < 29; ++y) {
    for (int x = 0; x < 41; ++x) plane.Row(y)[x] = static_cast<uint32_t>(random()) | 0xFF000000u;
  }
  auto fixed = [](double texels) { return static_cast<int64_t>(texels * 4294967296.0); };
  std::uniform_real_distribution<double> turn(0, 2 * M_PI), fraction(0, 1);
  for (int count = 1; count <= 40; ++count) {
    // From somewhere on the plane's centre texel, at most 18 texels across and 11 down in any
    // direction, so that every sample keeps a texel right of and below it; whole steps too, and
    // none at all.
    const double angle = turn(random);
    const double length = count % 7 == 0 ? 0 : count % 5 == 0 && count <= 18 ? 1 : 18 * fraction(random) / count;
    const int64_t u = fixed(20 + fraction(random)), v = fixed(14 + fraction(random));
    const int64_t step_u = fixed(length * std::cos(angle)), step_v = fixed(length * std::sin(angle) * 0.6);
    std::vector<uint32_t> narrow(static_cast<size_t>(count)), wide(narrow.size());
    ASSERT_TRUE(SampleInside(false, plane, u, v, step_u, step_v, narrow.data(), count));
    if (!SampleInside(true, plane, u, v, step_u, step_v, wide.data(), count)) GTEST_SKIP() << "no AVX2 here";
    ASSERT_EQ(wide, narrow) << count << " at " << angle << " by " << length;
  }
}

TEST(SpriteTurn, At45DegreesCornersLandOnTheGeometryAndEdgesArePartial) {
  // Black on white: coverage is how dark a pixel gets. Compared with the area of the pixel the
  // turned square covers, sampled finely.
  auto texture = MakeTexture(20, 20, [](int, int) { return 0xFF000000u; });
  for (const double degrees : {45.0, -135.0}) {
    auto frame = Turned(80, 80, *texture, {30, 30, 50, 50}, degrees, 0xFFFFFFFF, 0xFFFFFFFF);
    const double h = 10 * std::sqrt(2.0);  // centre (40, 40) to each corner, along the axes
    int partial = 0;
    double ink = 0;
    for (int y = 0; y < 80; ++y) {
      for (int x = 0; x < 80; ++x) {
        int inside = 0;
        for (int i = 0; i < 16; ++i) {
          for (int j = 0; j < 16; ++j) inside += std::fabs(x + (i + 0.5) / 16 - 40) + std::fabs(y + (j + 0.5) / 16 - 40) < h;
        }
        const double area = inside / 256.0;
        const double coverage = 1 - Channel(frame->Row(y)[x], 0) / 255.0;
        ASSERT_NEAR(coverage, area, 0.2) << x << ", " << y;
        if (area == 0 || area == 1) {
          ASSERT_EQ(frame->Row(y)[x], area == 0 ? 0xFFFFFFFFu : 0xFF000000u) << x << ", " << y;
        }
        partial += coverage > 0.1 && coverage < 0.9;
        ink += coverage;
      }
    }
    EXPECT_NEAR(ink, 400, 4);  // the corners lose a little
    EXPECT_GT(partial, 40);    // one or two on each edge in every row
    // Corners at 40 ± 14.14: the pixel 0.7 inside each holds ink, the one a pixel beyond none.
    for (const auto& [x, y, beyond_x, beyond_y] : {std::array{40, 26, 40, 24}, {53, 40, 55, 40}, {40, 53, 40, 55},
                                                   {26, 40, 24, 40}}) {
      EXPECT_LT(Channel(frame->Row(y)[x], 0), 255) << x << ", " << y;
      EXPECT_EQ(frame->Row(beyond_y)[beyond_x], 0xFFFFFFFFu) << beyond_x << ", " << beyond_y;
    }
  }
}

TEST(SpriteTurn, ShrunkAveragesAndFarOffOrDegenerateTouchesNothingOutside) {
  // One-texel red checks shrunk to a fifth and turned: a level of the chain is sampled, so the
  // inside is an even mix, not aliased stripes.
  auto checks = MakeTexture(400, 200, [](int x, int y) { return (x + y) % 2 ? 0xFFFF0000u : 0xFF000000u; });
  auto frame = Turned(120, 120, *checks, {20, 40, 100, 80}, 30);
  for (int y = 55; y < 65; ++y) {
    for (int x = 50; x < 70; ++x) ASSERT_NEAR(Channel(frame->Row(y)[x], 2), 128, 12) << x << ", " << y;
  }
  // Far off, enormous, mirrored into nothing or sideways by a non-number: no pixel is touched
  // outside where the picture can reach, and nothing is read outside the texture (ASan).
  const Rect rects[] = {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {INT_MAX - 5, 0, INT_MAX, 5}, {-1000000000, 10, 1000000000, 12},
                        {10, 10, 10, 30}, {10, 10, 11, 11}, {-30, -30, 10, 10}};
  for (const Rect& rect : rects) {
    for (const double degrees : {30.0, 90.0, 1e300, double{NAN}, double{INFINITY}}) {
      auto drawn = Turned(64, 64, *checks, rect, degrees);
      for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
          const double dx = x + 0.5 - (rect.left / 2.0 + rect.right / 2.0), dy = y + 0.5 - (rect.top / 2.0 + rect.bottom / 2.0);
          const double reach = std::hypot(rect.right / 2.0 - rect.left / 2.0, rect.bottom / 2.0 - rect.top / 2.0) + 1;
          if (std::hypot(dx, dy) > reach || !std::isfinite(degrees)) {
            ASSERT_EQ(drawn->Row(y)[x], kBackground);
          }
        }
      }
    }
  }
}

// Every pixel of `a` equal to `b`'s within `tolerance` on the first `channels`, where `inside`
// says they should be; elsewhere `a` keeps `background`.
void ExpectSameWithin(const Frame& a, const Frame& b, const Rect& inside, int tolerance, int channels = 4,
                      uint32_t background = kBackground) {
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      if (x >= inside.left && x < inside.right && y >= inside.top && y < inside.bottom) {
        ASSERT_LE(Distance(a.Row(y)[x], b.Row(y)[x], channels), tolerance) << x << ", " << y;
      } else {
        ASSERT_EQ(a.Row(y)[x], background) << x << ", " << y;
      }
    }
  }
}

TEST(Canvas, TransformsComposeWithWhatIsDrawnAndRestoreUndoesThem) {
  auto texture = MakeTexture(8, 6, [](int x, int y) { return 0xC0000000u | (x * 30) << 16 | (y * 40) << 8 | 0x20; });
  // A shift and a scale fold into the sprite's own placement.
  auto direct = Drawn(64, 48, *texture, 3, 2, 11, 9, 0xFFFF8040);
  auto moved = Blank();
  {
    Canvas canvas(*moved);
    canvas.Translate(5, 3);
    canvas.Scale(1.5, 2);
    canvas.DrawTexture(*texture, 2, 1, 4, 3, 0xFFFF8040);
    canvas.Save();
    canvas.Rotate(30);
    canvas.Restore();
    canvas.Restore();  // beyond the first state: nothing
    EXPECT_EQ(canvas.SaveCount(), 1);
    EXPECT_TRUE(canvas.Transform().AxisAligned() && canvas.Transform().xx == 1.5 && canvas.Transform().x0 == 5);
  }
  ExpectSameWithin(*moved, *direct, {0, 0, 64, 48}, 0);
  // A right-angle turn about the picture's centre is the turned draw.
  auto turned = Turned(64, 48, *texture, {20, 10, 36, 22}, 90);
  auto rotated = Blank();
  {
    Canvas canvas(*rotated);
    canvas.Translate(28, 16);
    canvas.Rotate(90);
    canvas.Translate(-28, -16);
    canvas.DrawTexture(*texture, 2, 2, 20, 10, 0xFFFFFFFF);
  }
  ExpectSameWithin(*rotated, *turned, {0, 0, 64, 48}, 0);
}

TEST(Canvas, ClipKeepsEveryDrawInsideAndLeavesTheSamePixelsThere) {
  auto texture = MakeTexture(30, 20, [](int x, int y) { return 0x90000000u | (x * 8) << 16 | (y * 12) << 8 | 0x40; });
  struct Case { double left, top, right, bottom; Rect inside; };
  const Case cases[] = {
      {10.5, 7.4, 40.5, 30, {10, 7, 40, 30}},  // pixel centres inside, the near edge's included
      {40, 30, 10, 7, {10, 7, 40, 30}},        // either way round
      {-1e300, 5, 1e300, 6, {0, 5, 64, 6}},    // clamped to what there was
      {20, 20, 20, 40, {}}, {NAN, 0, 10, 10, {}}, {100, 0, 200, 10, {}},
  };
  const auto draws = [&](Canvas& canvas) {
    canvas.DrawTexture(*texture, 1.7f, 1.3f, 3, 2, 0xFFFFFFFF);
    canvas.DrawTexture(*texture, 0.45f, 0.45f, 30.5f, 20, 0xFFFFFFFF);
    canvas.DrawTexture(*texture, 1, 1, 20, 19, 0xC0FFFFFF);
    canvas.DrawTurnedTexture(*texture, {10, 10, 50, 40}, 33, 0xFFFFFFFF);
    canvas.FillRect(30, 1, 60, 12, 0x80FF0000);
  };
  auto whole = Blank();
  {
    Canvas canvas(*whole);
    draws(canvas);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.left << " " << c.top << " " << c.right << " " << c.bottom);
    auto clipped = Blank();
    Canvas canvas(*clipped);
    canvas.ClipRect(c.left, c.top, c.right, c.bottom);
    // A clip only narrows.
    canvas.Save();
    canvas.ClipRect(-100, -100, 100, 100);
    draws(canvas);
    canvas.Restore();
    ExpectSameWithin(*clipped, *whole, c.inside, 0);
  }
  // Turned, a clip is its bounding box.
  const auto frame = Blank();
  Canvas canvas(*frame);
  canvas.Translate(32, 24);
  canvas.Rotate(45);
  canvas.ClipRect(-10, -10, 10, 10);
  EXPECT_TRUE(canvas.Clip().left == 18 && canvas.Clip().top == 10 && canvas.Clip().right == 46 && canvas.Clip().bottom == 38);
}

TEST(Canvas, OpacityMultipliesEveryColourAndLayersCompositeAsAGroup) {
  auto texture = MakeTexture(10, 10, [](int x, int y) { return (x + y) % 3 ? 0xFF30C060u : 0x80FFFFFFu; });
  // An opacity is the colour's alpha multiplied.
  auto direct = Drawn(64, 48, *texture, 2.5f, 2.5f, 7, 5, 0x60FF8040);
  auto faded = Blank();
  {
    Canvas canvas(*faded);
    canvas.MultiplyOpacity(0xC0);
    canvas.DrawTexture(*texture, 2.5f, 2.5f, 7, 5, 0x80FF8040);
  }
  ExpectSameWithin(*faded, *direct, {0, 0, 64, 48}, 0);
  // A layer composited at full opacity gives the colours of its draws made directly, to a level
  // of rounding, in a clip anywhere and nested. (Its alpha lands as one draw's would: the
  // frame's alpha rule does not group.)
  direct = Blank();
  auto layered = Blank();
  for (Frame* frame : {direct.get(), layered.get()}) {
    Canvas canvas(*frame);
    canvas.ClipRect(3, 4, 50, 44);
    const bool layers = frame == layered.get();
    if (layers) {
      EXPECT_TRUE(canvas.SaveLayer(255));
    }
    canvas.DrawTexture(*texture, 2.5f, 2.5f, 7, 5, 0xC0FFFFFF);
    if (layers) {
      EXPECT_TRUE(canvas.SaveLayer(255));
    }
    canvas.DrawTurnedTexture(*texture, {20, 10, 40, 30}, 20, 0xFFFFFFFF);
    canvas.FillRect(0, 30, 64, 38, 0x80208040);
  }  // the canvas composites what is open
  ExpectSameWithin(*layered, *direct, {3, 4, 50, 44}, 2, 3);
  // Two opaque squares overlapping in a half-opaque group: one even colour, where drawn each at
  // half opacity the overlap is darker.
  for (const bool group : {true, false}) {
    auto frame = Blank();
    Canvas canvas(*frame);
    canvas.MultiplyOpacity(group ? 255 : 128);
    if (group) canvas.SaveLayer(128);
    canvas.FillRect(10, 10, 30, 30, 0xFFFFFFFF);
    canvas.FillRect(20, 20, 40, 40, 0xFFFFFFFF);
    while (canvas.SaveCount() > 1) canvas.Restore();
    EXPECT_EQ(frame->Row(25)[25] == frame->Row(15)[15], group);
    EXPECT_LE(Distance(frame->Row(15)[15], ReferenceBlend(0xFFFFFFFF, 0x80FFFFFF, kBackground)), 1);
    EXPECT_EQ(frame->Row(5)[5], kBackground);
  }
}

// The background waits for the first draw: one that replaces every pixel leaves it out, any
// other finds it there, and a frame that gets no draw at all is the background. A frame drawn
// again and again fills only what it drew on last time, so the same frame goes through every
// case in turn, also after a write it cannot follow and under another background.
TEST(Canvas, TheBackgroundIsThereUnderEveryDrawUnlessTheFirstReplacesTheWholeFrame) {
  auto opaque = MakeTexture(16, 12, [](int x, int y) { return 0xFF000000u | (x * 15) << 16 | (y * 20) << 8 | 0x30; });
  auto translucent = MakeTexture(16, 12, [](int x, int y) { return 0x80000000u | (x * 15) << 16 | y; });
  using Draw = std::function<void(Canvas&)>;
  const Draw draws[] = {
      [](Canvas&) {},
      [&](Canvas& c) { c.DrawTexture(*opaque, 4, 4, 0, 0, 0xFFFFFFFF); },          // exactly the frame
      [&](Canvas& c) { c.DrawTexture(*opaque, 5.5f, 4.5f, -3, -2, 0xFFFFFFFF); },  // beyond it, resampled
      [&](Canvas& c) { c.DrawTexture(*opaque, 4, 4, 1, 0, 0xFFFFFFFF); },          // a column short
      [&](Canvas& c) { c.DrawTexture(*opaque, 4, 4, 0, 0, 0xFEFFFFFF); },          // not quite opaque
      [&](Canvas& c) { c.DrawTexture(*opaque, 4, 4, 0, 0, 0xFFFF8040); },          // tinted
      [&](Canvas& c) { c.DrawTexture(*translucent, 4, 4, 0, 0, 0xFFFFFFFF); },
      [&](Canvas& c) { c.DrawTurnedTexture(*opaque, {-20, -20, 84, 68}, 90, 0xFFFFFFFF); },
      [&](Canvas& c) { c.ClipRect(0, 0, 32, 48); c.DrawTexture(*opaque, 4, 4, 0, 0, 0xFFFFFFFF); },
      [&](Canvas& c) { c.FillRect(0, 0, 64, 48, 0xFF102030); },
      [&](Canvas& c) { c.DrawTexture(*opaque, 4, 4, 0, 0, 0xFFFFFFFF); c.FillRect(10, 10, 20, 20, 0x80FFFFFF); },
      [&](Canvas& c) { c.FillRect(32, 3, 50, 9, 0xFF102030); c.FillRect(31, 20, 33, 21, 0x80FFFFFF); },
      [&](Canvas& c) { c.DrawTexture(*translucent, 2, 2, 33, 1, 0xFFFFFFFF); },
  };
  auto reused = Frame::Create(64, 48);
  for (size_t i = 0; i < 4 * std::size(draws); ++i) {
    const size_t pass = i / std::size(draws);
    const auto& draw = draws[i % std::size(draws)];
    const uint32_t background = pass == 1 ? 0xFF405060 : kBackground;  // every case under another once
    auto expected = Blank(64, 48, background);
    {
      Canvas canvas(*expected);
      draw(canvas);
    }
    if (i == 30) reused->Row(40)[60] = 0x0BADBEEF;  // behind the frame's back
    if (pass == 3) reused->Clear(0x12345678);       // what a frame held before it was reused
    {
      Canvas canvas(*reused, background);
      draw(canvas);
    }
    SCOPED_TRACE(i);
    ExpectSameWithin(*reused, *expected, {0, 0, 64, 48}, 0);
  }
}

TEST(Canvas, FillRectCoversPixelCentresInItsColourAndTurnedItsArea) {
  for (const uint32_t colour : {0xFF10C0A0u, 0x80FF8000u, 0x00FFFFFFu}) {
    auto frame = Blank();
    Canvas canvas(*frame);
    canvas.Translate(0.25, 0);
    canvas.FillRect(50.5, 40.7, 3.3, 8.5, colour);  // either way round
    canvas.FillRect(1e300, 0, -1e300, 1, colour);    // clamped to the frame
    canvas.FillRect(0, 2, 64, 2, colour);            // empty
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 64; ++x) {
        const bool inside = (x >= 4 && x < 51 && y >= 8 && y < 41) || y == 0;
        ASSERT_EQ(frame->Row(y)[x], inside ? ReferenceBlend(0xFFFFFFFF, colour, kBackground) : kBackground)
            << std::hex << colour << std::dec << " at " << x << ", " << y;
      }
    }
  }
  // Turned, each pixel covered by about its share of the square's area.
  auto frame = Blank(64, 48, 0xFFFFFFFF);
  Canvas canvas(*frame);
  canvas.Translate(32, 24);
  canvas.Rotate(45);
  canvas.FillRect(-10, -10, 10, 10, 0xFF000000);
  double ink = 0;
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) ink += 1 - Channel(frame->Row(y)[x], 0) / 255.0;
  }
  EXPECT_NEAR(ink, 400, 4);
  EXPECT_EQ(frame->Row(24)[32], 0xFF000000u);
}

}  // namespace
}  // namespace talmora
