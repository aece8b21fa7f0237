#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "platform/text/font.h"
#include "platform/text/text_format.h"
#include "text/ink.h"

namespace talmora {
namespace {

using testing::FindInk;
using testing::InkBox;
using testing::MakeFrame;

constexpr uint32_t kBlack = 0xff000000;
constexpr uint32_t kWhite = 0xffffffff;

class DrawText : public ::testing::Test {
 protected:
  void SetUp() override {
    font_ = Font::Create(FontRequest{24, 0, false, "ＭＳ ゴシック"});
    ASSERT_TRUE(font_);
  }

  // Ink of the sentence drawn in the rectangle on a fresh 320 × 240 frame.
  InkBox Draw(std::string_view sentence, Rect rect, uint32_t format) {
    frame_ = MakeFrame(320, 240, kBlack);
    font_->DrawText(*frame_, sentence, rect, format, kWhite);
    return FindInk(*frame_, kBlack);
  }

  std::unique_ptr<Font> font_;
  std::unique_ptr<Frame> frame_;
};

void ExpectInside(const InkBox& ink, const Rect& rect) {
  if (ink.Empty()) return;
  EXPECT_GE(int64_t{ink.left}, int64_t{rect.left});
  EXPECT_GE(int64_t{ink.top}, int64_t{rect.top});
  EXPECT_LE(int64_t{ink.right}, int64_t{rect.right});
  EXPECT_LE(int64_t{ink.bottom}, int64_t{rect.bottom});
}

TEST_F(DrawText, OverflowingTextIsClippedToTheRectangle) {
  const Rect rect{40, 30, 140, 70};
  for (uint32_t format : {0u, DT_CENTER | DT_VCENTER, DT_RIGHT | DT_BOTTOM, DT_WORDBREAK, DT_SINGLELINE}) {
    SCOPED_TRACE(format);
    const InkBox ink = Draw("Overlongwordsthatdonotfit\nsecondline\nthirdline", rect, format);
    ASSERT_FALSE(ink.Empty());
    ExpectInside(ink, rect);
    // Cut at the edges, not shrunk or dropped: the overlong line runs into the sides it overflows.
    if (!(format & DT_RIGHT)) {
      EXPECT_EQ(ink.right, rect.right);
    }
    if (format & DT_CENTER) {
      EXPECT_EQ(ink.left, rect.left);
    }
  }
}

TEST_F(DrawText, HorizontalAlignmentPlacesEachLine) {
  const Rect rect{20, 20, 300, 60};
  const InkBox left = Draw("Hello", rect, 0);
  const InkBox center = Draw("Hello", rect, DT_CENTER);
  const InkBox right = Draw("Hello", rect, DT_RIGHT);
  EXPECT_LE(left.left - rect.left, 4);
  EXPECT_LE(rect.right - right.right, 4);
  EXPECT_NEAR(center.left - rect.left, rect.right - center.right, 4);
  EXPECT_EQ(left.Width(), right.Width());
  EXPECT_EQ(left.top, right.top);
  // A short second line is centred in the rectangle, not under the start of the long one.
  Draw("a very long first line\nab", Rect{0, 0, 320, 240}, DT_CENTER);
  auto second_line = MakeFrame(320, 30, kBlack);
  for (int y = 0; y < 30; ++y) std::copy_n(frame_->Row(27 + y), 320, second_line->Row(y));
  const InkBox ab = FindInk(*second_line, kBlack);
  ASSERT_FALSE(ab.Empty());
  EXPECT_NEAR(ab.left, 320 - ab.right, 4);
}

TEST_F(DrawText, VerticalPlacementMovesTheWholeBlock) {
  const Rect rect{20, 20, 300, 220};
  for (std::string_view sentence : {"Hello", "one\ntwo\nthree"}) {
    SCOPED_TRACE(sentence);
    const InkBox top = Draw(sentence, rect, 0);
    const InkBox middle = Draw(sentence, rect, DT_VCENTER);
    const InkBox bottom = Draw(sentence, rect, DT_BOTTOM);
    EXPECT_LE(top.top - rect.top, 12);
    EXPECT_LE(rect.bottom - bottom.bottom, 12);
    EXPECT_NEAR(middle.top - top.top, bottom.top - middle.top, 1);
    EXPECT_EQ(top.Height(), bottom.Height());
  }
}

TEST_F(DrawText, WordBreakWrapsWhileNoWordBreakKeepsOneLine) {
  const Rect rect{10, 10, 130, 230};
  const InkBox one_line = Draw("the quick brown fox jumps over the lazy dog", rect, 0);
  const InkBox wrapped = Draw("the quick brown fox jumps over the lazy dog", rect, DT_WORDBREAK);
  EXPECT_LT(one_line.Height(), 30);
  EXPECT_GT(wrapped.Height(), 3 * one_line.Height());
  ExpectInside(wrapped, rect);
  // Japanese has no spaces; it wraps between characters, by the kinsoku rules.
  EXPECT_GT(Draw("吾輩は猫である。名前はまだ無い。", rect, DT_WORDBREAK).Height(), 50);
}

TEST_F(DrawText, SingleLineIgnoresLineFeedsEvenWithWordBreak) {
  const Rect rect{0, 0, 320, 240};
  const InkBox joined = Draw("HelloWorld", rect, 0);
  EXPECT_GT(Draw("Hello\nWorld", rect, 0).Height(), 40);
  const InkBox single = Draw("Hello\nWorld", rect, DT_SINGLELINE);
  EXPECT_EQ(single.Height(), joined.Height());
  EXPECT_EQ(single.Width(), joined.Width());
  EXPECT_EQ(Draw("Hello\nWorld", Rect{0, 0, 60, 240}, DT_SINGLELINE | DT_WORDBREAK).Height(), joined.Height());
}

TEST_F(DrawText, TabsAdvanceToTheNextStop) {
  const Rect rect{0, 0, 320, 240};
  const InkBox after_nothing = Draw("\tX", rect, 0);
  EXPECT_GT(after_nothing.left, Draw("X", rect, 0).left + 20);
  EXPECT_EQ(Draw("ab\tX", rect, 0).right, after_nothing.right);
}

TEST_F(DrawText, ColourAndAlphaReachThePixels) {
  auto frame = MakeFrame(100, 100, 0x80123456);
  font_->DrawText(*frame, "Hello", Rect{0, 0, 100, 50}, 0, 0x00ffffff);
  EXPECT_TRUE(FindInk(*frame, 0x80123456).Empty());
  // Inside a full block the coverage is whole: half of the colour over black.
  auto big = Font::Create(FontRequest{-80, 0, false, "DejaVu Sans"});
  ASSERT_TRUE(big);
  frame = MakeFrame(100, 100, kBlack);
  big->DrawText(*frame, "█", Rect{0, 0, 100, 100}, 0, 0x80ff8000);
  const InkBox ink = FindInk(*frame, kBlack);
  ASSERT_FALSE(ink.Empty());
  EXPECT_EQ(frame->Row((ink.top + ink.bottom) / 2)[(ink.left + ink.right) / 2], 0xbf804000u);
}

TEST_F(DrawText, RectanglesPartlyOrWhollyOutsideAreSafe) {
  const Rect rects[] = {
      {-50, -20, 60, 30}, {300, 220, 400, 300}, {-1000, 100, -10, 200}, {500, 0, 600, 100},
      {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {INT_MAX - 10, 0, INT_MAX, 10}, {0, 0, 0, 0}, {100, 100, 50, 150},
  };
  for (const Rect& rect : rects) {
    for (uint32_t format : {0u, DT_CENTER | DT_VCENTER, DT_RIGHT | DT_BOTTOM | DT_WORDBREAK}) {
      ExpectInside(Draw("Hello 漢字\nWorld", rect, format), rect);
    }
  }
  EXPECT_TRUE(Draw("Hello", Rect{100, 100, 50, 150}, 0).Empty());
  // Laid out while wholly outside, then slid in: the part inside the frame shows.
  font_->DrawText(*frame_, "Slide", Rect{-400, 0, -230, 40}, 0, kWhite);
  EXPECT_TRUE(FindInk(*frame_, kBlack).Empty());
  font_->DrawText(*frame_, "Slide", Rect{-30, 0, 140, 40}, 0, kWhite);
  EXPECT_EQ(FindInk(*frame_, kBlack).left, 0);
}

TEST_F(DrawText, MovingOrResizingReusesTheMask) {
  auto first = MakeFrame(320, 240, kBlack);
  font_->DrawText(*first, "Moving 文字", Rect{10, 20, 210, 80}, DT_CENTER, kWhite);
  auto moved = MakeFrame(320, 240, kBlack);
  font_->DrawText(*moved, "Moving 文字", Rect{47, 113, 247, 173}, DT_CENTER, kWhite);
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 200; ++x) ASSERT_EQ(first->Row(20 + y)[10 + x], moved->Row(113 + y)[47 + x]);
  }
  // Without word breaking the size only places the block: 40 pixels wider moves it 20 right.
  auto wider = MakeFrame(320, 240, kBlack);
  font_->DrawText(*wider, "Moving 文字", Rect{10, 20, 250, 80}, DT_CENTER, kWhite);
  EXPECT_EQ(FindInk(*wider, kBlack).left, FindInk(*first, kBlack).left + 20);
  EXPECT_EQ(font_->LayoutCount(), 1);
  // A new sentence, new flags, or a new width to break lines at lay out again.
  font_->DrawText(*moved, "Moved", Rect{47, 113, 248, 173}, DT_CENTER, kWhite);
  EXPECT_EQ(font_->LayoutCount(), 2);
  font_->DrawText(*moved, "Moved", Rect{47, 113, 248, 173}, DT_CENTER | DT_WORDBREAK, kWhite);
  font_->DrawText(*moved, "Moved", Rect{0, 0, 201, 60}, DT_CENTER | DT_WORDBREAK, kWhite);
  EXPECT_EQ(font_->LayoutCount(), 3);
  font_->DrawText(*moved, "Moved", Rect{0, 0, 202, 60}, DT_CENTER | DT_WORDBREAK, kWhite);
  EXPECT_EQ(font_->LayoutCount(), 4);
}

TEST_F(DrawText, GiantTextLaysOutOnlyTheVisibleWindow) {
  auto giant = Font::Create(FontRequest{-16384, 0, false, ""});
  ASSERT_TRUE(giant);
  auto frame = MakeFrame(64, 64, kBlack);
  giant->DrawText(*frame, "■■■■", Rect{-20000, -20000, 20000, 20000}, DT_CENTER | DT_VCENTER, kWhite);
  giant->DrawText(*frame, "■■■■", Rect{-20001, -20000, 19999, 20000}, DT_CENTER | DT_VCENTER, kWhite);
  EXPECT_EQ(giant->LayoutCount(), 2);
}

TEST_F(DrawText, InvalidUtf8AndBlankSentencesAreSafeAndSilent) {
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(Draw(std::string_view("ab\xff\xfe" "cd\0ef", 9), Rect{0, 0, 320, 240}, 0).Empty());
  EXPECT_TRUE(Draw("", Rect{0, 0, 320, 240}, 0).Empty());
  EXPECT_TRUE(Draw("   \n\t", Rect{0, 0, 320, 240}, DT_CENTER).Empty());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace talmora
