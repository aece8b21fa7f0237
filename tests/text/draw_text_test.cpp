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
    font_ = Font::Create(FontSpec{24, 0, false, "ＭＳ ゴシック"});
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
  ASSERT_FALSE(ink.Empty());
  EXPECT_GE(ink.left, rect.left);
  EXPECT_GE(ink.top, rect.top);
  EXPECT_LE(ink.right, rect.right);
  EXPECT_LE(ink.bottom, rect.bottom);
}

TEST_F(DrawText, InkStaysInsideTheRectangle) {
  const Rect rect{40, 30, 140, 70};
  const std::string long_text = "Overlongwordsthatdonotfit\nsecondline\nthirdline";
  for (uint32_t format : {0u, DT_CENTER | DT_VCENTER, DT_RIGHT | DT_BOTTOM, DT_WORDBREAK, DT_SINGLELINE}) {
    SCOPED_TRACE(format);
    const InkBox ink = Draw(long_text, rect, format);
    ExpectInside(ink, rect);
    // Clipped, not shrunk or dropped: the overlong line runs into both sides it overflows.
    if (format & DT_CENTER) {
      EXPECT_EQ(ink.left, rect.left);
    }
    if (!(format & DT_RIGHT)) {
      EXPECT_EQ(ink.right, rect.right);
    }
  }
}

TEST_F(DrawText, HorizontalAlignmentMovesTheInk) {
  const Rect rect{20, 20, 300, 60};
  const InkBox left = Draw("Hello", rect, 0);
  const InkBox center = Draw("Hello", rect, DT_CENTER);
  const InkBox right = Draw("Hello", rect, DT_RIGHT);
  EXPECT_LE(left.left - rect.left, 4);
  EXPECT_LE(rect.right - right.right, 4);
  EXPECT_NEAR(center.left - rect.left, rect.right - center.right, 4);
  EXPECT_EQ(left.Width(), center.Width());
  EXPECT_EQ(left.Width(), right.Width());
  EXPECT_EQ(left.top, right.top);
}

TEST_F(DrawText, VerticalPlacementMovesTheBlock) {
  const Rect rect{20, 20, 300, 220};
  for (std::string_view sentence : {"Hello", "one\ntwo\nthree"}) {
    SCOPED_TRACE(sentence);
    const InkBox top = Draw(sentence, rect, 0);
    const InkBox middle = Draw(sentence, rect, DT_VCENTER);
    const InkBox bottom = Draw(sentence, rect, DT_BOTTOM);
    EXPECT_LE(top.top - rect.top, 12);
    EXPECT_LE(rect.bottom - bottom.bottom, 12);
    EXPECT_GT(bottom.top - top.top, 100);
    EXPECT_NEAR(middle.top - top.top, bottom.top - middle.top, 1);
    EXPECT_EQ(top.Height(), bottom.Height());
    EXPECT_EQ(top.left, bottom.left);
  }
}

TEST_F(DrawText, CenteredLinesAreEachCentred) {
  const Rect rect{0, 0, 320, 240};
  Draw("a very long first line\nab", rect, DT_CENTER);
  // The short second line sits in the middle of the rectangle, not at the long line's start.
  frame_->Row(0)[0] = kBlack;
  InkBox second{320, 240, 0, 0};
  for (int y = 27; y < 60; ++y) {
    for (int x = 0; x < 320; ++x) {
      if (frame_->Row(y)[x] == kBlack) continue;
      second.left = std::min(second.left, x);
      second.right = std::max(second.right, x + 1);
    }
  }
  ASSERT_FALSE(second.right <= second.left);
  EXPECT_NEAR(second.left, 320 - second.right, 4);
}

TEST_F(DrawText, WordBreakWrapsWhileNoWordBreakClipsOneLine) {
  const Rect rect{10, 10, 130, 230};
  const std::string sentence = "the quick brown fox jumps over the lazy dog";
  const InkBox one_line = Draw(sentence, rect, 0);
  const InkBox wrapped = Draw(sentence, rect, DT_WORDBREAK);
  ExpectInside(wrapped, rect);
  EXPECT_LT(one_line.Height(), 30);
  EXPECT_GT(wrapped.Height(), 3 * one_line.Height());
  EXPECT_LE(one_line.top, wrapped.top + 1);
}

TEST_F(DrawText, WordBreakFollowsJapaneseLineBreaking) {
  const Rect rect{10, 10, 130, 230};
  const InkBox wrapped = Draw("吾輩は猫である。名前はまだ無い。", rect, DT_WORDBREAK);
  ExpectInside(wrapped, rect);
  EXPECT_GT(wrapped.Height(), 50);
}

TEST_F(DrawText, SingleLineIgnoresLineFeeds) {
  const Rect rect{0, 0, 320, 240};
  const InkBox two_lines = Draw("Hello\nWorld", rect, 0);
  const InkBox single = Draw("Hello\nWorld", rect, DT_SINGLELINE);
  const InkBox joined = Draw("HelloWorld", rect, 0);
  EXPECT_GT(two_lines.Height(), 40);
  EXPECT_EQ(single.Height(), joined.Height());
  EXPECT_EQ(single.Width(), joined.Width());
  // Word breaking does not undo it.
  EXPECT_EQ(Draw("Hello\nWorld", Rect{0, 0, 60, 240}, DT_SINGLELINE | DT_WORDBREAK).Height(), joined.Height());
}

TEST_F(DrawText, TabsAdvanceToTheNextStop) {
  const Rect rect{0, 0, 320, 240};
  const InkBox after_nothing = Draw("\tX", rect, 0);
  const InkBox after_two = Draw("ab\tX", rect, 0);
  const InkBox x_alone = Draw("X", rect, 0);
  EXPECT_GT(after_nothing.left, x_alone.left + 20);
  EXPECT_EQ(after_two.right, after_nothing.right);
}

TEST_F(DrawText, AlphaZeroDrawsNothing) {
  auto frame = MakeFrame(100, 50, 0x80123456);
  font_->DrawText(*frame, "Hello", Rect{0, 0, 100, 50}, 0, 0x00ffffff);
  EXPECT_TRUE(FindInk(*frame, 0x80123456).Empty());
}

TEST_F(DrawText, ColourAndAlphaTintTheInk) {
  auto big = Font::Create(FontSpec{-80, 0, false, "DejaVu Sans"});
  ASSERT_TRUE(big);
  auto frame = MakeFrame(100, 100, kBlack);
  big->DrawText(*frame, "█", Rect{0, 0, 100, 100}, 0, 0x80ff8000);
  const InkBox ink = FindInk(*frame, kBlack);
  ASSERT_FALSE(ink.Empty());
  // Inside the block the coverage is full: half of the colour over black.
  const uint32_t inside = frame->Row((ink.top + ink.bottom) / 2)[(ink.left + ink.right) / 2];
  EXPECT_EQ(inside, 0xbf804000u);
}

TEST_F(DrawText, RectanglesPartlyOrWhollyOutsideAreSafe) {
  const Rect rects[] = {
      {-50, -20, 60, 30}, {300, 220, 400, 300}, {-1000, 100, -10, 200}, {500, 0, 600, 100},
      {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {INT_MAX - 10, 0, INT_MAX, 10}, {0, 0, 0, 0}, {100, 100, 50, 50},
  };
  for (const Rect& rect : rects) {
    for (uint32_t format : {0u, DT_CENTER | DT_VCENTER, DT_RIGHT | DT_BOTTOM | DT_WORDBREAK}) {
      const InkBox ink = Draw("Hello 漢字\nWorld", rect, format);
      if (ink.Empty()) continue;
      EXPECT_GE(int64_t{ink.left}, int64_t{rect.left});
      EXPECT_LE(int64_t{ink.right}, int64_t{rect.right});
      EXPECT_GE(int64_t{ink.top}, int64_t{rect.top});
      EXPECT_LE(int64_t{ink.bottom}, int64_t{rect.bottom});
    }
  }
  // A rectangle overhanging the frame's corner still shows the part inside.
  EXPECT_FALSE(Draw("Hello World", Rect{-30, -10, 200, 40}, 0).Empty());
  // Inverted and empty rectangles show nothing.
  EXPECT_TRUE(Draw("Hello", Rect{100, 100, 50, 150}, 0).Empty());
  EXPECT_TRUE(Draw("Hello", Rect{0, 0, 100, 0}, 0).Empty());
}

TEST_F(DrawText, MovingReusesTheLayoutResizingRedoesIt) {
  auto first = MakeFrame(320, 240, kBlack);
  font_->DrawText(*first, "Moving 文字", Rect{10, 20, 210, 80}, DT_CENTER, kWhite);
  EXPECT_EQ(font_->LayoutCount(), 1);
  auto moved = MakeFrame(320, 240, kBlack);
  font_->DrawText(*moved, "Moving 文字", Rect{47, 113, 247, 173}, DT_CENTER, kWhite);
  EXPECT_EQ(font_->LayoutCount(), 1);
  // The reused mask lands exactly where a fresh layout would.
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 200; ++x) ASSERT_EQ(first->Row(20 + y)[10 + x], moved->Row(113 + y)[47 + x]);
  }
  font_->DrawText(*moved, "Moving 文字", Rect{47, 113, 248, 173}, DT_CENTER, kWhite);
  EXPECT_EQ(font_->LayoutCount(), 2);
  font_->DrawText(*moved, "Moved", Rect{47, 113, 248, 173}, DT_CENTER, kWhite);
  EXPECT_EQ(font_->LayoutCount(), 3);
  font_->DrawText(*moved, "Moved", Rect{47, 113, 248, 173}, DT_RIGHT, kWhite);
  EXPECT_EQ(font_->LayoutCount(), 4);
}

TEST_F(DrawText, TextMovingInFromOutsideIsClippedNotLost) {
  // Start fully outside (nothing to lay out), then slide in: the part inside the frame shows.
  auto frame = MakeFrame(320, 240, kBlack);
  font_->DrawText(*frame, "Slide", Rect{-400, 0, -200, 40}, 0, kWhite);
  EXPECT_TRUE(FindInk(*frame, kBlack).Empty());
  font_->DrawText(*frame, "Slide", Rect{-30, 0, 170, 40}, 0, kWhite);
  const InkBox ink = FindInk(*frame, kBlack);
  ASSERT_FALSE(ink.Empty());
  EXPECT_EQ(ink.left, 0);
}

TEST_F(DrawText, GiantTextOnlyDrawsWhatIsVisible) {
  auto giant = Font::Create(FontSpec{-16384, 0, false, ""});
  ASSERT_TRUE(giant);
  auto frame = MakeFrame(64, 64, kBlack);
  const Rect rect{-20000, -20000, 20000, 20000};
  giant->DrawText(*frame, "■■■■", rect, DT_CENTER | DT_VCENTER, kWhite);
  giant->DrawText(*frame, "■■■■", Rect{-20001, -20000, 19999, 20000}, DT_CENTER | DT_VCENTER, kWhite);
  // The visible window of each position is laid out on its own.
  EXPECT_EQ(giant->LayoutCount(), 2);
}

TEST_F(DrawText, InvalidUtf8AndEmptySentencesAreSafe) {
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(Draw(std::string_view("ab\xff\xfe" "cd\0ef", 9), Rect{0, 0, 320, 240}, 0).Empty());
  EXPECT_TRUE(Draw("", Rect{0, 0, 320, 240}, 0).Empty());
  EXPECT_TRUE(Draw("   \n\t", Rect{0, 0, 320, 240}, DT_CENTER).Empty());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace talmora
