#include "script/number_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

namespace talmora {
namespace {

TEST(ParseNumber, AcceptsTheScriptSyntaxAndIgnoresTrailingText) {
  EXPECT_EQ(ParseNumber("12"), 12.0);
  EXPECT_EQ(ParseNumber(" 12"), 12.0);
  EXPECT_EQ(ParseNumber("12 "), 12.0);
  EXPECT_EQ(ParseNumber("\t\n12abc"), 12.0);
  EXPECT_EQ(ParseNumber("1.5 2"), 1.5);
  EXPECT_EQ(ParseNumber("5."), 5.0);
  EXPECT_EQ(ParseNumber(".5"), 0.5);
  EXPECT_EQ(ParseNumber("-0.25"), -0.25);
  EXPECT_EQ(ParseNumber("+3"), 3.0);
  EXPECT_EQ(ParseNumber("1e3"), 1000.0);
  EXPECT_EQ(ParseNumber("1E+3x"), 1000.0);
  EXPECT_EQ(ParseNumber("2147483648"), 2147483648.0);
  EXPECT_EQ(ParseNumber("1e-400"), 0.0);  // underflow is zero, not an error
}

TEST(ParseNumber, RejectsWhatIsNoNumber) {
  for (const char* text : {"", "   ", "abc", ".", "-", "+.", "2e", "2e+", "e5", "1e999", "-1e999",
                           "x0", "nan", "inf", ",5"}) {
    EXPECT_FALSE(ParseNumber(text)) << '"' << text << '"';
  }
}

TEST(ParseNumber, IgnoresTheCLocale) {
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale here";
  EXPECT_EQ(ParseNumber("1.5"), 1.5);
  EXPECT_EQ(FormatNumber(1.5), "1.5000000000000000");
  std::setlocale(LC_NUMERIC, "C");
}

TEST(ParseInteger, ReadsDecimalDigitsOnly) {
  EXPECT_EQ(ParseInteger("1.9"), 1);
  EXPECT_EQ(ParseInteger("1e3"), 1);
  EXPECT_EQ(ParseInteger("2e"), 2);
  EXPECT_EQ(ParseInteger("30fps"), 30);
  EXPECT_EQ(ParseInteger("010"), 10);
  EXPECT_EQ(ParseInteger("0x10"), 0);
  EXPECT_EQ(ParseInteger(" -7"), -7);
  EXPECT_EQ(ParseInteger("2147483647"), 2147483647);
  EXPECT_EQ(ParseInteger("-2147483648"), std::numeric_limits<int32_t>::min());
}

TEST(ParseInteger, RejectsOutOfRangeAndNonDigits) {
  for (const char* text : {"2147483648", "-2147483649", "99999999999999999999999", "", "abc",
                           "-", ".5", "+"}) {
    EXPECT_FALSE(ParseInteger(text)) << '"' << text << '"';
  }
}

TEST(ParseFlag, KnowsTheWordsAndZeroOrOne) {
  EXPECT_EQ(ParseFlag("yes"), true);
  EXPECT_EQ(ParseFlag("true"), true);
  EXPECT_EQ(ParseFlag("no"), false);
  EXPECT_EQ(ParseFlag("false"), false);
  EXPECT_EQ(ParseFlag("1"), true);
  EXPECT_EQ(ParseFlag(" 1abc"), true);
  EXPECT_EQ(ParseFlag("0"), false);
  EXPECT_EQ(ParseFlag("-0"), false);
  for (const char* text : {"2", "-1", "on", "TRUE", "Yes", "", "99999999999999999999999"}) {
    EXPECT_FALSE(ParseFlag(text)) << '"' << text << '"';
  }
}

TEST(FormatNumber, WritesSixteenDecimals) {
  EXPECT_EQ(FormatNumber(1.5), "1.5000000000000000");
  EXPECT_EQ(FormatNumber(3), "3.0000000000000000");
  EXPECT_EQ(FormatNumber(-0.25), "-0.2500000000000000");
  EXPECT_EQ(FormatNumber(5.5), "5.5000000000000000");
  EXPECT_EQ(FormatNumber(0.1), "0.1000000000000000");
  EXPECT_EQ(FormatNumber(99999999999999.0), "99999999999999.0000000000000000");
}

TEST(FormatNumber, GivesTheWholeTextBeyondThirtyOneCharacters) {
  EXPECT_EQ(FormatNumber(1e14), "100000000000000.0000000000000000");
  EXPECT_EQ(FormatNumber(-1e13), "-10000000000000.0000000000000000");
  const std::string huge = FormatNumber(1e300);
  EXPECT_EQ(huge.size(), 301u + 17u);
  EXPECT_EQ(huge.substr(huge.size() - 17), ".0000000000000000");
  EXPECT_EQ(FormatNumber(-std::numeric_limits<double>::max()).front(), '-');
}

}  // namespace
}  // namespace talmora
