#include "platform/render/sprite.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "render/texture_maker.h"

namespace talmora {
namespace {

constexpr uint32_t kBackground = 0xFF203040;

// Straight-alpha source-over of one texel in one colour, in doubles, as the frame expects it.
uint32_t ReferenceBlend(uint32_t texel, uint32_t colour, uint32_t dst) {
  const double alpha = ChannelOf(texel, 3) / 255.0 * (ChannelOf(colour, 3) / 255.0);
  uint32_t out = 0;
  for (int c = 0; c < 4; ++c) {
    const double source = c == 3 ? alpha * 255 : ChannelOf(texel, c) * (ChannelOf(colour, c) / 255.0);
    const double value = source * alpha + ChannelOf(dst, c) * (1 - alpha);
    out |= static_cast<uint32_t>(std::lround(value)) << (8 * c);
  }
  return out;
}

void Draw(Frame& frame, const Texture& texture, float sx, float sy, float tx, float ty, uint32_t argb) {
  Sprite sprite;
  sprite.Begin(frame);
  sprite.SetTransform(sx, sy, tx, ty);
  sprite.Draw(texture, argb);
  sprite.End();
}

// Counts the pixels that differ from the background and checks that they form exactly `area`.
void ExpectCovers(const Frame& frame, const Rect& area) {
  for (int y = 0; y < frame.Height(); ++y) {
    for (int x = 0; x < frame.Width(); ++x) {
      const bool inside = x >= area.left && x < area.right && y >= area.top && y < area.bottom;
      ASSERT_EQ(frame.Row(y)[x] != kBackground, inside) << "pixel " << x << ", " << y;
    }
  }
}

TEST(SpritePlacement, StretchedPictureCoversExactlyItsRectangle) {
  auto texture = SolidTexture(100, 50, 0xFFFF8000);
  auto frame = FilledFrame(320, 200, kBackground);
  Draw(*frame, *texture, 2, 2, 10, 20, 0xFFFFFFFF);
  ExpectCovers(*frame, {10, 20, 210, 120});
  // A solid picture keeps its colour up to its last covered pixel: clamped edges, no fading.
  EXPECT_EQ(frame->Row(20)[10], 0xFFFF8000u);
  EXPECT_EQ(frame->Row(119)[209], 0xFFFF8000u);
  EXPECT_EQ(frame->Row(70)[209], 0xFFFF8000u);
}

TEST(SpritePlacement, CoverageFollowsPixelCentresForFractionalEdges) {
  auto texture = SolidTexture(10, 10, 0xFF00FF00);
  auto frame = FilledFrame(64, 64, kBackground);
  // Columns 3.4 .. 3.4 + 10 * 1.25 = 15.9: centres 3.5 .. 15.5 lie inside, 15.9 is not a centre.
  Draw(*frame, *texture, 1.25f, 0.5f, 3.4f, 7.5f, 0xFFFFFFFF);
  // Rows 7.5 .. 12.5: centre 7.5 is on the near edge (in), 12.5 on the far edge (out).
  ExpectCovers(*frame, {3, 7, 16, 12});
}

TEST(SpritePlacement, WholePixelCopyIsExact) {
  auto texture = MakeTexture(37, 23, [](int x, int y) { return 0xFF000000u | (x * 7) << 16 | (y * 11) << 8 | (x ^ y); });
  auto frame = FilledFrame(64, 48, kBackground);
  Draw(*frame, *texture, 1, 1, 5, 9, 0xFFFFFFFF);
  ExpectCovers(*frame, {5, 9, 42, 32});
  for (int y = 0; y < 23; ++y) {
    for (int x = 0; x < 37; ++x) ASSERT_EQ(frame->Row(9 + y)[5 + x], texture->Level(0).Row(y)[x]);
  }
}

TEST(SpritePlacement, ClippedDrawMatchesTheSamePixelsOfAnUnclippedOne) {
  auto texture = MakeTexture(30, 20, [](int x, int y) { return 0x80000000u | (x * 8) << 16 | (y * 12) << 8 | 0x40; });
  for (const float scale : {1.0f, 1.7f, 0.45f}) {
    // The big frame shows the whole picture; the small one only a window onto the same place.
    auto big = FilledFrame(200, 200, kBackground);
    auto small = FilledFrame(40, 30, kBackground);
    Draw(*big, *texture, scale, scale, 81.0f, 93.0f, 0xC0FFFFFF);
    Draw(*small, *texture, scale, scale, 81.0f - 90, 93.0f - 100, 0xC0FFFFFF);
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 40; ++x) ASSERT_EQ(small->Row(y)[x], big->Row(100 + y)[90 + x]) << scale;
    }
  }
}

TEST(SpritePlacement, PictureOutsideTheFrameOrDegenerateTransformDrawsNothing) {
  auto texture = SolidTexture(16, 16, 0xFFFFFFFF);
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float cases[][4] = {
      {1, 1, 1e9f, 0},   {1, 1, -1e9f, 0}, {1, 1, 0, 32},     {1, 1, -16, 0},  {1e30f, 1, -1e38f, 0},
      {0, 1, 5, 5},      {1, 0, 5, 5},     {nan, 1, 0, 0},    {1, 1, inf, 0},  {1, 1, 0, -inf},
      {1e-30f, 1, 5, 5}, {-1, 1, 0, 0},    {1, -1e9f, 0, -1}, {1, 1, nan, 0},  {inf, inf, 0, 0},
  };
  for (const auto& c : cases) {
    auto frame = FilledFrame(32, 32, kBackground);
    Draw(*frame, *texture, c[0], c[1], c[2], c[3], 0xFFFFFFFF);
    ExpectCovers(*frame, {0, 0, 0, 0});
  }
}

TEST(SpritePlacement, HugeScaleDrawsOnlyTheVisiblePart) {
  auto texture = MakeTexture(2, 1, [](int x, int) { return x ? 0xFFFFFFFFu : 0xFF000000u; });
  auto frame = FilledFrame(64, 64, kBackground);
  // A two-texel picture blown up to two billion pixels, the frame on the seam between the texel
  // centres: only these 64 × 64 pixels are worked out, all halfway grey.
  Draw(*frame, *texture, 1e9f, 1e9f, -1e9f, -10, 0xFFFFFFFF);
  for (int x = 0; x < 64; ++x) ASSERT_NEAR(ChannelOf(frame->Row(63)[x], 1), 128, 1);
}

TEST(SpritePlacement, VanishinglyThinPictureStillCoversTheCentreItStraddles) {
  auto texture = SolidTexture(640, 4, 0xFF00FF00);
  auto frame = FilledFrame(8, 8, kBackground);
  // 640 texels squeezed into 6.4e-13 pixels across the centre of column 0.
  Draw(*frame, *texture, 1e-15f, 1, 0.5f, 0, 0xFFFFFFFF);
  ExpectCovers(*frame, {0, 0, 1, 4});
  EXPECT_EQ(frame->Row(1)[0], 0xFF00FF00u);
}

TEST(SpriteMirroring, NegativeScalesMirrorOntoTheSamePixels) {
  auto texture = MakeTexture(20, 10, [](int x, int y) { return 0xFF000000u | (x * 12) << 16 | (y * 25) << 8; });
  // Scale 1: exact texel order reversal.
  auto frame = FilledFrame(40, 30, kBackground);
  Draw(*frame, *texture, -1, -1, 25, 15, 0xFFFFFFFF);
  ExpectCovers(*frame, {5, 5, 25, 15});
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 20; ++x) ASSERT_EQ(frame->Row(5 + y)[5 + x], texture->Level(0).Row(9 - y)[19 - x]);
  }
  // Scaled: the mirrored drawing is the plain one read backwards.
  auto plain = FilledFrame(80, 60, kBackground);
  auto mirrored = FilledFrame(80, 60, kBackground);
  Draw(*plain, *texture, 3, 2.5f, 4, 7, 0xFFFFFFFF);
  Draw(*mirrored, *texture, -3, 2.5f, 64, 7, 0xFFFFFFFF);
  ExpectCovers(*mirrored, {4, 7, 64, 32});
  for (int y = 7; y < 32; ++y) {
    for (int x = 4; x < 64; ++x) ASSERT_LE(Distance(mirrored->Row(y)[x], plain->Row(y)[67 - x]), 1);
  }
}

TEST(SpriteFiltering, StretchIsBilinearBetweenTexelCentres) {
  auto texture = MakeTexture(2, 1, [](int x, int) { return x ? 0xFFFFFFFFu : 0xFF000000u; });
  auto frame = FilledFrame(200, 1, kBackground);
  Draw(*frame, *texture, 100, 1, 0, 0, 0xFFFFFFFF);
  for (int x = 0; x < 200; ++x) {
    const double u = (x + 0.5) / 100 - 0.5;  // between texel centres 0 and 1
    const int expected = static_cast<int>(std::lround(255 * std::clamp(u, 0.0, 1.0)));
    ASSERT_NEAR(ChannelOf(frame->Row(0)[x], 1), expected, 1) << x;
    ASSERT_EQ(ChannelOf(frame->Row(0)[x], 3), 255);
  }
}

TEST(SpriteFiltering, TransparentNeighboursLeaveNoDarkFringe) {
  // Opaque red beside fully transparent black: filtering straight colours would pull the edge
  // towards black; in premultiplied alpha red over white keeps its full red everywhere.
  auto texture = MakeTexture(4, 1, [](int x, int) { return x < 2 ? 0xFFFF0000u : 0x00000000u; });
  auto frame = FilledFrame(160, 1, 0xFFFFFFFF);
  Draw(*frame, *texture, 40, 1, 0, 0, 0xFFFFFFFF);
  int previous_green = 0;
  for (int x = 0; x < 160; ++x) {
    const uint32_t pixel = frame->Row(0)[x];
    ASSERT_EQ(ChannelOf(pixel, 2), 255) << x;
    ASSERT_EQ(ChannelOf(pixel, 1), ChannelOf(pixel, 0)) << x;
    ASSERT_GE(ChannelOf(pixel, 1), previous_green) << x;
    previous_green = ChannelOf(pixel, 1);
  }
  EXPECT_EQ(frame->Row(0)[0], 0xFFFF0000u);
  EXPECT_EQ(frame->Row(0)[159], 0xFFFFFFFFu);
}

TEST(SpriteFiltering, ShrunkFineDetailAveragesInsteadOfAliasing) {
  auto checker = MakeTexture(400, 400, [](int x, int y) { return (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u; });
  // At any shrink and any sub-pixel offset, one-texel detail must come out as even grey.
  for (const float scale : {0.05f, 0.13f, 0.5f, 0.37f}) {
    for (const float offset : {0.0f, 0.25f, 0.5f}) {
      auto frame = FilledFrame(220, 220, kBackground);
      Draw(*frame, *checker, scale, scale, offset, offset, 0xFFFFFFFF);
      const int last = static_cast<int>(400 * scale) - 1;
      for (int y = 1; y < last; ++y) {
        for (int x = 1; x < last; ++x) {
          ASSERT_NEAR(ChannelOf(frame->Row(y)[x], 1), 128, 6) << scale << " at " << x << ", " << y;
        }
      }
    }
  }
}

TEST(SpriteFiltering, ShrinkingAlongOneAxisOnlyAveragesThatAxis) {
  // Vertical stripes squeezed sideways turn grey; horizontal position keeps its gradient.
  auto texture = MakeTexture(512, 64, [](int x, int y) {
    return 0xFF000000u | (x % 2 ? 0xFF0000u : 0u) | static_cast<uint32_t>(y * 4) << 8;
  });
  auto frame = FilledFrame(64, 64, kBackground);
  Draw(*frame, *texture, 0.125f, 1, 0, 0, 0xFFFFFFFF);
  for (int y = 0; y < 64; ++y) {
    ASSERT_NEAR(ChannelOf(frame->Row(y)[30], 2), 128, 2);
    ASSERT_EQ(ChannelOf(frame->Row(y)[30], 1), y * 4);
  }
}

TEST(SpriteFiltering, ShrunkGradientKeepsItsAverage) {
  auto texture = MakeTexture(256, 8, [](int x, int) { return 0xFF000000u | static_cast<uint32_t>(x) << 8; });
  auto frame = FilledFrame(64, 2, kBackground);
  Draw(*frame, *texture, 0.25f, 0.25f, 0, 0, 0xFFFFFFFF);
  for (int x = 0; x < 64; ++x) ASSERT_NEAR(ChannelOf(frame->Row(1)[x], 1), 4 * x + 1.5, 1) << x;
}

TEST(SpriteColour, ColourChannelsMultiplyTheTexels) {
  auto texture = MakeTexture(8, 8, [](int x, int y) { return 0xFF000000u | (x * 30) << 16 | (y * 30) << 8 | 200; });
  // Only red: green and blue vanish, red stays exact.
  auto frame = FilledFrame(8, 8, kBackground);
  Draw(*frame, *texture, 1, 1, 0, 0, 0xFFFF0000);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) ASSERT_EQ(frame->Row(y)[x], 0xFF000000u | (x * 30) << 16);
  }
  // Any colour: each channel scaled by its colour channel.
  Draw(*frame, *texture, 1, 1, 0, 0, 0xFF80C040);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const uint32_t texel = 0xFF000000u | (x * 30) << 16 | (y * 30) << 8 | 200;
      ASSERT_LE(Distance(frame->Row(y)[x], ReferenceBlend(texel, 0xFF80C040, 0)), 1);
    }
  }
}

TEST(SpriteColour, BlendingAppliesToAlphaTooAsTheSpriteDoes) {
  // Over a transparent frame the alpha becomes a², not a: the frame keeps the platform's rule.
  auto texture = SolidTexture(2, 2, 0xFFFFFFFF);
  auto frame = FilledFrame(2, 2, 0);
  Draw(*frame, *texture, 1, 1, 0, 0, 0x80FFFFFF);
  EXPECT_EQ(ChannelOf(frame->Row(0)[0], 3), (128 * 128 + 127) / 255);
  EXPECT_EQ(ChannelOf(frame->Row(0)[0], 2), 128);
}

TEST(SpriteColour, PictureAlphaMultipliesColourAlpha) {
  for (const uint32_t texel : {0x80FF8040u, 0x40FFFFFFu, 0xFF123456u, 0x01FFFFFFu, 0xFE010203u}) {
    for (const uint32_t colour : {0xFFFFFFFFu, 0x80FFFFFFu, 0xC0FF8020u, 0x01FFFFFFu}) {
      auto texture = SolidTexture(3, 3, texel);
      auto frame = FilledFrame(3, 3, 0xC0408020);
      Draw(*frame, *texture, 1, 1, 0, 0, colour);
      ASSERT_LE(Distance(frame->Row(1)[1], ReferenceBlend(texel, colour, 0xC0408020)), 1)
          << std::hex << texel << " " << colour;
      // Scaled drawing takes the filtered path and must agree.
      auto scaled = FilledFrame(9, 9, 0xC0408020);
      Draw(*scaled, *texture, 3, 3, 0, 0, colour);
      ASSERT_EQ(scaled->Row(4)[4], frame->Row(1)[1]);
    }
  }
}

TEST(SpriteColour, TransparentTexelsAndColourLeaveTheFrameUntouched) {
  auto clear = SolidTexture(5, 5, 0x00FFFFFF);
  auto solid = SolidTexture(5, 5, 0xFFFFFFFF);
  auto frame = FilledFrame(8, 8, 0x80402010);
  Draw(*frame, *clear, 1, 1, 1, 1, 0xFFFFFFFF);
  Draw(*frame, *clear, 1.5f, 1.5f, 0.5f, 0, 0xFF808080);
  Draw(*frame, *solid, 1, 1, 1, 1, 0x00FFFFFF);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) ASSERT_EQ(frame->Row(y)[x], 0x80402010u);
  }
}

TEST(SpriteTarget, DrawWithoutTargetIsIgnored) {
  auto texture = SolidTexture(2, 2, 0xFFFFFFFF);
  Sprite sprite;
  sprite.Draw(*texture, 0xFFFFFFFF);
  auto frame = FilledFrame(4, 4, kBackground);
  sprite.Begin(*frame);
  sprite.End();
  sprite.Draw(*texture, 0xFFFFFFFF);
  ExpectCovers(*frame, {0, 0, 0, 0});
}

}  // namespace
}  // namespace talmora
