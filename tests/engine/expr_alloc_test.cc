// Evaluation allocates nothing: every buffer is sized when the expression
// is compiled. Counts calls of the global operator new around evaluations.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "engine/expression.h"
#include "expr_fixture.h"

#include "testlib/counting_new.h"

using svtest::g_allocations;

namespace sv {
namespace {

using svtest::ExprTest;
using svtest::Row;

TEST_F(ExprTest, EvaluationDoesNotAllocate) {
  OpenThreads({
      Row{{"OSTRA", "POLY", "Deep Sea Blue Green", "1147", "200", "10", "20", "95", "R1", "3",
           "12.50", "20240102", "T"}},
      Row{{"MADEIRA", "RAYON", "Red", "12", "0", "0", "255", "100", "", "0", "", "", "F"}, true},
  });
  const char* texts[] = {
      "t_company",
      "t_company + t_color",
      "str(t_red)",
      "t_company + t_type + t_color",
      "t_company = 'OSTRA'",
      "t_company + t_color + str(r_match,3) + r_color",
      "UPPER(TRIM(t_name)) + DTOC(bought) + CDOW(bought) + CMONTH(bought) + DTOS(bought)",
      "SUBSTR(t_name, 2, 3) $ t_company .or. t_red > 5 .and. .not. DELETED()",
      "IIF(owned, t_color, STR(price, 8, 2)) - SOUNDEX(t_name) + STUFF(t_type, 2, 1, 'xy')",
      "bought + 30 > DATE() .and. YEAR(bought) + MOD(RECNO(), 7) > 0",
      "REPLICATE(LEFT(t_name, 3), 9) + SPACE(3) + RIGHT(LTRIM(t_company), 2) + CHR(65)",
      "VAL(t_color) + LEN(t_name) + AT('A', t_company) + ASC(t_type) + ROUND(price / 3, 1)",
      "THREADS->t_company + THREADS->t_color",
  };
  for (const char* text : texts) {
    long compiling = g_allocations;
    CompiledExpr* e = AssignExpr(text);
    ASSERT_NE(e, nullptr) << text;
    ASSERT_GT(g_allocations, compiling);  // the count does see allocations
    long during = 0;
    for (int record = 1; record <= 2; ++record) {
      Go(record);
      long before = g_allocations;
      for (int i = 0; i < 50; ++i) EvaluateExpr(e);
      during += g_allocations - before;
    }
    EXPECT_EQ(during, 0) << text;
    ReleaseExpr(e);
  }
  EXPECT_TRUE(errors_.empty());
}

}  // namespace
}  // namespace sv
