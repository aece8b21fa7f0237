// Time windows, templates, geometry, the factory's two passes and the makers' reading.

#include <gtest/gtest.h>

#include "audio/sound.h"
#include "audio/sound_maker.h"
#include "support/script_fixture.h"
#include "video/easing.h"
#include "video/image.h"
#include "video/movie_maker.h"
#include "video/text.h"
#include "video/track.h"

namespace talmora {
namespace {


class Objects : public ::testing::Test, public testing::ScriptFixture {
 protected:
  // Reads every tag as the movie pass does; the kept objects in script order.
  std::vector<std::shared_ptr<VideoObject>> ReadAll(const std::string& body) {
    std::vector<std::shared_ptr<VideoObject>> objects;
    for (const ScriptTag& tag : Load(body)) {
      if (auto object = factory.Create<VideoObject>(tag)) objects.push_back(object);
    }
    return objects;
  }
};

TEST_F(Objects, TimeWindowsAndTheirRecords) {
  reporter.Take();
  const auto objects = ReadAll(R"(
      <image time="2" duration="3" timeend="bad"/>
      <image time="now" timeend="7"/>
      <image time="2" duration="x" timeend="1"/>
      <image duration="bad" timeend="9"/>
      <image time="9"/>
      <image time="now" duration="last"/>)");
  // The last "now" reads the "timeend" text the third object gave; "last" its computed duration.
  const std::pair<double, double> windows[] = {{2, 5}, {5, 7}, {2, 1}, {0, 0}, {9, 9}, {1, 0}};
  for (size_t i = 0; i < std::size(windows); ++i) {
    EXPECT_EQ(objects[i]->start, windows[i].first) << i;
    EXPECT_EQ(objects[i]->end, windows[i].second) << i;
  }
  EXPECT_EQ(keeper.Get("duration"), "-1.0000000000000000");
  EXPECT_EQ(keeper.Get("timeend"), "0.0000000000000000");
  EXPECT_EQ(reporter.Take(), "durationエラー : プロパティの値が不正です - [x]\n");
}

TEST_F(Objects, TemplatesFillOnlyWhatTheObjectLacks) {
  const auto objects = ReadAll(R"(
      <text template="cap" x="5"/>
      <template name="cap" x="1" y="2" time="3" duration="2" template="other"/>
      <template name="cap" y="99"/>
      <Template name="other" z="4"/>
      <text template="last"/>
      <text template="nothing"/>)");
  ASSERT_EQ(objects.size(), 3u);
  EXPECT_EQ(objects[0]->x.First(), 5);    // own value wins
  EXPECT_EQ(objects[0]->y.First(), 2);    // first definition wins, defined later still applies
  EXPECT_EQ(objects[0]->z.First(), 0);    // no nesting, and "Template" is no template
  EXPECT_EQ(objects[0]->end, 5);  // even the time window
  EXPECT_EQ(objects[1]->x.First(), 1);
  EXPECT_EQ(objects[2]->y.First(), 0);
}

TEST_F(Objects, GeometryForms) {
  reporter.Take();
  const auto objects = ReadAll(R"(
      <image left="10" right="110" leftend="50" rightend="200"/>
      <image right="bad" bottom="300"/>
      <image left="10" right="110" x="20" top="5" bottom="25" height="40"/>
      <image x="last" width="last" z="5" zend="9" a="0.5" bend="0"/>)");
  EXPECT_EQ(reporter.Take(), "");  // "right" without "left" is never read
  EXPECT_EQ(objects[0]->width.First(), 100);
  EXPECT_EQ(objects[0]->width.Last(), 150);
  EXPECT_EQ(objects[1]->width.First(), 512);
  EXPECT_EQ(objects[2]->x.First(), 20);
  EXPECT_EQ(objects[2]->width.First(), 100);  // from the edge form's own left
  EXPECT_EQ(objects[2]->height.First(), 40);
  EXPECT_EQ(keeper.Get("bottom"), "45.0000000000000000");
  EXPECT_EQ(objects[3]->x.First(), 20);
  EXPECT_EQ(objects[3]->width.First(), 100);  // the recorded "width" counterpart
  EXPECT_EQ(objects[3]->z.Last(), 9);
  EXPECT_EQ(objects[3]->a.Last(), 0.5);
  EXPECT_EQ(objects[3]->b.Last(), 0);
}

TEST_F(Objects, InterpolateWithEaseAndTurn) {
  reporter.Take();
  const auto objects = ReadAll(R"(
      <image time="0" duration="2" x="0" xend="100" a="0" aend="1"/>
      <image x="10.5" y="-0.4" width="-2.1" r="1.2" g="-0.1" b="0.5"/>
      <image time="1" x="1e300" width="1e300" y="-1e300"/>
      <image time="0" duration="2" x="0" xend="100" a="0" aend="1" ease="in" angle="10" angleend="90"/>
      <image time="0" duration="2" x="0" xend="100" a="0" aend="1" ease="bogus" angle="45"/>
      <text ease="last"/>)");
  // "last" gives the invalid text again, which is reported again.
  const std::string line = "easeエラー : プロパティの値が不正です - [bogus]\n";
  EXPECT_EQ(reporter.Take(), line + line);
  // Left, top, right, bottom and colour at `time`.
  const auto at = [&objects](size_t i, double time) {
    Rect r;
    uint32_t argb = 0;
    objects[i]->Interpolate(time, r, argb);
    return std::tuple(r.left, r.top, r.right, r.bottom, argb);
  };
  EXPECT_EQ(at(0, 1.0), std::tuple(50, 0, 562, 384, 0x7FFFFFFFu));
  EXPECT_EQ(at(0, 2.0000001), std::tuple(0, 0, 0, 0, 0u));
  EXPECT_EQ(at(1, 0), std::tuple(11, 0, 8, 384, 0xFF32E77Fu));  // rounds half up, wraps colours, keeps right < left
  // Empty window, huge edges: defined and saturated.
  EXPECT_EQ(at(2, 1.0), std::tuple(INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN, 0xFFFFFFFFu));
  EXPECT_EQ(at(3, 1.0), std::tuple(13, 0, 525, 384, 0x1FFFFFFFu));  // s = 1/8
  EXPECT_EQ(objects[3]->AngleAt(1.0), 20);
  EXPECT_EQ(at(4, 1.0), std::tuple(50, 0, 562, 384, 0x7FFFFFFFu));  // an unknown ease is linear
  EXPECT_EQ(objects[4]->AngleAt(2.0), 45);
  EXPECT_EQ(objects[5]->x.Keys()[0].ease.kind, Ease::Kind::kLinear);
  EXPECT_EQ(objects[5]->AngleAt(0), 0);
}

TEST(Track, EachStretchEasesOnItsOwnAndTheEndsCarryOn) {
  const Ease in{Ease::Kind::kIn};
  const Track track({{0, 0, {}}, {0.5, 10, in}, {1, 20, {}}});
  const std::pair<double, double> values[] = {{-0.5, -10}, {0, 0}, {0.25, 5}, {0.5, 10}, {0.75, 11.25}, {1, 20}, {1.5, 90}};
  for (const auto& [progress, value] : values) EXPECT_EQ(track.At(progress), value) << progress;
  // A far edge between keys at other times: the two values added.
  const Track size({{0, 100, {}}, {1, 200, {}}});
  EXPECT_FALSE(track.SameTiming(size));
  EXPECT_EQ(Track::Sum(track, size, 0.75), 11.25 + 175);
  // A value that holds is itself at every step: weighed in, 0.4 came out a unit lower on some
  // frames, and a colour channel with it.
  const Track held(0.4), wide(0.05);
  for (int i = 0; i <= 1000; ++i) {
    ASSERT_EQ(held.At(i / 1000.0), 0.4) << i;
    ASSERT_EQ(Track::Sum(held, wide, i / 1000.0), 0.4 + 0.05) << i;
  }
  Track eased(1.0);
  EXPECT_TRUE(eased.SameTiming(Track(2.0)));
  eased.SetEase(in);
  EXPECT_FALSE(eased.SameTiming(Track(2.0)));
}

TEST(Ease, CurvesAtQuarterSteps) {
  struct Case { const char* text; double at[5]; double tolerance; };
  const Case cases[] = {
      {"linear", {0, 0.25, 0.5, 0.75, 1}, 0},
      {"in", {0, 0.015625, 0.125, 0.421875, 1}, 1e-15},
      {"out", {0, 0.578125, 0.875, 0.984375, 1}, 1e-15},
      {"inout", {0, 0.0625, 0.5, 0.9375, 1}, 1e-15},
      {"cubic-bezier(0.25, 0.1, 0.25, 1)", {0, 0.408510591, 0.802403388, 0.960458978, 1}, 1e-8},
      // Overshooting in y; flat in x at the middle, where Newton stalls and bisection takes over.
      {"cubic-bezier( 0.5,-0.5 ,0.5,1.5 )", {0, -0.038214914, 0.5, 1.038214914, 1}, 1e-8},
      {"cubic-bezier(1,0,0,1)", {0, 0.029724606, 0.5, 0.970275394, 1}, 1e-5},
  };
  for (const Case& c : cases) {
    const auto ease = ParseEase(c.text);
    ASSERT_TRUE(ease) << c.text;
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(ease->Apply(i * 0.25), c.at[i], c.tolerance) << c.text << " at " << i;
  }
  for (const char* bad : {"In", " in", "", "cubic-bezier(1.5, 0, 0, 1)", "cubic-bezier(0, 0, -0.1, 1)",
                          "cubic-bezier(0, 0, 1)", "cubic-bezier(0, 0, 1, 1, 1)", "cubic-bezier(a, 0, 1, 1)",
                          "cubic-bezier(0, 0, 1, 1", "cubic-bezier(0,, 1, 1)", "cubic-bezier(0, 0, 1, 1e999)"}) {
    EXPECT_FALSE(ParseEase(bad)) << bad;
  }
}

TEST_F(Objects, TextSettings) {
  const auto objects = ReadAll(R"(
      <text sentence="Hello%nWorld%t!%%n" weight="700.9" italic="yes" face="Serif"
            align="center" valign="middle" singleline="1" wordbreak="maybe"/>
      <text weight="1500" align="Right" valign="bottom"/>
      <text weight="-5" align="right"/>)");
  const auto settings = [&objects](size_t i) {
    const auto& text = static_cast<const Text&>(*objects[i]);
    return std::tuple(text.sentence, text.weight, text.italic, text.format);
  };
  EXPECT_EQ(settings(0), std::tuple(std::string("Hello\nWorld\t!%\n"), 700, true, 0x25u));
  EXPECT_EQ(settings(1), std::tuple(std::string(""), 1000, false, 0x8u));
  EXPECT_EQ(settings(2), std::tuple(std::string(""), 0, false, 0x2u));
  std::string escapes;
  for (int i = 0; i < 100000; ++i) escapes += "%n";
  EXPECT_EQ(ReplaceEscapes(escapes), std::string(100000, '\n'));  // linear, or this takes minutes
  EXPECT_EQ(ReplaceEscapes("%%%nn%"), "%%\nn%");
}

TEST_F(Objects, BothPassesReadEveryKindAndKeepTheirOwn) {
  const TagList tags = Load(
      R"(<text time="bad"/><image src="/proc/self/status"/><image src="/tmp"/>
         <sound time="2" duration="1"/><Text/><template name="t"/>)");
  reporter.Take();
  std::vector<std::shared_ptr<VideoObject>> video;
  for (const ScriptTag& tag : tags) {
    if (auto object = factory.Create<VideoObject>(tag)) video.push_back(object);
  }
  EXPECT_EQ(keeper.Get("timeend"), "3.0000000000000000");  // the dropped sound still recorded
  keeper.Clear();
  int sounds = 0;
  for (const ScriptTag& tag : tags) sounds += factory.Create<Sound>(tag) != nullptr;
  EXPECT_EQ(video.size(), 3u);
  EXPECT_EQ(sounds, 1);
  EXPECT_EQ(static_cast<const Image&>(*video[1]).src, "/proc/self/status");
  EXPECT_EQ(static_cast<const Image&>(*video[2]).src, "/tmp");  // a folder keeps its name
  const std::string line = "timeエラー : プロパティの値が不正です - [bad]\n";
  EXPECT_EQ(reporter.Take(), line + line);
}

TEST_F(Objects, MakersSortAndReadSettings) {
  const TagList tags = Load(R"(
      <image time="1" duration="5" x="1"/>
      <image time="0" duration="1" x="2"/>
      <image time="0.0000000001" duration="2" x="3"/>
      <image time="0" duration="1" x="4"/>
      <sound time="1" src="a"/><sound time="3" src="b"/><sound time="2" src="c"/>
      <sound time="2" src="d"/><sound time="2.000000000001" duration="1" src="e"/>)",
      R"(width="640" height="last" fps="25" r="1" a="0.5")");
  MovieMaker movie(factory, nullptr, MovieOptions{});
  reporter.Take();
  movie.ReadProperties(tags);
  EXPECT_TRUE(reporter.Take().ends_with(
      "heightエラー : プロパティの値が不正です - [last]\nスクリプトパース完了\n"));  // no words here
  EXPECT_EQ(std::tuple(movie.width, movie.height, movie.fps, movie.length, movie.a), std::tuple(640, 384, 25, 6.0, 0.5));
  std::vector<double> order;
  for (const auto& object : movie.Drawn().Objects()) order.push_back(object->x.First());
  // Activated from the back: starts within 1e-9 go by end, full ties latest in the script first.
  EXPECT_EQ(order, (std::vector<double>{1, 3, 2, 4}));
  keeper.Clear();
  SoundMaker sound(factory, 10);
  sound.ReadProperties(tags);
  std::vector<std::string> paths;
  for (const auto& s : sound.Sounds()) paths.push_back(s->path);
  EXPECT_EQ(paths, (std::vector<std::string>{"b", "e", "c", "d", "a"}));  // stable
}

}  // namespace
}  // namespace talmora
