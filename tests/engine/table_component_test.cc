#include "engine/table_component.h"

#include <gtest/gtest.h>

#include "engine/engine_state.h"
#include "engine/error.h"
#include "engine/work_area.h"
#include "support/files.h"
#include "testlib/error_capture.h"
#include "testlib/recording_view.h"
#include "testlib/temp_dir.h"

namespace sv {
namespace {

using svtest::ErrorCapture;
using svtest::RecordingView;
using svtest::WarningCapture;

const std::vector<std::string> kStashFields = {
    "m_company, C, 12, 0", "m_type, C, 12, 0",  "m_name, C, 20, 0",
    "m_color, C, 8, 0",    "m_onhand, N, 4, 0", "m_location, C, 20, 0"};

class TableComponentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseAllAreas();
    Select(1);
  }
  void TearDown() override { CloseAllAreas(); }

  // A stash component over a file in the temporary folder, opened.
  std::unique_ptr<TTzDbf> Stash(const std::string& name = "ownspool") {
    auto t = std::make_unique<TTzDbf>(name);
    t->DbfFields = kStashFields;
    t->HideDeletedRecs = true;
    t->AutoFixRecCount = true;
    t->SetExclusive(true);
    t->SetDbfFileName(dir_.File(name + ".svx"));
    t->SetActive(true);
    return t;
  }

  static void AddThread(TTzDbf& t, const std::string& company, const std::string& color,
                        int on_hand) {
    t.ClearRecord();
    t.SetCField("m_company", company);
    t.SetCField("m_color", color);
    t.SetLongField("m_onhand", on_hand);
    t.Append();
  }

  svtest::TempDir dir_;
};

TEST_F(TableComponentTest, CreatesTheMissingFileAndOpensItExclusively) {
  auto t = Stash();
  ASSERT_TRUE(t->Active());
  EXPECT_EQ(t->FieldCount(), 6);
  EXPECT_EQ(t->Field(6), "M_LOCATION");
  EXPECT_EQ(t->RecCount(), 0);
  EXPECT_TRUE(t->dEOF());
  WorkArea* a = Area(t->WorkAreaNumber());
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->alias, "OWNSPOOL");
  EXPECT_TRUE(a->translate);
  ASSERT_EQ(t->DataSet().Fields().size(), 6u);
  EXPECT_EQ(t->DataSet().Fields()[4].name(), "m_onhand");
}

TEST_F(TableComponentTest, FieldDefinitionsAreCorrectedWithAWarning) {
  struct Case {
    std::string line;
    std::string warning;  // empty: none
    char type;
    int length, decimals;
  };
  const Case cases[] = {
      {"r_date, D, 10, 0", "", 'D', 8, 0},
      {"n, N, 25, 0",
       "Invalid field definition for t: n,N,25,0. Will use corrected definition: n,N,20,0", 'N',
       20, 0},
      {"n, N, 3, 2",
       "Invalid field definition for t: n,N,3,2. Will use corrected definition: n,N,3,1", 'N', 3,
       1},
      {"c, c, 5, 0",
       "Invalid field definition for t: c,c,5,0. Will use corrected definition: c,C,5,0", 'C', 5,
       0},
      {"c, C, 300, 2",
       "Invalid field definition for t: c,C,300,2. Will use corrected definition: c,C,254,0", 'C',
       254, 0},
  };
  int i = 0;
  for (const Case& c : cases) {
    WarningCapture warnings;
    TTzDbf t("t");
    t.DbfFields = {c.line, "x, C, 1, 0"};
    t.SetDbfFileName(dir_.File("corr" + std::to_string(i++) + ".dbf"));
    t.SetActive(true);
    ASSERT_TRUE(t.Active()) << c.line;
    if (c.warning.empty()) {
      EXPECT_TRUE(warnings.warnings.empty()) << c.line;
    } else {
      ASSERT_EQ(warnings.warnings.size(), 1u) << c.line;
      EXPECT_EQ(warnings.warnings[0], c.warning);
    }
    EXPECT_EQ(t.FieldType(1), c.type) << c.line;
    EXPECT_EQ(Area(t.WorkAreaNumber())->field(1).length, c.length) << c.line;
    EXPECT_EQ(t.FieldDec(1), c.decimals) << c.line;
  }
}

TEST_F(TableComponentTest, ALineWithoutThreeCommasCreatesNothingAndTheOpenEndsTheProgram) {
  std::string file = dir_.File("bad.dbf");
  auto open_bad = [&file] {
    SetErrorHandler(nullptr);
    SetWarningHook([](const std::string& text) { fprintf(stderr, "warning: %s\n", text.c_str()); });
    TTzDbf t("bad");
    t.DbfFields.push_back("a, C, 5, 0");
    t.DbfFields.push_back("b, C, 5");
    t.SetDbfFileName(file);
    t.SetActive(true);
  };
  EXPECT_EXIT(open_bad(), ::testing::ExitedWithCode(2),
              "warning: Could not create '" + file + "'(.|\n)*Error # 2 ");
  EXPECT_FALSE(FileExistsName(file));
}

TEST_F(TableComponentTest, TypedAccessConvertsAndChecksTheFieldKind) {
  TTzDbf t("typed");
  t.DbfFields = {"n, N, 3, 0", "c, C, 12, 0", "l, L, 1, 0", "f, N, 6, 2", "d, D, 8, 0"};
  t.SetDbfFileName(dir_.File("typed.dbf"));
  t.SetActive(true);
  t.ClearRecord();
  t.SetLongField("n", 7);
  t.SetCField("c", "DMC");
  t.SetLField("l", true);
  t.Append();
  EXPECT_EQ(t.GetField("n"), "  7");
  EXPECT_EQ(t.GetField("c"), "DMC         ");
  EXPECT_EQ(t.GetField("l"), "Y");
  EXPECT_EQ(t.GetField("f"), "  0.00");
  EXPECT_EQ(t.GetField("d"), "  /  /  ");
  EXPECT_EQ(t.GetLongField("N"), 7) << "names ignore letter case";
  t.SetCField("c", "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(t.GetField("c"), "ABCDEFGHIJKL") << "cut to the field";

  ErrorCapture errors;
  EXPECT_EQ(t.GetField("nope"), "");
  EXPECT_EQ(errors.last().code, 220);
  EXPECT_EQ(errors.last().detail,
            "Field 'nope' not in '" + Area(t.WorkAreaNumber())->file_name + "' [GetField]");
  EXPECT_FALSE(t.GetLField("c"));
  EXPECT_EQ(errors.last().detail,
            "'GetLField()' expects field 'c' to be of type:\r\n'logical'.'c' actually is: "
            "'Character'");
  t.SetLongField("f", 3);
  EXPECT_EQ(errors.last().detail,
            "'SetLongField()' expects field 'f' to be of type:\r\n'numeric, without "
            "decimals'.'f' actually is: 'Numeric, width: 6 decimals: 2'");
  EXPECT_EQ(t.GetField("f"), "  0.00") << "the setter changed nothing";
}

TEST_F(TableComponentTest, GetLongFieldOnACharacterFieldEndsTheProgram) {
  auto t = Stash();
  EXPECT_EXIT(
      {
        SetErrorHandler(nullptr);
        t->GetLongField("m_company");
      },
      ::testing::ExitedWithCode(220),
      "'GetLongField\\(\\)' expects field 'm_company' to be of type:\r\n'numeric, without "
      "decimals'.'m_company' actually is: 'Character'");
}

TEST_F(TableComponentTest, AnOperationOnAClosedTableEndsTheProgramEvenWithCheckingOff) {
  TTzDbf t("closed");
  EXPECT_EXIT(
      {
        SetErrorHandler(nullptr);
        SetErrorChecking(false);
        t.GoTop();
      },
      ::testing::ExitedWithCode(1103 & 0xFF), "Database is not open \\[closed.GoTop\\]");
}

TEST_F(TableComponentTest, NamesMustBeGivenAndUniqueInTheirFirstTenCharacters) {
  TTzDbf a("manthread1");
  TTzDbf b("other");
  WarningCapture warnings;
  b.SetName("MANTHREAD1xyz");
  EXPECT_EQ(b.Name(), "other");
  b.SetName("  ");
  EXPECT_EQ(b.Name(), "other");
  ASSERT_EQ(warnings.warnings.size(), 2u);
  EXPECT_EQ(warnings.warnings[0],
            "The first 10 characters of Name property\r\nmust be unique, since this part\r\nof "
            "the name is used as an ALIAS.");
  EXPECT_EQ(warnings.warnings[1], "This field cannot be left empty!");
  b.SetName("manthread2");
  EXPECT_EQ(b.Name(), "manthread2");
}

TEST_F(TableComponentTest, FieldNamesViewsCannotUseRaiseTheEngineException) {
  struct Case {
    std::vector<DbfFieldSpec> fields;
    std::string text;
  };
  const Case cases[] = {
      {{{"a-b", 'C', 3, 0}}, "Invalid field name 'a-b'"},
      {{{"1st", 'C', 3, 0}}, "Invalid field name '1st'"},
      {{{"x", 'C', 3, 0}, {"X", 'N', 3, 0}}, "Duplicate field name 'x'"},
  };
  int i = 0;
  for (const Case& c : cases) {
    std::string file = dir_.File("odd" + std::to_string(i++) + ".dbf");
    ASSERT_TRUE(CreateDBF(file, c.fields));
    TTzDbf t("odd");
    t.SetDbfFileName(file);
    try {
      t.SetActive(true);
      ADD_FAILURE() << c.text;
    } catch (const ETableError& e) {
      EXPECT_EQ(e.what(), c.text);
    }
    EXPECT_FALSE(t.IsOpen()) << "nothing is left half open";
    EXPECT_EQ(CurrentArea(), nullptr);
  }
}

TEST_F(TableComponentTest, ActiveIsRememberedUntilLoaded) {
  TTzDbf t("late");
  t.DbfFields = kStashFields;
  t.SetLoading();
  t.SetDbfFileName(dir_.File("late.dbf"));
  t.SetActive(true);
  EXPECT_TRUE(t.Active()) << "the remembered value before loading";
  EXPECT_FALSE(t.IsOpen());
  t.Loaded();
  EXPECT_TRUE(t.IsOpen());
  t.SetActive(false);
  EXPECT_FALSE(t.Active());
}

TEST_F(TableComponentTest, ANewFileNameReopensTheTable) {
  auto t = Stash("params");
  AddThread(*t, "OSTRA", "1", 1);
  std::string other = dir_.File("params.new");
  {
    TTzDbf maker("maker");
    maker.DbfFields = {"perc_limit, N, 3, 0"};
    maker.SetDbfFileName(other);
    maker.SetActive(true);
    maker.ClearRecord();
    maker.SetLongField("perc_limit", 12);
    maker.Append();
  }
  t->SetDbfFileName(other);
  ASSERT_TRUE(t->Active());
  EXPECT_EQ(t->FieldCount(), 1);
  EXPECT_EQ(t->GetLongField("perc_limit"), 12);
  t->SetDbfFileName(dir_.File("noext"));
  EXPECT_EQ(t->DbfFileName(), dir_.File("noext") + ".DBF");
  t->SetDbfFileName("");
  EXPECT_FALSE(t->Active());
}

TEST_F(TableComponentTest, SkipBackAtTheTopDoesNotResyncTheViews) {
  auto t = Stash();
  for (int i = 1; i <= 3; ++i) AddThread(*t, "OSTRA", std::to_string(i), i);
  RecordingView view(2);
  view.SetDataSource(t.get());
  t->GoTop();
  view.events.clear();
  t->Skip(-1);
  EXPECT_TRUE(view.events.empty());
  t->Skip(5);
  EXPECT_FALSE(view.events.empty()) << "past the end the views are told";
}

TEST_F(TableComponentTest, EvaluateGivesTheExpressionAsText) {
  auto t = Stash();
  AddThread(*t, "OSTRA", "1001", 5);
  EXPECT_EQ(t->Evaluate("m_company + m_color"), "OSTRA       1001    ");
  EXPECT_EQ(t->Evaluate("m_onhand * 2"), "        10.00");
  {
    ErrorCapture errors;
    EXPECT_EQ(t->Evaluate("m_onhand +"), "");
  }
  t->Skip(1);
  EXPECT_EQ(t->Evaluate("m_company"), std::string(12, ' ')) << "blank at the end";
}

TEST(TagDefinitionsTest, IndexListLinesAreReadInPairs) {
  std::vector<TagDefinition> d =
      TagDefinitionsFrom({"MNCOMP,F,F,t_company", "", "MNALL,T,T,t_company + t_type", "t_red > 5",
                          "LONGERNAME12,F,T,x", "", "ODD,F,F,y"});
  ASSERT_EQ(d.size(), 3u) << "an odd last line is not a tag";
  EXPECT_EQ(d[0].name, "MNCOMP");
  EXPECT_EQ(d[0].expression, "t_company");
  EXPECT_FALSE(d[0].descending);
  EXPECT_FALSE(d[0].unique);
  EXPECT_TRUE(d[0].condition.empty());
  EXPECT_TRUE(d[1].descending);
  EXPECT_TRUE(d[1].unique);
  EXPECT_EQ(d[1].expression, "t_company + t_type");
  EXPECT_EQ(d[1].condition, "t_red > 5");
  EXPECT_EQ(d[2].name, "LONGERNAME");
}

class ProductionIndexTest : public TableComponentTest {
 protected:
  std::unique_ptr<TTzDbf> Indexed(TCreateIndex mode) {
    auto t = std::make_unique<TTzDbf>("ownspool");
    t->DbfFields = kStashFields;
    t->SetIndexList({"MCO,F,F,m_company + m_color", "", "MCOLOR,F,F,m_color", ""});
    t->CreateIndex = mode;
    t->HideDeletedRecs = true;
    t->SetExclusive(true);
    t->SetDbfFileName(dir_.File("ownspool.svx"));
    t->SetActive(true);
    return t;
  }
  // Appends a record behind the index's back.
  void AppendUnindexed(const std::string& company, const std::string& color) {
    DbfTable t;
    ASSERT_TRUE(OpenDbf(t, dir_.File("ownspool.svx"), true));
    fv::SetText(t, 1, company);
    fv::SetText(t, 4, color);
    GatherRecord(t);
    ASSERT_TRUE(PutDbfRecord(t, t.record_count + 1));
    ASSERT_TRUE(CloseDbf(t));
  }
  std::string Mdx() const { return dir_.File("ownspool.MDX"); }
};

TEST_F(ProductionIndexTest, TheIndexIsBuiltAtOpenAndFollowsTheTags) {
  auto t = Indexed(ciAlways);
  ASSERT_TRUE(FileExistsName(Mdx()));
  EXPECT_TRUE(ProductionIndexFlag(*Area(t->WorkAreaNumber())));
  AddThread(*t, "OSTRA", "1002", 1);
  AddThread(*t, "MADEIRA", "1001", 2);
  AddThread(*t, "OSTRA", "1001", 3);
  EXPECT_EQ(t->CurrentOrder(), 1);
  std::vector<int> order;
  for (t->GoTop(); !t->dEOF(); t->Skip(1)) order.push_back(t->GetLongField("m_onhand"));
  EXPECT_EQ(order, (std::vector<int>{2, 3, 1}));
  EXPECT_TRUE(t->Find("OSTRA       1002"));
  EXPECT_EQ(t->GetLongField("m_onhand"), 1);
  EXPECT_FALSE(t->Find("SULKY"));
  EXPECT_TRUE(t->dEOF());
  t->SetOrderToTag("mcolor");
  EXPECT_EQ(t->CurrentOrder(), 2);
  t->SetOrderTo(0);
  EXPECT_EQ(t->CurrentOrder(), 0);
}

TEST_F(ProductionIndexTest, FindAnswersTheFoundFlagThroughTheResync) {
  auto t = Indexed(ciAlways);
  for (int i = 1; i <= 30; ++i) AddThread(*t, "OSTRA", std::to_string(1000 + i), i);
  RecordingView view(10);
  view.SetDataSource(t.get());
  EXPECT_TRUE(t->Find("OSTRA       1015"));
  EXPECT_EQ(t->GetLongField("m_onhand"), 15);
  EXPECT_FALSE(t->Find("OSTRA       2000"));
}

TEST_F(ProductionIndexTest, EachModeRebuildsWhenItShould) {
  { auto t = Indexed(ciAlways); }
  AppendUnindexed("OSTRA", "1");
  {
    auto t = Indexed(ciNotFound);
    EXPECT_FALSE(t->Find("OSTRA")) << "ciNotFound opens the index as it is";
  }
  {
    auto t = Indexed(ciVerifyHeader);
    EXPECT_FALSE(t->Find("OSTRA")) << "the stored tags equal IndexList";
  }
  {
    auto t = Indexed(ciAlways);
    EXPECT_TRUE(t->Find("OSTRA")) << "ciAlways builds at every open";
  }
  AppendUnindexed("SULKY", "2");
  {
    auto t = std::make_unique<TTzDbf>("ownspool");
    t->SetIndexList({"MCO,F,F,m_company + m_color", "", "MTY,F,F,m_type", ""});
    t->CreateIndex = ciVerifyHeader;
    t->SetDbfFileName(dir_.File("ownspool.svx"));
    t->SetActive(true);
    EXPECT_TRUE(t->Find("SULKY")) << "another tag list is built again";
  }
}

TEST_F(ProductionIndexTest, ADamagedIndexIsRebuiltSilentlyUnderNotFound) {
  { auto t = Indexed(ciAlways); AddThread(*t, "OSTRA", "7", 7); }
  for (size_t cut : {size_t{0}, size_t{100}, size_t{3071}}) {
    std::vector<uint8_t> b = svtest::ReadBytes(Mdx());
    if (cut == 100) {
      for (size_t i = 512; i < b.size(); i += 7) b[i] ^= 0x5A;
    } else {
      b.resize(cut);
    }
    svtest::WriteBytes(Mdx(), b);
    ErrorCapture errors;
    auto t = Indexed(ciNotFound);
    EXPECT_TRUE(errors.empty()) << cut;
    EXPECT_TRUE(t->Find("OSTRA")) << cut;
  }
}

TEST_F(ProductionIndexTest, ASemaphoreDatedTodayKeepsTheIndexAsItIs) {
  { auto t = Indexed(ciAlways); }
  AppendUnindexed("OSTRA", "1");
  svtest::WriteBytes(dir_.File("ownspool.@S@"), {});
  {
    auto t = Indexed(ciAlways);
    EXPECT_FALSE(t->Find("OSTRA"));
  }
}

TEST_F(ProductionIndexTest, RefusingToMakeTheIndexClearsTheFlag) {
  auto t = std::make_unique<TTzDbf>("ownspool");
  t->DbfFields = kStashFields;
  t->SetIndexList({"MCO,F,F,m_company + m_color", ""});
  t->CreateIndex = ciAlways;
  std::vector<std::string> called;
  t->OnBeforeMakeIndex = [&called](TTzDbf*, const std::string& name, bool& can_make) {
    called.push_back(name);
    can_make = false;
  };
  t->SetDbfFileName(dir_.File("ownspool.svx"));
  t->SetActive(true);
  ASSERT_EQ(called.size(), 1u);
  EXPECT_FALSE(ProductionIndexFlag(*Area(t->WorkAreaNumber())));
  EXPECT_FALSE(FileExistsName(Mdx()));
  EXPECT_EQ(t->CurrentOrder(), 0);
}

}  // namespace
}  // namespace sv
