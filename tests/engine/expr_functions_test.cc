#include "engine/expr_functions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

#include "engine/dates.h"

namespace sv::xfn {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// A result buffer as the machine provides it, with guard bytes behind the
// kMaxText + 1 bytes a function may use.
struct Out {
  char bytes[kMaxText + 1 + 16];
  Out() { std::memset(bytes, '#', sizeof bytes); }
  std::string Take(size_t len) const {
    EXPECT_LE(len, kMaxText);
    EXPECT_EQ(bytes[len], '\0') << "not terminated";
    for (size_t i = kMaxText + 1; i < sizeof bytes; ++i) EXPECT_EQ(bytes[i], '#') << "overrun";
    return std::string(bytes, len);
  }
};

// The working pool: arguments one after the other, each zero-terminated.
struct Pool {
  char bytes[2 * (kMaxText + 1)];
  size_t used = 0;
  Pool() { std::memset(bytes, '#', sizeof bytes); }
  char* Push(const std::string& s) {
    char* at = bytes + used;
    std::memcpy(at, s.c_str(), s.size() + 1);
    used += s.size() + 1;
    return at;
  }
};

// Runs an in-place function on a copy of s in a value buffer.
std::string InPlace(const std::function<size_t(char*, size_t)>& f, const std::string& s) {
  Out o;
  std::memcpy(o.bytes, s.data(), s.size());
  return o.Take(f(o.bytes, s.size()));
}

TEST(NumberFunctions, AbsIntModMaxMin) {
  EXPECT_EQ(Abs(-2.5), 2.5);
  EXPECT_EQ(Int(-2.9), -2);
  EXPECT_EQ(Int(2.9), 2);
  struct Case {
    double a, b, mod;
  };
  const Case kMod[] = {
      {-7, 3, -1},
      {7, -3, 1},
      {7, 3, 1},
      {-7, -3, -1},
      {7.9, 3.9, 1},
      {6, 3, 0},
      {-7.5, 2.9, -1},
      {5, 0, 5},
      {-5, 0.5, -5},  // no divisor: the dividend
      {-9223372036854775808.0, -1, 0},
      {kNaN, 3, 0},
      {7, kNaN, 7},
      {1e300, 10, 7},  // saturates to the largest 64-bit integer, ...807
  };
  for (const Case& c : kMod) EXPECT_EQ(Mod(c.a, c.b), c.mod) << c.a << " mod " << c.b;
  EXPECT_EQ(Max(1, 2), 2);
  EXPECT_EQ(Max(3, 2), 3);
  EXPECT_EQ(Min(1, 2), 1);
  EXPECT_EQ(Min(3, 2), 2);
  EXPECT_EQ(Max(kNaN, 2), 2);
  EXPECT_EQ(Min(kNaN, 2), 2);
}

TEST(NumberFunctions, RoundCutsDigitsOff) {
  struct Case {
    double n, d, result;
  };
  const Case kCases[] = {
      {2.567, 2, 2.56}, {-2.567, 1, -2.5}, {2.567, 0, 2},    {2.567, -3, 2},    {2.567, 2.9, 2.56},
      {2.999, 2, 2.99}, {7, 2, 7},         {2.567, kNaN, 2}, {1e300, 2, 1e300},
  };
  for (const Case& c : kCases) EXPECT_DOUBLE_EQ(Round(c.n, c.d), c.result) << c.n << ", " << c.d;
  // Absurd decimal counts keep the number, without overflowing on the way.
  EXPECT_NEAR(Round(2.567, 1e300), 2.567, 1e-12);
  EXPECT_NEAR(Round(-0.123456789, 500), -0.123456789, 1e-12);
  EXPECT_TRUE(std::isnan(Round(kNaN, 2)));
  EXPECT_EQ(Round(-kInf, 2), -kInf);
}

TEST(NumberFunctions, StrFormatsFixedWidth) {
  struct Case {
    double n, width, decimals;
    std::string text;
  };
  const Case kCases[] = {
      {7, 10, 0, "         7"},
      {95, 3, 0, " 95"},
      {123456, 3, 0, "***"},
      {9999 - 95, 4, 0, "9904"},
      {-5, 10, 0, "        -5"},
      {2.5, 3, 1, "2.5"},
      {100, 2, 0, "**"},
      {2.5, 10, 0, "         3"},  // halves round away from zero
      {-2.5, 3, 0, " -3"},
      {0.125, 5, 2, " 0.13"},
      {2.4999, 3, 0, "  2"},
      {99.96, 5, 1, "100.0"},
      {-0.4, 3, 0, "  0"},  // no "-0"
      {-0.001, 5, 2, " 0.00"},
      {3.14159, 4, 3, "****"},
      {1e15, 17, 0, " 1000000000000000"},
      {1e250, 10, 0, "**********"},
      {5, 0, 0, ""},
      {5, -4, 0, ""},
      {5, 3, -2, "  5"},
      {5, 3.9, 0.9, "  5"},
      {kNaN, 4, 0, "****"},
      {kInf, 4, 0, "****"},
      {-kInf, 4, 0, "****"},
      {1, 4, 1e300, "****"},
      {1, 4, kNaN, "   1"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.n) + " " + std::to_string(c.width) + " " +
                 std::to_string(c.decimals));
    Out o;
    EXPECT_EQ(o.Take(Str(c.n, c.width, c.decimals, o.bytes)), c.text);
  }
  // A width beyond a character value still shows the number, right-aligned.
  for (double width : {256.0, 1e300, kInf}) {
    Out o;
    std::string s = o.Take(Str(42, width, 0, o.bytes));
    EXPECT_EQ(s, std::string(kMaxText - 2, ' ') + "42") << width;
  }
}

TEST(NumberFunctions, ValReadsTheLeadingNumber) {
  struct Case {
    std::string text;
    double value;
  };
  const Case kCases[] = {
      {"123", 123},
      {"  -12.5  ", -12.5},
      {"+3", 3},
      {"1E3", 1000},
      {"1e-2", 0.01},
      {"2.5E+1", 25},
      {"12abc", 12},
      {"1.5.6", 1.5},
      {"3 4", 3},
      {"7.", 7},
      {"1E", 1},
      {"1E+", 1},
      {"abc", 0},
      {".5", 0},
      {"", 0},
      {"   ", 0},
      {"- 5", 0},
      {"--5", 0},
      {"1e-999", 0},
      {"007", 7},
      {std::string("12\0"
                   "3",
                   4),
       12},
  };
  for (const Case& c : kCases)
    EXPECT_DOUBLE_EQ(Val(c.text.data(), c.text.size()), c.value) << c.text;
  EXPECT_EQ(Val("1e999", 5), kInf);
  EXPECT_EQ(Val("-1e999", 6), -kInf);
  EXPECT_EQ(Val("0.0e999", 7), 0);
  // Only the given length is read.
  EXPECT_EQ(Val("123", 2), 12);
  EXPECT_EQ(Val("1e5", 2), 1);
}

TEST(NumberFunctions, AscAndAt) {
  EXPECT_EQ(Asc("A", 1), 65);
  EXPECT_EQ(Asc("\xE9x", 2), 233);
  EXPECT_EQ(Asc("", 0), 0);
  EXPECT_EQ(At("B", 1, "ABC", 3), 2);
  EXPECT_EQ(At("BC", 2, "ABCBC", 5), 2);
  EXPECT_EQ(At("C", 1, "ABCBC", 5), 3);
  EXPECT_EQ(At("X", 1, "ABC", 3), 0);
  EXPECT_EQ(At("", 0, "ABC", 3), 0);
  EXPECT_EQ(At("ABCD", 4, "ABC", 3), 0);
  EXPECT_EQ(At("C", 1, "ABC", 2), 0);  // only the given length is searched
}

TEST(CharacterFunctions, Chr) {
  struct Case {
    double code;
    std::string text;
  };
  const Case kCases[] = {{65, "A"},          {321, "A"},   {65.9, "A"},    {0, ""},
                         {256, ""},          {-1, "\xFF"}, {-255, "\x01"}, {233, "\xE9"},
                         {kNaN, ""},         {kInf, ""},   {1e300, ""},  // a multiple of 256
                         {4294967361.0, "A"}};  // 2^32 + 65: no 32-bit wrap on the way
  for (const Case& c : kCases) {
    Out o;
    EXPECT_EQ(o.Take(Chr(c.code, o.bytes)), c.text) << c.code;
  }
}

TEST(CharacterFunctions, UpperAndLowerFollowTheAnsiCodePage) {
  EXPECT_EQ(InPlace(Upper, "abc 1-x \xE9\xFF\x9A"), "ABC 1-X \xC9\x9F\x8A");
  EXPECT_EQ(InPlace(Lower, "ABC 1-X \xC9\x9F\x8A"), "abc 1-x \xE9\xFF\x9A");
  EXPECT_EQ(InPlace(Upper, "\xDF\xF7"), "\xDF\xF7");  // sharp s and division sign stay
  EXPECT_EQ(InPlace(Upper, ""), "");
}

TEST(CharacterFunctions, Trims) {
  EXPECT_EQ(InPlace(LTrim, "  ab c  "), "ab c  ");
  EXPECT_EQ(InPlace(RTrim, "  ab c  "), "  ab c");
  EXPECT_EQ(InPlace(LTrim, "   "), "");
  EXPECT_EQ(InPlace(RTrim, "   "), "");
  EXPECT_EQ(InPlace(LTrim, ""), "");
  EXPECT_EQ(InPlace(RTrim, "\tx\t"), "\tx\t");  // blanks only
}

TEST(CharacterFunctions, LeftAndRight) {
  struct Case {
    double n;
    std::string left, right;
  };
  const Case kCases[] = {
      {5, "ABC", "ABC"}, {3, "ABC", "ABC"},    {2, "AB", "BC"},       {1.9, "A", "C"},
      {0, "", ""},       {-1, "", "ABC"},      {1e300, "ABC", "ABC"}, {-1e300, "", "ABC"},
      {kNaN, "", ""},    {kInf, "ABC", "ABC"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.n);
    EXPECT_EQ(InPlace([&](char* s, size_t len) { return Left(s, len, c.n); }, "ABC"), c.left);
    EXPECT_EQ(InPlace([&](char* s, size_t len) { return Right(s, len, c.n); }, "ABC"), c.right);
  }
}

TEST(CharacterFunctions, Substr) {
  struct Case {
    std::string s;
    double start, count;
    std::string text;
  };
  const Case kCases[] = {
      {"ABCDEF", -2, 3, "ABC"}, {"ABC", 4, 1, ""},      {"ABCDEF", 2, 3, "BCD"},
      {"ABC", 2, 10, "BC"},     {"ABC", 3, 1, "C"},     {"ABC", 1, 0, ""},
      {"ABC", 1, -1, ""},       {"ABC", 0, 2, "AB"},    {"ABC", 1.9, 1.9, "A"},
      {"", 1, 1, ""},           {"ABC", 1e300, 1, ""},  {"ABC", -1e300, 2, "AB"},
      {"ABC", kNaN, 2, "AB"},   {"ABC", 2, kInf, "BC"},
  };
  for (const Case& c : kCases) {
    Out o;
    EXPECT_EQ(o.Take(Substr(c.s.data(), c.s.size(), c.start, c.count, o.bytes)), c.text)
        << c.s << " " << c.start << " " << c.count;
  }
}

TEST(CharacterFunctions, Stuff) {
  struct Case {
    std::string s;
    double start, count;
    std::string r, text;
  };
  const Case kCases[] = {
      {"ABCDEF", 2, 3, "xy", "AxyEF"}, {"ABC", 0, 2, "x", "xABC"},
      {"ABC", 9, 1, "x", "ABCx"},      {"ABC", 4, 1, "x", "ABCx"},
      {"ABC", 2, 0, "x", "AxBC"},      {"ABC", 2, -1, "x", "AxBC"},
      {"ABC", 3, 5, "x", "ABx"},       {"ABC", 1, 3, "", ""},
      {"ABC", 1, 1, "", "BC"},         {"", 1, 1, "x", "x"},
      {"ABC", -1e300, 1, "x", "xABC"}, {"ABC", 1e300, 1, "x", "ABCx"},
      {"ABC", 2, 1e300, "x", "Ax"},    {"ABC", kNaN, 1, "x", "xABC"},
  };
  for (const Case& c : kCases) {
    Out o;
    EXPECT_EQ(
        o.Take(Stuff(c.s.data(), c.s.size(), c.start, c.count, c.r.data(), c.r.size(), o.bytes)),
        c.text)
        << c.s << " " << c.start << " " << c.count << " " << c.r;
  }
}

TEST(CharacterFunctions, ReplicateAndSpace) {
  struct Case {
    std::string s;
    double n;
    std::string text;
  };
  const Case kCases[] = {{"ab", 3, "ababab"}, {"ab", 1, "ab"},     {"ab", 0, ""},   {"ab", -2, ""},
                         {"", 5, ""},         {"ab", 2.9, "abab"}, {"ab", kNaN, ""}};
  for (const Case& c : kCases) {
    Out o;
    EXPECT_EQ(o.Take(Replicate(c.s.data(), c.s.size(), c.n, o.bytes)), c.text) << c.s << c.n;
  }
  struct SpaceCase {
    double n;
    size_t len;
  };
  const SpaceCase kSpaces[] = {{3, 3}, {0, 0}, {-1, 0}, {255, 255}, {kNaN, 0}};
  for (const SpaceCase& c : kSpaces) {
    Out o;
    EXPECT_EQ(o.Take(Space(c.n, o.bytes)), std::string(c.len, ' ')) << c.n;
  }
}

TEST(CharacterFunctions, IifTakesOneOfTwoTexts) {
  Out o;
  EXPECT_EQ(o.Take(Iif(true, "yes", 3, "no", 2, o.bytes)), "yes");
  EXPECT_EQ(o.Take(Iif(false, "yes", 3, "no", 2, o.bytes)), "no");
  EXPECT_EQ(o.Take(Iif(false, "yes", 3, "", 0, o.bytes)), "");
}

// Results beyond a character value are cut to its first kMaxText characters.
TEST(CharacterFunctions, LongResultsAreCut) {
  const std::string a200(200, 'a');
  const std::string b200(200, 'b');
  Out o;
  EXPECT_EQ(o.Take(Replicate("abc", 3, 100, o.bytes)).substr(250), "bcabc");
  EXPECT_EQ(o.Take(Replicate("ab", 2, 1e300, o.bytes)).size(), kMaxText);
  EXPECT_EQ(o.Take(Replicate(a200.data(), a200.size(), kInf, o.bytes)), std::string(kMaxText, 'a'));
  EXPECT_EQ(o.Take(Space(300, o.bytes)), std::string(kMaxText, ' '));
  EXPECT_EQ(o.Take(Space(1e300, o.bytes)), std::string(kMaxText, ' '));
  EXPECT_EQ(o.Take(Stuff(a200.data(), 200, 2, 0, b200.data(), 200, o.bytes)),
            "a" + std::string(200, 'b') + std::string(54, 'a'));
  // Arguments longer than a value are taken cut, never read past kMaxText.
  const std::string long_text(400, 'z');
  EXPECT_EQ(o.Take(Iif(true, long_text.data(), 400, "", 0, o.bytes)), std::string(kMaxText, 'z'));
  EXPECT_EQ(o.Take(Substr(long_text.data(), 400, 250, 100, o.bytes)), "zzzzzz");
}

TEST(CharacterFunctions, Soundex) {
  struct Case {
    std::string s, code;
  };
  const Case kCases[] = {
      {"Robert", "R163"},
      {"Rupert", "R163"},
      {"Tymczak", "T522"},
      {"A", "A000"},
      {"Ashcraft", "A226"},
      {"robert", "R163"},
      {"Pfister", "P236"},
      {"Lee", "L000"},
      {"O'Hara", "O600"},
      {"Jackson", "J250"},
      {"Bb-b", "B000"},
      {"Gutierrez", "G362"},
      {"1abc", "1120"},
      {" Robert", " 616"},
      {"", "0000"},
      {"\xE9lan",
       "\xC9"
       "450"},
      {"A" + std::string(98, ' ') + "B", "A100"},  // the hundredth character still counts
      {"A" + std::string(99, ' ') + "B", "A000"},  // the 101st does not
  };
  for (const Case& c : kCases) {
    Out o;
    EXPECT_EQ(o.Take(Soundex(c.s.data(), c.s.size(), o.bytes)), c.code) << c.s;
  }
}

// The machine puts a result where its first argument was, and the later
// character arguments follow it in the pool.
TEST(CharacterFunctions, ResultsMayOverwriteTheirArguments) {
  struct Case {
    const char* name;
    std::function<size_t(Pool&)> run;
    std::string text;
  };
  const Case kCases[] = {
      {"STUFF",
       [](Pool& p) {
         char* s = p.Push("ABC");
         char* r = p.Push("wxyz");
         return Stuff(s, 3, 2, 1, r, 4, s);
       },
       "AwxyzC"},
      {"STUFF at the end",
       [](Pool& p) {
         char* s = p.Push("AB");
         char* r = p.Push("0123456789");
         return Stuff(s, 2, 3, 0, r, 10, s);
       },
       "AB0123456789"},
      {"IIF false",
       [](Pool& p) {
         char* a = p.Push("a");
         char* b = p.Push("longer text");
         return Iif(false, a, 1, b, 11, a);
       },
       "longer text"},
      {"IIF true",
       [](Pool& p) {
         char* a = p.Push("first");
         char* b = p.Push("x");
         return Iif(true, a, 5, b, 1, a);
       },
       "first"},
      {"REPLICATE",
       [](Pool& p) {
         char* s = p.Push("xyz");
         return Replicate(s, 3, 4, s);
       },
       "xyzxyzxyzxyz"},
      {"SUBSTR",
       [](Pool& p) {
         char* s = p.Push("ABCDEF");
         return Substr(s, 6, 3, 3, s);
       },
       "CDE"},
      {"SOUNDEX",
       [](Pool& p) {
         char* s = p.Push("Ashcraft");
         return Soundex(s, 8, s);
       },
       "A226"},
      {"SOUNDEX short",
       [](Pool& p) {
         char* s = p.Push("B");
         return Soundex(s, 1, s);
       },
       "B000"},
  };
  for (const Case& c : kCases) {
    Pool p;
    size_t len = c.run(p);
    EXPECT_EQ(std::string(p.bytes, len), c.text) << c.name;
    EXPECT_EQ(p.bytes[len], '\0') << c.name;
  }
}

class DateFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    static const Ymd kToday{2026, 6, 15};
    SetTodayOverride(&kToday);
    SetDateForm(DateForm{0, true});
  }
  void TearDown() override {
    SetTodayOverride(nullptr);
    SetDateForm(DateForm{0, false});
  }
  static std::string Text(size_t (*f)(double, char*), double day) {
    Out o;
    return o.Take(f(day, o.bytes));
  }
  const double jan1_2000_ = DayFromYmd(2000, 1, 1);
};

TEST_F(DateFunctions, FirstOfJanuary2000) {
  EXPECT_EQ(Text(Dtoc, jan1_2000_), "01/01/2000");
  EXPECT_EQ(Text(Dtos, jan1_2000_), "20000101");
  EXPECT_EQ(Text(Cdow, jan1_2000_), "Saturday ");
  EXPECT_EQ(Text(Cmonth, jan1_2000_), "January  ");
  EXPECT_EQ(Dow(jan1_2000_), 7);
  EXPECT_EQ(Day(jan1_2000_), 1);
  EXPECT_EQ(Month(jan1_2000_), 1);
  EXPECT_EQ(Year(jan1_2000_), 2000);
  SetDateForm(DateForm{0, false});
  EXPECT_EQ(Year(jan1_2000_), 0);
  EXPECT_EQ(Year(DayFromYmd(1987, 5, 6)), 87);
  EXPECT_EQ(Text(Dtoc, jan1_2000_), "01/01/00");
  EXPECT_EQ(Dow(jan1_2000_), 7);
}

TEST_F(DateFunctions, CtodAndDate) {
  EXPECT_EQ(Ctod("1/2/24", 6), DayFromYmd(2024, 1, 2));
  EXPECT_EQ(Ctod("", 0), kBlankDate);
  EXPECT_EQ(Ctod("02/30/2024", 10), kBlankDate);
  EXPECT_EQ(Ctod("1/2/24xxxxxx", 6), DayFromYmd(2024, 1, 2));  // only the given length
  EXPECT_EQ(Date(), DayFromYmd(2026, 6, 15));
}

TEST_F(DateFunctions, BlankDates) {
  for (double blank : {kBlankDate, 0.0, kNaN, 1e9}) {
    SCOPED_TRACE(blank);
    EXPECT_EQ(Text(Dtoc, blank), "  /  /    ");
    EXPECT_EQ(Text(Dtos, blank), "        ");
    EXPECT_EQ(Text(Cdow, blank), std::string(9, ' '));
    EXPECT_EQ(Text(Cmonth, blank), std::string(9, ' '));
    EXPECT_EQ(Dow(blank), 0);
    EXPECT_EQ(Day(blank), 0);
    EXPECT_EQ(Month(blank), 0);
    EXPECT_EQ(Year(blank), 0);
  }
}

TEST_F(DateFunctions, NamesFollowTheFormsLanguage) {
  struct Case {
    DateForm form;
    int y, m, d;
    std::string cdow, cmonth;
  };
  const Case kCases[] = {
      {{0, false}, 2024, 3, 6, "Wednesday", "March    "},
      {{1, true}, 2024, 9, 7, "Saturday ", "September"},
      {{2, false}, 2024, 12, 1, "Sunday   ", "December "},
      {{3, false}, 2024, 3, 4, "Lunedi   ", "Marzo    "},
      {{3, true}, 2024, 9, 6, "Venerdi  ", "Settembre"},
      {{5, false}, 2024, 3, 3, "Sonntag   ", "M\x84rz     "},
      {{5, true}, 2024, 10, 3, "Donnerstag", "Oktober  "},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.form.code) + " " + c.cmonth);
    SetDateForm(c.form);
    double day = DayFromYmd(c.y, c.m, c.d);
    EXPECT_EQ(Text(Cdow, day), c.cdow);
    EXPECT_EQ(Text(Cmonth, day), c.cmonth);
    EXPECT_EQ(Day(day), c.d);
    EXPECT_EQ(Month(day), c.m);
    EXPECT_EQ(Year(day), c.form.century ? c.y : c.y % 100);
  }
  SetDateForm(DateForm{5, false});
  EXPECT_EQ(Text(Cdow, kBlankDate), std::string(10, ' '));
}

// Without the century a date's text names no century, yet its weekday is
// still that of the date itself.
TEST_F(DateFunctions, WeekdayOfADateOutsideTheCenturyWindow) {
  SetDateForm(DateForm{0, false});
  double day = DayFromYmd(1950, 1, 1);  // a Sunday; 1 January 2050 is a Saturday
  EXPECT_EQ(Dow(day), 1);
  EXPECT_EQ(Text(Cdow, day), "Sunday   ");
  EXPECT_EQ(Year(day), 50);
}

}  // namespace
}  // namespace sv::xfn
