#include "engine/data_source.h"

#include <gtest/gtest.h>

#include "engine/error.h"
#include "engine/table_component.h"
#include "engine/work_area.h"
#include "testlib/error_capture.h"
#include "testlib/recording_view.h"
#include "testlib/temp_dir.h"

namespace sv {
namespace {

using svtest::RecordingView;

// A stash of nine threads, C1..C9, each with its number on hand, seen by a
// five-row view.
class RecordWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseAllAreas();
    Select(1);
    table_ = std::make_unique<TTzDbf>("ownspool");
    table_->DbfFields = {"m_company, C, 12, 0", "m_onhand, N, 4, 0", "m_inbox, L, 1, 0"};
    table_->HideDeletedRecs = true;
    table_->SetExclusive(true);
    table_->SetDbfFileName(dir_.File("ownspool.svx"));
    table_->SetActive(true);
    for (int i = 1; i <= 9; ++i) {
      table_->ClearRecord();
      table_->SetCField("m_company", "C" + std::to_string(i));
      table_->SetLongField("m_onhand", i);
      table_->Append();
    }
    table_->GoTop();
    view_.SetDataSource(table_.get());
    view_.events.clear();
  }
  void TearDown() override {
    view_.SetDataSource(nullptr);
    table_.reset();
    CloseAllAreas();
  }

  TTzDataSet& window() { return table_->DataSet(); }
  int OnHand() { return table_->GetLongField("m_onhand"); }
  // Records in the file, hidden or not, read straight from the table.
  std::vector<int> StoredOnHand() {
    std::vector<int> out;
    for (int32_t n = 1; n <= table_->RecCount(); ++n) {
      table_->Go(n);
      out.push_back(OnHand());
    }
    return out;
  }

  svtest::TempDir dir_;
  std::unique_ptr<TTzDbf> table_;
  RecordingView view_{5};
};

TEST_F(RecordWindowTest, TheWindowHoldsTheRecordsAroundTheCurrentOne) {
  EXPECT_EQ(window().State(), DataSetState::kBrowse);
  EXPECT_EQ(view_.Column("m_company"), (std::vector<std::string>{"C1", "C2", "C3", "C4", "C5"}));
  table_->Go(7);
  EXPECT_EQ(window().RowBookmark(window().ActiveRow()), 7);
  EXPECT_EQ(table_->RecNo(), 7) << "the resync puts the cursor back";
  std::vector<std::string> shown = view_.Column("m_company");
  EXPECT_NE(std::find(shown.begin(), shown.end(), "C7"), shown.end());
  EXPECT_EQ(window().FieldByName("M_ONHAND").DisplayText(), "7");
  EXPECT_THROW(window().FieldByName("nope"), ETableError);
}

TEST_F(RecordWindowTest, NavigatingTheWindowMovesTheTable) {
  window().Last();
  EXPECT_EQ(table_->RecNo(), 9);
  EXPECT_TRUE(window().Eof());
  window().Prior();
  EXPECT_EQ(table_->RecNo(), 8);
  window().First();
  EXPECT_EQ(table_->RecNo(), 1);
  EXPECT_TRUE(window().Bof());
  EXPECT_FALSE(window().MoveBy(-1)) << "the start was hit";
  EXPECT_TRUE(window().MoveBy(6));
  EXPECT_EQ(table_->RecNo(), 7);
  EXPECT_EQ(window().FieldByName("m_company").DisplayText(), "C7");
}

TEST_F(RecordWindowTest, DeleteRecMovesAViewedTableToTheNextVisibleRecord) {
  table_->Go(5);
  table_->DeleteRec();
  EXPECT_EQ(table_->RecNo(), 6);
  table_->Go(9);
  table_->DeleteRec();
  EXPECT_EQ(table_->RecNo(), 8) << "the new last visible record";

  table_->DisableControls();
  table_->Go(3);
  table_->DeleteRec();
  EXPECT_EQ(table_->RecNo(), 3) << "with the views disabled it stays until the next move";
  table_->EnableControls();
  EXPECT_EQ(table_->RecNo(), 4);
}

TEST_F(RecordWindowTest, ZapLeavesAnInsertRowAndWritesNothing) {
  table_->FLock();
  table_->Zap();
  table_->UnLock();
  EXPECT_EQ(window().State(), DataSetState::kInsert);
  EXPECT_EQ(window().FilledRows(), 1);
  EXPECT_EQ(table_->GetField("m_company"), std::string(12, ' '));
  EXPECT_EQ(table_->RecCount(), 0);
  window().Post();
  EXPECT_EQ(table_->RecCount(), 0) << "an unmodified insert row is not written";

  window().Edit();
  window().FieldByName("m_company").SetText("NEW");
  window().Post();
  EXPECT_EQ(table_->RecCount(), 1);
  EXPECT_EQ(window().State(), DataSetState::kBrowse);
  EXPECT_EQ(table_->GetField("m_company"), "NEW         ");
}

TEST_F(RecordWindowTest, SetterThenReplaceWritesOnceAndLeavesEditState) {
  table_->Go(2);
  table_->SetLongField("m_onhand", 42);
  EXPECT_EQ(window().State(), DataSetState::kEdit);
  EXPECT_TRUE(window().Modified());
  table_->Replace();
  EXPECT_EQ(window().State(), DataSetState::kBrowse);
  EXPECT_EQ(StoredOnHand()[1], 42);

  table_->Go(3);
  table_->SetLongField("m_onhand", 99);
  table_->GoTop();
  EXPECT_EQ(window().State(), DataSetState::kBrowse);
  EXPECT_EQ(StoredOnHand()[2], 3) << "GoTop discards the change";
}

TEST_F(RecordWindowTest, DisabledControlsCollapseIntoOneRefresh) {
  table_->DisableControls();
  table_->DisableControls();
  for (int i = 0; i < 20; ++i) {
    table_->ClearRecord();
    table_->Append();
    table_->Skip(-1);
  }
  table_->EnableControls();
  EXPECT_TRUE(view_.events.empty()) << "still disabled once";
  table_->EnableControls();
  EXPECT_EQ(std::count(view_.events.begin(), view_.events.end(), "changed"), 2)
      << "the pending event, then the resync";
  view_.events.clear();
  table_->EnableControls();
  table_->EnableControls();
  EXPECT_TRUE(view_.events.empty()) << "unbalanced calls do nothing";
  table_->GoTop();
  EXPECT_FALSE(view_.events.empty());
}

TEST_F(RecordWindowTest, TypedTextReachesTheFileThroughPost) {
  window().MoveBy(3);
  ASSERT_EQ(table_->RecNo(), 4);
  window().Edit();
  EXPECT_EQ(window().State(), DataSetState::kEdit);
  TTzField& inbox = window().FieldByName("m_inbox");
  inbox.SetText("yes");
  EXPECT_TRUE(table_->GetLField("m_inbox")) << "written through to the table's values";
  window().FieldByName("m_onhand").SetText(" 1,234 ");
  window().Post();
  EXPECT_EQ(StoredOnHand()[3], 1234);
  table_->Go(4);
  EXPECT_TRUE(table_->GetLField("m_inbox"));
  window().Edit();
  inbox.SetText("T");
  EXPECT_FALSE(table_->GetLField("m_inbox")) << "only true, yes and .t. read as true";
  inbox.SetText("It is .T.");
  EXPECT_TRUE(table_->GetLField("m_inbox"));
  window().Cancel();
  table_->Go(4);
  EXPECT_TRUE(table_->GetLField("m_inbox"));
  EXPECT_EQ(inbox.DisplayText(), "true");
}

TEST_F(RecordWindowTest, DeleteAndRestoreThroughTheWindow) {
  window().MoveBy(1);
  window().Delete();
  EXPECT_EQ(table_->RecNo(), 3) << "moved past the now hidden record";
  table_->Go(2);
  EXPECT_EQ(table_->RecNo(), 3) << "a hidden record is never the window's";
  table_->HideDeletedRecs = false;
  table_->Go(2);
  EXPECT_TRUE(table_->Deleted());
  window().Restore();
  EXPECT_FALSE(table_->Deleted());
}

TEST_F(RecordWindowTest, MisuseRaisesTheEngineException) {
  EXPECT_THROW(window().Post(), ETableError);
  try {
    window().Post();
  } catch (const ETableError& e) {
    EXPECT_STREQ(e.what(), "Dataset not in edit or insert mode");
  }
  window().SetCanModify(false);
  EXPECT_THROW(window().Edit(), ETableError);
  window().SetCanModify(true);
  table_->SetActive(false);
  EXPECT_FALSE(window().Active());
  try {
    window().Delete();
    ADD_FAILURE();
  } catch (const ETableError& e) {
    EXPECT_STREQ(e.what(), "Cannot perform this operation on a closed dataset");
  }
}

TEST_F(RecordWindowTest, LinksFollowTheWindowState) {
  RecordingView late(3);
  late.SetDataSource(table_.get());
  EXPECT_TRUE(late.Active());
  EXPECT_FALSE(late.Editing());
  table_->Go(1);
  window().Edit();
  EXPECT_TRUE(late.Editing());
  late.SetReadOnly(true);
  EXPECT_FALSE(late.Editing());
  window().Cancel();
  table_->SetActive(false);
  EXPECT_FALSE(late.Active());
  EXPECT_NE(std::find(view_.events.begin(), view_.events.end(), "active"), view_.events.end());
}

}  // namespace
}  // namespace sv
