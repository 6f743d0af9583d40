#include "match/colour.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <limits>
#include <vector>

#include "support/locale.h"
#include "support/numbers.h"

namespace sv {
namespace {

struct Rgb {
  int r, g, b;
};

Lab LabOf(Rgb c) { return ToLab(c.r, c.g, c.b); }

TEST(ToLabTest, GivesTheProgramsFiguresToFourDecimals) {
  struct Case {
    Rgb rgb;
    double L, a, b;
  };
  const Case cases[] = {
      // With an exponent of exactly 1/3 red would give L 53.2408.
      {{255, 0, 0}, 53.2365, 80.1044, 67.2192},
      // Not exactly neutral: the matrix and white point are rounded.
      {{255, 255, 255}, 100.0000, 0.0053, -0.0104},
      {{0, 0, 0}, 0.0, 0.0, 0.0},
      // 10/255 = 0.0392 is at most 0.03928 and takes the linear segment.
      {{10, 10, 10}, 2.7417, 0.0004, -0.0007},
      // 11/255 = 0.0431 takes the power segment; linear would give L 3.0160.
      {{11, 11, 11}, 3.0229, 0.0004, -0.0008},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rgb.r << "," << c.rgb.g << "," << c.rgb.b);
    Lab lab = LabOf(c.rgb);
    EXPECT_NEAR(lab.L, c.L, 5e-5);
    EXPECT_NEAR(lab.a, c.a, 5e-5);
    EXPECT_NEAR(lab.b, c.b, 5e-5);
  }
  // Whole components never fall between 0.03928 and the textbook 0.04045;
  // 10.1 does, and takes the power segment (linear would give L 2.7692).
  EXPECT_NEAR(ToLab(10.1, 10.1, 10.1).L, 2.7685, 5e-5);
}

TEST(DifferenceTest, DifferencesAndMatchValues) {
  struct Case {
    Rgb one, two;
    double difference;  // to two decimals
    int match;
  };
  const Case cases[] = {
      {{255, 0, 0}, {250, 10, 10}, 3.93, 4},
      {{255, 255, 255}, {250, 250, 250}, 1.73, 2},
      {{0, 0, 0}, {10, 10, 10}, 2.74, 3},
      {{0, 0, 255}, {20, 20, 230}, 14.66, 15},
      {{255, 0, 0}, {0, 0, 255}, 176.33, 176},
      {{255, 255, 255}, {0, 0, 0}, 100.00, 100},
      {{12, 200, 77}, {12, 200, 77}, 0.00, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.one.r << "," << c.one.g << "," << c.one.b << " / "
                                    << c.two.r << "," << c.two.g << "," << c.two.b);
    double d = Difference(LabOf(c.one), LabOf(c.two));
    EXPECT_NEAR(d, c.difference, 0.005);
    EXPECT_DOUBLE_EQ(d, Difference(LabOf(c.two), LabOf(c.one)));
    EXPECT_EQ(MatchValue(d), c.match);
  }
}

TEST(AcceptanceTest, RoundsHalfUpThenComparesWithTheTolerance) {
  struct Case {
    double difference;
    int match;
    bool accepted_at_6;
  };
  const Case cases[] = {
      {5.5, 6, true},
      {6.49, 6, true},
      {6.5, 7, false},
      {0.49, 0, true},
      {40000.0, 32767, false},
      // The number texts would read these as 0, a perfect match.
      {std::numeric_limits<double>::quiet_NaN(), 32767, false},
      {std::numeric_limits<double>::infinity(), 32767, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.difference);
    EXPECT_EQ(MatchValue(c.difference), c.match);
    EXPECT_EQ(IsAccepted(MatchValue(c.difference), 6, "OSTRA"), c.accepted_at_6);
  }
}

// MatchValue skips the number texts; it must give what they give.
TEST(AcceptanceTest, MatchValueAgreesWithTheNumberTexts) {
  std::vector<double> values = {0.0, 0.5, 1.5, 2.5, 999.5, 1000.0, 32766.5, 32767.0, 32767.49,
                                32768.0, 1e9, 1e40, -0.0};
  for (int k = 0; k < 1200; ++k) {
    const double half = k + 0.5;
    values.push_back(half);
    values.push_back(std::nextafter(half, 0.0));
    values.push_back(std::nextafter(half, 1e9));
    values.push_back(k + 0.49999999999999);
  }
  uint64_t x = 88172645463325252ULL;  // xorshift: fixed values, any platform
  for (int k = 0; k < 20000; ++k) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    values.push_back(static_cast<double>(x % 200000000) / 100000.0);
  }
  for (double d : values) {
    ASSERT_EQ(MatchValue(d), MatchValueByText(d)) << std::setprecision(20) << d;
  }
}

TEST(AcceptanceTest, OnlyTheOwnLineIsAccepted) {
  struct Case {
    const char* company;
    bool hit;
  };
  const Case cases[] = {
      {"OSTRA", true},       {"OSTRA       ", true}, {"OSTRA\t", true},
      {"ostra", false},      {" OSTRA", false},      {"OSTRAX", false},
      {"MADEIRA     ", false}, {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.company);
    EXPECT_EQ(hit_result(c.company), c.hit);
    // However close the colour.
    EXPECT_EQ(IsAccepted(0, 30, c.company), c.hit);
  }
}

TEST(ComponentsTest, OfMasterFieldTexts) {
  ThreadColour c = ColourOfFieldTexts(" 40", "  1", "255");
  EXPECT_EQ(c.red, 40.0);
  EXPECT_EQ(c.green, 1.0);
  EXPECT_EQ(c.blue, 255.0);
  EXPECT_EQ(c.packed, 40 + 256 * 1 + 65536 * 255);

  ThreadColour blank = ColourOfFieldTexts("   ", "", "  0");
  EXPECT_EQ(blank.red, 0.0);
  EXPECT_EQ(blank.packed, 0);

  // A damaged record with components beyond a byte must not overflow.
  ThreadColour big = ColourOfFieldTexts("99999", "99999", "99999");
  EXPECT_EQ(big.packed, 32767LL + 256LL * 32767 + 65536LL * 32767);
}

// Whatever road a text takes, its components are TextToFloat and its packed
// colour TextToSmallInt of it, under either decimal separator.
TEST(ComponentsTest, AgreeWithTheNumberRoutines) {
  const char* texts[] = {" 40", "255", "  0", "", "   ", "0040", "9999", "12345", " 1 2", "+5",
                         "-5",  "\t40", "4\t", "1.5", "1,5", "abc", "1,234", "$12", "7 ", "1e3"};
  for (char separator : {'.', ','}) {
    const char previous = DecimalSeparator();
    SetDecimalSeparator(separator);
    for (const char* text : texts) {
      SCOPED_TRACE(testing::Message() << separator << " [" << text << "]");
      ThreadColour c = ColourOfFieldTexts(text, "1", "2");
      EXPECT_EQ(c.red, TextToFloat(text));
      EXPECT_EQ(c.packed, TextToSmallInt(text) + 256 * 1 + 65536 * 2);
      ThreadColour d = ColourOfFieldTexts("1", "2", text);
      EXPECT_EQ(d.blue, TextToFloat(text));
      EXPECT_EQ(d.packed, 1 + 256 * 2 + 65536LL * TextToSmallInt(text));
    }
    SetDecimalSeparator(previous);
  }
}

TEST(ComponentsTest, OfPackedColours) {
  struct Case {
    int32_t packed;
    int r, g, b;
  };
  const Case cases[] = {
      {0, 0, 0, 0},
      {16777215, 255, 255, 255},
      {0x123456, 0x56, 0x34, 0x12},
      {PackColour(200, 30, 40), 200, 30, 40},
  };
  for (const Case& c : cases) {
    ThreadColour colour = ColourOfPacked(c.packed);
    EXPECT_EQ(colour.red, c.r);
    EXPECT_EQ(colour.green, c.g);
    EXPECT_EQ(colour.blue, c.b);
    EXPECT_EQ(colour.packed, c.packed);
  }
}

}  // namespace
}  // namespace sv
