#include "engine/search.h"

#include <gtest/gtest.h>

#include "engine/engine_state.h"
#include "engine/work_area.h"
#include "testlib/temp_dir.h"

namespace sv {
namespace {

class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseAllAreas();
    Select(1);
    Switches().hide_deleted = true;
    Switches().oem_language = true;
    std::string name = dir_.File("s.dbf");
    ASSERT_TRUE(CreateDBF(name, {{"a", 'C', 6, 0}, {"b", 'C', 6, 0}, {"n", 'N', 3, 0}}));
    ASSERT_TRUE(Use(name));
    const char* rows[][2] = {{"RED", "BLUE"}, {"GREEN", "ABCDEF"}, {"m\xE4rz", "GHI"},
                             {"TEAL", "ROSE"}, {"OLIVE", "ROSE"}};
    for (auto& r : rows) {
      ClearRecord();
      fv::SetText(*CurrentArea(), 1, r[0]);
      fv::SetText(*CurrentArea(), 2, r[1]);
      Append();
    }
    Go(4);
    DeleteRec();
  }
  void TearDown() override {
    CloseAllAreas();
    Switches().hide_deleted = false;
  }
  svtest::TempDir dir_;
};

TEST_F(SearchTest, FindsTextInsideOneFieldIgnoringCase) {
  Go(1);
  EXPECT_EQ(Search("cde", 99, true), 2);
  EXPECT_EQ(RecNo(), 2);
  EXPECT_EQ(Search("M\xC4RZ", 99, true), 1) << "accented letters fold too";
  EXPECT_EQ(RecNo(), 3);
  EXPECT_EQ(Search("blue", 1, true), 0) << "only the requested field";
  EXPECT_EQ(RecNo(), 3) << "a miss returns to where the search began";
}

TEST_F(SearchTest, MatchesAcrossTwoFieldsDoNotCount) {
  Go(2);
  // GREEN + blank, then ABCDEF: "N ABC" spans the boundary.
  EXPECT_EQ(Search("N ABC", 99, true), 0);
  EXPECT_EQ(RecNo(), 2);
}

TEST_F(SearchTest, HiddenRecordsAreSkippedAndTheSearchGoesOn) {
  Go(1);
  EXPECT_EQ(Search("rose", 99, true), 2);
  EXPECT_EQ(RecNo(), 5) << "record 4 is deleted and hidden";
  EXPECT_EQ(Search("rose", 99, false), 0) << "nothing after the current record";
  EXPECT_EQ(RecNo(), 5);
  EXPECT_EQ(Search("   ", 99, true), 0);
}

}  // namespace
}  // namespace sv
