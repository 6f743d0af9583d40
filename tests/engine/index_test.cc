// Index tags on real tables: building, opening, order selection, Find, the
// record commands in key order, key maintenance, and damaged index files.
#include "engine/index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>

#include "engine/dates.h"
#include "engine/engine_state.h"
#include "engine/error.h"
#include "engine/hooks.h"
#include "engine/index_check.h"
#include "engine/mdx_format.h"
#include "engine/work_area.h"
#include "support/codepage.h"
#include "testlib/error_capture.h"
#include "testlib/engine_fixture.h"
#include "testlib/temp_dir.h"

namespace sv {
namespace {

using svtest::ErrorCapture;
using svtest::ReadBytes;
using svtest::TempDir;
using svtest::WriteBytes;

// Fields: 1 t_company C12, 2 t_color C8, 3 t_red N3, 4 t_date D, 5 t_name C10.
const std::vector<DbfFieldSpec> kThreads = {{"t_company", 'C', 12, 0},
                                            {"t_color", 'C', 8, 0},
                                            {"t_red", 'N', 3, 0},
                                            {"t_date", 'D', 8, 0},
                                            {"t_name", 'C', 10, 0}};

struct Thread {
  Thread(std::string c = "", std::string col = "", int r = 0, double d = kBlankDate, std::string n = "")
      : company(std::move(c)), color(std::move(col)), red(r), day(d), name(std::move(n)) {}
  std::string company;
  std::string color;
  int red;
  double day;
  std::string name;
};

void SetFields(const Thread& t) {
  WorkArea& a = *CurrentArea();
  fv::SetText(a, 1, t.company);
  fv::SetText(a, 2, t.color);
  fv::SetNumber(a, 3, t.red);
  fv::SetText(a, 4, t.day == kBlankDate ? std::string() : DtoC(t.day));
  fv::SetText(a, 5, t.name);
}

class IndexTest : public svtest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    SetDateForm(DateForm{0, true});
  }
  void TearDown() override {
    EngineTest::TearDown();
    SetDateForm(DateForm{0, false});
  }

  // Creates and opens the table in area 1 with the given records.
  void OpenThreads(const std::vector<Thread>& rows, const std::string& file = "threads.svx") {
    table_ = dir_.File(file);
    ASSERT_TRUE(CreateDBF(table_, kThreads));
    Select(1);
    ASSERT_TRUE(Use(table_ + " EXCLUSIVE"));
    for (const Thread& t : rows) {
      ClearRecord();
      SetFields(t);
      Append();
    }
  }

  bool Build(const std::vector<TagDefinition>& defs) {
    if (!MakeIndex(defs, "")) return false;
    return SetIndexTo("");
  }
  std::string IndexPath() const { return table_.substr(0, table_.size() - 4) + ".MDX"; }

  static std::vector<int32_t> Walk() {
    std::vector<int32_t> out;
    GoTop();
    while (!dEOF()) {
      out.push_back(RecNo());
      Skip(1);
    }
    return out;
  }
  static std::vector<int32_t> WalkBack() {
    std::vector<int32_t> out;
    GoBottom();
    while (!dEOF()) {
      out.push_back(RecNo());
      Skip(-1);
      if (dBOF()) break;
    }
    std::reverse(out.begin(), out.end());
    return out;
  }
  static std::string Company() { return std::string(fv::Text(*CurrentArea(), 1)); }

  TempDir dir_;
  std::string table_;
};

const std::vector<Thread> kSample = {
    {"MADEIRA", "1000", 5, 2451545, "a"},  {"DMC", "321", 200, 2451540, "b"},
    {"MADEIRA", "0999", 0, kBlankDate, "c"}, {"ANCHOR", "12", 17, 2451600, "d"},
    {"DMC", "321", 99, 2451545, "e"},      {"MADEIRAX", "1", 255, 2451000, "f"},
};

const std::vector<TagDefinition> kSampleTags = {
    {"mncomp", "t_company", "", false, false},
    {"MNCOCOL", "t_company + t_color", "", false, false},
    {"MNRED", "str(t_red)", "", false, false},
    {"REDN", "t_red", "", true, false},
    {"DAY", "t_date", "", false, false},
    {"MNALL", "t_company + t_color + t_name", "t_red > 10", false, false},
};

TEST_F(IndexTest, BuildOpensInTheFirstTagOrderAndWalksEveryOrder) {
  ErrorCapture errors;
  OpenThreads(kSample);
  ASSERT_TRUE(Build(kSampleTags));
  EXPECT_EQ(CurrentOrder(), 1);
  EXPECT_EQ(RecNo(), 4);  // ANCHOR comes first
  struct Case {
    int order;
    std::vector<int32_t> records;
  } cases[] = {
      {1, {4, 2, 5, 1, 3, 6}},   // equal companies in record order
      {2, {4, 2, 5, 3, 1, 6}},
      {3, {3, 1, 4, 5, 2, 6}},   // str(t_red): "  0", "  5", " 17", ...
      {4, {6, 2, 5, 4, 1, 3}},   // numeric, descending
      {5, {6, 2, 1, 5, 4, 3}},   // dates, the blank one last
      {6, {4, 2, 5, 6}},         // FOR t_red > 10
      {0, {1, 2, 3, 4, 5, 6}},
  };
  for (const Case& c : cases) {
    SetOrderTo(c.order);
    EXPECT_EQ(CurrentOrder(), c.order);
    EXPECT_EQ(Walk(), c.records) << "order " << c.order;
    if (c.order > 0) {
      EXPECT_EQ(WalkBack(), c.records) << "order " << c.order;
    }
  }
  SetOrderToTag("mnall");
  EXPECT_EQ(CurrentOrder(), 6);
  std::vector<std::string> problems;
  EXPECT_TRUE(CheckIndexStructure(*CurrentArea(), &problems)) << problems.front();
  std::vector<std::string> lines;
  ASSERT_TRUE(ReadIndexTagList("", &lines));
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[0], "MNCOMP,F,F,t_company");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[6], "REDN,T,F,t_red");
  EXPECT_EQ(lines[10], "MNALL,F,F,t_company + t_color + t_name");
  EXPECT_EQ(lines[11], "t_red > 10");
  EXPECT_TRUE(errors.empty()) << errors.last().detail;
}

TEST_F(IndexTest, WrittenFileFollowsTheLayout) {
  OpenThreads(kSample);
  ASSERT_TRUE(MakeIndex(kSampleTags, ""));
  std::vector<uint8_t> b = ReadBytes(IndexPath());
  ASSERT_GE(b.size(), 2048u + 6 * 2048u);
  EXPECT_EQ(b.size() % 1024, 0u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[4])), "THREADS");
  EXPECT_EQ(b[28], 6);
  // Each tag: its tree (one leaf here) and then its header.
  const uint8_t* e2 = &b[512 + 64];
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(e2 + 4)), "MNCOCOL");
  EXPECT_EQ(e2[19], 2);
  EXPECT_EQ(e2[20], 'C');
  const uint8_t* h = &b[mdx::Get32(e2) * 512];
  EXPECT_EQ(h[8], 0x10);
  EXPECT_EQ(h[9], 'C');
  EXPECT_EQ(mdx::Get16(h + 12), 20);
  EXPECT_EQ(mdx::Get16(h + 14), 1012 / 24);
  EXPECT_EQ(mdx::Get16(h + 18), 24);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(h + 24)), "t_company + t_color");
  const uint8_t* root = &b[mdx::Get32(h) * 512];
  EXPECT_EQ(mdx::Get16(root), 6);
  EXPECT_EQ(mdx::Get32(root + 8), 4u);  // ANCHOR's record
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(root + 12), 20), "ANCHOR      12      ");
  EXPECT_EQ(mdx::Get32(root + 8 + 6 * 24), 0u);  // a leaf
  const uint8_t* e4 = &b[512 + 128];
  const uint8_t* h4 = &b[mdx::Get32(e4) * 512];
  EXPECT_EQ(h4[8], 0x18);  // descending
  EXPECT_EQ(h4[9], 'N');
  EXPECT_EQ(mdx::Get16(h4 + 12), 12);
  const uint8_t* e5 = &b[512 + 160];
  const uint8_t* h5 = &b[mdx::Get32(e5) * 512];
  EXPECT_EQ(mdx::Get16(h5 + 16), 1);  // dates
  const uint8_t* h6 = &b[mdx::Get32(&b[512 + 192]) * 512];
  EXPECT_EQ(h6[245], 1);
  EXPECT_EQ(h6[246], 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(h6 + 762)), "t_red > 10");
  // The last tag's header is the last block in use.
  EXPECT_EQ(mdx::Get32(&b[32]), mdx::Get32(&b[512 + 192]));
}

TEST_F(IndexTest, EqualKeysKeepRecordOrderAndAnAppendedOneGoesFirst) {
  ErrorCapture errors;
  OpenThreads({{"DMC", "1", 1}, {"MADEIRA", "2", 2}, {"DMC", "1", 3}, {"DMC", "1", 4}});
  ASSERT_TRUE(Build({{"MNCOCOL", "t_company + t_color", "", false, false}}));
  EXPECT_EQ(Walk(), (std::vector<int32_t>{1, 3, 4, 2}));
  ClearRecord();
  SetFields({"DMC", "1", 5});
  Append();
  EXPECT_EQ(RecNo(), 5);
  Skip(1);
  EXPECT_EQ(RecNo(), 1);  // key order goes on from the new record
  EXPECT_EQ(Walk(), (std::vector<int32_t>{5, 1, 3, 4, 2}));
  EXPECT_TRUE(errors.empty()) << errors.last().detail;
}

TEST_F(IndexTest, FindMatchesPrefixesNumbersAndDates) {
  ErrorCapture errors;
  OpenThreads(kSample);
  ASSERT_TRUE(Build(kSampleTags));
  struct Case {
    int order;
    std::string text;
    bool found;
    int32_t record;
  } cases[] = {
      {1, "MADEIRA", true, 1},
      {1, "MAD", true, 1},
      {1, "MADEIRAX", true, 6},
      {1, "MADEIRA ", true, 1},        // trailing blanks count
      {1, "MADEIRAXY", false, 7},
      {1, "ZZZ", false, 7},            // beyond every key
      {1, "A", true, 4},
      {2, "DMC         321     TOOLONG", true, 2},  // compared over 20 characters
      {4, "99", true, 5},
      {4, "98", false, 7},
      {5, DtoC(2451545), true, 1},
      {5, DtoC(2451546), false, 7},
  };
  for (const Case& c : cases) {
    SetOrderTo(c.order);
    EXPECT_EQ(Find(c.text), c.found) << c.text;
    EXPECT_EQ(RecNo(), c.record) << c.text;
    EXPECT_EQ(dEOF(), !c.found) << c.text;
  }
  // Deleted records are passed over while hidden.
  SetOrderTo(1);
  Go(1);
  DeleteRec();
  EXPECT_TRUE(Find("MADEIRA"));
  EXPECT_EQ(RecNo(), 3);
  EXPECT_FALSE(Find(""));
  EXPECT_TRUE(errors.empty()) << errors.last().detail;

  Go(2);
  SetOrderTo(0);
  EXPECT_FALSE(Find("DMC"));
  EXPECT_EQ(errors.last().code, 254);
  EXPECT_EQ(errors.last().detail, "Cannot use Find() with index order 0 (natural order) [Find]");
  EXPECT_EQ(RecNo(), 2);
}

TEST_F(IndexTest, OrderSelectionAndItsErrors) {
  OpenThreads(kSample);
  ASSERT_TRUE(Build(kSampleTags));
  {
    ErrorCapture errors;
    Go(5);
    SetOrderTo(0);
    EXPECT_EQ(RecNo(), 5);
    EXPECT_EQ(CurrentOrder(), 0);
    Skip(1);
    EXPECT_EQ(RecNo(), 6);
    SetOrderTo(2);
    Go(5);
    Skip(1);
    EXPECT_EQ(RecNo(), 3);  // DMC 321 (5) is followed by MADEIRA 0999 (3)
    SetOrderTo(7);
    EXPECT_EQ(errors.last().code, 220);
    EXPECT_EQ(errors.last().detail, "Invalid Index Order Specified: SET_ORDER_TO. [Set_Order_To(7)] (DBF=" +
                                        CurrentArea()->file_name + ")");
    EXPECT_EQ(CurrentOrder(), 2);
  }
  {
    // With checking off, SetOrderTo keeps the code; SetOrderToTag raises.
    ErrorCheckingOff off;
    SetOrderTo(9);
    EXPECT_EQ(LastErrorCode(), 220);
    try {
      SetOrderToTag("nosuchtag");
      ADD_FAILURE() << "no exception";
    } catch (const ETableError& e) {
      EXPECT_EQ(std::string(e.what()),
                FullErrorText(220, "Invalid Index Order Specified: SET_ORDER_TO. [SetOrderToTag(nosuchtag)] (DBF=" +
                                       CurrentArea()->file_name + ")"));
    }
    CloseIndex(*CurrentArea());
    EXPECT_THROW(Find("X"), ETableError);
    EXPECT_EQ(LastErrorCode(), 221);
  }
}

TEST_F(IndexTest, TagBuildErrors) {
  OpenThreads({{"DMC", "1", 1}});
  struct Case {
    TagDefinition def;
    int code;
    std::string detail;
  } cases[] = {
      {{"LONG", "t_company+t_company+t_company+t_company+t_company+t_company+t_company+t_company+t_name", "", false, false},
       266, "Incorrect key length: Must be 1 to 100. [AddIndexTag()]"},
      {{"EMPTY", "trim(t_name)", "", false, false}, 266, "Incorrect key length: Must be 1 to 100. [AddIndexTag()]"},
      {{"HUGE", std::string(221, 'x'), "", false, false}, 300, "Expression length exceeds 100 bytes [AddIndexTag()]"},
      {{"LOGIC", "t_red > 1", "", false, false}, 254, "Wrong parser return type [AddIndexTag()]"},
      {{"BADFOR", "t_company", "t_red + 1", false, false}, 362, "Invalid FOR expression for BADFOR [AddIndexTag()]"},
  };
  for (const Case& c : cases) {
    ErrorCapture errors;
    GoTop();
    EXPECT_FALSE(MakeIndex({c.def}, "")) << c.def.name;
    ASSERT_FALSE(errors.errors().empty()) << c.def.name;
    EXPECT_EQ(errors.last().code, c.code) << c.def.name;
    EXPECT_EQ(errors.last().detail, c.detail) << c.def.name;
  }
}

TEST_F(IndexTest, UniqueTagKeepsTheFirstRecordOfEachKey) {
  ErrorCapture errors;
  OpenThreads({{"A"}, {"B"}, {"A"}});
  ASSERT_TRUE(Build({{"U", "t_company", "", false, true}}));
  EXPECT_EQ(Walk(), (std::vector<int32_t>{1, 2}));
  std::vector<std::string> lines;
  ASSERT_TRUE(ReadIndexTagList("", &lines));
  EXPECT_EQ(lines[0], "U,F,T,t_company");
  EXPECT_TRUE(errors.empty()) << errors.last().detail;
}

TEST_F(IndexTest, EmptyTableOpensAtEndOfFile) {
  ErrorCapture errors;
  OpenThreads({});
  ASSERT_TRUE(Build({{"MNCOMP", "t_company", "", false, false}}));
  EXPECT_TRUE(dEOF());
  WorkArea& a = *CurrentArea();
  EXPECT_EQ(IdxHooks().first(a), 1);
  EXPECT_EQ(IdxHooks().last(a), 1);
  EXPECT_TRUE(IdxHooks().at_end(a));
  EXPECT_TRUE(IdxHooks().at_start(a));
  ClearRecord();
  SetFields({"DMC"});
  Append();
  EXPECT_EQ(Walk(), (std::vector<int32_t>{1}));
  EXPECT_TRUE(errors.empty()) << errors.last().detail;
}

TEST_F(IndexTest, OemTableKeysAreStoredInTheOemCodePage) {
  ErrorCapture errors;
  const std::string mueller = "M\xDC" "LLER";  // Ü in the ANSI code page
  OpenThreads({{"MZ"}, {mueller}, {"MA"}});
  ASSERT_TRUE(Build({{"MNCOMP", "t_company", "", false, false}}));
  EXPECT_EQ(Walk(), (std::vector<int32_t>{3, 1, 2}));  // OEM Ü (0x9A) sorts after Z
  EXPECT_TRUE(Find("M\xDC"));
  EXPECT_EQ(RecNo(), 2);
  EXPECT_EQ(Company().substr(0, 6), mueller);
  std::vector<std::string> problems;
  EXPECT_TRUE(CheckIndexStructure(*CurrentArea(), &problems)) << problems.front();
  EXPECT_TRUE(errors.empty()) << errors.last().detail;
}

TEST_F(IndexTest, ChangesSurviveClosingAndReopening) {
  ErrorCapture errors;
  OpenThreads(kSample);
  ASSERT_TRUE(Build(kSampleTags));
  for (int i = 0; i < 600; ++i) {
    ClearRecord();
    SetFields({"C" + std::to_string(i % 37), std::to_string(i), i % 256, 2451000.0 + i % 90, "n"});
    Append();
  }
  Go(3);
  fv::SetText(*CurrentArea(), 1, "ZEBRA");
  Replace();
  const std::vector<int32_t> before = Walk();
  ASSERT_TRUE(Use(""));
  ASSERT_TRUE(Use(table_ + " EXCLUSIVE"));
  ASSERT_TRUE(SetIndexTo(""));
  EXPECT_EQ(Walk(), before);
  std::vector<std::string> problems;
  EXPECT_TRUE(CheckIndexStructure(*CurrentArea(), &problems)) << problems.front();
  EXPECT_TRUE(errors.empty()) << errors.last().detail;
}

TEST_F(IndexTest, PackAndZapRebuildTheTagsAndKeepTheOrder) {
  ErrorCapture errors;
  OpenThreads(kSample);
  ASSERT_TRUE(Build(kSampleTags));
  SetOrderToTag("MNRED");
  Go(1);
  DeleteRec();
  Go(4);
  DeleteRec();
  ASSERT_TRUE(Pack());
  EXPECT_EQ(CurrentOrder(), 3);
  EXPECT_EQ(RecNo(), 1);
  // Left: DMC 200, MADEIRA 0, DMC 99, MADEIRAX 255.
  EXPECT_EQ(Walk(), (std::vector<int32_t>{2, 3, 1, 4}));
  std::vector<std::string> problems;
  EXPECT_TRUE(CheckIndexStructure(*CurrentArea(), &problems)) << problems.front();
  ASSERT_TRUE(Zap());
  EXPECT_EQ(CurrentOrder(), 3);
  GoTop();
  EXPECT_TRUE(dEOF());
  EXPECT_FALSE(Find("1"));
  EXPECT_TRUE(errors.empty()) << errors.last().detail;
}

TEST_F(IndexTest, OpeningRefusals) {
  OpenThreads(kSample);
  {
    ErrorCheckingOff off;
    EXPECT_FALSE(SetIndexTo("nothere"));
    EXPECT_EQ(LastErrorCode(), 2);
  }
  // The .AND. tag is built, but its condition does not compile once its
  // blanks are gone.
  {
    ErrorCapture errors;
    ASSERT_TRUE(MakeIndex({{"AND", "t_company", "t_red > 1 .and. t_red < 100", false, false}}, ""));
    EXPECT_TRUE(errors.empty()) << errors.last().detail;
  }
  {
    ErrorCheckingOff off;
    try {
      SetIndexTo("");
      ADD_FAILURE() << "opened";
    } catch (const ETableError& e) {
      EXPECT_EQ(e.code(), 222);
    }
    EXPECT_EQ(CurrentArea()->index, nullptr);
  }
  // A tag whose key no longer fits the table's fields.
  {
    ErrorCapture errors;
    ASSERT_TRUE(MakeIndex({{"MNCOMP", "t_company", "", false, false}}, ""));
  }
  const std::string index = IndexPath();
  ASSERT_TRUE(Use(""));
  const std::string other = dir_.File("narrow.svx");
  ASSERT_TRUE(CreateDBF(other, {{"t_company", 'C', 10, 0}}));
  WriteBytes(other.substr(0, other.size() - 4) + ".MDX", ReadBytes(index));
  ASSERT_TRUE(Use(other + " EXCLUSIVE"));
  {
    ErrorCapture errors;
    EXPECT_FALSE(SetIndexTo(""));
    EXPECT_EQ(errors.last().code, 266);
    EXPECT_EQ(errors.last().detail.substr(0, 41), "Incorrect key length: Must be 1 to 100. /");
  }
}

TEST_F(IndexTest, SemaphoreAndFileNames) {
  EXPECT_EQ(IndexSemaphoreName("/data/MNTHREAD.SVX"), "/data/MNTHREAD.@S@");
  OpenThreads({});
  WorkArea& a = *CurrentArea();
  const std::string folder = a.path.substr(0, a.path.find_last_of('/') + 1);
  EXPECT_EQ(IndexFileName(a, ""), folder + "threads.MDX");
  EXPECT_EQ(IndexFileName(a, " other "), folder + "other.MDX");
  EXPECT_EQ(IndexFileName(a, "other.idx"), folder + "other.idx");
  EXPECT_EQ(IndexFileName(a, "/x/other"), "/x/other.MDX");
  EXPECT_EQ(NormaliseKeyExpression("t_company + 'a b' + \"C d\""), "T_COMPANY+\"a b\"+\"C d\"");
}

}  // namespace
}  // namespace sv
