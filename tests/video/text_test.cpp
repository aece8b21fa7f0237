#include "video/text.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/capture_stdout.h"
#include "support/script_fixture.h"
#include "text/ink.h"
#include "video/device.h"

namespace talmora {
namespace {

using testing::CaptureStdout;
using testing::FindInk;
using testing::InkBox;

constexpr uint32_t kBackground = 0xFF000000;

class TextTest : public ::testing::Test {
 protected:
  TextTest() {
    CaptureStdout quiet;  // the device's start-up lines
    device_ = std::make_unique<Device>();
    fixture_.context.device = device_.get();
    frame_ = Frame::Create(640, 480);
    frame_->Clear(kBackground);
  }

  std::shared_ptr<Text> Read(const std::string& attributes) {
    const TagList tags = fixture_.Load("<text " + attributes + "/>");
    auto text = std::dynamic_pointer_cast<Text>(fixture_.factory.CreateVideoObject(tags.at(1)));
    EXPECT_NE(text, nullptr);
    return text;
  }

  // Draws one frame at `time` on a cleared frame and returns what it printed.
  std::string DrawAt(Text& text, double time) {
    frame_->Clear(kBackground);
    CaptureStdout output;
    Sprite& sprite = *device_->GetSprite();
    sprite.Begin(*frame_);
    text.Draw(time);
    sprite.End();
    return output.Text();
  }

  InkBox Ink() const { return FindInk(*frame_, kBackground); }

  testing::ScriptFixture fixture_;
  std::unique_ptr<Device> device_;
  std::unique_ptr<Frame> frame_;
};

TEST_F(TextTest, FirstDrawPrintsTheSentenceOnceAfterTheReplacements) {
  auto text = Read(R"(sentence="Hello%nWorld%tend" time="0" duration="2")");
  EXPECT_EQ(DrawAt(*text, 0.5), "Hello\nWorld\tend\n");
  EXPECT_FALSE(Ink().Empty());
  EXPECT_EQ(DrawAt(*text, 1.0), "");
  EXPECT_FALSE(Ink().Empty());
}

TEST_F(TextTest, WithoutSentenceAnEmptyLineAndNothingDrawn) {
  auto text = Read(R"(duration="1")");
  EXPECT_EQ(DrawAt(*text, 0.5), "\n");
  EXPECT_TRUE(Ink().Empty());
}

TEST_F(TextTest, InkLiesInTheInterpolatedRectangleInTheColour) {
  auto text = Read(R"(sentence="■" fontsize="40" x="100" xend="300" y="50" width="200" height="60"
                      align="right" valign="bottom" r="1" g="0" b="0" time="0" duration="2")");
  DrawAt(*text, 0.0);
  const InkBox start = Ink();
  ASSERT_FALSE(start.Empty());
  EXPECT_GE(start.left, 100);
  EXPECT_LE(start.right, 300);
  EXPECT_GE(start.top, 50);
  EXPECT_LE(start.bottom, 110);
  EXPECT_GT(start.left, 200);  // right-aligned
  EXPECT_GT(start.top, 60);    // at the bottom
  EXPECT_EQ(frame_->Row((start.top + start.bottom) / 2)[(start.left + start.right) / 2], 0xFFFF0000u);
  // Halfway the rectangle has moved 100 pixels right, and the text with it.
  DrawAt(*text, 1.0);
  const InkBox half = Ink();
  EXPECT_EQ(half.left, start.left + 100);
  EXPECT_EQ(half.top, start.top);
}

TEST_F(TextTest, FontAttributesReachTheFont) {
  auto small = Read(R"(sentence="Hg" fontsize="16" time="0" duration="1")");
  auto large = Read(R"(sentence="Hg" fontsize="48" time="0" duration="1")");
  auto em = Read(R"(sentence="Hg" fontsize="-48" face="DejaVu Sans" time="0" duration="1")");
  auto bold = Read(R"(sentence="Hg" fontsize="-48" face="DejaVu Sans" weight="700" time="0" duration="1")");
  DrawAt(*small, 0.5);
  const int small_height = Ink().Height();
  DrawAt(*large, 0.5);
  EXPECT_GT(Ink().Height(), 2 * small_height);
  DrawAt(*em, 0.5);
  const int em_width = Ink().Width();
  DrawAt(*bold, 0.5);
  EXPECT_GT(Ink().Width(), em_width);
}

TEST_F(TextTest, DrawnOutsideAFrameNothingBreaks) {
  // Between frames the sprite has no target: the font is still made and the sentence printed.
  auto text = Read(R"(sentence="x" time="0" duration="1")");
  CaptureStdout output;
  text->Draw(0.5);
  EXPECT_EQ(output.Text(), "x\n");
  EXPECT_EQ(DrawAt(*text, 0.6), "");
  EXPECT_FALSE(Ink().Empty());
}

}  // namespace
}  // namespace talmora
