// Evaluating compiled expressions: operators, functions as the machine calls
// them, fields of the current record and of other areas, blanks on empty
// tables and at end of file, the text forms and filters.
#include <gtest/gtest.h>

#include "engine/engine_state.h"
#include "engine/expression.h"
#include "engine/hooks.h"
#include "expr_fixture.h"

namespace sv {
namespace {

using svtest::Eval;
using svtest::EvalLogical;
using svtest::EvalNumber;
using svtest::ExprTest;
using svtest::Row;

const std::string kLong(254, 'L');

class EvalTest : public ExprTest {
 protected:
  void SetUp() override {
    ExprTest::SetUp();
    OpenThreads({
        Row{{"MADEIRA", "RAYON", "Red", "1147", "200", "10", "20", "95", "R1", "3", "12.50",
             "20240102", "T", "", kLong}},
        Row{{"AB", "POLY", "Blue", "12", "0", "0", "255", "100", "", "0", "", "", "F"}, true},
    });
  }
};

TEST_F(EvalTest, NumbersFollowPrecedenceAndLeftAssociativity) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {
      {"1 + 2 * 3", 7},         {"(1 + 2) * 3", 9},     {"2 ^ 3 ^ 2", 64},
      {"2 ** 3", 8},            {"2 * 3 ^ 2", 18},      {"-2 ^ 2", 4},
      {"10 - 4 - 3", 3},        {"100 / 10 / 5", 2},    {"7 - -2", 9},
      {"+3", 3},                {"- - 3", 3},           {"1E5", 1e5},
      {"1E-5", -4},             {"1.5E2", 150},         {"9 ^ 0.5", 3},
      {"0 ^ 2", 0},             {"0 ^ 0", 1},           {"(-2) ^ 3", -8},
      {"(-2) ^ 2", 4},          {"(-8) ^ (1/3)", 0},    {"ROUND(2.567, 2)", 2.56},
      {"ROUND(-2.567, 1)", -2.5}, {"MOD(-7, 3)", -1},   {"MOD(7, -3)", 1},
      {"MOD(7, 0)", 7},         {"ABS(-3) + INT(2.9)", 5}, {"AT('C', 'ABC')", 3},
      {"LEN('ab  ')", 4},       {"VAL('12.5') * 2", 25}, {"VAL('x1')", 0},
      {"ASC('A')", 65},         {"ASC('')", 0},         {"MAX(1, 2) + MIN(5, 3)", 5},
  };
  for (const Case& c : cases) EXPECT_NEAR(EvalNumber(c.text), c.value, 1e-9) << c.text;
  EXPECT_TRUE(errors_.empty());
}

TEST_F(EvalTest, ComparisonsAndLogic) {
  struct Case {
    const char* text;
    bool value;
  } cases[] = {
      {".NOT. .T. .OR. .T.", true},  // (.NOT. .T.) .OR. .T.
      {".NOT. .F. .AND. .F.", false},
      {".T. .OR. .F. .AND. .F.", true},
      {"1 < 2 = .T.", true},
      {"'A' $ 'ABC' = .T.", true},
      {"2 > 1 .AND. 'b' > 'a'", true},
      {"'ABC' = 'AB'", true},
      {"'AB' = 'ABC'", false},
      {"'ABC' = ''", false},
      {"'' = ''", false},
      {"'ABC' <> 'AB'", true},
      {"'AB' <> 'AB'", false},
      {"'AB' # 'ab'", true},
      {"'ABC' == 'AB'", false},
      {"'AB' == 'AB'", true},
      {"'MAD' $ 'MADEIRA'", true},
      {"'' $ 'ABC'", false},
      {"'DEI' $ 'MAD'", false},
      {"'B' < 'AB'", false},
      {"'AB' < 'ABC'", true},
      {"'AB' <= 'AB'", true},
      {"'ABC' >= 'AB'", true},
      {"'a' > 'Z'", true},
      {"CHR(233) > 'z'", true},  // bytes compare unsigned
      {".T. = .T.", true},
      {".T. # .F.", true},
      {"1 = 1.0", true},
      {"3 >= 4", false},
      {"CTOD('01/02/24') > CTOD('01/01/24')", true},
      {"CTOD('01/02/24') = CTOD('01/02/2024')", true},
  };
  for (const Case& c : cases) EXPECT_EQ(EvalLogical(c.text), c.value) << c.text;
}

TEST_F(EvalTest, CharacterValues) {
  struct Case {
    const char* text;
    std::string value;
  } cases[] = {
      {"'AB  ' - 'CD'", "ABCD  "},
      {"'AB ' + 'CD'", "AB CD"},
      {"'  ' - 'x'", "x  "},
      {"UPPER('abc\xE9') + LOWER('D\xC9" "F')", "ABC\xC9" "d\xE9" "f"},
      {"'[' + LTRIM('  x ') + ']'", "[x ]"},
      {"TRIM('x  ') + 'y'", "xy"},
      {"RTRIM('a ') + RIGHT('abc', 2) + LEFT('abc', 1)", "abca"},
      {"SUBS('ABCDEF', 2, 3)", "BCD"},
      {"SUBSTR('ABCDEF', -2, 3)", "ABC"},
      {"SUBSTR('ABC', 4, 1)", ""},
      {"LEFT('ABC', 5)", "ABC"},
      {"RIGHT('ABC', 0)", ""},
      {"LEFT('ABC', -1) + '|'", "|"},
      {"STUFF('ABCDEF', 2, 3, 'xy')", "AxyEF"},
      {"STUFF('ABC', 0, 2, 'x')", "xABC"},
      {"STUFF('ABC', 9, 1, 'x')", "ABCx"},
      {"SOUNDEX('Ashcraft') + SOUNDEX('Robert') + SOUNDEX('A')", "A226R163A000"},
      {"STR(9999-95, 4)", "9904"},
      {"STR(-5)", "        -5"},
      {"STR(2.5, 3, 1)", "2.5"},
      {"STR(100, 2)", "**"},
      {"IIF(1 > 2, 'yes', 'no') + '!'", "no!"},
      {"REPLICATE('ab', 3)", "ababab"},
      {"SPACE(2) + 'x'", "  x"},
      {"CHR(65) + CHR(321) + CHR(0)", "AA"},
      {"UPPER(SUBSTR('xabcx', 2, 3)) + STR(LEN('abc'), 1)", "ABC3"},
      {"\"it's\" + 'a \"b\"'", "it's" "a \"b\""},
  };
  for (const Case& c : cases) EXPECT_EQ(Eval(c.text), c.value) << c.text;
  EXPECT_TRUE(errors_.empty());
}

TEST_F(EvalTest, DatesInEachForm) {
  // Form 0 with the century flag.
  EXPECT_EQ(Eval("DTOC(CTOD('01/01/2000'))"), "01/01/2000");
  EXPECT_EQ(Eval("DTOS(CTOD('01/01/2000'))"), "20000101");
  EXPECT_EQ(Eval("CDOW(CTOD('01/01/2000'))"), "Saturday ");
  EXPECT_EQ(EvalNumber("DOW(CTOD('01/01/2000'))"), 7);
  EXPECT_EQ(Eval("CTOD('1/2/24')"), "01/02/2024");
  EXPECT_EQ(Eval("DTOC(CTOD(''))"), "  /  /    ");
  EXPECT_EQ(EvalNumber("CTOD('')"), 1e100);
  EXPECT_EQ(Eval("CTOD('12/31/1999') + 1"), "01/01/2000");
  EXPECT_EQ(Eval("1 + CTOD('12/31/1999')"), "01/01/2000");
  EXPECT_EQ(Eval("CTOD('03/01/2024') - 1"), "02/29/2024");
  EXPECT_EQ(EvalNumber("CTOD('03/01/2024') - CTOD('02/01/2024')"), 29);
  EXPECT_EQ(Eval("MAX(CTOD('01/02/24'), CTOD('01/01/24'))"), "01/02/2024");
  EXPECT_EQ(Eval("DATE()"), "06/15/2026");
  EXPECT_EQ(EvalNumber("YEAR(DATE()) + MONTH(DATE()) + DAY(DATE())"), 2026 + 6 + 15);

  struct Case {
    DateForm form;
    const char* text;  // 2 January 2024, written in that form
    const char* shown;
    const char* month;
  } cases[] = {
      {{0, false}, "01/02/24", "01/02/24", "January  "},
      {{1, true}, "2024.01.02", "2024.01.02", "January  "},
      {{2, false}, "02/01/24", "02/01/24", "January  "},
      {{3, true}, "02-01-2024", "02-01-2024", "Gennaio  "},
      {{5, false}, "02.01.24", "02.01.24", "Januar   "},
  };
  for (const Case& c : cases) {
    SetDateForm(c.form);
    std::string date = std::string("CTOD('") + c.text + "')";
    EXPECT_EQ(Eval(date), c.shown) << c.text;
    EXPECT_EQ(EvalNumber("DAY(" + date + ") * 100 + MONTH(" + date + ")"), 201) << c.text;
    EXPECT_EQ(Eval("CMONTH(" + date + ")"), c.month) << c.text;
  }
  SetDateForm({5, false});
  EXPECT_EQ(Eval("CMONTH(CTOD('01.03.24'))"), "M\x84rz     ");
  EXPECT_EQ(Eval("CDOW(CTOD('01.03.24'))"), "Freitag   ");
}

TEST_F(EvalTest, FieldsOfTheCurrentRecord) {
  Go(1);
  EXPECT_EQ(Eval("t_company + t_color"), "MADEIRA     1147    ");
  EXPECT_TRUE(EvalLogical("t_company = 'MAD'"));
  EXPECT_FALSE(EvalLogical("t_company == 'MAD'"));
  EXPECT_FALSE(EvalLogical("t_company = ''"));
  EXPECT_TRUE(EvalLogical("'MAD' $ t_company"));
  EXPECT_TRUE(EvalLogical("owned .and. m_onhand > 0"));
  EXPECT_TRUE(EvalLogical("bought = CTOD('01/02/2024')"));
  EXPECT_EQ(EvalNumber("t_red + t_green + t_blue"), 230);
  EXPECT_EQ(EvalNumber("price * 2"), 25);
  EXPECT_EQ(Eval("t_company + t_color + str(r_match,3) + r_color"),
            "MADEIRA     1147     95R1      ");
  EXPECT_EQ(Eval("r_match"), " 95");
  EXPECT_EQ(Eval("9999-r_match"), "      9904.00");
  EXPECT_EQ(Eval("owned"), ".T.");
  EXPECT_EQ(Eval("bought"), "01/02/2024");
  EXPECT_EQ(Eval("notes"), "");
  EXPECT_EQ(EvalNumber("RECNO()"), 1);
  EXPECT_FALSE(EvalLogical("DELETED()"));
  // Cut at the longest character value.
  EXPECT_EQ(Eval("t_long + t_long"), kLong + "L");
  EXPECT_EQ(Eval("t_long - t_long"), kLong + "L");

  Go(2);
  EXPECT_EQ(Eval("t_company + t_color"), "AB          12      ");
  EXPECT_EQ(Eval("str(9999-r_match,4)"), "9899");
  EXPECT_EQ(EvalNumber("RECNO()"), 2);
  EXPECT_TRUE(EvalLogical("DELETED()"));
  EXPECT_EQ(Eval("bought"), "  /  /    ");
  EXPECT_TRUE(errors_.empty());
}

TEST_F(EvalTest, DateFieldKeepsItsCenturyWhenTheFormShowsTwoDigits) {
  Use("");
  SetDateForm({0, false});
  OpenThreads({Row{{"A", "", "", "", "", "", "", "", "", "", "", "19500101"}}}, "old.dbf");
  EXPECT_EQ(Eval("DTOS(bought)"), "19500101");
  EXPECT_EQ(Eval("DTOS(bought + 1)"), "19500102");
}

TEST_F(EvalTest, EmptyTableReadsBlankFields) {
  Use("");
  OpenThreads({}, "empty.dbf");
  EXPECT_EQ(Eval("t_company"), std::string(12, ' '));
  EXPECT_EQ(Eval("t_company + t_color"), std::string(20, ' '));
  EXPECT_EQ(EvalNumber("t_red + price"), 0);
  EXPECT_FALSE(EvalLogical("owned"));
  EXPECT_EQ(EvalNumber("bought"), 1e100);
  EXPECT_EQ(EvalNumber("RECNO()"), 0);

  CompiledExpr* yes = AssignExpr("t_red = 0 .and. t_company = ' '");
  CompiledExpr* no = AssignExpr("t_company = 'A'");
  EXPECT_TRUE(ExprHooks().admits(yes));
  EXPECT_FALSE(ExprHooks().admits(no));
  ExprHooks().release(yes);
  ExprHooks().release(no);
}

TEST_F(EvalTest, ComponentEvaluateReadsBlankAtEndOfFile) {
  Go(1);
  Go(99);  // past the end; the buffers keep record 1
  errors_.clear();
  EXPECT_EQ(EvaluateInCurrentArea("t_company + str(t_red, 4)"), std::string(12, ' ') + "   0");
  EXPECT_EQ(Eval("t_company"), "MADEIRA     ");
  Go(2);
  EXPECT_EQ(EvaluateInCurrentArea("t_company"), "AB          ");
  EXPECT_TRUE(errors_.empty());
  EXPECT_EQ(EvaluateInCurrentArea("t_company +"), "");
  EXPECT_EQ(errors_.last().code, 351);
}

TEST_F(EvalTest, AliasFieldsReadTheOtherArea) {
  Select(2);
  OpenThreads({Row{{"OTHER1", "", "", "C1"}}, Row{{"OTHER2", "", "", "C2"}}}, "pick.dbf",
              "PICKLISTABC");
  Select(1);
  Go(1);
  // Ten characters of an alias are compared.
  EXPECT_EQ(Eval("t_company + PICKLISTAB->t_color + picklistabzz->t_company"),
            "MADEIRA     C1      OTHER1      ");
  Select(2);
  Go(2);
  Select(1);
  EXPECT_EQ(Eval("PICKLISTAB->t_company"), "OTHER2      ");
  EXPECT_TRUE(EvalLogical("THREADS->t_company = t_company"));
}

TEST_F(EvalTest, ExpressionMeetingAnotherTableReadsSafely) {
  CompiledExpr* e = AssignExpr("t_company + str(t_red)");
  ASSERT_NE(e, nullptr);
  Select(2);
  svtest::WriteTable(dir_.File("small.dbf"), {{"x", 'C', 3, 0}}, {Row{{"abc"}}});
  ASSERT_TRUE(Use(dir_.File("small.dbf")));
  EXPECT_EQ(SEvaluate(e), "abc         " + std::string(9, ' ') + "0");
  Select(3);  // no table at all
  EXPECT_EQ(SEvaluate(e), std::string(21, ' ') + "0");
  ReleaseExpr(e);
  EXPECT_TRUE(errors_.empty());
}

TEST_F(EvalTest, DivisionByZeroReportsAndGoesOn) {
  EXPECT_EQ(EvalNumber("10/0"), 1e250);
  ASSERT_EQ(errors_.errors().size(), 1u);
  EXPECT_EQ(errors_.last().code, 358);
  EXPECT_EQ(errors_.last().detail, "Error during evaluation: Divide by 0 [Evaluate/Engine]");
  EXPECT_TRUE(EvalLogical("10/0 > 5 .and. 1/0 = 10/0"));
  EXPECT_EQ(Eval("10/0"), std::string(13, '*'));
  EXPECT_EQ(EvalNumber("0 ^ -1"), 1e250);
  EXPECT_EQ(errors_.errors().size(), 6u);
  // A later run is not marked by the earlier division.
  EXPECT_EQ(Eval("1 + 1"), "         2.00");
}

TEST_F(EvalTest, MissingExpression) {
  EXPECT_EQ(EvaluateExpr(nullptr), nullptr);
  EXPECT_EQ(SEvaluate(nullptr), "");
  EXPECT_EQ(errors_.last().code, 357);
  EXPECT_EQ(errors_.last().detail, "Possibly AssignExpr has not been called [SEvaluate]");
}

TEST_F(EvalTest, FiltersHideRecordsDuringMovement) {
  Set_Filter_To("t_company = 'AB'");
  GoTop();
  EXPECT_EQ(RecNo(), 2);
  Set_Filter_To("t_company = 'MAD' .or. DELETED()");
  GoTop();
  EXPECT_EQ(RecNo(), 1);
  Skip(1);
  EXPECT_EQ(RecNo(), 2);
  Set_Filter_To("t_company = 'NONE'");
  GoTop();
  EXPECT_TRUE(dEOF());
  // Not a condition: hides nothing.
  Set_Filter_To("t_color");
  GoTop();
  EXPECT_EQ(RecNo(), 1);
  Skip(1);
  EXPECT_EQ(RecNo(), 2);
  Set_Filter_To("");
  EXPECT_TRUE(errors_.empty());
}

}  // namespace
}  // namespace sv
