#include "support/numbers.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

#include "support/locale.h"

namespace sv {
namespace {

// Runs a test under a decimal separator and puts '.' back afterwards.
class SeparatorScope {
 public:
  explicit SeparatorScope(char c) : previous_(DecimalSeparator()) { SetDecimalSeparator(c); }
  ~SeparatorScope() { SetDecimalSeparator(previous_); }

 private:
  char previous_;
};

TEST(IntToTextWidthTest, PadsOnTheLeftAndNeverCuts) {
  struct Case {
    int32_t value;
    int width;
    const char* text;
  };
  const Case cases[] = {
      {7, 4, "   7"},
      {12345, 3, "12345"},
      {-7, 0, "-7"},
      {-7, 3, " -7"},
      {0, 0, "0"},
      {0, -5, "0"},
      {std::numeric_limits<int32_t>::min(), 1, "-2147483648"},
      {std::numeric_limits<int32_t>::max(), 12, "  2147483647"},
  };
  for (const Case& c : cases) EXPECT_EQ(IntToTextWidth(c.value, c.width), c.text);
  EXPECT_EQ(IntToTextWidth(1, 255).size(), 255u);
}

TEST(FloatToTextWidthTest, RoundsHalfAwayFromZeroOnTheDecimalExpansion) {
  SeparatorScope dot('.');
  struct Case {
    int width;
    int decimals;
    double value;
    const char* text;
  };
  const Case cases[] = {
      {3, 0, 12.5, " 13"},
      {3, 0, 0.49, "  0"},
      {1, 0, 2.5, "3"},
      {1, 0, -2.5, "-3"},
      {1, 2, 0.125, "0.13"},
      {1, 2, -0.125, "-0.13"},
      {1, 2, 1.005, "1.00"},  // the double is 1.00499999999999989...
      {1, 1, 0.05, "0.1"},    // 18 digits give 5.00000000000000028e-2
      {1, 0, 9.5, "10"},
      {1, 2, 9.995, "9.99"},     // the double is 9.99499999999999922...
      {1, 2, 99.995, "100.00"},  // the double is 99.9950000000000045..., and carries
      {1, 0, 0.0, "0"},
      {1, 0, -0.4, "0"},  // no sign on a value that rounds to zero
      {1, 3, -0.0004, "0.000"},
      {6, 3, 1.5, " 1.500"},
      {1, 0, 4294967296.0, "4294967296"},
      {1, 0, 1e-300, "0"},
      {1, 2, 123456789012.345, "123456789012.35"},
      {0, 0, 1234.0, "1234"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FloatToTextWidth(c.width, c.decimals, c.value), c.text)
        << c.width << "," << c.decimals << "," << c.value;
  }
}

TEST(FloatToTextWidthTest, KeepsAtMostThirtyCharacters) {
  SeparatorScope dot('.');
  // Digits beyond the 18 significant ones are zeros.
  EXPECT_EQ(FloatToTextWidth(1, 0, 1e25), "10000000000000000900000000");
  EXPECT_EQ(FloatToTextWidth(1, 0, 1e30).size(), 30u);
  EXPECT_EQ(FloatToTextWidth(1, 20, 0.1), "0.10000000000000000600");
  EXPECT_EQ(FloatToTextWidth(1, 255, 1.0), "1." + std::string(28, '0'));
  // A wide field keeps the number whole rather than cutting it off behind
  // its padding.
  EXPECT_EQ(FloatToTextWidth(40, 1, 2.25), std::string(27, ' ') + "2.3");
  EXPECT_EQ(FloatToTextWidth(1, 300, 5.0).size(), 30u);
}

TEST(FloatToTextWidthTest, WritesTheSeparatorSettingAsDecimalMark) {
  {
    SeparatorScope comma(',');
    EXPECT_EQ(FloatToTextWidth(5, 1, 2.25), "  2,3");
    EXPECT_EQ(FloatToTextWidth(3, 0, 12.5), " 13");
    EXPECT_EQ(FloatToTextWidth(1, 2, -1234.5), "-1234,50");
  }
  {
    SeparatorScope other(';');
    EXPECT_EQ(FloatToTextWidth(1, 1, 0.5), "0;5");
  }
}

TEST(FloatToTextWidthTest, NonFiniteValuesGiveShortWords) {
  EXPECT_EQ(FloatToTextWidth(5, 2, std::nan("")), "  NAN");
  EXPECT_EQ(FloatToTextWidth(1, 0, HUGE_VAL), "INF");
  EXPECT_EQ(FloatToTextWidth(1, 0, -HUGE_VAL), "-INF");
}

TEST(TextToSmallIntTest, ReadsLenientlyAndClamps) {
  SeparatorScope dot('.');
  struct Case {
    const char* text;
    int16_t value;
  };
  const Case cases[] = {
      {"  +1,234", 1234},
      {"99999", 32767},
      {"-40000", -32768},
      {"-32768", -32768},
      {"32767", 32767},
      {"", 0},
      {"abc", 0},
      {"1 2", 1},
      {"12.7", 12},
      {"$5", 5},
      {"-$5", -5},
      {"+ 7", 7},
      {"\t-3x", -3},
      {"1-2", 1},  // a later '-' ends the number
      {"-", 0},
      {"--5", 0},
      {"123456789012345678901234567890", 32767},
      {"-000000000000000000000000000012", -12},
  };
  for (const Case& c : cases) EXPECT_EQ(TextToSmallInt(c.text), c.value) << c.text;
}

TEST(TextToSmallIntTest, CommaSeparatorMakesThePointAThousandsMark) {
  SeparatorScope comma(',');
  EXPECT_EQ(TextToSmallInt("12.7"), 127);
  EXPECT_EQ(TextToSmallInt("1.234,9"), 1234);
  EXPECT_EQ(TextToSmallInt("12,7"), 12);
}

TEST(CleanNumberTextTest, NormalisesTypedNumbers) {
  SeparatorScope dot('.');
  const std::pair<std::string, std::string> cases[] = {
      {" $+1,234.50 ", "1234.50"},
      {"-.5", "-0.5"},
      {"12abc", "12"},
      {"+ -", ""},
      {"", ""},
      {".5", "0.5"},
      {"5.", "5"},
      {" - -+ 3", "-3"},
      {"1-2", "1"},
      {"1.2.3", "1.2.3"},
      {"-abc", "-"},
      {"12 34", "12"},
      {"$$$", ""},
  };
  for (const auto& [in, out] : cases) {
    std::string text = in;
    CleanNumberText(text);
    EXPECT_EQ(text, out) << "[" << in << "]";
  }
}

TEST(CleanNumberTextTest, CommaSeparatorBecomesThePoint) {
  SeparatorScope comma(',');
  const std::pair<std::string, std::string> cases[] = {
      {"1.234,50", "1234.50"},
      {"-,5", "-0.5"},
      {",25", "0.25"},
      {"1,2,3", "1.2"},  // the second ',' is not a digit
      {"12.7", "127"},
  };
  for (const auto& [in, out] : cases) {
    std::string text = in;
    CleanNumberText(text);
    EXPECT_EQ(text, out) << "[" << in << "]";
  }
}

TEST(TextToFloatTest, ReadsTheCleanedText) {
  SeparatorScope dot('.');
  struct Case {
    const char* text;
    double value;
  };
  const Case cases[] = {
      {" $+1,234.50 ", 1234.5}, {"-.5", -0.5}, {"", 0.0}, {"abc", 0.0}, {"-", 0.0},
      {"1.2.3", 1.2},           {"007", 7.0},  {"0.1", 0.1},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(TextToFloat(c.text), c.value) << c.text;

  EXPECT_EQ(TextToFloat(std::string(400, '9')), DBL_MAX);
  EXPECT_EQ(TextToFloat("-" + std::string(400, '9')), -DBL_MAX);
  EXPECT_EQ(TextToFloat("0." + std::string(400, '0') + "1"), 0.0);

  SeparatorScope comma(',');
  EXPECT_DOUBLE_EQ(TextToFloat("1.234,5"), 1234.5);
}

TEST(TextToLongTest, TakesTheWholePartWithItsSign) {
  SeparatorScope dot('.');
  struct Case {
    const char* text;
    int32_t value;
  };
  const Case cases[] = {
      {"1,234.99", 1234},        {"-7.9", -7},         {"-.5", 0},
      {"", 0},                   {"x", 0},             {"2147483647", 2147483647},
      {"2147483648", 2147483647}, {"-99999999999", std::numeric_limits<int32_t>::min()},
  };
  for (const Case& c : cases) EXPECT_EQ(TextToLong(c.text), c.value) << c.text;
}

}  // namespace
}  // namespace sv
