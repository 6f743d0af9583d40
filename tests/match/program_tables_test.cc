#include "match/program_tables.h"

#include <gtest/gtest.h>

#include "engine/work_area.h"
#include "support/files.h"
#include "testlib/temp_dir.h"

namespace sv {
namespace {

TEST(ProgramTablesTest, EveryTableOpensInDeclarationOrderWithItsLayout) {
  svtest::TempDir dir;
  svtest::ScopedChdir here(dir.path());
  CloseAllAreas();
  {
    ProgramTables tables;
    const auto& declarations = ProgramTableDeclarations();
    ASSERT_EQ(tables.All().size(), 13u);
    for (size_t i = 0; i < declarations.size(); ++i) {
      EXPECT_EQ(tables.All()[i]->Name(), declarations[i].component);
      EXPECT_FALSE(tables.All()[i]->IsOpen()) << "nothing opens before the window is loaded";
    }
    tables.OpenAll();
    for (size_t i = 0; i < declarations.size(); ++i) {
      TTzDbf& t = *tables.All()[i];
      ASSERT_TRUE(t.IsOpen()) << declarations[i].file_name;
      EXPECT_EQ(t.WorkAreaNumber(), static_cast<int>(i) + 1) << "opened in the listed order";
      EXPECT_EQ(t.FieldCount(), static_cast<int>(declarations[i].fields.size()));
      EXPECT_TRUE(FileExistsName(declarations[i].file_name));
    }
    EXPECT_EQ(tables.params.FieldCount(), 121);
    EXPECT_EQ(tables.params.Field(121), "OSTRA");
    EXPECT_EQ(tables.results.Field(18), "COLORCHIP");
    EXPECT_EQ(tables.matches.FieldCount(), 17);
    EXPECT_EQ(Area(tables.manthread.WorkAreaNumber())->record_length, 62);
  }
  EXPECT_EQ(Area(1), nullptr) << "the tables close with their components";
}

TEST(ProgramTablesTest, DeclarationsAreFoundByFileName) {
  ASSERT_NE(FindTableDeclaration("/data/MNTHREAD.SVX"), nullptr);
  EXPECT_EQ(FindTableDeclaration("mnthread.svx")->component, "manthread");
  EXPECT_EQ(FindTableDeclaration("ownspool.svx")->index_list.size(), 14u);
  EXPECT_EQ(FindTableDeclaration("nothing.svx"), nullptr);
}

}  // namespace
}  // namespace sv
