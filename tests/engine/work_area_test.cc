#include "engine/work_area.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <random>

#include "engine/dates.h"
#include "engine/engine_state.h"
#include "engine/error.h"
#include "testlib/error_capture.h"
#include "testlib/engine_fixture.h"
#include "testlib/temp_dir.h"

namespace sv {
namespace {

using svtest::ErrorCapture;
using svtest::ReadBytes;
using svtest::TempDir;

const std::vector<DbfFieldSpec> kStash = {
    {"m_company", 'C', 12, 0}, {"m_color", 'C', 8, 0}, {"m_onhand", 'N', 4, 0}};

class WorkAreaTest : public svtest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    SetDateForm(DateForm{0, false});
  }

  // A stash table with records "C<n>" / n, the listed ones deleted.
  std::string MakeStash(const std::string& file, int records, std::vector<int> deleted = {}) {
    std::string name = dir_.File(file);
    EXPECT_TRUE(CreateDBF(name, kStash));
    const int previous = CurrentAreaNumber();
    Select(kWorkAreaCount);
    EXPECT_TRUE(Use(name));
    for (int i = 1; i <= records; ++i) {
      ClearRecord();
      WorkArea& a = *CurrentArea();
      fv::SetText(a, 1, "C" + std::to_string(i));
      fv::SetText(a, 2, std::to_string(i));
      fv::SetInt(a, 3, i);
      Append();
    }
    for (int n : deleted) {
      Go(n);
      DeleteRec();
    }
    EXPECT_TRUE(Use(""));
    Select(previous);
    return name;
  }

  static int OnHand() { return fv::Int(*CurrentArea(), 3); }
  static std::string Company() { return std::string(fv::Text(*CurrentArea(), 1)); }

  TempDir dir_;
};

TEST_F(WorkAreaTest, UseReadsOptionsAliasAndDefaultExtension) {
  std::string name = MakeStash("stash.svx", 2);
  ASSERT_TRUE(Use(dir_.File("stash.svx") + " exclusive alias ownspool"));
  WorkArea* a = CurrentArea();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->alias, "OWNSPOOL");
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(a->file_name, upper) << "the engine holds the name in upper case";
  EXPECT_EQ(a->path, name) << "names match without regard to case";
  EXPECT_EQ(RecNo(), 1);

  MakeStash("plain.dbf", 1);
  Select(2);
  ASSERT_TRUE(Use(dir_.File("plain")));
  EXPECT_EQ(CurrentArea()->alias, "PLAIN");
  EXPECT_EQ(CurrentArea()->number, 2);

  ErrorCapture errors;
  Select(3);
  Use(dir_.File("plain.dbf") + " ALIAS ownspool");
  EXPECT_EQ(errors.last().code, 32) << "the same file twice is a sharing violation";
  MakeStash("other.dbf", 1);
  errors.clear();
  Use(dir_.File("other.dbf") + " ALIAS ownspool");
  EXPECT_EQ(errors.last().code, 220);
  EXPECT_EQ(errors.last().detail, "Alias name \"OWNSPOOL\" already in use. [USE]");

  Select(1);
  ASSERT_TRUE(Use(""));
  EXPECT_EQ(CurrentArea(), nullptr);
}

TEST_F(WorkAreaTest, CommandsOnAnEmptyAreaReport215WithTheirName) {
  Select(7);
  struct Case {
    const char* name;
    std::function<void()> call;
  };
  const Case cases[] = {
      {"GoTop", [] { GoTop(); }},
      {"GoBottom", [] { GoBottom(); }},
      {"SKIP()", [] { Skip(1); }},
      {"GO()", [] { Go(1); }},
      {"dEOF", [] { EXPECT_TRUE(dEOF()); }},
      {"dBOF", [] { EXPECT_TRUE(dBOF()); }},
      {"RecCount", [] { RecCount(); }},
      {"RecNo", [] { RecNo(); }},
      {"Replace", [] { Replace(); }},
      {"Append", [] { Append(); }},
      {"DeleteRec", [] { DeleteRec(); }},
      {"RecallRec", [] { RecallRec(); }},
      {"ClearRecord", [] { ClearRecord(); }},
      {"FlushDbf", [] { FlushDbf(); }},
      {"Pack", [] { Pack(); }},
      {"Zap", [] { Zap(); }},
      {"FLock", [] { FLock(); }},
      {"ALock", [] { ALock(); }},
      {"RLock", [] { RLock(); }},
      {"Unlock", [] { Unlock(); }},
      {"Set_Filter_To", [] { Set_Filter_To("x"); }},
      {"Deleted", [] { Deleted(); }},
      {"FieldCount()", [] { FieldCount(); }},
      {"FieldNo()", [] { FieldNo("x"); }},
  };
  for (const Case& c : cases) {
    ErrorCapture errors;
    c.call();
    EXPECT_EQ(errors.last().code, 215) << c.name;
    EXPECT_EQ(errors.last().detail, std::string("No database in use [") + c.name +
                                        "]  WorkArea = 7")
        << c.name;
  }
}

TEST_F(WorkAreaTest, SelectPicksTheLowestFreeAreaAndRefusesOthers) {
  MakeStash("a.dbf", 1);
  Select(1);
  ASSERT_TRUE(Use(dir_.File("a.dbf")));
  ASSERT_TRUE(Select(0));
  EXPECT_EQ(CurrentAreaNumber(), 2);
  for (int n : {-1, 134, 135}) {
    ErrorCapture errors;
    EXPECT_FALSE(Select(n));
    EXPECT_EQ(errors.last().detail,
              "Invalid workarea selected = [Select(" + std::to_string(n) + ")]");
  }
}

TEST_F(WorkAreaTest, HiddenDeletedRecordsAreSteppedOverEverywhere) {
  // Records 1-3 at the top, 5 in the middle and 8-9 at the end are deleted.
  MakeStash("s.dbf", 9, {1, 2, 3, 5, 8, 9});
  ASSERT_TRUE(Use(dir_.File("s.dbf")));
  GoTop();
  EXPECT_EQ(RecNo(), 4);
  Skip(1);
  EXPECT_EQ(RecNo(), 6);
  Skip(1);
  EXPECT_EQ(RecNo(), 7);
  Skip(1);
  EXPECT_TRUE(dEOF()) << "hidden records after the last visible one";
  EXPECT_FALSE(dBOF());
  EXPECT_EQ(RecNo(), 10);
  EXPECT_EQ(Company(), std::string(12, ' '));
  EXPECT_EQ(OnHand(), 0);
  Skip(-1);
  EXPECT_EQ(RecNo(), 7);
  GoBottom();
  EXPECT_EQ(RecNo(), 7);
  Skip(-2);
  EXPECT_EQ(RecNo(), 4);
  Skip(-1);
  EXPECT_EQ(RecNo(), 4) << "stays on the first visible record";
  EXPECT_TRUE(dBOF());
  Go(5);
  EXPECT_EQ(RecNo(), 5) << "Go ignores visibility";
  EXPECT_TRUE(Deleted());
  EXPECT_EQ(RecCount(), 9);

  Switches().hide_deleted = false;
  GoTop();
  EXPECT_EQ(RecNo(), 1);
}

TEST_F(WorkAreaTest, AllRecordsDeletedGoesPastTheEnd) {
  MakeStash("s.dbf", 3, {1, 2, 3});
  ASSERT_TRUE(Use(dir_.File("s.dbf")));
  EXPECT_TRUE(dEOF());
  GoTop();
  EXPECT_EQ(RecNo(), 4);
  EXPECT_TRUE(dEOF());
  EXPECT_TRUE(dBOF());
  EXPECT_EQ(Company(), std::string(12, ' '));
  GoBottom();
  EXPECT_TRUE(dEOF());
}

TEST_F(WorkAreaTest, SkipPastTheEndAndBeforeTheStart) {
  MakeStash("s.dbf", 3);
  ASSERT_TRUE(Use(dir_.File("s.dbf")));
  GoBottom();
  Skip(1);
  EXPECT_TRUE(dEOF());
  EXPECT_EQ(RecNo(), 4);
  ErrorCapture errors;
  Skip(1);
  EXPECT_EQ(errors.last().code, 212);
  EXPECT_EQ(errors.last().detail,
            "Database \"" + CurrentArea()->file_name + "\" is past EOF. [SKIP]");
  errors.clear();
  Skip(0);
  EXPECT_TRUE(errors.empty());
  GoTop();
  Skip(-1);
  EXPECT_EQ(RecNo(), 1);
  EXPECT_TRUE(dBOF());
  Skip(-1);
  EXPECT_TRUE(errors.empty()) << "at BOF a backward skip does nothing";
  Skip(5);
  EXPECT_TRUE(dEOF());
  Skip(-1);
  EXPECT_EQ(RecNo(), 3) << "from the end back to the last record";
}

TEST_F(WorkAreaTest, SkipAndGoOnAnEmptyTable) {
  MakeStash("s.dbf", 0);
  ASSERT_TRUE(Use(dir_.File("s.dbf")));
  const std::string quoted = "\"" + CurrentArea()->file_name + "\"";
  EXPECT_TRUE(dEOF());
  EXPECT_TRUE(dBOF());
  EXPECT_EQ(RecNo(), 0);
  ErrorCapture errors;
  Skip(1);
  EXPECT_EQ(errors.last().detail, "Database " + quoted + " is past EOF. [SKIP]");
  Skip(-1);
  EXPECT_EQ(errors.last().detail, "Database " + quoted + " is empty. [SKIP]");
  Go(1);
  EXPECT_EQ(errors.last().code, 212);
  EXPECT_EQ(errors.last().detail, "Invalid record number = 1 Database " + quoted + " [GO]");
  GoTop();
  EXPECT_EQ(RecNo(), 0) << "an empty table stays where it is";
}

TEST_F(WorkAreaTest, GoOutOfRangeMovesPastTheEndKeepingTheBuffers) {
  MakeStash("s.dbf", 3);
  ASSERT_TRUE(Use(dir_.File("s.dbf")));
  Go(2);
  ErrorCapture errors;
  Go(9);
  EXPECT_EQ(errors.last().code, 212);
  EXPECT_EQ(RecNo(), 4);
  EXPECT_TRUE(dEOF());
  EXPECT_EQ(OnHand(), 2);
}

TEST_F(WorkAreaTest, AppendStoresWhateverTheBuffersHold) {
  MakeStash("s.dbf", 2);
  ASSERT_TRUE(Use(dir_.File("s.dbf")));
  GoTop();
  Append();
  EXPECT_EQ(RecCount(), 3);
  EXPECT_EQ(RecNo(), 3);
  EXPECT_EQ(OnHand(), 1) << "a copy of record 1";
  ClearRecord();
  EXPECT_EQ(RecNo(), 3) << "ClearRecord does not move";
  Append();
  EXPECT_EQ(OnHand(), 0);
  EXPECT_EQ(Company(), std::string(12, ' '));
}

TEST_F(WorkAreaTest, ReplaceWritesTheBuffersAsStoredAndRefusesOutsideTheTable) {
  MakeStash("s.dbf", 2);
  ASSERT_TRUE(Use(dir_.File("s.dbf")));
  Go(2);
  fv::SetInt(*CurrentArea(), 3, 123456);
  fv::SetText(*CurrentArea(), 1, "MADEIRA");
  Replace();
  EXPECT_EQ(OnHand(), 0) << "the buffers hold what was stored: the field was filled with '*'";
  Skip(0);
  EXPECT_EQ(Company(), "MADEIRA     ");
  Skip(1);
  ErrorCapture errors;
  Replace();
  EXPECT_EQ(errors.last().detail,
            "Database \"" + CurrentArea()->file_name + "\" is at EOF. [REPLACE]");
}

TEST_F(WorkAreaTest, DeleteAndRecallKeepTheCursor) {
  MakeStash("s.dbf", 3);
  ASSERT_TRUE(Use(dir_.File("s.dbf")));
  Go(2);
  DeleteRec();
  EXPECT_EQ(RecNo(), 2);
  EXPECT_TRUE(Deleted());
  Skip(1);
  EXPECT_EQ(RecNo(), 3);
  GoTop();
  Skip(1);
  EXPECT_EQ(RecNo(), 3) << "GoTop no longer shows it";
  Go(2);
  RecallRec();
  EXPECT_FALSE(Deleted());
  GoBottom();
  Skip(1);
  ErrorCapture errors;
  DeleteRec();
  EXPECT_TRUE(errors.empty()) << "DeleteRec at the end does nothing";
  RecallRec();
  EXPECT_EQ(errors.last().code, 1103);
  EXPECT_EQ(errors.last().detail, CurrentArea()->file_name + " at EOF [RecallRec]");
}

TEST_F(WorkAreaTest, PackCompactsInPlaceAndTheFileReopens) {
  std::string name = MakeStash("s.dbf", 6, {1, 3, 4});
  ASSERT_TRUE(Use(name));
  ASSERT_TRUE(Pack());
  EXPECT_EQ(RecCount(), 3);
  EXPECT_EQ(RecNo(), 1);
  EXPECT_EQ(OnHand(), 2);
  ASSERT_TRUE(Use(""));
  std::vector<uint8_t> b = ReadBytes(name);
  EXPECT_EQ(b.size(), 32u + 3 * 32 + 1 + 3 * 25 + 1) << "truncated after the kept records";
  EXPECT_EQ(b.back(), 0x1A);

  DbfTable t;
  ASSERT_TRUE(OpenDbf(t, name, true));
  ASSERT_EQ(t.record_count, 3);
  std::vector<int> on_hand;
  for (int n = 1; n <= 3; ++n) {
    ASSERT_TRUE(GetDbfRecord(t, n));
    ScatterRecord(t);
    on_hand.push_back(fv::Int(t, 3));
    EXPECT_FALSE(fv::Deleted(t));
  }
  EXPECT_EQ(on_hand, (std::vector<int>{2, 5, 6}));
}

TEST_F(WorkAreaTest, PackOfAllDeletedAndZapLeaveAnEmptyTable) {
  std::string name = MakeStash("s.dbf", 2, {1, 2});
  ASSERT_TRUE(Use(name));
  ASSERT_TRUE(Pack());
  EXPECT_EQ(RecCount(), 0);
  EXPECT_EQ(RecNo(), 0);
  EXPECT_TRUE(dEOF());

  name = MakeStash("z.dbf", 4);
  ASSERT_TRUE(Use(name));
  Go(3);
  ASSERT_TRUE(FLock());
  ASSERT_TRUE(Zap());
  Unlock();
  EXPECT_EQ(RecCount(), 0);
  EXPECT_TRUE(dEOF());
  EXPECT_TRUE(dBOF());
  GoTop();
  EXPECT_TRUE(dEOF());
  EXPECT_EQ(ReadBytes(name).size(), 32u + 3 * 32 + 1 + 1) << "header + 0x1A";
  ASSERT_TRUE(Use(""));
  ASSERT_TRUE(Use(name));
  EXPECT_EQ(RecCount(), 0);
  Append();
  ASSERT_TRUE(Use(""));
  ASSERT_TRUE(Use(name));
  EXPECT_EQ(RecCount(), 1) << "a zapped table takes new records";
}

class AppendFromTest : public WorkAreaTest {};

TEST_F(AppendFromTest, IdenticalLayoutsCopyVisibleRecordsOnly) {
  MakeStash("from.dbf", 4, {2});
  std::string to = MakeStash("to.dbf", 1);
  ASSERT_TRUE(Use(to));
  AppendFrom(dir_.File("from"));
  EXPECT_EQ(LastErrorCode(), 0);
  EXPECT_EQ(RecCount(), 4);
  EXPECT_EQ(RecNo(), 4) << "left on the last record appended";
  std::vector<int> on_hand;
  for (GoTop(); !dEOF(); Skip(1)) on_hand.push_back(OnHand());
  EXPECT_EQ(on_hand, (std::vector<int>{1, 1, 3, 4}));
  EXPECT_EQ(Area(kAppendFromArea), nullptr) << "the temporary area is closed";
  EXPECT_EQ(CurrentAreaNumber(), 1);
}

TEST_F(AppendFromTest, SelfAndMissingFilesAreRefused) {
  std::string to = MakeStash("to.dbf", 1);
  ASSERT_TRUE(Use(to));
  ErrorCapture errors;
  AppendFrom(to);
  EXPECT_EQ(errors.last().code, 214);
  EXPECT_EQ(errors.last().detail, "Attempting to append file to itself. [AppendFrom(" +
                                      CurrentArea()->file_name + ")]");
  AppendFrom(dir_.File("missing.dbf"));
  EXPECT_EQ(errors.last().code, 2);
  EXPECT_EQ(RecCount(), 1);
}

TEST_F(AppendFromTest, ASourceOpenInAnotherAreaIsUsedAsItIs) {
  std::string from = MakeStash("from.dbf", 3);
  std::string to = MakeStash("to.dbf", 0);
  Select(5);
  ASSERT_TRUE(Use(from));
  Select(1);
  ASSERT_TRUE(Use(to));
  AppendFrom(from);
  EXPECT_EQ(RecCount(), 3);
  Select(5);
  EXPECT_TRUE(dEOF()) << "the source area ends at its end";
}

TEST_F(AppendFromTest, FieldsMatchByNameAndConvertByType) {
  SetDateForm(DateForm{0, true});
  std::string from = dir_.File("src.dbf");
  ASSERT_TRUE(CreateDBF(from, {{"c2n", 'C', 8, 0}, {"c2f", 'C', 8, 0}, {"n2c", 'N', 6, 2},
                               {"wide", 'N', 6, 0}, {"l2c", 'L', 1, 0}, {"d2c", 'D', 8, 0},
                               {"f2n", 'N', 6, 2}, {"n2f", 'N', 4, 0}, {"l2l", 'L', 1, 0},
                               {"c2l", 'C', 1, 0}, {"c2d", 'C', 10, 0}, {"bad2d", 'C', 10, 0},
                               {"d2d", 'D', 8, 0}, {"kolors", 'C', 5, 0}}));
  ASSERT_TRUE(Use(from));
  WorkArea& s = *CurrentArea();
  fv::SetText(s, 1, "  -12");
  fv::SetText(s, 2, "3.75x");
  fv::SetDouble(s, 3, 2.5);
  fv::SetInt(s, 4, 123456);
  fv::SetBool(s, 5, true);
  fv::SetText(s, 6, "12/31/2024");
  fv::SetDouble(s, 7, -7.9);
  fv::SetInt(s, 8, 42);
  fv::SetBool(s, 9, true);
  fv::SetText(s, 10, "T");
  fv::SetText(s, 11, "01/02/2025");
  fv::SetText(s, 12, "13/45/2025");
  fv::SetText(s, 13, "02/29/2024");
  fv::SetText(s, 14, "extra");
  Append();
  ASSERT_TRUE(Use(""));

  std::string to = dir_.File("dst.dbf");
  ASSERT_TRUE(CreateDBF(to, {{"c2n", 'N', 5, 0}, {"c2f", 'N', 6, 2}, {"n2c", 'C', 6, 0},
                             {"wide", 'C', 4, 0}, {"l2c", 'C', 2, 0}, {"d2c", 'C', 8, 0},
                             {"f2n", 'N', 4, 0}, {"n2f", 'N', 7, 2}, {"l2l", 'L', 1, 0},
                             {"c2l", 'L', 1, 0}, {"c2d", 'D', 8, 0}, {"bad2d", 'D', 8, 0},
                             {"d2d", 'D', 8, 0}, {"onlyhere", 'N', 3, 0}}));
  ASSERT_TRUE(Use(to));
  AppendFrom(from);
  ASSERT_EQ(LastErrorCode(), 0);
  ASSERT_EQ(RecCount(), 1);
  WorkArea& t = *CurrentArea();
  EXPECT_EQ(fv::Int(t, 1), -12);
  EXPECT_DOUBLE_EQ(fv::Double(t, 2), 3.75);
  EXPECT_EQ(fv::Text(t, 3), "  2.50");
  EXPECT_EQ(fv::Text(t, 4), "****");
  EXPECT_EQ(fv::Text(t, 5), "T ");
  EXPECT_EQ(fv::Text(t, 6), "12/31/24") << "without two year digits";
  EXPECT_EQ(fv::Int(t, 7), -7) << "cut toward zero";
  EXPECT_DOUBLE_EQ(fv::Double(t, 8), 42.0);
  EXPECT_TRUE(fv::Bool(t, 9));
  EXPECT_FALSE(fv::Bool(t, 10)) << "L from C is false";
  EXPECT_EQ(fv::Text(t, 11), "01/02/2025");
  EXPECT_EQ(fv::Text(t, 12), "  /  /    ") << "not a valid date: left blank";
  EXPECT_EQ(fv::Text(t, 13), "02/29/2024");
  EXPECT_EQ(fv::Int(t, 14), 0) << "missing in the source: blank";
  EXPECT_EQ(FieldNo("kolors"), 0);
}

TEST_F(AppendFromTest, DatesKeepTheirCenturyWithTwoDigitYears) {
  SetDateForm(DateForm{0, false});
  std::string from = dir_.File("old.dbf");
  ASSERT_TRUE(CreateDBF(from, {{"d", 'D', 8, 0}}));
  ASSERT_TRUE(Use(from));
  std::memcpy(CurrentArea()->record.data() + 1, "19500101", 8);
  ScatterRecord(*CurrentArea());
  ASSERT_EQ(fv::Text(*CurrentArea(), 1), "01/01/50");
  Append();
  ASSERT_TRUE(Use(""));
  for (bool identical : {true, false}) {
    std::string to = dir_.File(identical ? "same.dbf" : "wider.dbf");
    std::vector<DbfFieldSpec> fields = {{"d", 'D', 8, 0}};
    if (!identical) fields.push_back({"extra", 'C', 3, 0});
    ASSERT_TRUE(CreateDBF(to, fields));
    ASSERT_TRUE(Use(to));
    AppendFrom(from);
    ASSERT_TRUE(Use(""));
    DbfTable t;
    ASSERT_TRUE(OpenDbf(t, to, false));
    ASSERT_TRUE(GetDbfRecord(t, 1));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(t.record.data() + 1), 8), "19500101")
        << (identical ? "identical layouts" : "field by field");
  }
}

TEST_F(WorkAreaTest, LocksFollowTheirTable) {
  MakeStash("s.dbf", 2);
  ASSERT_TRUE(Use(dir_.File("s.dbf")));
  EXPECT_TRUE(RLock());
  EXPECT_FALSE(FLock()) << "FLock after RLock without Unlock";
  EXPECT_FALSE(ALock());
  EXPECT_TRUE(RLock());
  Skip(1);
  EXPECT_TRUE(RLock());
  EXPECT_EQ(CurrentArea()->locked_records, (std::vector<int32_t>{1, 2}));
  Unlock();
  EXPECT_TRUE(FLock());
  EXPECT_TRUE(FLock());
  EXPECT_FALSE(ALock());
  EXPECT_FALSE(RLock());
  Unlock();
  EXPECT_TRUE(ALock());
  EXPECT_TRUE(ALock());
  EXPECT_FALSE(FLock());
  Unlock();
  EXPECT_EQ(CurrentArea()->lock_state, kNoLock);
}

TEST_F(WorkAreaTest, TheProgramsLockPatternIsGrantedAtOnceEveryTime) {
  MakeStash("s.dbf", 3);
  ASSERT_TRUE(Use(dir_.File("s.dbf")));
  for (int round = 0; round < 50; ++round) {
    GoTop();
    if (dEOF()) {
      ASSERT_TRUE(ALock());
      ClearRecord();
      Append();
      Unlock();
    }
    ASSERT_TRUE(RLock());
    fv::SetInt(*CurrentArea(), 3, round);
    Replace();
    Unlock();
    ASSERT_TRUE(ALock());
    Append();
    Unlock();
    ASSERT_TRUE(RLock());
    DeleteRec();
    Unlock();
    ASSERT_TRUE(FLock());
    if (round % 10 == 9) Zap();
    Unlock();
  }
}

// A child appends records and reports each completed Append on a pipe; it is
// killed at a random moment. Every reported record must read back intact.
TEST_F(WorkAreaTest, RecordsOfCompletedAppendsSurviveAKill) {
  std::mt19937 rng(7);
  for (int round = 0; round < 6; ++round) {
    std::string name = MakeStash("crash" + std::to_string(round) + ".dbf", 0);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(fds[0]);
      Select(1);
      if (!Use(name)) _exit(3);
      for (int32_t i = 1;; ++i) {
        WorkArea& a = *CurrentArea();
        fv::SetText(a, 1, "C" + std::to_string(i));
        fv::SetInt(a, 3, i % 10000);
        Append();
        if (write(fds[1], &i, sizeof i) != sizeof i) _exit(4);
      }
    }
    close(fds[1]);
    int32_t last = 0, got;
    // The kill comes at a random moment once appending has begun.
    ASSERT_EQ(read(fds[0], &last, sizeof last), static_cast<ssize_t>(sizeof last));
    usleep(rng() % 30000);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    while (read(fds[0], &got, sizeof got) == sizeof got) last = got;
    close(fds[0]);
    ASSERT_GT(last, 0);

    Switches().fix_rec_count = true;
    ASSERT_TRUE(Use(name));
    Switches().fix_rec_count = false;
    ASSERT_GE(RecCount(), last);
    for (int32_t i = 1; i <= last; ++i) {
      Go(i);
      ASSERT_EQ(Company(), "C" + std::to_string(i) + std::string(11 - std::to_string(i).size(), ' '));
      ASSERT_EQ(OnHand(), i % 10000);
    }
    int32_t count = RecCount();
    Append();
    EXPECT_EQ(RecCount(), count + 1) << "the file takes further appends";
    ASSERT_TRUE(Use(""));
  }
}

TEST_F(WorkAreaTest, AnEngineErrorHaltsWithTheMessageAndTheCodeAndLeavesTablesReadable) {
  std::string name = MakeStash("halt.dbf", 0);
  EXPECT_EXIT(
      {
        SetErrorHandler(nullptr);
        SetErrorChecking(true);
        Select(1);
        Use(name);
        for (int i = 1; i <= 25; ++i) {
          fv::SetInt(*CurrentArea(), 3, i);
          Append();
        }
        Go(99);
      },
      ::testing::ExitedWithCode(212),
      "Program halted\\.\nError # 212 \\(Request beyond range\\)\r\nInvalid record number = 99");
  Switches().fix_rec_count = true;
  ASSERT_TRUE(Use(name));
  ASSERT_EQ(RecCount(), 25);
  Go(25);
  EXPECT_EQ(OnHand(), 25);
}

}  // namespace
}  // namespace sv
