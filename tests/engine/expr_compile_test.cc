// Compiling expressions: the language accepted, the reports of rejected
// texts, CheckExpr and the result length and decimals of keys.
#include <gtest/gtest.h>

#include "engine/engine_state.h"
#include "engine/expression.h"
#include "expr_fixture.h"

namespace sv {
namespace {

using svtest::ExprTest;
using svtest::Row;

const std::string kWide = "'" + std::string(60, 'x') + "'";  // 62 characters

std::string Report(const std::string& what, const std::string& window) {
  return "Error in expression : " + what + "\r\n" + window + "\r\n [AssignExpr]";
}

class CompileTest : public ExprTest {
 protected:
  void SetUp() override {
    ExprTest::SetUp();
    OpenThreads({Row{{"MADEIRA", "RAYON", "Red", "1147", "200", "10", "20", "95"}}});
  }

  bool Compiles(const std::string& text) {
    CompiledExpr* e = AssignExpr(text);
    bool ok = e != nullptr;
    ReleaseExpr(e);
    return ok;
  }
};

TEST_F(CompileTest, AcceptsTheLanguageAndRejectsTheRest) {
  struct Case {
    const char* text;
    bool valid;
  } cases[] = {
      {"t_company = 'A' .and. t_type = 'B'", true},
      {"owned .and. owned", true},
      {"owned.and.owned", false},  // one unknown name
      {"a.and.b", false},
      {".t. .or. .f.", true},
      {".T.AND..F.", false},
      {"SUBS('ABC', 1, 2)", true},
      {"SUBSTR('ABC', 1)", false},
      {"SUB('ABC', 1, 2)", false},
      {"RECNO", false},
      {"RECNO()", true},
      {"recn ()", true},
      {"DATE()", true},
      {"DATE(1)", false},
      {"DELE()", true},
      {"UPPER()", false},
      {"UPPER (t_company)", true},
      {"STR(1)", true},
      {"STR(1, 2)", true},
      {"STR(1, 2, 3)", true},
      {"STR(1, 2, 3, 4)", false},
      {"STR()", false},
      {"t_company(1)", false},  // a field name before "(" is a function name
      {"THREADS->t_company", true},
      {"threads->t_company + 'x'", true},
      {"THREADS -> t_company", false},
      {"NOSUCH->t_company", false},
      {"THREADS->nosuch", false},
      {"(1", false},
      {"1)", false},
      {"()", false},
      {"1 +", false},
      {"1 2", false},
      {"", false},
      {"'abc", false},
      {"\"abc'", false},
      {"\"it's\"", true},
      {"1 ! 2", false},
      {"1 ** 2 # 3", true},
      {"1 >= 2 .or. 1 <= 2 .or. 'a' == 'b' .or. 'a' $ 'b'", true},
      {".NOT. m_onhand > 0", false},
      {".NOT. (m_onhand > 0)", true},
  };
  for (const Case& c : cases) {
    errors_.clear();
    EXPECT_EQ(Compiles(c.text), c.valid) << c.text;
    if (!c.valid) {
      ASSERT_EQ(errors_.errors().size(), 1u) << c.text;
      EXPECT_EQ(errors_.last().code, 351) << c.text;
    } else {
      EXPECT_TRUE(errors_.empty()) << c.text;
    }
  }
}

TEST_F(CompileTest, SyntaxErrorShowsTheTextAroundTheLastCharacterRead) {
  struct Case {
    std::string text;
    std::string window;
  } cases[] = {
      {"a.and.b", "[a.and.b]"},
      {"SUBSTR('ABC', 1)", "[SUBSTR('ABC', 1)]"},
      {"", "[]"},
      // Stops at the "+" after RECNO, index 71.
      {kWide + " + RECNO + 1", "[..." + std::string(40, 'x') + "' + RECNO +...]"},
      // At the end of the text.
      {kWide + " +", "[..." + std::string(48, 'x') + "' +]"},
      // Early stop in a long text.
      {"1 2 " + std::string(60, 'y'), "[1 2 " + std::string(47, 'y') + "...]"},
      // An unknown name is rejected without reading the "(" after it.
      {std::string(60, ' ') + "SUB(1)", "[..." + std::string(48, ' ') + "SUB...]"},
  };
  for (const Case& c : cases) {
    errors_.clear();
    EXPECT_FALSE(Compiles(c.text)) << c.text;
    EXPECT_EQ(errors_.last().detail, Report("Syntax error", c.window)) << c.text;
  }
}

TEST_F(CompileTest, TypeMismatchNamesTheOperatorOrTheFunction) {
  struct Case {
    const char* text;
    const char* what;
  } cases[] = {
      {"1 + 'A'", "expression \"+\""},
      {"'A' - 1", "expression \"-\""},
      {"'A' * 2", "expression \"*\""},
      {"'A' / 2", "expression \"/\""},
      {"'A' ^ 2", "expression \"** or ^\""},
      {"'A' ** 2", "expression \"** or ^\""},
      {"1 = 'A'", "expression \"=\""},
      {"1 $ 'A'", "expression \"$\""},
      {"1 == 1", "expression \"==\""},
      {".T. > .F.", "expression \">\""},
      {".T. < .F.", "expression \"<\""},
      {"1 # 'A'", "expression \"<>\""},
      {"1 <> 'A'", "expression \"<>\""},
      {".T. <= .F.", "expression \"<=\""},
      {".T. >= .F.", "expression \">=\""},
      {"1 .OR. .T.", "expression \".OR.\""},
      {".T. .AND. 1", "expression \".AND.\""},
      {".NOT. 1", "expression \".NOT.\""},
      {".NOT. m_onhand > 0", "expression \".NOT.\""},
      {"+'A'", "expression \"Unary +\""},
      {"-'A'", "expression \"Unary -\""},
      {"notes + 'a'", "expression \"+\""},
      {"bought + bought", "expression \"+\""},
      {"1 - bought", "expression \"-\""},
      {"UPPER(5)", "function \"UPPER\""},
      {"SUBS(1, 2, 3)", "function \"SUBSTR\""},
      {"CMON('x')", "function \"CMONTH\""},
      {"REPL(1, 2)", "function \"REPLICATE\""},
      {"STR('A', 2)", "function \"STR\""},
      {"TRIM(1)", "function \"TRIM\""},
      {"RTRI(1)", "function \"RTRIM\""},
      {"MAX(1, CTOD('x'))", "function \"MAX\""},
      {"MIN('a', 'b')", "function \"MIN\""},
      {"IIF('a', 'b', 'c')", "function \"IIF\""},
      {"IIF(.T., 1, 2)", "function \"IIF\""},
      {"DTOC(1)", "function \"DTOC\""},
      {"STUFF('a', 1, 1, 2)", "function \"STUFF\""},
      // Only the first mismatch is reported.
      {"1 + 'A' + UPPER(5)", "expression \"+\""},
  };
  for (const Case& c : cases) {
    errors_.clear();
    EXPECT_FALSE(Compiles(c.text)) << c.text;
    ASSERT_EQ(errors_.errors().size(), 1u) << c.text;
    EXPECT_EQ(errors_.last().code, 351);
    std::string detail = errors_.last().detail;
    EXPECT_EQ(detail.substr(0, detail.find('\r')),
              std::string("Error in expression : PARSER:Type mismatch in ") + c.what)
        << c.text;
  }
}

TEST_F(CompileTest, MismatchIsFoundWhenTheConstructIsReduced) {
  // A call is checked at its ")"; an operator once the token after its right
  // operand has been read.
  EXPECT_FALSE(Compiles(kWide + " + UPPER(5) + 'Z'"));
  EXPECT_EQ(errors_.last().detail,
            Report("PARSER:Type mismatch in function \"UPPER\"",
                   "[..." + std::string(39, 'x') + "' + UPPER(5)...]"));
  errors_.clear();
  EXPECT_FALSE(Compiles(kWide + " + 1 - 2"));
  EXPECT_EQ(errors_.last().detail, Report("PARSER:Type mismatch in expression \"+\"",
                                          "[..." + std::string(44, 'x') + "' + 1 -...]"));
  // A token that cannot follow stops the parse before the mismatch is seen.
  errors_.clear();
  EXPECT_FALSE(Compiles("1 + 'A' 5"));
  EXPECT_EQ(errors_.last().detail, Report("Syntax error", "[1 + 'A' 5]"));
}

TEST_F(CompileTest, ParserStackHoldsOneHundredFiftyEntries) {
  EXPECT_TRUE(Compiles(std::string(148, '-') + "1"));
  std::string deep = std::string(149, '-') + "1";
  EXPECT_FALSE(Compiles(deep));
  EXPECT_EQ(errors_.last().detail,
            Report("Parser_stack_overflow", "[..." + std::string(50, '-') + "1]"));
}

TEST_F(CompileTest, OverlongTextsAndTokensAreRejectedNotCut) {
  // Cut to 256 characters this would read as the number 1.
  std::string text = std::string(255, ' ') + "12";
  EXPECT_FALSE(Compiles(text));
  EXPECT_EQ(errors_.last().detail, Report("Syntax error", "[..." + std::string(50, ' ') + "1...]"));
  // Blanks beyond the scanned part do no harm.
  EXPECT_EQ(svtest::EvalNumber("1" + std::string(300, ' ')), 1);
  // A literal filling the whole scanned part.
  EXPECT_EQ(svtest::Eval("'" + std::string(254, 'q') + "'"), std::string(254, 'q'));

  EXPECT_EQ(svtest::EvalNumber("1" + std::string(79, '0')), 1e79);
  errors_.clear();
  EXPECT_FALSE(Compiles("1" + std::string(80, '0')));
  EXPECT_EQ(errors_.last().code, 351);
  errors_.clear();
  EXPECT_FALSE(Compiles(std::string(81, 'N') + " = 1"));
  EXPECT_EQ(errors_.last().code, 351);
}

TEST_F(CompileTest, AssignExprClearsAPendingExpressionError) {
  SetLastErrorCode(358);
  CompiledExpr* e = AssignExpr("1");
  EXPECT_EQ(LastErrorCode(), 0);
  ReleaseExpr(e);
  EXPECT_EQ(e, nullptr);
  SetLastErrorCode(212);
  e = AssignExpr("1");
  EXPECT_EQ(LastErrorCode(), 212);
  ReleaseExpr(e);
}

TEST_F(CompileTest, CheckExprCodes) {
  struct Case {
    std::string text;
    bool is_key;
    int code;
  } cases[] = {
      {"t_company + t_color", true, 0},
      {"t_company = 'X' .and. t_type = 'Y'", false, 0},
      {"   ", false, 359},
      {"", true, 359},
      {"'" + std::string(219, 'k') + "'", true, 360},
      {"'" + std::string(218, 'k') + "'   ", true, 0},
      {"'" + std::string(219, 'k') + "' = 'k'", false, 0},
      {"owned", true, 361},
      {"notes", true, 361},
      {"t_red > 1", true, 361},
      {"t_company", false, 362},
      {"str(t_red)", false, 362},
      {"t_company +", false, 351},
      {"UPPER(1)", true, 351},
  };
  int memo = SetMemoPoolSize(300);
  for (const Case& c : cases) {
    errors_.clear();
    SetErrorChecking(true);
    EXPECT_EQ(CheckExpr(c.text, c.is_key), c.code) << c.text;
    EXPECT_EQ(LastErrorCode(), 0);
    EXPECT_TRUE(ErrorChecking());
    EXPECT_TRUE(errors_.reports().empty()) << c.text;  // checking was off
    EXPECT_EQ(SetMemoPoolSize(300), 300);
  }
  SetMemoPoolSize(memo);
}

TEST_F(CompileTest, ResultLengthAndDecimals) {
  struct Case {
    const char* text;
    char type;
    int length;
    int decimals;
  } cases[] = {
      {"t_company", 'C', 12, 0},
      {"UPPER(TRIM(t_company))", 'C', 12, 0},
      {"t_company + t_color", 'C', 0, 0},
      {"'abc'", 'C', 0, 0},
      {"str(t_red)", 'C', 0, 0},
      {"r_match", 'N', 3, 0},
      {"9999-r_match", 'N', 13, 2},
      {"t_red + t_green", 'N', 13, 2},
      {"price", 'N', 8, 2},
      {"1", 'N', 13, 2},
      {"bought", 'D', 8, 0},
      {"bought + 1", 'D', 8, 0},
      {"owned", 'L', 1, 0},
      {"t_red > 0", 'L', 1, 0},
      {"notes", 'M', 256, 0},
  };
  for (const Case& c : cases) {
    CompiledExpr* e = AssignExpr(c.text);
    ASSERT_NE(e, nullptr) << c.text;
    EXPECT_EQ(ExprType(e), c.type) << c.text;
    EXPECT_EQ(ExprLength(e), c.length) << c.text;
    EXPECT_EQ(ExprDecimals(e), c.decimals) << c.text;
    EXPECT_EQ(ExprSource(e), c.text);
    ReleaseExpr(e);
  }
}

}  // namespace
}  // namespace sv
