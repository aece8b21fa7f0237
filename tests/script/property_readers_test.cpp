#include "script/property_readers.h"

#include <gtest/gtest.h>

#include "support/capture_stdout.h"

namespace talmora {
namespace {

using testing::CaptureStdout;

class PropertyReaders : public ::testing::Test {
 protected:
  PropertyKeeper keeper;
  AttributeMap attributes;
};

TEST_F(PropertyReaders, AbsentAttributeChangesNothing) {
  double number = 7;
  int32_t integer = 7;
  bool flag = true;
  std::string text = "kept";
  CaptureStdout out;
  EXPECT_FALSE(ReadPropertyNumber(keeper, attributes, "x", number));
  EXPECT_FALSE(ReadPropertyInteger(keeper, attributes, "x", integer));
  EXPECT_FALSE(ReadPropertyFlag(keeper, attributes, "x", flag));
  EXPECT_FALSE(ReadPropertyText(keeper, attributes, "x", text));
  EXPECT_EQ(out.Text(), "");
  EXPECT_EQ(number, 7);
  EXPECT_EQ(integer, 7);
  EXPECT_TRUE(flag);
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(keeper.Get("x"), "");
}

TEST_F(PropertyReaders, EmptyTextIsRecordedAndFailsAsNumber) {
  attributes["x"] = "";
  std::string text = "old";
  EXPECT_TRUE(ReadPropertyText(keeper, attributes, "x", text));
  EXPECT_EQ(text, "");
  double number = 3;
  bool flag = true;
  CaptureStdout out;
  EXPECT_FALSE(ReadPropertyNumber(keeper, attributes, "x", number));
  EXPECT_FALSE(ReadPropertyFlag(keeper, attributes, "x", flag));
  EXPECT_EQ(out.Text(), "xエラー : プロパティの値が不正です - []\n");
  EXPECT_EQ(number, 3);
  EXPECT_TRUE(flag);
}

TEST_F(PropertyReaders, InvalidTextKeepsItsRecordAndPrintsOnce) {
  attributes["fps"] = "abc";
  int32_t fps = 30;
  CaptureStdout out;
  EXPECT_FALSE(ReadPropertyInteger(keeper, attributes, "fps", fps));
  EXPECT_EQ(out.Text(), "fpsエラー : プロパティの値が不正です - [abc]\n");
  EXPECT_EQ(fps, 30);
  EXPECT_EQ(keeper.Get("fps"), "abc");
}

TEST_F(PropertyReaders, NowMeansTheLastEndOnlyForTime) {
  keeper.StoreNumber("timeend", 5);
  attributes["time"] = "now";
  attributes["duration"] = "now";
  double time = 0, duration = 0;
  EXPECT_TRUE(ReadPropertyNumber(keeper, attributes, "time", time));
  EXPECT_EQ(time, 5);
  EXPECT_EQ(keeper.Get("time"), "5.0000000000000000");
  CaptureStdout out;
  EXPECT_FALSE(ReadPropertyNumber(keeper, attributes, "duration", duration));
  EXPECT_EQ(out.Text(), "durationエラー : プロパティの値が不正です - [now]\n");
  EXPECT_EQ(keeper.Get("duration"), "now");
}

TEST_F(PropertyReaders, NowWithNothingRecordedShowsEmptyBrackets) {
  attributes["time"] = "now";
  double time = 1;
  CaptureStdout out;
  EXPECT_FALSE(ReadPropertyNumber(keeper, attributes, "time", time));
  EXPECT_EQ(out.Text(), "timeエラー : プロパティの値が不正です - []\n");
  EXPECT_EQ(time, 1);
  EXPECT_EQ(keeper.Get("time"), "");
}

TEST_F(PropertyReaders, LastRepeatsTheRecordedTextWithoutSecondReplacement) {
  keeper.Set("x", "10");
  attributes["x"] = "last";
  double x = 0;
  EXPECT_TRUE(ReadPropertyNumber(keeper, attributes, "x", x));
  EXPECT_EQ(x, 10);
  EXPECT_TRUE(ReadPropertyNumber(keeper, attributes, "x", x));
  EXPECT_EQ(keeper.Get("x"), "10");
  // A recorded "now" stays "now", even for "time".
  keeper.Set("time", "now");
  keeper.StoreNumber("timeend", 4);
  attributes["time"] = "last";
  std::string text;
  EXPECT_TRUE(ReadPropertyText(keeper, attributes, "time", text));
  EXPECT_EQ(text, "now");
}

TEST_F(PropertyReaders, WordsAreWholeAndCaseSensitive) {
  keeper.Set("x", "10");
  attributes["x"] = " last";
  attributes["y"] = "Last";
  std::string text;
  EXPECT_TRUE(ReadPropertyText(keeper, attributes, "x", text));
  EXPECT_EQ(text, " last");
  EXPECT_TRUE(ReadPropertyText(keeper, attributes, "y", text));
  EXPECT_EQ(text, "Last");
}

TEST_F(PropertyReaders, PlainReadersKnowNoWordsAndRecordNothing) {
  keeper.Set("width", "640");
  attributes["width"] = "last";
  int32_t width = 512;
  CaptureStdout out;
  EXPECT_FALSE(ReadPlainInteger(attributes, "width", width));
  EXPECT_EQ(out.Text(), "widthエラー : プロパティの値が不正です - [last]\n");
  EXPECT_EQ(width, 512);
  attributes["length"] = "2.5";
  double length = 0;
  EXPECT_TRUE(ReadPlainNumber(attributes, "length", length));
  EXPECT_EQ(length, 2.5);
  EXPECT_EQ(keeper.Get("length"), "");
}

TEST_F(PropertyReaders, FlagFailuresAreSilent) {
  bool flag = false;
  CaptureStdout out;
  for (const char* text : {"2", "on", "TRUE", "-1"}) {
    attributes["italic"] = text;
    EXPECT_FALSE(ReadPropertyFlag(keeper, attributes, "italic", flag)) << text;
  }
  attributes["italic"] = "1";
  EXPECT_TRUE(ReadPropertyFlag(keeper, attributes, "italic", flag));
  EXPECT_TRUE(flag);
  EXPECT_EQ(out.Text(), "");
}

TEST(PropertyKeeper, GetNeverInsertsAndClearEmpties) {
  PropertyKeeper keeper;
  EXPECT_EQ(keeper.Get("a"), "");
  keeper.Set("a", "1");
  keeper.StoreNumber("b", -0.25);
  EXPECT_EQ(keeper.Get("b"), "-0.2500000000000000");
  keeper.Clear();
  EXPECT_EQ(keeper.Get("a"), "");
  EXPECT_EQ(keeper.Get("b"), "");
}

}  // namespace
}  // namespace talmora
