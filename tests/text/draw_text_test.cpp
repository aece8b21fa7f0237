#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "platform/render/canvas.h"
#include "platform/text/blend_mask.h"
#include "platform/text/font.h"
#include "platform/text/font_face.h"
#include "platform/text/text_format.h"
#include "platform/text/text_style.h"
#include "support/dib_frames.h"

namespace talmora {
namespace {

using testing::Box;

constexpr uint32_t kBlack = 0xff000000;
constexpr uint32_t kWhite = 0xffffffff;
constexpr PixelBox kWhole{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};

// Bounding box of the pixels that differ from the background; empty when there are none.
Box InkOf(const Frame& frame, uint32_t background) {
  const uint32_t* pixels = frame.Row(0);
  return testing::DibFrames{frame.Width(), frame.Height(), {{pixels, pixels + frame.Width() * frame.Height()}}}.Ink(0, background);
}

CoverageMask RowMask(std::vector<uint8_t> coverage) {
  CoverageMask mask;
  mask.width = mask.stride = static_cast<int>(coverage.size());
  mask.height = 1;
  mask.pixels = std::move(coverage);
  mask.FindSpans();
  return mask;
}

TEST(BlendMask, ExactOnAllFourChannelsInEveryLane) {
  struct Case { uint8_t coverage; uint32_t colour, background, expected; };
  const Case cases[] = {
      {255, 0xff102030, 0xff000000, 0xff102030}, {128, 0xffff0000, 0xff000000, 0xbf800000},
      {255, 0x80ff0000, 0xff0000ff, 0xbf80007f}, {255, 0x80ffffff, 0x00000000, 0x40808080},
      {0, 0xffffffff, 0x12345678, 0x12345678},   {255, 0x00ffffff, 0x12345678, 0x12345678},
      {51, 0x80ffffff, 0xff000000, 0xe81a1a1a},  // coverage × alpha: 0.2 · 0.5
  };
  // Every third pixel of 13 is covered: rows go four pixels a step, then the remainder.
  for (const Case& c : cases) {
    auto frame = Frame::Create(13, 1);
    frame->Clear(c.background);
    std::vector<uint8_t> coverage(13);
    for (int x = 1; x < 13; x += 3) coverage[x] = c.coverage;
    BlendMask(Surface::Whole(*frame), RowMask(coverage), 0, 0, c.colour, kWhole);
    for (int x = 0; x < 13; ++x) {
      EXPECT_EQ(frame->Row(0)[x], x % 3 == 1 ? c.expected : c.background) << std::hex << c.colour << " at " << x;
    }
  }
  // Where the processor has AVX2, its rows eight pixels a step give the same bytes as the narrow
  // ones: every width to past two bare stretches of 32, runs of bare, full and partial coverage,
  // opaque and translucent colours, both kinds of surface; the pixel either side stays as it was.
  std::mt19937 random(11);
  auto byte = [&random](uint32_t most = 255) { return std::uniform_int_distribution<uint32_t>(0, most)(random); };
  for (const uint32_t colour : {0xFFFFFFFFu, 0xFF10C0A0u, 0x80FF8040u, 0x01FFFFFFu}) {
    for (const bool premultiplied : {false, true}) {
      for (int count = 1; count <= 90; ++count) {
        std::vector<uint8_t> coverage;
        while (static_cast<int>(coverage.size()) < count) {
          const uint32_t kind = byte(3), run = 1 + byte(kind == 0 ? 70 : 12);
          for (uint32_t k = 0; k < run; ++k) coverage.push_back(static_cast<uint8_t>(kind == 0 ? 0 : kind == 1 ? 255 : byte()));
        }
        std::vector<uint32_t> narrow(static_cast<size_t>(count) + 2);
        for (uint32_t& pixel : narrow) pixel = byte() << 24 | byte() << 16 | byte() << 8 | byte();
        std::vector<uint32_t> wide = narrow;
        ASSERT_TRUE(BlendCoverageRow(false, narrow.data() + 1, coverage.data(), count, colour, premultiplied));
        if (!BlendCoverageRow(true, wide.data() + 1, coverage.data(), count, colour, premultiplied)) return;
        ASSERT_EQ(wide, narrow) << std::hex << colour << std::dec << " " << premultiplied << " " << count;
      }
    }
  }
}

std::unique_ptr<Font> Gothic(int height) {
  auto made = Font::Create(FontRequest{height, 0, false, "ＭＳ ゴシック"});
  return made ? std::move(*made) : nullptr;
}

std::unique_ptr<Frame> Black() {
  auto frame = Frame::Create(320, 240);
  frame->Clear(kBlack);
  return frame;
}

// Ink of the sentence drawn in white on a fresh black 320 × 240 frame.
Box Draw(Font& font, std::string_view sentence, Rect rect, uint32_t format) {
  auto frame = Black();
  font.DrawText(Canvas(*frame).Target(), sentence, rect, format, kWhite);
  return InkOf(*frame, kBlack);
}

TEST(DrawText, NothingLandsOutsideTheRectangleHoweverFarOutAndSilentOnBrokenText) {
  auto font = Gothic(24);
  ASSERT_TRUE(font);
  const Rect rects[] = {{40, 30, 140, 70}, {-50, -20, 60, 30}, {300, 220, 400, 300}, {-1000, 100, -10, 200},
                        {0, 0, 0, 0}, {100, 100, 50, 150}, {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {INT_MAX - 10, 0, INT_MAX, 10}};
  const std::string_view sentences[] = {"Overlongwordsthatdonotfit 漢字\nsecond\nthird", {"ab\xff\xfe" "cd\0ef", 9}, "", " \n\t"};
  ::testing::internal::CaptureStderr();
  for (const Rect& rect : rects) {
    for (uint32_t format : {0u, DT_CENTER | DT_VCENTER, DT_RIGHT | DT_BOTTOM | DT_WORDBREAK, DT_SINGLELINE}) {
      for (std::string_view sentence : sentences) {
        const Box ink = Draw(*font, sentence, rect, format);
        EXPECT_TRUE(ink.Empty() || (ink.left >= int64_t{rect.left} && ink.top >= int64_t{rect.top} &&
                                    ink.right <= int64_t{rect.right} && ink.bottom <= int64_t{rect.bottom}))
            << rect.left << "," << rect.top << " format " << format;
      }
    }
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  // Drawn wholly outside the frame first, then slid in: the part inside shows.
  auto frame = Black();
  font->DrawText(Canvas(*frame).Target(), "Slide", Rect{-400, 0, -230, 40}, 0, kWhite);
  font->DrawText(Canvas(*frame).Target(), "Slide", Rect{-30, 0, 140, 40}, 0, kWhite);
  EXPECT_EQ(InkOf(*frame, kBlack).left, 0);
}

TEST(DrawText, MovingReusesTheMaskWhileTextFlagsOrWrapWidthLayOutAgain) {
  auto font = Gothic(24);
  ASSERT_TRUE(font);
  const Box first = Draw(*font, "Moving 文字", Rect{10, 20, 210, 80}, DT_CENTER);
  const Box moved = Draw(*font, "Moving 文字", Rect{47, 113, 247, 173}, DT_CENTER);
  EXPECT_TRUE(moved == (Box{first.left + 37, first.top + 93, first.right + 37, first.bottom + 93}));
  // Without word breaking a wider rectangle only places the block: 40 pixels wider, 20 further right.
  EXPECT_EQ(Draw(*font, "Moving 文字", Rect{10, 20, 250, 80}, DT_CENTER).left, first.left + 20);
  EXPECT_EQ(font->LayoutCount(), 1);
  Draw(*font, "Moved", Rect{0, 0, 200, 60}, DT_CENTER);                 // new sentence
  Draw(*font, "Moved", Rect{0, 0, 200, 60}, DT_CENTER | DT_WORDBREAK);  // new flags
  Draw(*font, "Moved", Rect{5, 5, 205, 65}, DT_CENTER | DT_WORDBREAK);  // moved only
  Draw(*font, "Moved", Rect{0, 0, 201, 60}, DT_CENTER | DT_WORDBREAK);  // new width to break at
  EXPECT_EQ(font->LayoutCount(), 4);
}

// Sung words are one range of the sentence, the rest the other: together, straight or turned,
// they are the whole text, each glyph where the whole layout puts it.
TEST(DrawText, TwoInkRangesMakeUpTheWholeTextAndEachIsLaidOutOnce) {
  auto font = Gothic(24);
  ASSERT_TRUE(font);
  const std::string_view sentence = "Sung 文字\nnext";
  const Rect rect{20, 20, 300, 120};
  for (const double turn : {0.0, 30.0}) {
    const auto draw = [&](Frame& frame, InkRange ink) {
      if (turn == 0) {
        font->DrawText(Canvas(frame).Target(), sentence, rect, DT_CENTER, kWhite, ink);
      } else {
        font->DrawTurnedText(Canvas(frame).Target(), sentence, rect, DT_CENTER, kWhite, turn, ink);
      }
    };
    auto whole = Black(), parts = Black(), sung = Black(), rest = Black();
    draw(*whole, {});
    draw(*sung, {0, 5});
    for (const InkRange ink : {InkRange{0, 5}, InkRange{5, SIZE_MAX}}) draw(*parts, ink);
    draw(*rest, {5, SIZE_MAX});
    ASSERT_TRUE(std::equal(whole->Row(0), whole->Row(0) + 320 * 240, parts->Row(0))) << turn;
    if (turn == 0) {
      const Box sung_ink = InkOf(*sung, kBlack), rest_ink = InkOf(*rest, kBlack);
      ASSERT_FALSE(sung_ink.Empty());
      EXPECT_LT(sung_ink.bottom, rest_ink.bottom);  // the second line is the rest's
      EXPECT_LT(InkOf(*sung, kBlack).right, InkOf(*whole, kBlack).right);
      // Styled, a range's glyphs come with their own outline, and the others with none.
      TextStyle style;
      style.outline = 3;
      style.outline_colour = 0xFF00FF00;
      auto styled_sung = Black(), styled_whole = Black();
      font->DrawStyledText(Canvas(*styled_sung).Target(), sentence, rect, DT_CENTER, kWhite, 0, style, {0, 5});
      font->DrawStyledText(Canvas(*styled_whole).Target(), sentence, rect, DT_CENTER, kWhite, 0, style);
      const Box outlined = InkOf(*styled_sung, kBlack);
      EXPECT_EQ(outlined.left, sung_ink.left - 3);
      EXPECT_LE(outlined.bottom, sung_ink.bottom + 4);
      EXPECT_LT(outlined.right, InkOf(*styled_whole, kBlack).right);
      EXPECT_GT(std::count(styled_sung->Row(0), styled_sung->Row(0) + 320 * 240, 0xFF00FF00u), 50);
    }
  }
  // The whole and each range once, straight and turned, and the two styled: a range drawn again
  // is not laid out again.
  EXPECT_EQ(font->LayoutCount(), 8);
}

TEST(DrawText, TurnedByARightAngleIsTheLaidOutMaskTurnedAndClippedWithIt) {
  auto font = Gothic(24);
  ASSERT_TRUE(font);
  // Even sides, so that pixel centres turn onto pixel centres; the second sentence overflows its
  // rectangle, which clips it before the turn.
  const std::pair<std::string_view, Rect> cases[] = {{"Turn 回", {100, 60, 220, 100}}, {"Turning 回転 text", {100, 60, 180, 100}}};
  for (const auto& [sentence, rect] : cases) {
    auto plain = Black(), turned = Black();
    font->DrawText(Canvas(*plain).Target(), sentence, rect, DT_CENTER | DT_VCENTER, kWhite);
    font->DrawTurnedText(Canvas(*turned).Target(), sentence, rect, DT_CENTER | DT_VCENTER, kWhite, 90);
    // Clockwise about the centre (cx, cy): pixel (x, y) goes to (cx + cy - 1 - y, cy - cx + x).
    const int cx = (rect.left + rect.right) / 2, cy = (rect.top + rect.bottom) / 2;
    const Box ink = InkOf(*plain, kBlack);
    ASSERT_FALSE(ink.Empty());
    EXPECT_TRUE(InkOf(*turned, kBlack) ==
                (Box{cx + cy - ink.bottom, cy - cx + ink.left, cx + cy - ink.top, cy - cx + ink.right}));
    for (int y = rect.top; y < rect.bottom; ++y) {
      for (int x = rect.left; x < rect.right; ++x) {
        ASSERT_EQ(turned->Row(cy - cx + x)[cx + cy - 1 - y], plain->Row(y)[x]) << sentence << " " << x << ", " << y;
      }
    }
    // Turning again, by any angle, reuses the layout.
    font->DrawTurnedText(Canvas(*turned).Target(), sentence, rect, DT_CENTER | DT_VCENTER, kWhite, 33);
  }
  EXPECT_EQ(font->LayoutCount(), 2);
}

TEST(DrawText, TheCanvasClipsShiftsFadesScalesAndLayersTheText) {
  auto font = Gothic(24);
  ASSERT_TRUE(font);
  const Rect rect{40, 30, 200, 90};
  const std::string_view sentence = "Canvas 文字";
  const uint32_t format = DT_CENTER | DT_VCENTER;
  auto plain = Black();
  font->DrawText(Canvas(*plain).Target(), sentence, rect, format, 0x80FFFFFF);
  const Box ink = InkOf(*plain, kBlack);
  ASSERT_FALSE(ink.Empty());
  // Each drawn through a canvas set up by `setup`.
  auto drawn = [&](auto setup, uint32_t argb = 0x80FFFFFF, Rect where = Rect{40, 30, 200, 90}) {
    auto frame = Black();
    Canvas canvas(*frame);
    setup(canvas);
    font->DrawText(canvas.Target(), sentence, where, format, argb);
    return frame;
  };
  auto clipped = drawn([](Canvas& c) { c.ClipRect(80, 40, 130, 70); });
  auto shifted = drawn([](Canvas& c) { c.Translate(13, -7); });
  auto faded = drawn([](Canvas& c) { c.MultiplyOpacity(0x80); }, kWhite);
  auto layered = drawn([](Canvas& c) {
    c.ClipRect(30, 20, 250, 100);
    c.SaveLayer(255);
  });
  // Shifted by whole pixels the mask is only placed: no layout again.
  EXPECT_EQ(font->LayoutCount(), 1);
  for (int y = 0; y < 240; ++y) {
    for (int x = 0; x < 320; ++x) {
      const uint32_t expected = plain->Row(y)[x];
      const bool inside = x >= 80 && x < 130 && y >= 40 && y < 70;
      ASSERT_EQ(clipped->Row(y)[x], inside ? expected : kBlack) << x << ", " << y;
      ASSERT_EQ(faded->Row(y)[x], expected) << x << ", " << y;
      ASSERT_EQ(shifted->Row(y)[x], x >= 13 && y + 7 < 240 ? plain->Row(y + 7)[x - 13] : kBlack) << x << ", " << y;
      for (int c = 0; c < 32; c += 8) {
        ASSERT_NEAR(layered->Row(y)[x] >> c & 0xFF, expected >> c & 0xFF, 1) << x << ", " << y;
      }
    }
  }
  // Scaled, the mask is drawn as a picture: twice the ink box of the same rectangle, to a pixel
  // of smoothing.
  const Rect half{20, 15, 100, 45};
  const Box small = InkOf(*drawn([](Canvas&) {}, kWhite, half), kBlack);
  const Box big = InkOf(*drawn([](Canvas& c) { c.Scale(2, 2); }, kWhite, half), kBlack);
  ASSERT_FALSE(small.Empty());
  EXPECT_NEAR(big.left, 2 * small.left, 1);
  EXPECT_NEAR(big.top, 2 * small.top, 1);
  EXPECT_NEAR(big.right, 2 * small.right, 1);
  EXPECT_NEAR(big.bottom, 2 * small.bottom, 1);
}

TEST(FontFace, InstalledFacesStayOthersFallBackToTheJapaneseGothic) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"DejaVu Sans", "DejaVu Sans"}, {"monospace", "monospace"}, {kFallbackFace, kFallbackFace},
      {"ＭＳ ゴシック", kFallbackFace}, {"No Such Face", kFallbackFace}, {"", kFallbackFace},
      {{"DejaVu Sans\0Mono", 16}, kFallbackFace}};
  for (const auto& [face, expected] : cases) EXPECT_EQ(ResolveFace(face), expected) << face;
}

TEST(Font, HeightIsTheCellWhenPositiveTheEmWhenNegativeSixteenWhenZeroAndClamped) {
  // DejaVu's ascent + descent is 2384 of its 2048 units per em; the gothic face's cell is its em.
  const std::tuple<int, const char*, double> cases[] = {
      {-40, "DejaVu Sans", 40}, {40, "DejaVu Sans", 40 * 2048.0 / 2384}, {40, "", 40}, {0, "", 16},
      {1, "", 1}, {-1, "", 1}, {INT_MAX, "", 16384}, {INT_MIN, "", 16384}};
  for (const auto& [height, face, em] : cases) {
    auto made = Font::Create(FontRequest{height, 0, false, face});
    ASSERT_TRUE(made) << height << " " << made.error().what;
    Font* font = made->get();
    EXPECT_NEAR(font->EmHeight(), em, 0.05) << height << " " << face;
    Draw(*font, "漢字 text", Rect{-1000, -1000, 20000, 20000}, DT_CENTER | DT_VCENTER);
  }
  // A glyph too large for one mask is cut to the visible window, so a move lays it out again.
  auto giant = Gothic(-16384);
  ASSERT_TRUE(giant);
  EXPECT_TRUE(Draw(*giant, "■", Rect{-20000, -20000, 20000, 20000}, DT_CENTER | DT_VCENTER) == (Box{0, 0, 320, 240}));
  Draw(*giant, "■", Rect{-20001, -20000, 19999, 20000}, DT_CENTER | DT_VCENTER);
  EXPECT_EQ(giant->LayoutCount(), 2);
  // Turned, the window the mask is cut to is the frame turned back: still all ink.
  auto frame = Black();
  giant->DrawTurnedText(Canvas(*frame).Target(), "■", Rect{-20000, -20000, 20000, 20000}, DT_CENTER | DT_VCENTER, kWhite, 45);
  EXPECT_EQ(frame->Row(0)[0], kWhite);
  EXPECT_EQ(frame->Row(239)[319], kWhite);
}

}  // namespace
}  // namespace talmora
