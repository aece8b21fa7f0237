#include "platform/text/font.h"

#include <gtest/gtest.h>

#include <climits>

#include "platform/text/font_face.h"
#include "platform/text/text_format.h"
#include "text/ink.h"

namespace talmora {
namespace {

using testing::FindInk;
using testing::InkBox;
using testing::MakeFrame;

constexpr uint32_t kBlack = 0xff000000;
constexpr uint32_t kWhite = 0xffffffff;

std::unique_ptr<Font> MakeFont(int height, std::string face = "ＭＳ ゴシック", int weight = 0, bool italic = false) {
  return Font::Create(FontRequest{height, weight, italic, std::move(face)});
}

// Ink of the sentence drawn top-left in a 400 × 200 frame.
InkBox InkOf(Font& font, std::string_view sentence) {
  auto frame = MakeFrame(400, 200, kBlack);
  font.DrawText(*frame, sentence, Rect{0, 0, 400, 200}, 0, kWhite);
  return FindInk(*frame, kBlack);
}

uint64_t CoverageSum(Font& font, std::string_view sentence) {
  auto frame = MakeFrame(400, 200, kBlack);
  font.DrawText(*frame, sentence, Rect{0, 0, 400, 200}, 0, kWhite);
  uint64_t sum = 0;
  for (int y = 0; y < frame->Height(); ++y) {
    for (int x = 0; x < frame->Width(); ++x) sum += frame->Row(y)[x] & 0xff;
  }
  return sum;
}

TEST(FontFace, InstalledFacesStayOthersFallBackToTheJapaneseGothic) {
  EXPECT_EQ(ResolveFace("DejaVu Sans"), "DejaVu Sans");
  EXPECT_EQ(ResolveFace("IPAゴシック"), "IPAゴシック");
  EXPECT_EQ(ResolveFace("monospace"), "monospace");
  EXPECT_EQ(ResolveFace("ＭＳ ゴシック"), kFallbackFace);
  EXPECT_EQ(ResolveFace("No Such Face 4711"), kFallbackFace);
  EXPECT_EQ(ResolveFace(""), kFallbackFace);
  EXPECT_EQ(ResolveFace(std::string_view("DejaVu Sans\0Mono", 16)), kFallbackFace);
}

TEST(Font, DefaultFaceRendersLatinKanaAndKanji) {
  auto font = MakeFont(32);
  ASSERT_TRUE(font);
  EXPECT_EQ(font->Family(), kFallbackFace);
  for (const char* sentence : {"Hello", "ひらがなカタカナ", "漢字", "Aあ亜"}) {
    EXPECT_FALSE(InkOf(*font, sentence).Empty()) << sentence;
  }
  // Kanji drawn as glyphs, not as the empty boxes of a face without them: a box has an empty
  // middle, 永 crosses its own middle.
  auto frame = MakeFrame(64, 64, kBlack);
  font->DrawText(*frame, "永", Rect{0, 0, 64, 64}, 0, kWhite);
  const InkBox ink = FindInk(*frame, kBlack);
  ASSERT_FALSE(ink.Empty());
  bool middle_column_inked = false;
  for (int y = ink.top; y < ink.bottom; ++y) {
    middle_column_inked |= frame->Row(y)[(ink.left + ink.right) / 2] != kBlack;
  }
  EXPECT_TRUE(middle_column_inked);
}

TEST(Font, HeightSignChoosesCellOrEm) {
  auto em = MakeFont(-40, "DejaVu Sans");
  auto cell = MakeFont(40, "DejaVu Sans");
  ASSERT_TRUE(em && cell);
  EXPECT_DOUBLE_EQ(em->EmHeight(), 40);
  // DejaVu's ascent + descent is 2384 of its 2048 units per em.
  EXPECT_NEAR(cell->EmHeight(), 40 * 2048.0 / 2384, 0.05);
  EXPECT_GT(InkOf(*em, "Hg").Height(), InkOf(*cell, "Hg").Height());
  // The gothic face's cell is its em, as with the face it stands in for.
  auto gothic = MakeFont(40);
  ASSERT_TRUE(gothic);
  EXPECT_NEAR(gothic->EmHeight(), 40, 0.05);
  // 0 is the default of 16.
  auto zero = MakeFont(0);
  ASSERT_TRUE(zero);
  EXPECT_NEAR(zero->EmHeight(), 16, 0.05);
}

TEST(Font, LargerSizeGivesTallerInk) {
  int previous = 0;
  for (int height : {12, 24, 48, 96}) {
    auto font = MakeFont(height);
    ASSERT_TRUE(font);
    const int ink = InkOf(*font, "Hg漢").Height();
    EXPECT_GT(ink, previous) << height;
    EXPECT_LE(ink, height + 2) << height;
    previous = ink;
  }
}

TEST(Font, ExtremeHeightsAreClampedAndSafe) {
  for (int height : {INT_MAX, INT_MIN, 1, -1}) {
    auto font = MakeFont(height);
    ASSERT_TRUE(font) << height;
    EXPECT_GE(font->EmHeight(), 1);
    EXPECT_LE(font->EmHeight(), 16384);
    auto frame = MakeFrame(64, 64, kBlack);
    font->DrawText(*frame, "漢字 text", Rect{-1000, -1000, 20000, 20000}, DT_CENTER | DT_VCENTER, kWhite);
  }
}

TEST(Font, WeightAndItalicReachTheFace) {
  auto regular = MakeFont(40, "DejaVu Sans");
  auto bold = MakeFont(40, "DejaVu Sans", 700);
  auto heavy = MakeFont(40, "DejaVu Sans", 1000);
  auto italic = MakeFont(40, "DejaVu Sans", 0, true);
  auto normal_weight = MakeFont(40, "DejaVu Sans", 400);
  ASSERT_TRUE(regular && bold && heavy && italic && normal_weight);
  const uint64_t regular_ink = CoverageSum(*regular, "Hamburg");
  EXPECT_GT(CoverageSum(*bold, "Hamburg"), regular_ink * 11 / 10);
  EXPECT_EQ(CoverageSum(*normal_weight, "Hamburg"), regular_ink);
  EXPECT_GE(CoverageSum(*heavy, "Hamburg"), CoverageSum(*bold, "Hamburg"));
  // A slanted capital I leans right: its top row starts further right than its bottom row.
  auto frame = MakeFrame(100, 100, kBlack);
  italic->DrawText(*frame, "I", Rect{10, 10, 100, 100}, 0, kWhite);
  const InkBox ink = FindInk(*frame, kBlack);
  auto first_inked = [&](int y) {
    int x = 0;
    while (x < frame->Width() && frame->Row(y)[x] == kBlack) ++x;
    return x;
  };
  EXPECT_GT(first_inked(ink.top + 1), first_inked(ink.bottom - 2) + 2);
}

}  // namespace
}  // namespace talmora
