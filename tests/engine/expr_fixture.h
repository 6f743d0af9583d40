// Small tables for the expression tests: created in a temporary folder with
// the stored bytes of each field given as text, then opened into a work area.
#ifndef SV_TESTS_ENGINE_EXPR_FIXTURE_H_
#define SV_TESTS_ENGINE_EXPR_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/dates.h"
#include "engine/dbf_table.h"
#include "engine/error.h"
#include "engine/expression.h"
#include "engine/work_area.h"
#include "testlib/error_capture.h"
#include "testlib/temp_dir.h"

namespace svtest {

struct Row {
  std::vector<std::string> values;  // stored text of each field, in field order
  bool deleted = false;
};

// Writes the table with the rows as stored bytes: C left-aligned, N right-
// aligned, D as YYYYMMDD, L as one letter.
inline std::string WriteTable(const std::string& path, const std::vector<sv::DbfFieldSpec>& fields,
                              const std::vector<Row>& rows) {
  EXPECT_TRUE(sv::CreateDBF(path, fields));
  sv::DbfTable t;
  EXPECT_TRUE(sv::OpenDbf(t, path, false));
  for (const Row& row : rows) {
    std::memset(t.record.data(), ' ', t.record.size());
    t.record[0] = row.deleted ? '*' : ' ';
    for (size_t i = 0; i < row.values.size() && i < t.fields.size(); ++i) {
      const sv::DbfFieldDef& f = t.fields[i];
      std::string v = row.values[i].substr(0, f.length);
      size_t at = f.type == 'N' || f.type == 'F' ? f.length - v.size() : 0;
      std::memcpy(t.record.data() + f.offset + at, v.data(), v.size());
    }
    EXPECT_TRUE(sv::PutDbfRecord(t, t.record_count + 1));
  }
  EXPECT_TRUE(sv::CloseDbf(t));
  return path;
}

// The layout of the master thread table, with a few extra fields of the
// other types.
inline const std::vector<sv::DbfFieldSpec>& ThreadFields() {
  static const std::vector<sv::DbfFieldSpec> kFields = {
      {"t_company", 'C', 12, 0}, {"t_type", 'C', 12, 0}, {"t_name", 'C', 20, 0},
      {"t_color", 'C', 8, 0},    {"t_red", 'N', 3, 0},   {"t_green", 'N', 3, 0},
      {"t_blue", 'N', 3, 0},     {"r_match", 'N', 3, 0}, {"r_color", 'C', 8, 0},
      {"m_onhand", 'N', 5, 0},   {"price", 'N', 8, 2},   {"bought", 'D', 8, 0},
      {"owned", 'L', 1, 0},      {"notes", 'M', 10, 0},  {"t_long", 'C', 254, 0},
  };
  return kFields;
}

// Compiles in the current area and answers SEvaluate's text; a compile
// error fails the test.
inline std::string Eval(std::string_view text) {
  sv::CompiledExpr* e = sv::AssignExpr(text);
  EXPECT_NE(e, nullptr) << text;
  if (!e) return "<no expression>";
  std::string v = sv::SEvaluate(e);
  sv::ReleaseExpr(e);
  return v;
}

inline double EvalNumber(std::string_view text) {
  sv::CompiledExpr* e = sv::AssignExpr(text);
  EXPECT_NE(e, nullptr) << text;
  if (!e) return -12345;
  EXPECT_TRUE(sv::ExprType(e) == 'N' || sv::ExprType(e) == 'D') << text;
  double v = *static_cast<const double*>(sv::EvaluateExpr(e));
  sv::ReleaseExpr(e);
  return v;
}

inline bool EvalLogical(std::string_view text) {
  sv::CompiledExpr* e = sv::AssignExpr(text);
  EXPECT_NE(e, nullptr) << text;
  if (!e) return false;
  EXPECT_EQ(sv::ExprType(e), 'L') << text;
  bool v = *static_cast<const int32_t*>(sv::EvaluateExpr(e)) != 0;
  sv::ReleaseExpr(e);
  return v;
}

// Every area closed and area 1 current, before and after each test.
class ExprTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sv::CloseAllAreas();
    sv::Select(1);
    sv::SetDateForm(sv::DateForm{0, true});
    static const sv::Ymd kToday{2026, 6, 15};
    sv::SetTodayOverride(&kToday);
  }
  void TearDown() override {
    sv::CloseAllAreas();
    sv::Select(1);
    sv::SetDateForm(sv::DateForm{0, false});
    sv::SetTodayOverride(nullptr);
    sv::ClearLastError();
  }

  // Opens a thread table with these rows into the current area.
  void OpenThreads(const std::vector<Row>& rows, const std::string& name = "threads.dbf",
                   const std::string& alias = "") {
    std::string path = WriteTable(dir_.File(name), ThreadFields(), rows);
    ASSERT_TRUE(sv::Use(alias.empty() ? path : path + " ALIAS " + alias));
  }

  TempDir dir_;
  ErrorCapture errors_;
};

}  // namespace svtest

#endif  // SV_TESTS_ENGINE_EXPR_FIXTURE_H_
