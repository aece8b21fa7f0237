#include "platform/render/texture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "platform/render/filter_taps.h"
#include "render/texture_maker.h"

namespace talmora {
namespace {

TEST(Texture, KeepsTexelsPremultipliedAndKnowsWhetherItIsOpaque) {
  auto texture = MakeTexture(3, 1, [](int x, int) {
    const uint32_t texels[] = {0x80FF8040u, 0x00FFFFFFu, 0xFF123456u};
    return texels[x];
  });
  ASSERT_NE(texture, nullptr);
  const uint32_t* row = texture->Level(0).Row(0);
  // 255·128/255 = 128, 128·128/255 = 64.25, 64·128/255 = 32.1: rounded to nearest.
  EXPECT_EQ(row[0], 0x80804020u);
  EXPECT_EQ(row[1], 0x00000000u);
  EXPECT_EQ(row[2], 0xFF123456u);
  EXPECT_FALSE(texture->Opaque());
  EXPECT_TRUE(SolidTexture(4, 4, 0xFF000000)->Opaque());
}

TEST(Texture, LevelsHalveDownToOneTexel) {
  auto texture = SolidTexture(13, 5, 0xFF00FF00);
  ASSERT_EQ(texture->LevelCount(), 4);
  const int sizes[][2] = {{13, 5}, {6, 2}, {3, 1}, {1, 1}};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(texture->Level(k).Width(), sizes[k][0]);
    EXPECT_EQ(texture->Level(k).Height(), sizes[k][1]);
    // A solid picture is the same colour at every level.
    EXPECT_EQ(texture->Level(k).Row(0)[0], 0xFF00FF00u);
  }
  EXPECT_EQ(SolidTexture(1, 1, 0)->LevelCount(), 1);
}

TEST(Texture, EachLevelIsTheAreaAverageOfTheOneBefore) {
  // Two by two into one; three by one into one takes each of three texels by a third.
  auto even = MakeTexture(2, 2, [](int x, int y) { return 0xFF000000u | static_cast<uint32_t>(x * 100 + y * 40); });
  EXPECT_EQ(even->Level(1).Row(0)[0], 0xFF000000u | 70);
  auto odd = MakeTexture(3, 1, [](int x, int) { return 0xFF000000u | static_cast<uint32_t>(x * 90); });
  EXPECT_EQ(odd->Level(1).Row(0)[0], 0xFF000000u | 90);
  // Averaging premultiplied: a transparent neighbour halves the alpha, not the colour.
  auto edge = MakeTexture(2, 1, [](int x, int) { return x ? 0x00000000u : 0xFFFF0000u; });
  EXPECT_EQ(edge->Level(1).Row(0)[0], 0x80800000u);
}

TEST(Texture, EmptyPlaneGivesNoTexture) {
  EXPECT_EQ(Texture::FromStraightAlpha(TexelPlane()), nullptr);
  EXPECT_FALSE(TexelPlane(0, 5).Valid());
  EXPECT_FALSE(TexelPlane(5, -1).Valid());
}

float WeightSum(const FilterTaps& taps, int i) {
  return std::accumulate(taps.Weights(i), taps.Weights(i) + taps.Taps(), 0.0f);
}

TEST(FilterTaps, OneTexelBoxIsLinearInterpolation) {
  // Centres at 0.5, 0.75, 1.0, ... of a four-texel source.
  auto taps = FilterTaps::Create(10, 2, 0.25, 4);
  ASSERT_NE(taps, nullptr);
  EXPECT_EQ(taps->Taps(), 2);
  // Centre 1.25: a quarter of the way from texel 0's centre (0.5) to texel 1's (1.5) is 0.75.
  EXPECT_EQ(taps->First(3), 0);
  EXPECT_FLOAT_EQ(taps->Weights(3)[0], 0.25f);
  EXPECT_FLOAT_EQ(taps->Weights(3)[1], 0.75f);
  for (int i = 0; i < 10; ++i) EXPECT_FLOAT_EQ(WeightSum(*taps, i), 1.0f);
}

TEST(FilterTaps, WideBoxAveragesTheTexelsItCovers) {
  // Step 2.5: output 0 covers [0, 2.5): texels 0 and 1 fully, texel 2 by half.
  auto taps = FilterTaps::Create(2, 0.5, 2.5, 5);
  ASSERT_NE(taps, nullptr);
  EXPECT_EQ(taps->Taps(), 3);
  EXPECT_FLOAT_EQ(taps->Weights(0)[0], 0.4f);
  EXPECT_FLOAT_EQ(taps->Weights(0)[2], 0.2f);
  for (int i = 0; i < 2; ++i) {
    EXPECT_FLOAT_EQ(WeightSum(*taps, i), 1.0f);
    EXPECT_GE(taps->First(i), 0);
    EXPECT_LE(taps->First(i) + taps->Taps(), 5);
  }
}

TEST(FilterTaps, ExactHalvingNeedsTwoTaps) {
  auto taps = FilterTaps::Create(4, 0.5, 2.0, 8);
  ASSERT_NE(taps, nullptr);
  EXPECT_EQ(taps->Taps(), 2);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(taps->First(i), 2 * i);
    EXPECT_FLOAT_EQ(taps->Weights(i)[0], 0.5f);
    EXPECT_FLOAT_EQ(taps->Weights(i)[1], 0.5f);
  }
}

TEST(FilterTaps, BeyondTheEdgesTheEdgeTexelRepeats) {
  for (const double start : {-1e300, -50.0, 1e6, 1e300}) {
    auto taps = FilterTaps::Create(3, start, 1.0, 8);
    ASSERT_NE(taps, nullptr);
    for (int i = 0; i < 3; ++i) {
      const int edge = start < 0 ? 0 : 7;
      EXPECT_FLOAT_EQ(taps->Weights(i)[edge - taps->First(i)], 1.0f) << start;
      EXPECT_FLOAT_EQ(WeightSum(*taps, i), 1.0f);
    }
  }
  // A box wider than the whole source is one tap per texel, never more.
  auto vast = FilterTaps::Create(2, 0.5, 1e30, 2);
  ASSERT_NE(vast, nullptr);
  EXPECT_FLOAT_EQ(WeightSum(*vast, 1), 1.0f);
  auto wide = FilterTaps::Create(1, 0.5, 1e9, 3);
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(wide->Taps(), 3);
  EXPECT_FLOAT_EQ(WeightSum(*wide, 0), 1.0f);
}

TEST(FilterTaps, NonsenseArgumentsGiveNoTable) {
  EXPECT_EQ(FilterTaps::Create(0, 0, 1, 4), nullptr);
  EXPECT_EQ(FilterTaps::Create(4, 0, 1, 0), nullptr);
  EXPECT_EQ(FilterTaps::Create(4, std::nan(""), 1, 4), nullptr);
  EXPECT_EQ(FilterTaps::Create(4, 0, INFINITY, 4), nullptr);
}

}  // namespace
}  // namespace talmora
