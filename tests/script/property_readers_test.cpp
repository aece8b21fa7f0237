#include "script/property_readers.h"

#include <gtest/gtest.h>

#include "support/capture_stdout.h"

namespace talmora {
namespace {

using testing::CaptureStdout;

std::string Invalid(const std::string& name, const std::string& text) {
  return name + "エラー : プロパティの値が不正です - [" + text + "]\n";
}

TEST(PropertyReaders, FailuresKeepTheDestinationAndTheRecord) {
  PropertyKeeper keeper;
  AttributeMap attributes{{"x", ""}, {"fps", "abc"}, {"italic", "2"}};
  double number = 7;
  int32_t integer = 7;
  bool flag = true;
  std::string text = "kept";
  CaptureStdout out;
  EXPECT_FALSE(ReadPropertyNumber(keeper, attributes, "absent", number));
  EXPECT_FALSE(ReadPropertyText(keeper, attributes, "absent", text));
  EXPECT_FALSE(ReadPropertyNumber(keeper, attributes, "x", number));
  EXPECT_FALSE(ReadPropertyInteger(keeper, attributes, "fps", integer));
  EXPECT_FALSE(ReadPropertyFlag(keeper, attributes, "italic", flag));  // silently
  EXPECT_EQ(out.Text(), Invalid("x", "") + Invalid("fps", "abc"));
  EXPECT_EQ(number, 7);
  EXPECT_EQ(integer, 7);
  EXPECT_TRUE(flag);
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(keeper.Get("fps"), "abc");
  EXPECT_EQ(keeper.Get("italic"), "2");
  EXPECT_EQ(keeper.Get("absent"), "");
}

TEST(PropertyReaders, NowAndLast) {
  PropertyKeeper keeper;
  AttributeMap attributes{{"time", "now"}, {"duration", "now"}, {"x", "last"}, {"y", " last"}};
  double value = 0;
  CaptureStdout out;
  EXPECT_FALSE(ReadPropertyNumber(keeper, attributes, "time", value));  // nothing recorded yet
  keeper.StoreNumber("timeend", 5);
  keeper.Set("x", "10");
  EXPECT_TRUE(ReadPropertyNumber(keeper, attributes, "time", value));
  EXPECT_EQ(value, 5);
  EXPECT_EQ(keeper.Get("time"), "5.0000000000000000");
  EXPECT_FALSE(ReadPropertyNumber(keeper, attributes, "duration", value));  // "now" only for time
  EXPECT_TRUE(ReadPropertyNumber(keeper, attributes, "x", value));
  EXPECT_EQ(value, 10);
  std::string text;
  EXPECT_TRUE(ReadPropertyText(keeper, attributes, "y", text));
  EXPECT_EQ(text, " last");  // words are whole texts
  // A recorded "now" is not replaced a second time.
  keeper.Set("time", "now");
  attributes["time"] = "last";
  EXPECT_TRUE(ReadPropertyText(keeper, attributes, "time", text));
  EXPECT_EQ(text, "now");
  EXPECT_EQ(out.Text(), Invalid("time", "") + Invalid("duration", "now"));
}

}  // namespace
}  // namespace talmora
