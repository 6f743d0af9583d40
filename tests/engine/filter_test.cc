// Filters as the program uses them: a stash component, an order, a company
// condition, GoTop and Skip(1).
#include <gtest/gtest.h>

#include "engine/table_component.h"
#include "engine/work_area.h"
#include "testlib/error_capture.h"
#include "testlib/temp_dir.h"

namespace sv {
namespace {

class FilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseAllAreas();
    Select(1);
    stash_.DbfFields = {"m_company, C, 12, 0", "m_type, C, 12, 0", "m_color, C, 8, 0",
                        "m_onhand, N, 4, 0"};
    stash_.SetIndexList({"MCO,F,F,m_company + m_color", ""});
    stash_.CreateIndex = ciAlways;
    stash_.HideDeletedRecs = true;
    stash_.SetExclusive(true);
    stash_.SetDbfFileName(dir_.File("ownspool.svx"));
    stash_.SetActive(true);
    // Record numbers and on-hand counts run 1..7.
    const char* rows[][3] = {{"OSTRA", "POLY", "1003"},   {"MADEIRA", "RAYON", "1000"},
                             {"OSTRA", "POLY", "1001"},   {"MAD", "POLY", "2"},
                             {"SULKY", "RAYON", "1005"},  {"OSTRA", "RAYON", "1002"},
                             {"ZZZ", "POLY", "1"}};
    int n = 0;
    for (auto& r : rows) {
      stash_.ClearRecord();
      stash_.SetCField("m_company", r[0]);
      stash_.SetCField("m_type", r[1]);
      stash_.SetCField("m_color", r[2]);
      stash_.SetLongField("m_onhand", ++n);
      stash_.Append();
    }
  }
  void TearDown() override { CloseAllAreas(); }

  std::vector<int> Walk() {
    std::vector<int> seen;
    for (stash_.GoTop(); !stash_.dEOF(); stash_.Skip(1)) {
      seen.push_back(stash_.GetLongField("m_onhand"));
    }
    return seen;
  }

  svtest::TempDir dir_;
  TTzDbf stash_{"ownspool"};
};

TEST_F(FilterTest, TheProgramsPatternVisitsExactlyTheCompanyInKeyOrder) {
  stash_.SetOrderTo(1);
  stash_.SetFilterTo("m_company = \"OSTRA\"");
  EXPECT_EQ(Walk(), (std::vector<int>{3, 6, 1}));
  stash_.SetFilterTo("m_company = \"OSTRA\" .and. m_type = \"POLY\"");
  EXPECT_EQ(Walk(), (std::vector<int>{3, 1}));
  stash_.SetOrderTo(0);
  EXPECT_EQ(Walk(), (std::vector<int>{1, 3})) << "changing the order keeps the filter";
}

TEST_F(FilterTest, EqualsComparesPrefixes) {
  stash_.SetOrderTo(1);
  stash_.SetFilterTo("m_company = 'MAD'");
  EXPECT_EQ(Walk(), (std::vector<int>{4, 2})) << "MAD and MADEIRA";
}

TEST_F(FilterTest, ABlankConditionRemovesTheFilter) {
  stash_.SetOrderTo(0);
  stash_.SetFilterTo("m_company = 'SULKY'");
  EXPECT_EQ(Walk(), (std::vector<int>{5}));
  stash_.SetFilterTo("   ");
  stash_.GoTop();
  EXPECT_EQ(stash_.RecNo(), 1);
  EXPECT_EQ(Walk().size(), 7u);
}

TEST_F(FilterTest, TheCurrentRecordStaysUntilTheNextMove) {
  stash_.SetOrderTo(0);
  stash_.Go(5);
  stash_.SetFilterTo("m_company = 'OSTRA'");
  EXPECT_EQ(stash_.RecNo(), 5);
  EXPECT_EQ(stash_.GetField("m_company"), "SULKY       ");
  EXPECT_FALSE(stash_.dEOF());
  stash_.Skip(1);
  EXPECT_EQ(stash_.RecNo(), 6);
}

TEST_F(FilterTest, NoVisibleRecordGoesPastTheEndWithBlankBuffers) {
  stash_.SetFilterTo("m_company = 'NOBODY'");
  stash_.GoTop();
  EXPECT_TRUE(stash_.dEOF());
  EXPECT_EQ(stash_.GetField("m_company"), std::string(12, ' '));
  EXPECT_EQ(stash_.GetLongField("m_onhand"), 0);
}

TEST_F(FilterTest, DeletedRecordsStayHiddenThoughTheyMatch) {
  stash_.Go(3);
  stash_.DeleteRec();
  stash_.SetOrderTo(1);
  stash_.SetFilterTo("m_company = 'OSTRA'");
  EXPECT_EQ(Walk(), (std::vector<int>{6, 1}));
}

TEST_F(FilterTest, SkipPastTheLastVisibleRecordEndsThoughHiddenOnesFollow) {
  stash_.SetOrderTo(0);
  stash_.SetFilterTo("m_onhand < 3");
  stash_.GoTop();
  stash_.Skip(1);
  EXPECT_EQ(stash_.RecNo(), 2);
  stash_.Skip(1);
  EXPECT_TRUE(stash_.dEOF()) << "records 3..7 are hidden";
}

TEST_F(FilterTest, AliasFieldsReadTheOtherTablesCurrentRecord) {
  TTzDbf wanted("wanted");
  wanted.DbfFields = {"company, C, 12, 0"};
  wanted.SetDbfFileName(dir_.File("wanted.dbf"));
  wanted.SetActive(true);
  wanted.ClearRecord();
  wanted.SetCField("company", "SULKY");
  wanted.Append();
  stash_.SetFilterTo("m_company = wanted->company");
  EXPECT_EQ(Walk(), (std::vector<int>{5}));
  wanted.SetCField("company", "ZZZ");
  wanted.Replace();
  EXPECT_EQ(Walk(), (std::vector<int>{7}));
}

TEST_F(FilterTest, AConditionThatDoesNotCompileLeavesNoFilter) {
  stash_.SetFilterTo("m_company = 'OSTRA'");
  svtest::ErrorCapture errors;
  stash_.SetFilterTo("m_company = ");
  EXPECT_EQ(errors.last().code, 351);
  EXPECT_EQ(Walk().size(), 7u);
}

}  // namespace
}  // namespace sv
