#include "script/number_text.h"

#include <gtest/gtest.h>

#include <limits>

namespace talmora {
namespace {

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
