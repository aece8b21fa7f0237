#include "script/property_readers.h"

#include <gtest/gtest.h>

#include <limits>

#include "script/number_text.h"

namespace talmora {
namespace {

// Keeps the refusals, as the check does; says nothing.
class Collecting final : public Reporter {
 public:
  void Line(std::string_view) override {}
  void Raw(std::string_view) override {}
  bool Refused(const Refusal& refusal) override {
    heard.push_back(refusal);
    return false;
  }
  std::vector<Refusal> heard;
};

std::string Invalid(const std::string& name, const std::string& text) {
  return name + "エラー : プロパティの値が不正です - [" + text + "]\n";
}

TEST(PropertyReaders, FailuresKeepTheDestinationAndTheRecord) {
  PropertyKeeper keeper;
  AttributeMap attributes{{"x", ""}, {"fps", "abc"}, {"italic", "2"}, {"fill", "#12"}};
  double number = 7;
  uint32_t colour = 7;
  int32_t integer = 7;
  bool flag = true;
  std::string text = "kept";
  HeldReporter out;
  RunOutcome outcome;
  EXPECT_FALSE(ReadPropertyNumber(keeper, attributes, "absent", number, out, &outcome));
  EXPECT_FALSE(ReadPropertyText(keeper, attributes, "absent", text));
  EXPECT_FALSE(ReadPropertyFlag(keeper, attributes, "italic", flag, out));  // silently
  EXPECT_EQ(outcome.ExitStatus(), 0);
  EXPECT_FALSE(ReadPropertyNumber(keeper, attributes, "x", number, out, &outcome));
  EXPECT_EQ(outcome.ExitStatus(), 2);
  EXPECT_FALSE(ReadPropertyInteger(keeper, attributes, "fps", integer, out));
  EXPECT_FALSE(ReadPropertyColour(keeper, attributes, "fill", colour, out));
  EXPECT_EQ(out.Text(), Invalid("x", "") + Invalid("fps", "abc") + Invalid("fill", "#12"));
  EXPECT_EQ(std::tuple(colour, number, integer, flag, text), std::tuple(7u, 7.0, 7, true, std::string("kept")));
  EXPECT_EQ(keeper.Get("fps"), "abc");
  EXPECT_EQ(keeper.Get("italic"), "2");
  EXPECT_EQ(keeper.Get("absent"), "");
  // A number followed by other text is read as far as it goes; only a collecting reporter hears
  // of the rest, and of the refusals, which then fail nothing.
  attributes = {{"x", "1O0"}, {"y", "2 "}, {"fps", "29.97"}, {"z", "z"}, {"italic", "2"}};
  EXPECT_TRUE(ReadPropertyNumber(keeper, attributes, "x", number, out));
  EXPECT_EQ(number, 1);
  Collecting log;
  RunOutcome untouched;
  EXPECT_TRUE(ReadPropertyNumber(keeper, attributes, "x", number, log, &untouched));
  EXPECT_TRUE(ReadPropertyNumber(keeper, attributes, "y", number, log));
  EXPECT_TRUE(ReadPlainInteger(attributes, "fps", integer, log));
  EXPECT_EQ(integer, 29);
  EXPECT_FALSE(ReadPlainNumber(attributes, "z", number, log, &untouched));
  EXPECT_FALSE(ReadPropertyFlag(keeper, attributes, "italic", flag, log));
  EXPECT_EQ(untouched.ExitStatus(), 0);
  const std::vector<Refusal>& notes = log.heard;
  ASSERT_EQ(notes.size(), 4u);
  EXPECT_EQ(std::tuple(notes[0].read_as, notes[0].ignored, notes[1].read_as, notes[1].ignored),
            std::tuple(1.0, "O0", 29.0, ".97"));
  EXPECT_EQ(notes[2].name, "z");
  EXPECT_FALSE(notes[2].read_as);
  EXPECT_EQ(notes[3].expected, Expectation::kFlag);
  EXPECT_EQ(out.Text(), Invalid("x", "") + Invalid("fps", "abc") + Invalid("fill", "#12"));
}

TEST(PropertyReaders, NowAndLast) {
  PropertyKeeper keeper;
  AttributeMap attributes{{"time", "now"}, {"duration", "now"}, {"x", "last"}, {"y", " last"}};
  double value = 0;
  HeldReporter out;
  EXPECT_FALSE(ReadPropertyNumber(keeper, attributes, "time", value, out));  // nothing recorded yet
  keeper.StoreNumber("timeend", 5);
  keeper.Set("x", "10");
  EXPECT_TRUE(ReadPropertyNumber(keeper, attributes, "time", value, out));
  EXPECT_EQ(value, 5);
  EXPECT_EQ(keeper.Get("time"), "5.0000000000000000");
  EXPECT_FALSE(ReadPropertyNumber(keeper, attributes, "duration", value, out));  // "now" only for time
  EXPECT_TRUE(ReadPropertyNumber(keeper, attributes, "x", value, out));
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
  // "now" moved: from the recorded end, and recorded as the number it gives; before 0 it is 0
  // and said. Anything else after "now" is a bad value, as is an end not yet recorded.
  keeper.Clear();
  HeldReporter moved;
  RunOutcome outcome;
  attributes = {{"time", "now+1"}};
  EXPECT_FALSE(ReadPropertyNumber(keeper, attributes, "time", value, moved));
  keeper.StoreNumber("timeend", 2);
  for (const auto& [given, expected] : std::vector<std::pair<std::string, double>>{
           {"now+0.5", 2.5}, {"now-1e0 ", 1}, {"now-3", 0}, {"now+x", -1}, {"now-1s", -1}, {"now--1", -1}}) {
    attributes["time"] = given;
    value = -1;
    EXPECT_EQ(ReadPropertyNumber(keeper, attributes, "time", value, moved, &outcome), expected >= 0) << given;
    EXPECT_EQ(value, expected) << given;
    EXPECT_EQ(keeper.Get("time"), expected >= 0 ? FormatNumber(expected) : given) << given;
  }
  EXPECT_EQ(moved.Text(), Invalid("time", "now+1") + "警告 : time の値 [now-3] は -1 秒になるため 0 秒とします\n" +
                              Invalid("time", "now+x") + Invalid("time", "now-1s") + Invalid("time", "now--1"));
  EXPECT_EQ(outcome.ExitStatus(), 2);
}

TEST(NumberText, NumbersIntegersAndFlags) {
  const struct {
    const char* text;
    std::optional<double> number;
    std::optional<int32_t> integer;
    std::optional<bool> flag;
  } cases[] = {
      {" 12abc", 12, 12, std::nullopt},
      {"1.9", 1.9, 1, true},
      {"1e3", 1000, 1, true},
      {"2e", std::nullopt, 2, std::nullopt},  // an exponent mark needs digits
      {".5", 0.5, std::nullopt, std::nullopt},
      {"5.", 5, 5, std::nullopt},
      {"-0.25", -0.25, 0, false},
      {"+3", 3, 3, std::nullopt},
      {"0x10", 0, 0, false},
      {"1", 1, 1, true},
      {"-1", -1, -1, std::nullopt},
      {"2147483648", 2147483648.0, std::nullopt, std::nullopt},
      {"-2147483648", -2147483648.0, std::numeric_limits<int32_t>::min(), std::nullopt},
      {"1e999", std::nullopt, 1, true},
      {"1e-400", 0, 1, true},
      {"99999999999999999999999", 1e23, std::nullopt, std::nullopt},
      {"yes", std::nullopt, std::nullopt, true},
      {"no", std::nullopt, std::nullopt, false},
      {"TRUE", std::nullopt, std::nullopt, std::nullopt},
      {"", std::nullopt, std::nullopt, std::nullopt},
      {" ", std::nullopt, std::nullopt, std::nullopt},
      {"-", std::nullopt, std::nullopt, std::nullopt},
      {".", std::nullopt, std::nullopt, std::nullopt},
      {"nan", std::nullopt, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseNumber(c.text), c.number) << '"' << c.text << '"';
    EXPECT_EQ(ParseInteger(c.text), c.integer) << '"' << c.text << '"';
    EXPECT_EQ(ParseFlag(c.text), c.flag) << '"' << c.text << '"';
  }
}

TEST(NumberText, ColoursInHexOrFourNumbers) {
  const struct {
    const char* text;
    std::optional<uint32_t> argb;
  } cases[] = {
      {"#f80", 0xFFFF8800},
      {" #0A0b0C ", 0xFF0A0B0C},
      {"#11223344", 0x44112233},
      {"#ffffff00", 0x00FFFFFF},
      {"none", 0},
      {"1 0.5 0 1", 0xFFFF7F00},
      {"0\t0 0\n0.5", 0x7F000000},
      {"#ff", std::nullopt},
      {"#fffff", std::nullopt},
      {"#ggg", std::nullopt},
      {"ff8800", std::nullopt},
      {"1 1 1", std::nullopt},        // four numbers, alpha too
      {"1 1 1 1 1", std::nullopt},
      {"1 1 1 1.5", std::nullopt},    // channels stay within 0 to 1
      {"1 -0 1 -0.1", std::nullopt},
      {"1,1,1,1", std::nullopt},
      {"1 1 1 1x", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseColour(c.text), c.argb) << '"' << c.text << '"';
}

TEST(NumberText, FormatGivesSixteenDecimalsAndShortestTheLeastThatReadsBack) {
  EXPECT_EQ(FormatNumber(1.5), "1.5000000000000000");
  EXPECT_EQ(FormatNumber(-0.25), "-0.2500000000000000");
  EXPECT_EQ(FormatNumber(0.1), "0.1000000000000000");
  EXPECT_EQ(FormatNumber(1e14), "100000000000000.0000000000000000");
  EXPECT_EQ(FormatNumber(1e300).size(), 301u + 17u);
  EXPECT_EQ(Shortest(0.1), "0.1");
  EXPECT_EQ(Shortest(-2.5e-300), "-2.5e-300");
  // The longest text a double has fits.
  EXPECT_EQ(Shortest(-2.2250738585072014e-308), "-2.2250738585072014e-308");
}

}  // namespace
}  // namespace talmora
