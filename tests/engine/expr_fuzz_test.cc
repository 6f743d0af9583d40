// Many random and mutated expressions, compiled and evaluated: none may
// crash, fail without a report, report an error it should not, or give a
// character value beyond its bounds. The sanitizer build runs this too.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "engine/expression.h"
#include "expr_fixture.h"

namespace sv {
namespace {

using svtest::ExprTest;
using svtest::Row;

class Generator {
 public:
  explicit Generator(uint32_t seed) : rng_(seed) {}

  int Pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }

  template <size_t N>
  std::string OneOf(const char* const (&items)[N]) {
    return items[Pick(static_cast<int>(N))];
  }

  // A well-typed expression, mostly, of the given type letter.
  std::string Typed(char type, int depth) {
    bool leaf = depth <= 0 || Pick(4) == 0;
    switch (type) {
      case 'C':
        return leaf ? OneOf(kCLeaves) : CompoundC(depth - 1);
      case 'N':
        return leaf ? OneOf(kNLeaves) : CompoundN(depth - 1);
      case 'L':
        return leaf ? OneOf(kLLeaves) : CompoundL(depth - 1);
      default:
        return leaf ? OneOf(kDLeaves) : CompoundD(depth - 1);
    }
  }

  std::string AnyTyped() { return Typed("CNLD"[Pick(4)], 1 + Pick(4)); }

  std::string Soup() {
    std::string s;
    int n = 1 + Pick(25);
    for (int i = 0; i < n; ++i) {
      s += OneOf(kPieces);
      if (Pick(3) != 0) s += ' ';
    }
    return s;
  }

  std::string Mutate(std::string s) {
    int edits = 1 + Pick(3);
    for (int i = 0; i < edits; ++i) {
      size_t at = s.empty() ? 0 : static_cast<size_t>(Pick(static_cast<int>(s.size()) + 1));
      switch (Pick(4)) {
        case 0:
          if (at < s.size()) s.erase(at, 1);
          break;
        case 1:
          s.insert(at, OneOf(kPieces));
          break;
        case 2:
          if (at < s.size()) s[at] = static_cast<char>(1 + Pick(255));
          break;
        default:
          s.insert(at, s.substr(at / 2, static_cast<size_t>(Pick(20))));
          break;
      }
    }
    return s;
  }

 private:
  std::string CompoundC(int d) {
    auto C = [&] { return Typed('C', d); };
    auto N = [&] { return Typed('N', d); };
    switch (Pick(20)) {
      case 0:
        return C() + " + " + C();
      case 1:
        return C() + " - " + C();
      case 2:
        return "UPPER(" + C() + ")";
      case 3:
        return std::string(Pick(2) ? "LTRIM(" : "TRIM(") + C() + ")";
      case 4:
        return "LEFT(" + C() + ", " + N() + ")";
      case 5:
        return "RIGHT(" + C() + ", " + N() + ")";
      case 6:
        return "SUBSTR(" + C() + ", " + N() + ", " + N() + ")";
      case 7:
        return "STUFF(" + C() + ", " + N() + ", " + N() + ", " + C() + ")";
      case 8:
        return "REPLICATE(" + C() + ", " + N() + ")";
      case 9:
        return "SPACE(" + N() + ")";
      case 10:
        return "STR(" + N() + ")";
      case 11:
        return "STR(" + N() + ", " + N() + ", " + N() + ")";
      case 12:
        return "IIF(" + Typed('L', d) + ", " + C() + ", " + C() + ")";
      case 13:
        return "CHR(" + N() + ")";
      case 14:
        return "DTOC(" + Typed('D', d) + ")";
      case 15:
        return "CDOW(" + Typed('D', d) + ") + CMONTH(" + Typed('D', d) + ")";
      case 16:
        return "SOUNDEX(" + C() + ")";
      case 17:
        return "LOWER(" + C() + ") + DTOS(" + Typed('D', d) + ")";
      case 18:
        return "RTRIM(" + C() + ")";
      default:
        return "(" + C() + ")";
    }
  }

  std::string CompoundN(int d) {
    auto N = [&] { return Typed('N', d); };
    auto C = [&] { return Typed('C', d); };
    static const char* const kOps[] = {" + ", " - ", " * ", " / ", " ^ ", "**"};
    switch (Pick(12)) {
      case 0:
      case 1:
        return N() + OneOf(kOps) + N();
      case 2:
        return "-" + N();
      case 3:
        return std::string(Pick(2) ? "ABS(" : "INT(") + N() + ")";
      case 4:
        return std::string(Pick(2) ? "MOD(" : "ROUND(") + N() + ", " + N() + ")";
      case 5:
        return std::string(Pick(2) ? "MAX(" : "MIN(") + N() + ", " + N() + ")";
      case 6:
        return "VAL(" + C() + ") + LEN(" + C() + ")";
      case 7:
        return "ASC(" + C() + ") - AT(" + C() + ", " + C() + ")";
      case 8:
        return std::string(Pick(2) ? "YEAR(" : "DOW(") + Typed('D', d) + ")";
      case 9:
        return Typed('D', d) + " - " + Typed('D', d);
      case 10:
        return "DAY(" + Typed('D', d) + ") + MONTH(" + Typed('D', d) + ")";
      default:
        return "(" + N() + ")";
    }
  }

  std::string CompoundL(int d) {
    static const char* const kCompare[] = {" = ", " == ", " $ ", " < ", " > ", " <= ",
                                           " >= ", " <> ", " # "};
    static const char* const kOrder[] = {" = ", " < ", " > ", " <= ", " >= ", " <> "};
    switch (Pick(6)) {
      case 0:
        return Typed('C', d) + OneOf(kCompare) + Typed('C', d);
      case 1:
        return Typed('N', d) + OneOf(kOrder) + Typed('N', d);
      case 2:
        return Typed('D', d) + OneOf(kOrder) + Typed('D', d);
      case 3:
        return Typed('L', d) + (Pick(2) ? " .AND. " : " .OR. ") + Typed('L', d);
      case 4:
        return ".NOT. (" + Typed('L', d) + ")";
      default:
        return Typed('L', d) + (Pick(2) ? " = " : " # ") + Typed('L', d);
    }
  }

  std::string CompoundD(int d) {
    switch (Pick(4)) {
      case 0:
        return Typed('D', d) + " + " + Typed('N', d);
      case 1:
        return Typed('N', d) + " + " + Typed('D', d);
      case 2:
        return Typed('D', d) + " - " + Typed('N', d);
      default:
        return "CTOD(" + Typed('C', d) + ")";
    }
  }

  static constexpr const char* kCLeaves[] = {
      "t_company", "t_name", "t_color", "r_color", "'AB'", "\"x y\"", "''",
      "t_long", "THREADS->t_type", "'   '"};
  static constexpr const char* kNLeaves[] = {
      "t_red", "price", "r_match", "m_onhand", "0", "1", "2.5", "1E3", "300", "99999999",
      "RECNO()", "-3"};
  static constexpr const char* kLLeaves[] = {"owned", ".T.", ".F.", "DELETED()"};
  static constexpr const char* kDLeaves[] = {"bought", "DATE()", "CTOD('01/02/24')",
                                             "CTOD('')"};
  static constexpr const char* kPieces[] = {
      "t_company", "t_red", "owned", "bought", "notes", "THREADS->", "->", "'AB'", "\"", "'",
      "1", "2.5E", "1E-5", ".", ".T.", ".F.", ".AND.", ".OR.", ".NOT.", "+", "-", "*", "/",
      "^", "**", "=", "==", "<>", "#", "<", ">", "<=", ">=", "$", "(", ")", ",", "STR(",
      "SUBS(", "IIF(", "UPPER(", "DATE()", "RECNO(", "!", "@", ";", "\t", "\xE9", "a.and.b"};

  std::mt19937 rng_;
};

class FuzzTest : public ExprTest {
 protected:
  void SetUp() override {
    ExprTest::SetUp();
    OpenThreads({
        Row{{"MADEIRA", "RAYON", "Red", "1147", "200", "10", "20", "95", "R1", "3", "12.50",
             "20240102", "T", "", std::string(254, 'L')}},
        Row{{"AB", "POLY", "", "12", "0", "0", "255", "100", "", "0", "", "", "F"}, true},
    });
  }

  void Check(const std::string& text) {
    errors_.clear();
    CompiledExpr* e = AssignExpr(text);
    if (!e) {
      ASSERT_FALSE(errors_.empty()) << "unreported failure: " << text;
      int code = errors_.last().code;
      ASSERT_TRUE(code == 351 || code == 217) << code << " " << text;
      ++rejected_;
      return;
    }
    ASSERT_TRUE(errors_.empty()) << text;
    for (int record = 1; record <= 2; ++record) {
      Go(record);
      const void* r = EvaluateExpr(e);
      ASSERT_NE(r, nullptr);
      if (ExprType(e) == 'C' || ExprType(e) == 'M') {
        size_t n = ExprResultLength(e);
        ASSERT_LE(n, 255u) << text;
        ASSERT_EQ(static_cast<const char*>(r)[n], '\0') << text;
        if (ExprLength(e) > 0) {
          ASSERT_LE(n, static_cast<size_t>(ExprLength(e))) << text;
        }
      }
      std::string shown = SEvaluate(e);
      ASSERT_FALSE(ExprType(e) == 'L' && shown != ".T." && shown != ".F.") << text;
    }
    for (const svtest::Report& report : errors_.errors()) {
      ASSERT_EQ(report.code, 358) << report.detail << " " << text;
    }
    ++evaluated_;
    ReleaseExpr(e);
    int check = CheckExpr(text, rejected_ % 2 == 0);
    ASSERT_TRUE(check == 0 || (check >= 359 && check <= 362)) << check << " " << text;
  }

  int rejected_ = 0;
  int evaluated_ = 0;
};

TEST_F(FuzzTest, RandomAndMutatedExpressions) {
  Generator gen(20261211);
  for (int i = 0; i < 1500; ++i) {
    std::string typed = gen.AnyTyped();
    ASSERT_NO_FATAL_FAILURE(Check(typed));
    ASSERT_NO_FATAL_FAILURE(Check(gen.Mutate(typed)));
    ASSERT_NO_FATAL_FAILURE(Check(gen.Soup()));
  }
  // Both roads were taken often.
  EXPECT_GT(evaluated_, 1000);
  EXPECT_GT(rejected_, 1000);
}

}  // namespace
}  // namespace sv
