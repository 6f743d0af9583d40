// svx against copies of the shipped tables.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "engine/dbf_table.h"
#include "testlib/run_tool.h"
#include "testlib/temp_dir.h"

namespace sv {
namespace {

using svtest::RunTool;
using svtest::ToolRun;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

class SvxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"mnthread.svx", "inthread.svx", "params.svx"}) {
      std::filesystem::copy_file(std::string(SV_SHIPPED_DATA_DIR) + "/" + name, dir_.File(name));
    }
  }
  ToolRun Svx(std::vector<std::string> args) { return RunTool("svx", args); }
  std::string Master() const { return dir_.File("mnthread.svx"); }

  svtest::TempDir dir_;
};

TEST_F(SvxTest, InfoShowsTheHeaderFieldsAndTags) {
  ToolRun r = Svx({"info", Master()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Records: "), std::string::npos);
  EXPECT_NE(r.out.find("Record: 62 bytes  Fields: 7"), std::string::npos);
  EXPECT_NE(r.out.find("  5  T_RED       N        3    0      53"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("no production index"), std::string::npos);

  ASSERT_EQ(Svx({"index", Master(), "--program"}).status, 0);
  r = Svx({"info", Master()});
  EXPECT_NE(r.out.find("Production index: yes"), std::string::npos);
  EXPECT_NE(r.out.find("  2  MNCOCOL     C      20  --     t_company + t_color"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("  6  MNALL       C      32  --     t_company + t_type + t_color"),
            std::string::npos);
}

TEST_F(SvxTest, IndexFromTagDefinitionsAndFind) {
  ToolRun r = Svx({"index", Master(), "RED,T,F,str(t_red,3)", "OWN,F,F,t_color;t_company = \"OSTRA\""});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("RED         C       3  D-     str(t_red,3)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("FOR t_company = \"OSTRA\""), std::string::npos);

  r = Svx({"find", Master(), "OWN", "1001"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("found: record ", 0), 0u) << r.out;
  r = Svx({"find", Master(), "2", "9999"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "not found: end of file\n");

  r = Svx({"list", Master(), "--order", "RED", "--tsv"});
  ASSERT_EQ(r.status, 0);
  std::vector<std::string> lines = Lines(r.out);
  ASSERT_FALSE(lines.empty());
  int previous = 256;
  for (const std::string& line : lines) {
    std::vector<std::string> cells;
    std::istringstream in(line);
    for (std::string cell; std::getline(in, cell, '\t');) cells.push_back(cell);
    ASSERT_EQ(cells.size(), 9u) << line;
    int red = std::stoi(cells[6]);
    EXPECT_LE(red, previous) << "descending tag";
    previous = red;
  }
}

TEST_F(SvxTest, ListShowsVisibleRecordsAndMarksDeletedOnesWithAll) {
  {
    DbfTable t;
    ASSERT_TRUE(OpenDbf(t, dir_.File("inthread.svx"), true));
    ASSERT_TRUE(GetDbfRecord(t, 2));
    t.record[0] = '*';
    ASSERT_TRUE(PutDbfDeletionFlag(t, 2));
  }
  ToolRun visible = Svx({"list", dir_.File("inthread.svx"), "--tsv"});
  ToolRun all = Svx({"list", dir_.File("inthread.svx"), "--tsv", "--all"});
  ASSERT_EQ(visible.status, 0) << visible.err;
  std::vector<std::string> v = Lines(visible.out), a = Lines(all.out);
  ASSERT_EQ(a.size(), v.size() + 1);
  EXPECT_EQ(a[1].substr(0, 4), "2\t*\t");
  EXPECT_EQ(v[1].substr(0, 4), "3\t \t");
  EXPECT_EQ(a[0].substr(0, 13), "1\t \tOSTRA\tPOL") << "texts trimmed on the right";

  ToolRun table = Svx({"list", dir_.File("params.svx")});
  ASSERT_EQ(table.status, 0);
  EXPECT_NE(table.out.find("perc_limit"), std::string::npos);
  EXPECT_NE(table.out.find("1 record\n"), std::string::npos);
}

TEST_F(SvxTest, EvalGivesTheTextOfEachVisibleRecord) {
  ToolRun r = Svx({"eval", dir_.File("params.svx"), "str(perc_limit,3) + '%'"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, " 10%\n");
  r = Svx({"eval", Master(), "t_color", "--filter", "t_company = 'OSTRA' .and. t_color = '1001'"});
  EXPECT_EQ(r.out, "1001    \n");
}

TEST_F(SvxTest, CheckFindsADamagedIndex) {
  ASSERT_EQ(Svx({"index", Master(), "--program"}).status, 0);
  ToolRun ok = Svx({"check", Master()});
  EXPECT_EQ(ok.status, 0) << ok.out;
  EXPECT_EQ(ok.out.rfind("OK: 6 tags agree with ", 0), 0u) << ok.out;

  // Swap the record numbers of two entries in the first leaf of MNCOCOL
  // (tag 2, entry length 24), whose keys all differ.
  std::string mdx = dir_.File("mnthread.MDX");
  std::vector<uint8_t> b = svtest::ReadBytes(mdx);
  const size_t kEntry = 24;
  size_t node = dbf::Get32(&b[dbf::Get32(&b[512 + 2 * 32]) * 512]) * 512;
  while (dbf::Get32(&b[node + 8 + dbf::Get16(&b[node]) * kEntry]) != 0) {
    node = dbf::Get32(&b[node + 8]) * 512;  // the leftmost child
  }
  std::swap_ranges(&b[node + 8], &b[node + 12], &b[node + 8 + kEntry]);
  svtest::WriteBytes(mdx, b);
  ToolRun bad = Svx({"check", Master()});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.out.find("FAILED: "), std::string::npos) << bad.out;
}

TEST_F(SvxTest, ErrorsPrintTheEngineTextAndExitWithItsCode) {
  ToolRun r = Svx({"list", Master(), "--filter", "t_red >"});
  EXPECT_EQ(r.status, 351 & 0xFF);
  EXPECT_NE(r.err.find("Error # 351 (Undefined error)"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Error in expression : Syntax error"), std::string::npos);

  r = Svx({"find", Master(), "1", "X"});
  EXPECT_EQ(r.status, 221) << "no index open";
  EXPECT_NE(r.err.find("Index not open."), std::string::npos) << r.err;

  svtest::WriteBytes(dir_.File("broken.svx"), {0x30, 1, 2});
  r = Svx({"info", dir_.File("broken.svx")});
  EXPECT_EQ(r.status, 210);
  EXPECT_NE(r.err.find("Prolog is less than 32 bytes"), std::string::npos) << r.err;

  EXPECT_EQ(Svx({"list"}).status, 2);
  EXPECT_EQ(Svx({"frob", Master()}).status, 2);
  EXPECT_EQ(Svx({"index", Master()}).status, 2);
  EXPECT_EQ(Svx({"index", dir_.File("nothing.svx"), "--program"}).status, 2);
}

}  // namespace
}  // namespace sv
