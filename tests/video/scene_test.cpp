#include "video/scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>

#include "platform/console/reporter.h"
#include "platform/render/canvas.h"
#include "support/script_fixture.h"
#include "video/frame_timing.h"
#include "video/movie_part.h"

namespace talmora {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Says its name when it comes on screen and counts what it holds; `fails` has nothing to hold.
class Named : public VideoObject {
 public:
  Named(ScriptContext& context, char letter, double start_time, double end_time, double depth, bool fails = false)
      : VideoObject(context), name(letter), fails_(fails) {
    start = start_time, end = end_time;
    z.SetFirst(depth);
  }
  struct Held : Resources {
    Held() { ++live; }
    ~Held() override { --live; }
  };
  std::unique_ptr<Resources> Prepare(Reporter& reporter) const override {
    reporter.Line(std::string(1, name));
    return fails_ ? nullptr : std::make_unique<Held>();
  }
  bool DrawsSame(double earlier, double later, const Resources*) const override { return LooksSame(earlier, later); }
  void Draw(Canvas&, double, Resources* resources) const override {
    drawn += resources ? name : static_cast<char>(std::tolower(name));
  }

  char name;
  static inline int live = 0;
  static inline std::string drawn;

 private:
  bool fails_;
};

struct Spec {
  char name;
  double start, end, z;
  bool fails = false;
};

std::string Names(const std::vector<const VideoObject*>& objects) {
  std::string names;
  for (const VideoObject* object : objects) names += static_cast<const Named&>(*object).name;
  return names;
}

std::vector<std::shared_ptr<VideoObject>> MakeObjects(testing::ScriptFixture& fixture, const std::vector<Spec>& specs) {
  std::vector<std::shared_ptr<VideoObject>> objects;
  for (const Spec& s : specs) objects.push_back(std::make_shared<Named>(fixture.context, s.name, s.start, s.end, s.z, s.fails));
  return objects;
}

Scene MakeScene(testing::ScriptFixture& fixture, const std::vector<Spec>& specs) { return Scene(MakeObjects(fixture, specs)); }

TEST(Scene, OrderOfDepthComingOnAndEnd) {
  struct Case {
    const char* what;
    std::vector<Spec> specs;
    double time, previous;
    const char* expected;
  } cases[] = {
      {"equal z together: earlier in the script underneath", {{'a', 0, 9, 1}, {'b', 0, 9, 1}, {'c', 0, 9, 1}}, 0.5, -kInf, "abc"},
      {"equal z, the later to come on underneath", {{'a', 0, 9, 1}, {'b', 1, 9, 1}, {'c', 2, 9, 1}}, 2.5, 1.5, "cba"},
      {"later start first when together, then depth", {{'a', 0.2, 9, 1}, {'b', 0.1, 9, 1}, {'c', 0.3, 9, 0}}, 0.5, -kInf, "cab"},
      {"depth over coming on", {{'a', 0, 9, 2}, {'b', 0, 9, 1}, {'c', 1, 9, 1.5}, {'d', 1, 9, 3}, {'e', 1, 9, -kInf}},
       1.5, 0.5, "ebcad"},
      {"NaN below everything, the newest NaN lowest", {{'a', 0, 9, 0}, {'n', 1, 9, kNaN}, {'c', 2, 9, -kInf}, {'d', 2, 9, kNaN}},
       2.5, 1.5, "dnca"},
      {"one ending exactly now stays, one starting now waits", {{'a', 0, 1, 0}, {'b', 0, 2, 0}, {'c', 1, 2, 0}}, 1.0, 0.5, "ba"},
      {"ended ones gone, newcomers there", {{'a', 0, 1, 5}, {'b', 0, 2, 0}, {'c', 1, 2, 5}}, 1.25, 0.5, "bc"},
      {"shorter than a frame: shown in the frame after it", {{'a', 0.51, 0.52, 0}, {'b', 0.4, 0.45, 0}}, 0.6, 0.5, "a"},
      {"an empty window shows once", {{'a', 0, 0, 0}, {'b', 0, 0, 0}}, 0.1, -kInf, "ab"},
      {"an end that is no number never passes", {{'a', 0, kNaN, 0}}, 1e300, 1e299, "a"},
  };
  for (const Case& c : cases) {
    testing::ScriptFixture fixture;
    EXPECT_EQ(Names(MakeScene(fixture, c.specs).At(c.time, c.previous)), c.expected) << c.what;
  }
}

// The way the frames used to consume the timeline: a waiting list taken from its end as the next
// one starts, and a list on screen that ended ones leave.
std::vector<std::string> ConsumedFrameByFrame(const Scene& scene, int32_t fps, int32_t count) {
  std::vector<const VideoObject*> pending, active;
  for (const auto& object : scene.Objects()) pending.push_back(object.get());
  const auto below = [](const VideoObject* p, const VideoObject* q) {
    return !std::isnan(q->Depth()) && (std::isnan(p->Depth()) || p->Depth() < q->Depth());
  };
  std::vector<std::string> frames;
  for (int32_t i = 0; i < count; ++i) {
    const double time = FrameTime(i, fps);
    std::erase_if(active, [time](const VideoObject* object) { return time > object->end; });
    auto first = pending.end();
    while (first != pending.begin() && (*std::prev(first))->start < time) --first;
    std::vector<const VideoObject*> batch(first, pending.end());
    pending.erase(first, pending.end());
    std::stable_sort(batch.begin(), batch.end(), below);
    std::vector<const VideoObject*> merged;
    std::merge(batch.begin(), batch.end(), active.begin(), active.end(), std::back_inserter(merged), below);
    active = merged;
    frames.push_back(Names(active));
  }
  return frames;
}

TEST(Scene, AnyFrameAskedInAnyOrderAndAgainShowsWhatPlayingThroughShowed) {
  testing::ScriptFixture fixture;
  std::mt19937 random(7);
  const double times[] = {0, 0.1, 0.1000000001, 0.25, 0.5, 0.51, 1, 1.5, 2, kNaN, kInf, -kInf};
  const double depths[] = {0, 0, 1, -1, kNaN, -kInf};
  std::vector<Spec> specs;
  for (int i = 0; i < 60; ++i) {
    const double start = times[random() % std::size(times)];
    const double end = random() % 4 ? start + static_cast<int>(random() % 20) * 0.05 : times[random() % std::size(times)];
    specs.push_back({static_cast<char>(' ' + i), start, end, depths[random() % std::size(depths)]});
  }
  const Scene scene = MakeScene(fixture, specs);
  constexpr int32_t kFps = 10, kFrames = 30;
  const std::vector<std::string> played = ConsumedFrameByFrame(scene, kFps, kFrames);
  std::vector<int32_t> order;
  for (int32_t i = 0; i < kFrames; ++i) order.insert(order.end(), {i, i});
  std::shuffle(order.begin(), order.end(), random);
  for (const int32_t i : order) EXPECT_EQ(Names(scene.AtFrame(i, kFps)), played[static_cast<size_t>(i)]) << "frame " << i;
}

TEST(RenderState, PreparesNewcomersOnceAndReleasesLeaversBeforeThem) {
  testing::ScriptFixture fixture;
  const Scene scene = MakeScene(fixture, {{'A', 0, 1, 0}, {'B', 0.5, 2, 1, true}, {'C', 1.5, 2, 0}});
  auto frame = Frame::Create(1, 1);
  Canvas canvas(*frame);
  HeldReporter out;
  std::vector<int> live;
  {
    RenderState state;
    for (const int32_t i : {0, 1, 2, 3, 4, 0}) {
      state.Prepare(scene.AtFrame(i, 2), out);
      live.push_back(Named::live);
      state.Draw(canvas, FrameTime(i, 2));
    }
  }
  EXPECT_EQ(Named::live, 0);
  // B could not be prepared: drawn without, and not tried again while it stays.
  EXPECT_EQ(out.Text(), "A\nB\nC\nA\n");
  EXPECT_EQ(live, (std::vector<int>{1, 1, 0, 1, 0, 1}));
  EXPECT_EQ(Named::drawn, "AAbbCbA");
}

TEST(RenderState, AFrameIsTheOneBeforeOnlyWhileTheSameObjectsLookTheSame) {
  testing::ScriptFixture fixture;
  auto objects = MakeObjects(fixture, {{'S', 0, 4, 0}, {'M', 1, 2, 1}, {'N', 2.25, 4, 2}});
  objects[1]->x.SetLast(10);
  const Scene scene(std::move(objects));
  HeldReporter out;
  RenderState state;
  std::string same;
  for (int32_t i = 0; i <= 6; ++i) {
    state.Prepare(scene.AtFrame(i, 2), out);
    same += state.DrawsAsBefore(FrameTime(i - 1, 2), FrameTime(i, 2)) ? 'y' : 'n';
  }
  // M comes on, moves for two frames, is gone while N comes on; S and N stay still.
  EXPECT_EQ(same, "nynnnny");
}

// Once the newcomers were inserted one at a time: half a minute here.
TEST(Scene, ThreeHundredThousandStartingTogether) {
  testing::ScriptFixture fixture;
  constexpr int kCount = 300000;
  std::vector<Spec> specs;
  for (int i = 0; i < kCount; ++i) specs.push_back({'x', i < kCount / 2 ? 1.0 : 0.0, 9, static_cast<double>(i % 7)});
  const Scene scene = MakeScene(fixture, specs);
  const std::vector<const VideoObject*> shown = scene.At(2.0, 1.5);
  ASSERT_EQ(shown.size(), static_cast<size_t>(kCount));
  for (size_t i = 1; i < shown.size(); ++i) {
    const VideoObject& p = *shown[i - 1];
    const VideoObject& q = *shown[i];
    // Within a depth the later starters lie underneath.
    ASSERT_TRUE(p.Depth() < q.Depth() || (p.Depth() == q.Depth() && p.start >= q.start)) << i;
  }
}

TEST(FrameTiming, CountsTruncateAndWhatA32BitCountCannotHoldGivesNoneAndIsTooLarge) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  const struct {
    int32_t fps;
    double length;
    int32_t frames;
    bool too_large = false;
  } cases[] = {
      {30, 2.5, 75},   {30, 1.01, 30},  {30, 0.0333, 0},           {1, 0.999999, 0},
      {1, 2147483647.0, kMax},          {1, 2147483648.0, 0, true}, {kMax, 1.0, kMax},
      {kMax, 1.5, 0, true},             {0, 10, 0},               {-30, -1, 0},
      {-30, 1e308, 0}, {30, -1, 0},     {30, kNaN, 0},    {30, kInf, 0, true},
      {30, 1e308, 0, true},             {30, -kInf, 0},           {30, 0.0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FrameCount(c.fps, c.length), c.frames) << c.fps << " fps, " << c.length;
    EXPECT_EQ(FrameCountTooLarge(c.fps, c.length), c.too_large) << c.fps << " fps, " << c.length;
  }
}

TEST(FrameTiming, AFrameAtAnExactTimeLiesJustPastIt) {
  for (const int32_t fps : {1, 24, 30, 60, 1000}) {
    for (const int32_t index : {0, 1, fps - 1, fps, 7 * fps, 3600 * fps}) {  // up to an hour
      const double exact = static_cast<double>(index) / fps;
      EXPECT_GT(FrameTime(index, fps), exact) << index << " / " << fps;
      EXPECT_LT(FrameTime(index, fps), exact + 2e-9) << index << " / " << fps;
    }
  }
}

TEST(FrameTiming, PartsCoverTheFramesOnScreenOrWithinTheirStretch) {
  constexpr std::optional<double> kNone;
  const struct {
    std::optional<double> frame, from, to;
    int32_t fps, count;
    std::optional<FrameRange> frames;
  } cases[] = {
      // The frame a player shows at the time, exact seconds included.
      {0.0, kNone, kNone, 30, 60, FrameRange{0, 1}},
      {1.0, kNone, kNone, 30, 60, FrameRange{30, 31}},
      {0.1, kNone, kNone, 30, 60, FrameRange{3, 4}},
      {1.999, kNone, kNone, 30, 60, FrameRange{59, 60}},
      {2.0, kNone, kNone, 30, 60, std::nullopt},
      {1e300, kNone, kNone, 30, 60, std::nullopt},
      {1.005, kNone, kNone, 30, 30, std::nullopt},  // a length of 1.01 s: still no frame 30
      // Frame times in [from, to): the slight bias keeps a frame at `to` out and at `from` in.
      {kNone, 1.0, 2.0, 30, 60, FrameRange{30, 60}},
      {kNone, 0.25, 0.75, 10, 20, FrameRange{3, 8}},
      {kNone, kNone, 0.5, 10, 20, FrameRange{0, 5}},
      {kNone, 1.5, kNone, 10, 20, FrameRange{15, 20}},
      {kNone, 1.5, 1e300, 10, 20, FrameRange{15, 20}},
      {kNone, 2.0, kNone, 10, 20, std::nullopt},
      {kNone, kNone, 1e-10, 10, 20, std::nullopt},
      {kNone, 0.0, kNone, 10, 0, std::nullopt},
  };
  for (const auto& c : cases) {
    const auto frames = PartFrames(MoviePart{c.frame, c.from, c.to}, c.fps, c.count);
    ASSERT_EQ(frames.has_value(), c.frames.has_value()) << c.frame.value_or(-1) << " " << c.from.value_or(-1);
    if (frames) {
      EXPECT_EQ(std::pair(frames->first, frames->end), std::pair(c.frames->first, c.frames->end));
    }
  }
}

}  // namespace
}  // namespace talmora
