// Time windows, templates, the factory's two passes and the makers' reading.

#include <gtest/gtest.h>

#include "audio/sound.h"
#include "audio/sound_maker.h"
#include "support/script_fixture.h"
#include "video/image.h"
#include "video/movie_maker.h"
#include "video/text.h"

namespace talmora {
namespace {

using testing::CaptureStdout;

class Objects : public ::testing::Test, public testing::ScriptFixture {
 protected:
  // Reads every tag as the movie pass does and returns the kept objects in script order.
  std::vector<std::shared_ptr<VideoObject>> ReadAll(const std::string& body) {
    std::vector<std::shared_ptr<VideoObject>> objects;
    for (const ScriptTag& tag : Load(body)) {
      if (auto object = factory.CreateVideoObject(tag)) objects.push_back(object);
    }
    return objects;
  }
  std::shared_ptr<VideoObject> ReadOne(const std::string& element) { return ReadAll(element).at(0); }
};

TEST_F(Objects, DurationGivesEndAndRecordsTimeEnd) {
  auto object = ReadOne(R"(<image time="2" duration="3" timeend="bad"/>)");
  EXPECT_EQ(object->start, 2);
  EXPECT_EQ(object->end, 5);
  EXPECT_EQ(keeper.Get("timeend"), "5.0000000000000000");
}

TEST_F(Objects, TimeEndGivesEndAndRecordsDuration) {
  auto object = ReadOne(R"(<image time="2" timeend="7"/>)");
  EXPECT_EQ(object->end, 7);
  EXPECT_EQ(keeper.Get("duration"), "5.0000000000000000");
  auto backwards = ReadOne(R"(<image time="2" timeend="1"/>)");
  EXPECT_EQ(backwards->end, 1);
  EXPECT_EQ(keeper.Get("duration"), "-1.0000000000000000");
}

TEST_F(Objects, InvalidDurationFallsBackToTimeEnd) {
  CaptureStdout out;
  auto object = ReadOne(R"(<image time="2" duration="x" timeend="4"/>)");
  EXPECT_EQ(out.Text(), "durationエラー : プロパティの値が不正です - [x]\n");
  EXPECT_EQ(object->end, 4);
}

TEST_F(Objects, NoTimeReadsNoDuration) {
  CaptureStdout out;
  auto object = ReadOne(R"(<image duration="bad" timeend="9"/>)");
  EXPECT_EQ(out.Text(), "");
  EXPECT_EQ(object->start, 0);
  EXPECT_EQ(object->end, 0);
  auto alone = ReadOne(R"(<image time="3"/>)");
  EXPECT_EQ(alone->end, 3);
  EXPECT_EQ(keeper.Get("timeend"), "");
}

TEST_F(Objects, NowStartsWhereTheLastRecordedEndWas) {
  auto objects = ReadAll(R"(<image time="2" duration="3"/><text time="now" duration="1"/>
                            <image time="9"/><text time="now"/>)");
  EXPECT_EQ(objects[1]->start, 5);
  // The object with only a time records no end: "now" still refers to the text's end.
  EXPECT_EQ(objects[3]->start, 6);
}

TEST_F(Objects, LastDurationRepeatsAComputedRecord) {
  auto objects = ReadAll(R"(<image time="0" timeend="4"/><image time="1" duration="last"/>)");
  EXPECT_EQ(objects[1]->end, 5);
}

TEST_F(Objects, TemplatesFillOnlyWhatTheObjectLacks) {
  auto objects = ReadAll(R"(
      <text template="cap" x="5" time="1"/>
      <template name="cap" x="1" y="2" time="9" template="other"/>
      <template name="cap" y="99"/>
      <Template name="other" z="4"/>
      <template x="7"/>
      <text template="nothing" time="1"/>)");
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[0]->x, 5);   // own value wins
  EXPECT_EQ(objects[0]->y, 2);   // first definition wins; defined later still applies
  EXPECT_EQ(objects[0]->z, 0);   // templates do not nest
  EXPECT_EQ(objects[0]->start, 1);
  EXPECT_EQ(objects[1]->x, 0);
  EXPECT_EQ(keeper.Get("template"), "nothing");
}

TEST_F(Objects, TemplateSuppliesTheTime) {
  auto object = ReadOne(R"(<template name="t" time="3" duration="2"/><image template="t"/>)");
  EXPECT_EQ(object->start, 3);
  EXPECT_EQ(object->end, 5);
}

TEST_F(Objects, LastTemplateNamesThePreviousOne) {
  auto objects = ReadAll(R"(<template name="t" y="8"/><image template="t"/><image template="last"/>)");
  EXPECT_EQ(objects[1]->y, 8);
}

TEST_F(Objects, DefaultsAreWhiteAtTheGlobalSize) {
  auto object = ReadOne(R"(<image time="0" duration="1"/>)");
  Rect rect;
  uint32_t argb = 0;
  object->Interpolate(0.5, rect, argb);
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(rect.right, 512);
  EXPECT_EQ(rect.bottom, 384);
  EXPECT_EQ(argb, 0xFFFFFFFFu);
}

TEST_F(Objects, EdgeFormRecordsItsCounterparts) {
  auto object = ReadOne(R"(<image left="10" right="110" leftend="50" rightend="200"/>)");
  EXPECT_EQ(object->x, 10);
  EXPECT_EQ(object->width, 100);
  EXPECT_EQ(object->xend, 50);
  EXPECT_EQ(object->widthend, 150);
  EXPECT_EQ(keeper.Get("left"), "10");
  EXPECT_EQ(keeper.Get("x"), "10.0000000000000000");
  EXPECT_EQ(keeper.Get("right"), "110");
  EXPECT_EQ(keeper.Get("width"), "100.0000000000000000");
  EXPECT_EQ(keeper.Get("xend"), "50.0000000000000000");
  EXPECT_EQ(keeper.Get("widthend"), "150.0000000000000000");
}

TEST_F(Objects, RightWithoutLeftIsNotRead) {
  CaptureStdout out;
  auto object = ReadOne(R"(<image right="bad" bottom="300"/>)");
  EXPECT_EQ(out.Text(), "");
  EXPECT_EQ(object->width, 512);
  EXPECT_EQ(object->height, 384);
  EXPECT_EQ(keeper.Get("right"), "");
}

TEST_F(Objects, PlainFormWinsAndRecordsEdges) {
  auto object = ReadOne(R"(<image left="10" right="110" x="20" top="5" bottom="25" height="40"/>)");
  EXPECT_EQ(object->x, 20);
  EXPECT_EQ(object->xend, 20);
  EXPECT_EQ(object->width, 100);  // from the edge form's own left
  EXPECT_EQ(object->height, 40);
  EXPECT_EQ(keeper.Get("left"), "20.0000000000000000");
  EXPECT_EQ(keeper.Get("bottom"), "45.0000000000000000");
  auto next = ReadAll(R"(<image x="last" right="last" left="last"/>)");
  EXPECT_EQ(next[0]->x, 20);
}

TEST_F(Objects, StartValueAlsoSetsTheEndValue) {
  auto object = ReadOne(R"(<image z="5" zend="9" a="0.5" bend="0"/>)");
  EXPECT_EQ(object->z, 5);
  EXPECT_EQ(object->zend, 9);
  EXPECT_EQ(object->aend, 0.5);
  EXPECT_EQ(object->b, 1);
  EXPECT_EQ(object->bend, 0);
}

TEST_F(Objects, InterpolateMovesAndFades) {
  auto object = ReadOne(R"(<image time="0" duration="2" x="0" xend="100" a="0" aend="1"/>)");
  Rect rect;
  uint32_t argb = 0;
  object->Interpolate(1.0, rect, argb);
  EXPECT_EQ(rect.left, 50);
  EXPECT_EQ(rect.right, 562);
  EXPECT_EQ(argb >> 24, 127u);
  object->Interpolate(2.0, rect, argb);
  EXPECT_EQ(argb >> 24, 255u);
  object->Interpolate(2.0000001, rect, argb);
  EXPECT_EQ(rect.right, 0);
  EXPECT_EQ(argb, 0u);
  object->Interpolate(-0.1, rect, argb);
  EXPECT_EQ(rect.bottom, 0);
  EXPECT_EQ(argb, 0u);
}

TEST_F(Objects, InterpolateRoundsHalfUpAndWrapsColours) {
  auto object = ReadOne(R"(<image x="10.5" y="-0.4" width="-2.1" height="100" r="1.2" g="-0.1" b="0.5"/>)");
  Rect rect;
  uint32_t argb = 0;
  object->Interpolate(0, rect, argb);
  EXPECT_EQ(rect.left, 11);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(rect.right, 8);  // 8.4 + 0.5 truncates to 8: right lies left of left, uncorrected
  EXPECT_EQ(argb, 0xFF32E77Fu);
}

TEST_F(Objects, EmptyWindowAndHugeValuesStayDefined) {
  auto object = ReadOne(R"(<image time="1" x="1e300" width="1e300" y="-1e300" r="1e300"/>)");
  Rect rect;
  uint32_t argb = 0;
  object->Interpolate(1.0, rect, argb);  // end == start: no division by zero
  EXPECT_EQ(rect.left, INT32_MAX);
  EXPECT_EQ(rect.right, INT32_MAX);
  EXPECT_EQ(rect.top, INT32_MIN);
  EXPECT_EQ(argb >> 24, 255u);
}

TEST_F(Objects, TextReadsItsSettings) {
  auto objects = ReadAll(R"(
      <text sentence="Hello%nWorld%t!%%n" weight="700.9" italic="yes" face="Serif"
            align="center" valign="middle" singleline="1" wordbreak="maybe"/>
      <text weight="1500" align="Right" valign="bottom"/>
      <text weight="-5" align="right"/>)");
  auto* first = static_cast<Text*>(objects[0].get());
  EXPECT_EQ(first->sentence, "Hello\nWorld\t!%\n");
  EXPECT_EQ(first->weight, 700);
  EXPECT_TRUE(first->italic);
  EXPECT_EQ(first->face, "Serif");
  EXPECT_EQ(first->format, 0x25u);
  auto* second = static_cast<Text*>(objects[1].get());
  EXPECT_EQ(second->weight, 1000);
  EXPECT_EQ(second->format, 0x8u);
  EXPECT_EQ(second->face, "ＭＳ ゴシック");
  EXPECT_EQ(static_cast<Text*>(objects[2].get())->weight, 0);
  EXPECT_EQ(static_cast<Text*>(objects[2].get())->format, 0x2u);
}

TEST(ReplaceEscapes, LineFeedsFirstThenTabs) {
  EXPECT_EQ(ReplaceEscapes("100%"), "100%");
  EXPECT_EQ(ReplaceEscapes("%%%nn%"), "%%\nn%");
  EXPECT_EQ(ReplaceEscapes("%%tn%t%n"), "%\tn\t\n");
  EXPECT_EQ(ReplaceEscapes(""), "");
  const std::string many(200000, 'x');
  std::string escapes;
  for (int i = 0; i < 100000; ++i) escapes += "%n";
  EXPECT_EQ(ReplaceEscapes(escapes), std::string(100000, '\n'));  // linear, or this takes minutes
  EXPECT_EQ(ReplaceEscapes(many), many);
}

TEST_F(Objects, FactoryReadsEveryKindInBothPassesAndKeepsItsOwn) {
  const TagList tags = Load(R"(<text time="bad"/><image/><sound time="2" duration="1"/><Text/><template name="t"/>)");
  CaptureStdout out;
  int video = 0, sounds = 0;
  for (const ScriptTag& tag : tags) video += factory.CreateVideoObject(tag) != nullptr;
  EXPECT_EQ(keeper.Get("timeend"), "3.0000000000000000");  // the dropped sound still recorded
  keeper.Clear();
  for (const ScriptTag& tag : tags) sounds += factory.CreateSound(tag) != nullptr;
  EXPECT_EQ(video, 2);
  EXPECT_EQ(sounds, 1);
  const std::string line = "timeエラー : プロパティの値が不正です - [bad]\n";
  EXPECT_EQ(out.Text(), line + line);
}

TEST_F(Objects, ImageAndSoundResolveFilesThatOpen) {
  testing::CaptureStdout out;
  auto objects = ReadAll(R"(<image src="/proc/self/status"/><image src="no such file"/><image src="/tmp"/>)");
  EXPECT_EQ(static_cast<Image*>(objects[0].get())->src, "/proc/self/status");
  EXPECT_EQ(static_cast<Image*>(objects[1].get())->src, "no such file");
  EXPECT_EQ(static_cast<Image*>(objects[2].get())->src, "/tmp");
}

TEST_F(Objects, MovieMakerSortsForActivationAndReadsSettings) {
  const TagList tags = Load(R"(
      <image time="1" duration="5" x="1"/>
      <image time="0" duration="1" x="2"/>
      <image time="0.0000000001" duration="2" x="3"/>
      <image time="0" duration="1" x="4"/>
      <text x="5"/>)",
      R"(width="640" height="abc" fps="25" r="1" a="0.5")");
  keeper.Clear();
  MovieMaker maker(factory, nullptr, MovieOptions{});
  CaptureStdout out;
  maker.ReadProperties(tags);
  EXPECT_EQ(out.Text(), "heightエラー : プロパティの値が不正です - [abc]\nスクリプトパース完了\n");
  EXPECT_EQ(maker.width, 640);
  EXPECT_EQ(maker.height, 384);
  EXPECT_EQ(maker.fps, 25);
  EXPECT_EQ(maker.length, 6);
  EXPECT_EQ(maker.r, 1);
  EXPECT_EQ(maker.a, 0.5);
  std::vector<double> order;
  for (const auto& object : maker.Pending()) order.push_back(object->x);
  // Activated from the back: starts within 1e-9 go by end, full ties latest in the script first.
  EXPECT_EQ(order, (std::vector<double>{1, 3, 2, 4, 5}));
}

TEST_F(Objects, MovieLengthSettingReplacesTheComputedOne) {
  const TagList tags = Load(R"(<image time="0" duration="9"/>)", R"(length="2.5")");
  MovieMaker maker(factory, nullptr, MovieOptions{});
  CaptureStdout out;
  maker.ReadProperties(tags);
  EXPECT_EQ(maker.length, 2.5);
}

TEST_F(Objects, SoundMakerOrdersLatestStartFirstAndStably) {
  const TagList tags = Load(R"(
      <sound time="1" loop="yes" loopcount="3" volume="0.5" src="a"/>
      <sound time="3" src="b"/>
      <sound time="2" src="c"/>
      <sound time="2" src="d"/>
      <sound time="2.000000000001" duration="1" src="e"/>)");
  SoundMaker maker(factory, 10);
  CaptureStdout out;
  maker.ReadProperties(tags);
  std::vector<std::string> order;
  for (const auto& sound : maker.Sounds()) order.push_back(sound->path);
  EXPECT_EQ(order, (std::vector<std::string>{"b", "e", "c", "d", "a"}));
  const Sound& first = *maker.Sounds().back();
  EXPECT_TRUE(first.loop);
  EXPECT_EQ(first.loopcount, 3);
  EXPECT_EQ(first.volume, 0.5);
}

}  // namespace
}  // namespace talmora
