#include "platform/text/blend_mask.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "text/ink.h"

namespace talmora {
namespace {

using testing::FindInk;
using testing::MakeFrame;

constexpr PixelBox kWhole{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};

CoverageMask SolidMask(int width, int height, uint8_t coverage) {
  CoverageMask mask;
  mask.width = width;
  mask.height = height;
  mask.stride = width + 3;  // rows padded, as cairo pads them
  mask.pixels.assign(static_cast<size_t>(mask.stride) * height, coverage);
  mask.FindSpans();
  return mask;
}

TEST(BlendMask, ArithmeticOnAllFourChannels) {
  struct Case {
    uint8_t coverage;
    uint32_t colour;
    uint32_t background;
    uint32_t expected;
  };
  const Case cases[] = {
      {255, 0xff102030, 0xff000000, 0xff102030},  // full coverage, opaque: the colour exactly
      {128, 0xffff0000, 0xff000000, 0xbf800000},  // half coverage: 0.5² + 1 · 0.5 alpha
      {255, 0x80ff0000, 0xff0000ff, 0xbf80007f},  // half alpha over opaque blue
      {255, 0x80ffffff, 0x00000000, 0x40808080},  // alpha blends too: 0.5 · 0.5 over nothing
      {255, 0xffffffff, 0x00000000, 0xffffffff},
      {0, 0xffffffff, 0x12345678, 0x12345678},    // no coverage
      {255, 0x00ffffff, 0x12345678, 0x12345678},  // no alpha
      {51, 0x80ffffff, 0xff000000, 0xe81a1a1a},   // coverage × alpha: 0.2 · 0.5 = 0.1
  };
  for (const Case& c : cases) {
    auto frame = MakeFrame(1, 1, c.background);
    BlendMask(*frame, SolidMask(1, 1, c.coverage), 0, 0, c.colour, kWhole);
    EXPECT_EQ(frame->Row(0)[0], c.expected) << std::hex << "coverage " << int{c.coverage} << " colour "
                                            << c.colour << " over " << c.background;
  }
}

TEST(BlendMask, WideRowsBlendAsSinglePixelsDo) {
  // Rows run four pixels a step, with a remainder; each pixel must come out as it does alone.
  const uint8_t coverage[] = {0, 255, 17, 128, 0, 0, 0, 0, 200, 1, 254, 90, 33};
  const int width = sizeof coverage;
  for (uint32_t colour : {0xffc08040u, 0x80c08040u, 0x01ffffffu}) {
    CoverageMask row = SolidMask(width, 1, 0);
    std::copy(std::begin(coverage), std::end(coverage), row.pixels.begin());
    row.FindSpans();
    auto wide = Frame::Create(width, 1);
    for (int x = 0; x < width; ++x) wide->Row(0)[x] = 0x10203040u * (x + 1) + 0x0f000000u * x;
    auto single = Frame::Create(1, 1);
    std::vector<uint32_t> expected(width);
    for (int x = 0; x < width; ++x) {
      single->Row(0)[0] = wide->Row(0)[x];
      BlendMask(*single, SolidMask(1, 1, coverage[x]), 0, 0, colour, kWhole);
      expected[x] = single->Row(0)[0];
    }
    BlendMask(*wide, row, 0, 0, colour, kWhole);
    for (int x = 0; x < width; ++x) EXPECT_EQ(wide->Row(0)[x], expected[x]) << std::hex << colour << " at " << x;
  }
}

TEST(BlendMask, ClipsAgainstEveryEdgeOfTheTarget) {
  const uint32_t background = 0xff000000;
  struct Case {
    int64_t x, y;
    testing::InkBox expected;
  };
  // A 6 × 4 mask on a 10 × 8 frame, hanging over each side in turn and over a corner.
  const Case cases[] = {
      {-3, 2, {0, 2, 3, 6}}, {7, 2, {7, 2, 10, 6}}, {2, -2, {2, 0, 8, 2}},
      {2, 6, {2, 6, 8, 8}},  {-5, -3, {0, 0, 1, 1}}, {2, 2, {2, 2, 8, 6}},
  };
  for (const Case& c : cases) {
    auto frame = MakeFrame(10, 8, background);
    BlendMask(*frame, SolidMask(6, 4, 255), c.x, c.y, 0xffffffff, kWhole);
    const testing::InkBox ink = FindInk(*frame, background);
    EXPECT_EQ(ink.left, c.expected.left) << c.x << "," << c.y;
    EXPECT_EQ(ink.top, c.expected.top) << c.x << "," << c.y;
    EXPECT_EQ(ink.right, c.expected.right) << c.x << "," << c.y;
    EXPECT_EQ(ink.bottom, c.expected.bottom) << c.x << "," << c.y;
  }
  // A clip box cuts the same way as the target's edges.
  auto clipped = MakeFrame(10, 8, background);
  BlendMask(*clipped, SolidMask(6, 4, 255), 2, 2, 0xffffffff, PixelBox{3, 1, 6, 5});
  const testing::InkBox inside = FindInk(*clipped, background);
  EXPECT_EQ(inside.left, 3);
  EXPECT_EQ(inside.top, 2);
  EXPECT_EQ(inside.right, 6);
  EXPECT_EQ(inside.bottom, 5);
  // Far outside on any side: nothing, and no overflow on the way.
  auto frame = MakeFrame(4, 4, 0);
  for (int64_t at : {-(int64_t{1} << 40), int64_t{-6}, int64_t{10}, int64_t{1} << 40}) {
    BlendMask(*frame, SolidMask(6, 4, 255), at, 0, 0xffffffff, kWhole);
    BlendMask(*frame, SolidMask(6, 4, 255), 0, at, 0xffffffff, kWhole);
  }
  EXPECT_TRUE(FindInk(*frame, 0).Empty());
}

TEST(CoverageMask, SpansSkipEmptyRowsAndColumns) {
  CoverageMask mask = SolidMask(5, 3, 0);
  mask.pixels[mask.stride * 1 + 1] = 9;
  mask.pixels[mask.stride * 1 + 3] = 9;
  mask.pixels[mask.stride * 2 + 4] = 1;
  mask.FindSpans();
  ASSERT_FALSE(mask.Empty());
  EXPECT_EQ(mask.spans[0].begin, mask.spans[0].end);
  EXPECT_EQ(mask.spans[1].begin, 1);
  EXPECT_EQ(mask.spans[1].end, 4);
  EXPECT_EQ(mask.spans[2].begin, 4);
  EXPECT_EQ(mask.spans[2].end, 5);

  CoverageMask blank = SolidMask(5, 3, 0);
  EXPECT_TRUE(blank.Empty());
  auto frame = MakeFrame(5, 3, 7);
  BlendMask(*frame, blank, 0, 0, 0xffffffff, kWhole);
  EXPECT_TRUE(FindInk(*frame, 7).Empty());
}

}  // namespace
}  // namespace talmora
