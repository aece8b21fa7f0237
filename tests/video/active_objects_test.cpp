#include "video/active_objects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "support/script_fixture.h"
#include "video/fill_object.h"

namespace talmora {
namespace {

using testing::FillObject;

class ActiveObjectsTest : public ::testing::Test {
 protected:
  std::shared_ptr<VideoObject> Make(const std::string& label, double start, double end, double z) {
    return std::make_shared<FillObject>(fixture_.context, start, end, Rect{0, 0, 1, 1}, z, 0xFFFFFFFF, &log_,
                                        label);
  }

  // Pending objects in activation order, latest first, as the maker sorts them.
  static void Sort(std::vector<std::shared_ptr<VideoObject>>& pending) {
    std::stable_sort(pending.begin(), pending.end(), [](const auto& p, const auto& q) { return ActivatesAfter(*p, *q); });
  }

  std::vector<std::string> DrawOrder(const ActiveObjects& active, double time) {
    log_.clear();
    active.Draw(time);
    return log_;
  }

  testing::ScriptFixture fixture_;
  std::vector<std::string> log_;
};

TEST_F(ActiveObjectsTest, ActivatesAfterTheStartAndDropsOnlyPastTheEnd) {
  std::vector<std::shared_ptr<VideoObject>> pending{Make("a", 1, 2, 0)};
  std::weak_ptr<VideoObject> watch = pending.front();
  ActiveObjects active;
  active.Activate(pending, 1.0);  // not yet: the start must lie before the time
  EXPECT_EQ(pending.size(), 1u);
  active.Activate(pending, 1.0 + 1e-9);
  EXPECT_TRUE(pending.empty());
  ASSERT_EQ(active.Objects().size(), 1u);
  active.Drop(2.0);  // the end itself still shows
  EXPECT_EQ(active.Objects().size(), 1u);
  active.Drop(2.0 + 1e-9);
  EXPECT_TRUE(active.Objects().empty());
  EXPECT_TRUE(watch.expired()) << "a dropped object dies with its last handle";
}

TEST_F(ActiveObjectsTest, SmallerDepthLiesUnderneathWhateverTheScriptOrder) {
  std::vector<std::shared_ptr<VideoObject>> pending{Make("top", 0, 5, 3), Make("bottom", 0, 5, -1),
                                                    Make("middle", 0, 5, 1)};
  Sort(pending);
  ActiveObjects active;
  active.Activate(pending, 0.5);
  EXPECT_EQ(DrawOrder(active, 0.5), (std::vector<std::string>{"bottom", "middle", "top"}));
}

TEST_F(ActiveObjectsTest, AtEqualDepthLaterInTheScriptIsOnTop) {
  std::vector<std::shared_ptr<VideoObject>> pending{Make("first", 0, 5, 0), Make("second", 0, 5, 0),
                                                    Make("third", 0, 5, 0)};
  Sort(pending);
  ActiveObjects active;
  active.Activate(pending, 0.1);
  EXPECT_EQ(DrawOrder(active, 0.1), (std::vector<std::string>{"first", "second", "third"}));
}

TEST_F(ActiveObjectsTest, ANewcomerGoesUnderTheObjectsOfItsDepthAlreadyShowing) {
  std::vector<std::shared_ptr<VideoObject>> pending{Make("late", 2, 5, 0), Make("early", 0, 5, 0),
                                                    Make("above", 0, 5, 1)};
  Sort(pending);
  ActiveObjects active;
  active.Activate(pending, 1);
  EXPECT_EQ(DrawOrder(active, 1), (std::vector<std::string>{"early", "above"}));
  active.Activate(pending, 3);
  EXPECT_EQ(DrawOrder(active, 3), (std::vector<std::string>{"late", "early", "above"}));
}

TEST_F(ActiveObjectsTest, UndefinedDepthsStillActivateEveryObjectOnce) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<std::shared_ptr<VideoObject>> pending{Make("a", 0, 5, nan), Make("b", 0, 5, 1), Make("c", 0, 5, nan),
                                                    Make("d", 0, 5, 0)};
  Sort(pending);
  ActiveObjects active;
  active.Activate(pending, 1);
  auto order = DrawOrder(active, 1);
  std::sort(order.begin(), order.end());
  EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c", "d"}));
}

}  // namespace
}  // namespace talmora
