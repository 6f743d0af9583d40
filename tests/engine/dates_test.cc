#include "engine/dates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "engine/dbf_table.h"
#include "testlib/temp_dir.h"

namespace sv {
namespace {

class DatesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static const Ymd kToday{2026, 6, 15};
    SetTodayOverride(&kToday);
    SetDateForm(DateForm{0, false});
  }
  void TearDown() override {
    SetTodayOverride(nullptr);
    SetDateForm(DateForm{0, false});
  }
};

TEST_F(DatesTest, EveryFormWritesAndReadsItsOwnText) {
  struct Case {
    DateForm form;
    const char* text;   // 2 January 2024
    const char* blank;  // the blank date
  };
  const Case kCases[] = {
      {{0, false}, "01/02/24", "  /  /  "}, {{0, true}, "01/02/2024", "  /  /    "},
      {{1, false}, "24.01.02", "  .  .  "}, {{1, true}, "2024.01.02", "    .  .  "},
      {{2, false}, "02/01/24", "  /  /  "}, {{2, true}, "02/01/2024", "  /  /    "},
      {{3, false}, "02-01-24", "  -  -  "}, {{3, true}, "02-01-2024", "  -  -    "},
      {{5, false}, "02.01.24", "  .  .  "}, {{5, true}, "02.01.2024", "  .  .    "},
  };
  const double day = DayFromYmd(2024, 1, 2);
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.form.code) + (c.form.century ? " century" : ""));
    SetDateForm(c.form);
    EXPECT_EQ(DtoC(day), c.text);
    EXPECT_EQ(DtoC(kBlankDate), c.blank);
    EXPECT_EQ(BlankDateText(), c.blank);
    EXPECT_EQ(CtoD(c.text), day);
    EXPECT_EQ(CtoD(c.blank), kBlankDate);
    EXPECT_EQ(StoredDateToText("20240102"), c.text);
    EXPECT_EQ(TextToStoredDate(c.text), "20240102");
    EXPECT_EQ(TextToStoredDate(c.blank), "        ");
    EXPECT_EQ(DtoS(day), "20240102");
  }
}

TEST_F(DatesTest, OnlyYearsOneToNineThousandNineHundredNinetyNineHaveATextForm) {
  SetDateForm(DateForm{0, true});
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double day;
    const char* dtoc;
    const char* dtos;
  };
  const Case kCases[] = {
      {kFirstDay, "01/01/0001", "00010101"},     {kLastDay, "12/31/9999", "99991231"},
      {kFirstDay - 1, "  /  /    ", "        "}, {kLastDay + 1, "  /  /    ", "        "},
      {kBlankDate, "  /  /    ", "        "},    {0, "  /  /    ", "        "},
      {-1e300, "  /  /    ", "        "},        {nan, "  /  /    ", "        "},
      {inf, "  /  /    ", "        "},           {kFirstDay + 0.75, "01/01/0001", "00010101"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.day);
    EXPECT_EQ(DtoC(c.day), c.dtoc);
    EXPECT_EQ(DtoS(c.day), c.dtos);
  }
  EXPECT_EQ(kFirstDay, 1721426);
  EXPECT_EQ(DayFromYmd(2000, 1, 1), 2451545);
}

TEST_F(DatesTest, DayNumbersAndCalendarDatesAgreeOverTheWholeRange) {
  // Every 997th day: leap days, century years and year ends all come round.
  int checked = 0;
  for (double n = kFirstDay; n <= kLastDay; n += 997) {
    Ymd d;
    ASSERT_TRUE(YmdFromDay(n, d)) << n;
    ASSERT_EQ(DayFromYmd(d.year, d.month, d.day), n) << d.year << "-" << d.month << "-" << d.day;
    ASSERT_EQ(DayOfWeek(n), static_cast<int>(std::fmod(n + 1, 7)) + 1) << n;
    ++checked;
  }
  EXPECT_GT(checked, 3000);
  Ymd d;
  ASSERT_TRUE(YmdFromDay(DayFromYmd(2000, 2, 29), d));
  EXPECT_EQ(d.month * 100 + d.day, 229);
}

TEST_F(DatesTest, ImpossibleDatesAreBlank) {
  struct Case {
    int y, m, d;
  };
  const Case kCases[] = {{2023, 2, 29}, {1900, 2, 29}, {2024, 4, 31}, {2024, 13, 1}, {2024, 0, 1},
                         {2024, 1, 0},  {0, 1, 1},     {-5, 1, 1},    {10000, 1, 1}};
  for (const Case& c : kCases) {
    EXPECT_EQ(DayFromYmd(c.y, c.m, c.d), kBlankDate) << c.y << "-" << c.m << "-" << c.d;
  }
  EXPECT_NE(DayFromYmd(2000, 2, 29), kBlankDate);
  EXPECT_NE(DayFromYmd(2024, 2, 29), kBlankDate);
}

TEST_F(DatesTest, WeekdaysOfKnownDates) {
  struct Case {
    int y, m, d, weekday;
  };
  const Case kCases[] = {{2000, 1, 1, 7}, {1900, 1, 1, 2},   {1950, 1, 1, 1},
                         {1, 1, 1, 2},    {9999, 12, 31, 6}, {2024, 2, 29, 5}};
  for (const Case& c : kCases) {
    EXPECT_EQ(DayOfWeek(DayFromYmd(c.y, c.m, c.d)), c.weekday) << c.y << "-" << c.m << "-" << c.d;
  }
  EXPECT_EQ(DayOfWeek(kBlankDate), 0);
}

TEST_F(DatesTest, CenturyWindowStartsSeventyYearsBack) {
  EXPECT_EQ(CenturyWindowYear(56), 1956);
  EXPECT_EQ(CenturyWindowYear(55), 2055);
  EXPECT_EQ(CenturyWindowYear(0), 2000);
  EXPECT_EQ(CenturyWindowYear(99), 1999);
  static const Ymd kLater{2099, 1, 1};
  SetTodayOverride(&kLater);
  EXPECT_EQ(CenturyWindowYear(28), 2128);
  EXPECT_EQ(CenturyWindowYear(29), 2029);
}

TEST_F(DatesTest, ReadingDateTexts) {
  struct Case {
    int code;
    const char* text;
    int y, m, d;  // y 0: the blank date
  };
  const Case kCases[] = {
      {0, "1/2/24", 2024, 1, 2},
      {0, "12/31/55", 2055, 12, 31},
      {0, "1/1/56", 1956, 1, 1},
      {0, " 1/ 2 /24", 2024, 1, 2},     // parts trimmed
      {0, "1 / 2 / 2024", 2020, 1, 2},  // cut to 10 characters first
      {0, "01/02/2024 and more", 2024, 1, 2},
      {0, "1-2-24", 2024, 1, 2},
      {0, "1.2.24", 2024, 1, 2},
      {0, "1/2/024", 24, 1, 2},
      {0, "1/2/5", 2005, 1, 2},
      {0, "1/2", 2000, 1, 2},  // an empty year reads as 00
      {0, "2/29/2024", 2024, 2, 29},
      {0, "01 02 2024", 2024, 1, 2},  // no separator: read by position
      {0, "", 0, 0, 0},
      {0, "  /  /  ", 0, 0, 0},
      {0, "/", 0, 0, 0},
      {0, "2/29/2023", 0, 0, 0},
      {0, "13/1/2024", 0, 0, 0},
      {0, "0/1/2024", 0, 0, 0},
      {0, "1/2/0000", 0, 0, 0},
      {0, "ab/cd/efgh", 0, 0, 0},
      {0, "1/2/20x4", 0, 0, 0},
      {0, "01022024", 0, 0, 0},
      {0, "1/2/3/4", 0, 0, 0},
      {0, "123/4/2024", 0, 0, 0},
      {1, "24.1.2", 2024, 1, 2},
      {1, "2024/01/02", 2024, 1, 2},
      {2, "2/1/24", 2024, 1, 2},
      {3, "2-1-2024", 2024, 1, 2},
      {5, "2.1.24", 2024, 1, 2},
      {5, "31.12.1999", 1999, 12, 31},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string("code ") + std::to_string(c.code) + " '" + c.text + "'");
    SetDateForm(DateForm{c.code, false});
    double expected = c.y == 0 ? kBlankDate : DayFromYmd(c.y, c.m, c.d);
    EXPECT_EQ(CtoD(c.text), expected);
    SetDateForm(DateForm{c.code, true});
    EXPECT_EQ(CtoD(c.text), expected);  // CtoD completes the year either way
  }
}

TEST_F(DatesTest, ReadingBackKeepsTheYearAsWritten) {
  Ymd d;
  ASSERT_TRUE(ReadBackDateText("01/01/00", d));
  EXPECT_EQ(d.year, 0);
  SetDateForm(DateForm{0, true});
  ASSERT_TRUE(ReadBackDateText("01/01/2000", d));
  EXPECT_EQ(d.year, 2000);
  SetDateForm(DateForm{1, false});
  ASSERT_TRUE(ReadBackDateText("99.12.31", d));
  EXPECT_EQ(d.year * 10000 + d.month * 100 + d.day, 991231);
  EXPECT_FALSE(ReadBackDateText("  .  .  ", d));
}

TEST_F(DatesTest, FormFollowsTheShortDatePattern) {
  struct Case {
    const char* pattern;
    char separator;
    int code;
    bool century;
    const char* own_pattern;
  };
  const Case kCases[] = {
      {"MM/dd/yy", '/', 0, false, "MM/dd/yy"},
      {"M/d/yyyy", '/', 0, true, "MM/dd/yyyy"},
      {"dd/MM/yyyy", '/', 2, true, "dd/MM/yyyy"},
      {"dd-MM-yy", '-', 3, false, "dd-MM-yy"},
      {"d.M.yyyy", '.', 5, true, "dd.MM.yyyy"},
      {"yyyy-MM-dd", '-', 1, true, "yyyy.MM.dd"},
      {"YY/MM/DD", '/', 1, false, "yy.MM.dd"},
      {"Dd MM yy", ' ', 2, false, "dd/MM/yy"},
      {"", '/', 0, false, "MM/dd/yy"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.pattern);
    DateForm f = DateFormFromPattern(c.pattern, c.separator);
    EXPECT_EQ(f.code, c.code);
    EXPECT_EQ(f.century, c.century);
    EXPECT_EQ(PatternOfForm(f), c.own_pattern);
  }
}

TEST_F(DatesTest, NameTablesArePaddedToTheirWidth) {
  for (int code : {0, 3, 5}) {
    const DateNames& names = NamesOfForm(DateForm{code, false});
    for (const char* day : names.days) EXPECT_EQ(std::strlen(day), names.day_width) << day;
    for (const char* month : names.months) {
      EXPECT_EQ(std::strlen(month), names.month_width) << month;
    }
  }
  EXPECT_EQ(NamesOfForm(DateForm{5, false}).day_width, 10u);
  EXPECT_STREQ(NamesOfForm(DateForm{5, false}).months[2], "M\x84rz     ");
  EXPECT_STREQ(NamesOfForm(DateForm{2, true}).days[3], "Wednesday");
}

// With two-digit years a field's text no longer names its century; writing an
// untouched field back must not move it into the century window.
TEST_F(DatesTest, UntouchedDatesKeepTheirCentury) {
  EXPECT_EQ(TextToStoredDate("01/01/50", "19500101"), "19500101");
  EXPECT_EQ(TextToStoredDate("01/02/50", "19500101"), "20500102");  // edited
  EXPECT_EQ(TextToStoredDate("01/01/50", "        "), "20500101");
  EXPECT_EQ(TextToStoredDate("01/01/50", "1950x101"), "20500101");
  EXPECT_EQ(TextToStoredDate("  /  /  ", "19500101"), "        ");

  svtest::TempDir dir;
  std::string name = dir.File("d.dbf");
  ASSERT_TRUE(CreateDBF(name, {{"born", 'D', 8, 0}, {"note", 'C', 4, 0}}));
  DbfTable t;
  ASSERT_TRUE(OpenDbf(t, name, false));
  std::memcpy(t.record.data() + 1, "19500101ab  ", 12);
  ScatterRecord(t);
  ASSERT_EQ(fv::Text(t, 1), "01/01/50");
  fv::SetText(t, 2, "cd");
  GatherRecord(t);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(t.record.data()) + 1, 12), "19500101cd  ");
  EXPECT_TRUE(CloseDbf(t));
}

}  // namespace
}  // namespace sv
