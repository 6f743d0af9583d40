// The shipped tables as svbuild builds them at build time, and svbuild itself
// on small charts.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <tuple>

#include "engine/dbf_table.h"
#include "engine/error.h"
#include "match/palette_list.h"
#include "match/source_key.h"
#include "support/text.h"
#include "testlib/error_capture.h"
#include "testlib/run_tool.h"
#include "testlib/temp_dir.h"

namespace sv {
namespace {

const std::string kShipped = SV_SHIPPED_DATA_DIR;

struct FieldLayout {
  const char* name;
  char type;
  int length;
};

std::string Text(const DbfTable& t, int n) {
  const DbfFieldDef& f = t.field(n);
  return std::string(reinterpret_cast<const char*>(t.record.data()) + f.offset, f.length);
}

void ExpectFields(const DbfTable& t, const std::vector<FieldLayout>& want) {
  ASSERT_GE(t.field_count, static_cast<int>(want.size()));
  for (size_t i = 0; i < want.size(); ++i) {
    const DbfFieldDef& f = t.field(static_cast<int>(i) + 1);
    SCOPED_TRACE(want[i].name);
    EXPECT_EQ(f.Name(), want[i].name);
    EXPECT_EQ(f.type, want[i].type);
    EXPECT_EQ(f.length, want[i].length);
    EXPECT_EQ(f.decimals, 0);
  }
}

const std::vector<FieldLayout> kThreadLayout = {
    {"T_COMPANY", 'C', 12}, {"T_TYPE", 'C', 12}, {"T_NAME", 'C', 20}, {"T_COLOR", 'C', 8},
    {"T_RED", 'N', 3},      {"T_GREEN", 'N', 3}, {"T_BLUE", 'N', 3},
};

using ThreadKey = std::tuple<std::string, std::string, std::string>;

// Company, type and colour number of every OSTRA record, in file order.
std::vector<std::vector<std::string>> OwnThreads(DbfTable& t) {
  std::vector<std::vector<std::string>> own;
  for (int32_t n = 1; n <= t.record_count; ++n) {
    EXPECT_TRUE(GetDbfRecord(t, n));
    if (TrimRightText(Text(t, 1)) != "OSTRA") continue;
    std::vector<std::string> fields;
    for (int f = 1; f <= 7; ++f) fields.push_back(Text(t, f));
    own.push_back(fields);
  }
  return own;
}

TEST(ShippedTablesTest, MasterTableFollowsTheKeyRules) {
  DbfTable t;
  ASSERT_TRUE(OpenDbf(t, kShipped + "/mnthread.svx", true));
  ASSERT_EQ(t.field_count, 7);
  ExpectFields(t, kThreadLayout);

  std::set<std::string> companies = {"OSTRA", "ARC"};
  for (std::string_view entry : kPaletteList) {
    if (!IsArcRequest(entry)) companies.insert(SourceCompany(entry));
  }
  std::set<ThreadKey> seen;
  std::set<std::string> found_companies;
  int own = 0;
  for (int32_t n = 1; n <= t.record_count; ++n) {
    ASSERT_TRUE(GetDbfRecord(t, n));
    const std::string company = Text(t, 1), type = Text(t, 2), name = Text(t, 3),
                      color = Text(t, 4);
    SCOPED_TRACE(company + type + color);
    EXPECT_EQ(t.record[0], ' ');
    std::string bare = TrimRightText(company);
    EXPECT_TRUE(companies.count(bare) || companies.count(company)) << "unknown company";
    found_companies.insert(bare);
    if (bare == "ARC") {
      EXPECT_TRUE(TrimRightText(type) == "POLY" || TrimRightText(type) == "RAYON");
    }
    if (bare == "OSTRA") ++own;
    EXPECT_FALSE(TrimRightText(type).empty());
    // Upper case, left-aligned, not empty.
    EXPECT_NE(color[0], ' ');
    EXPECT_EQ(UpperText(color), color);
    EXPECT_EQ(UpperText(name), name);
    EXPECT_EQ(UpperText(type), type);
    for (int f = 5; f <= 7; ++f) {
      const std::string v = Text(t, f);
      EXPECT_NE(v.back(), ' ');
      int value = std::stoi(v);
      EXPECT_TRUE(value >= 0 && value <= 255) << v;
    }
    EXPECT_TRUE(seen.emplace(company, type, color).second) << "repeated thread";
  }
  EXPECT_GE(own, 250);
  EXPECT_LE(own, 350);
  // Names longer than the field are cut to 12, not dropped.
  EXPECT_TRUE(found_companies.count("ROBISON-ANTO"));
  EXPECT_TRUE(found_companies.count("MADEIRA"));
  EXPECT_TRUE(found_companies.count("ARC"));
}

TEST(ShippedTablesTest, SelectionListHoldsTheOwnLine) {
  DbfTable master, selection;
  ASSERT_TRUE(OpenDbf(master, kShipped + "/mnthread.svx", true));
  ASSERT_TRUE(OpenDbf(selection, kShipped + "/inthread.svx", true));
  std::vector<FieldLayout> layout = kThreadLayout;
  layout.push_back({"INSTASH", 'L', 1});
  layout.push_back({"ADD_QTY", 'L', 1});
  ASSERT_EQ(selection.field_count, 9);
  ExpectFields(selection, layout);

  std::vector<std::vector<std::string>> own = OwnThreads(master);
  ASSERT_EQ(selection.record_count, static_cast<int32_t>(own.size()));
  for (int32_t n = 1; n <= selection.record_count; ++n) {
    ASSERT_TRUE(GetDbfRecord(selection, n));
    for (int f = 1; f <= 7; ++f) EXPECT_EQ(Text(selection, f), own[n - 1][f - 1]);
    EXPECT_EQ(Text(selection, 8), "F");
    EXPECT_EQ(Text(selection, 9), "F");
  }
}

TEST(ShippedTablesTest, SettingsTableHoldsOneRecord) {
  DbfTable t;
  ASSERT_TRUE(OpenDbf(t, kShipped + "/params.svx", true));
  ExpectFields(t, {{"PERC_LIMIT", 'N', 3}, {"FULLPAGE", 'C', 65}, {"BIAS", 'N', 1},
                   {"R_BIAS", 'N', 3},     {"G_BIAS", 'N', 3},    {"B_BIAS", 'N', 3},
                   {"P_COLOR1", 'N', 10},  {"P_COLOR2", 'N', 10}, {"GHF_COLOR", 'N', 10},
                   {"GF_COLOR", 'N', 10},  {"GB_COLOR", 'N', 10}, {"CLEAR_FLAG", 'L', 1},
                   {"CLEARKEEP", 'N', 1},  {"STASHONLY", 'L', 1}, {"ANC_FLOSS", 'L', 1}});
  // 58 line flags, show_qty, 48 more line flags.
  ASSERT_EQ(t.field_count, 121);
  struct Landmark {
    int n;
    const char* name;
  } landmarks[] = {{16, "ANGEL"}, {72, "WONDRAYON"}, {73, "SHOW_QTY"}, {74, "ULTIMA"},
                   {89, "FLORRAYON"}, {119, "MADFROST"}, {120, "DZNSBYSICK"}, {121, "OSTRA"}};
  for (const Landmark& l : landmarks) EXPECT_EQ(t.field(l.n).Name(), l.name);
  for (int n = 15; n <= 121; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(t.field(n).type, n == 73 ? 'N' : 'L');
    EXPECT_EQ(t.field(n).length, 1);
  }

  ASSERT_EQ(t.record_count, 1);
  ASSERT_TRUE(GetDbfRecord(t, 1));
  ScatterRecord(t);
  EXPECT_FALSE(fv::Deleted(t));
  EXPECT_EQ(fv::Int(t, 1), 10);
  EXPECT_EQ(Text(t, 1), " 10");
  EXPECT_EQ(Text(t, 2), std::string(65, ' '));
  for (int n = 3; n <= 121; ++n) {
    SCOPED_TRACE(t.field(n).Name());
    if (t.field(n).type == 'L') {
      EXPECT_EQ(Text(t, n), "F");
    } else {
      EXPECT_EQ(TrimText(Text(t, n)), "0");
    }
  }
}

class SvbuildTest : public ::testing::Test {
 protected:
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_.File(name), std::ios::binary) << text;
  }
  svtest::ToolRun Build() {
    return svtest::RunTool("svbuild", {"--charts", dir_.path(), "--map", dir_.File("map.txt"),
                                       "--out", dir_.path()});
  }

  svtest::TempDir dir_;
};

TEST_F(SvbuildTest, ConvertsCutsAndDropsRepeatedNumbers) {
  Write("line.gpl",
        "GIMP Palette\n"
        "10 20 30 Cr\xC3\xA9pe   p101\n"
        "40 50 60 A Name Longer Than Twenty Letters  123456789\n"
        "70 80 90 Again  P101\n");
  Write("own.gpl", "GIMP Palette\n1 2 3 Own  1001\n");
  Write("map.txt",
        "line.gpl | Madeira | poly\n"
        "own.gpl | OSTRA | POLY\n");
  svtest::ToolRun run = Build();
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("line.gpl: dropped 1 repeated colour number"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find(": P101"), std::string::npos) << run.err;

  DbfTable t;
  ASSERT_TRUE(OpenDbf(t, dir_.File("mnthread.svx"), true));
  ASSERT_EQ(t.record_count, 3);
  ASSERT_TRUE(GetDbfRecord(t, 1));
  EXPECT_EQ(Text(t, 1), "MADEIRA     ");
  EXPECT_EQ(Text(t, 2), "POLY        ");
  EXPECT_EQ(Text(t, 3), "CR\xC9PE" + std::string(15, ' '));  // ANSI E acute
  EXPECT_EQ(Text(t, 4), "P101    ");
  EXPECT_EQ(Text(t, 5) + Text(t, 6) + Text(t, 7), " 10 20 30");
  ASSERT_TRUE(GetDbfRecord(t, 2));
  EXPECT_EQ(Text(t, 3), "A NAME LONGER THAN T");
  EXPECT_EQ(Text(t, 4), "12345678");
  ASSERT_TRUE(GetDbfRecord(t, 3));
  EXPECT_EQ(Text(t, 1), "OSTRA       ");

  // The file holds OEM text: E acute is 0x90 in code page 437.
  std::vector<uint8_t> bytes = svtest::ReadBytes(dir_.File("mnthread.svx"));
  std::string raw(bytes.begin(), bytes.end());
  EXPECT_NE(raw.find("CR\x90PE"), std::string::npos);

  DbfTable own;
  ASSERT_TRUE(OpenDbf(own, dir_.File("inthread.svx"), true));
  EXPECT_EQ(own.record_count, 1);
}

TEST_F(SvbuildTest, FailsClearlyOnBadInput) {
  Write("own.gpl", "GIMP Palette\n1 2 3 Own  1001\n");
  Write("bad.gpl", "GIMP Palette\n1 2 300 Own  1001\n");
  struct Case {
    const char* map;
    const char* message;
  };
  const Case cases[] = {
      {"missing.gpl | Madeira | POLY\nown.gpl | OSTRA | POLY\n", "missing.gpl"},
      {"bad.gpl | Madeira | POLY\nown.gpl | OSTRA | POLY\n", "bad.gpl line 2"},
      {"own.gpl | OSTRA | POLY\nown.gpl | Madeira\n", "map.txt line 2"},
      {"own.gpl | Madeira | POLY\n", "maps no chart to OSTRA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.map);
    Write("map.txt", c.map);
    svtest::ToolRun run = Build();
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_FALSE(std::ifstream(dir_.File("mnthread.svx")).good());
  }
  svtest::ToolRun run = svtest::RunTool("svbuild", {"--charts", dir_.path()});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("usage:"), std::string::npos);
}

}  // namespace
}  // namespace sv
