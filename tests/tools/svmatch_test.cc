// svmatch against the shipped tables, checked with an independent reading of
// the master table and the colour functions.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "engine/dbf_table.h"
#include "match/colour.h"
#include "match/program_tables.h"
#include "support/text.h"
#include "testlib/run_tool.h"
#include "testlib/temp_dir.h"

namespace sv {
namespace {

const std::string kShipped = SV_SHIPPED_DATA_DIR;

struct Thread {
  std::string company, type, name, color;  // trimmed
  int r = 0, g = 0, b = 0;
};

std::string FieldText(const DbfTable& t, int n) {
  const DbfFieldDef& f = t.field(n);
  return TrimRightText(
      std::string_view(reinterpret_cast<const char*>(t.record.data()) + f.offset, f.length));
}

const std::vector<Thread>& Master() {
  static const std::vector<Thread> threads = [] {
    std::vector<Thread> all;
    DbfTable t;
    EXPECT_TRUE(OpenDbf(t, kShipped + "/mnthread.svx", true));
    for (int32_t n = 1; n <= t.record_count; ++n) {
      EXPECT_TRUE(GetDbfRecord(t, n));
      all.push_back({FieldText(t, 1), FieldText(t, 2), FieldText(t, 3), FieldText(t, 4),
                     std::stoi(FieldText(t, 5)), std::stoi(FieldText(t, 6)),
                     std::stoi(FieldText(t, 7))});
    }
    return all;
  }();
  return threads;
}

const Thread* FindThread(const std::string& company, const std::string& type,
                         const std::string& color) {
  for (const Thread& t : Master()) {
    if (t.company == company && (type.empty() || t.type == type) && t.color == color) return &t;
  }
  return nullptr;
}

struct Line {
  int match;
  std::string color, name, type;
  int r, g, b;
};

std::vector<Line> ParseTsv(const std::string& out) {
  std::vector<Line> lines;
  std::istringstream in(out);
  std::string text;
  while (std::getline(in, text)) {
    std::vector<std::string> f;
    std::istringstream cells(text);
    for (std::string cell; std::getline(cells, cell, '\t');) f.push_back(cell);
    EXPECT_EQ(f.size(), 5u) << text;
    if (f.size() != 5) continue;
    Line l{std::stoi(f[0]), f[1], f[2], f[3], 0, 0, 0};
    EXPECT_EQ(std::sscanf(f[4].c_str(), "%d,%d,%d", &l.r, &l.g, &l.b), 3) << text;
    lines.push_back(l);
  }
  return lines;
}

// What the match must list: every OSTRA thread within the tolerance.
std::multiset<std::string> Expected(const Thread& source, int tolerance) {
  std::multiset<std::string> colors;
  const Lab lab = ToLab(source.r, source.g, source.b);
  for (const Thread& t : Master()) {
    if (t.company == "OSTRA" && MatchValue(Difference(lab, ToLab(t.r, t.g, t.b))) <= tolerance) {
      colors.insert(t.color);
    }
  }
  return colors;
}

void ExpectListing(const std::vector<Line>& lines, const Thread& source, int tolerance) {
  const Lab lab = ToLab(source.r, source.g, source.b);
  std::multiset<std::string> listed;
  for (size_t i = 0; i < lines.size(); ++i) {
    const Line& l = lines[i];
    SCOPED_TRACE(l.color);
    EXPECT_LE(l.match, tolerance);
    EXPECT_EQ(l.match, MatchValue(Difference(lab, ToLab(l.r, l.g, l.b))));
    const Thread* t = FindThread("OSTRA", l.type, l.color);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->name, l.name);
    EXPECT_EQ(std::make_tuple(t->r, t->g, t->b), std::make_tuple(l.r, l.g, l.b));
    listed.insert(l.color);
    if (i > 0) {
      const Line& p = lines[i - 1];
      std::string a = p.color, b = l.color;
      a.resize(8, ' ');
      b.resize(8, ' ');
      EXPECT_TRUE(p.match < l.match || (p.match == l.match && a <= b)) << "out of order";
    }
  }
  EXPECT_EQ(listed, Expected(source, tolerance));
}

svtest::ToolRun Svmatch(std::vector<std::string> args) {
  args.insert(args.begin(), {"--data", kShipped});
  return svtest::RunTool("svmatch", args);
}

TEST(SvmatchTest, ListsEveryOwnThreadWithinTheTolerance) {
  const Thread* source = FindThread("MADEIRA", "", "1000");
  ASSERT_NE(source, nullptr);
  svtest::ToolRun run = Svmatch({"--palette", "Madeira", "--number", "1000", "--tolerance", "14",
                                 "--tsv"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<Line> lines = ParseTsv(run.out);
  ASSERT_GT(lines.size(), 1u);
  ExpectListing(lines, *source, 14);

  // The default tolerance is perc_limit of the shipped settings, 10.
  run = Svmatch({"--palette", "madeira", "--number", " 1000", "--tsv"});
  ASSERT_EQ(run.status, 0) << run.err;
  ExpectListing(ParseTsv(run.out), *source, 10);

  // The table names the source and titles its columns.
  run = Svmatch({"--palette", "Madeira", "--number", "1000", "--tolerance", "14"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::istringstream table(run.out);
  std::string first, blank, titles;
  std::getline(table, first);
  std::getline(table, blank);
  std::getline(table, titles);
  EXPECT_EQ(first.rfind("Source: MADEIRA 1000 (RAYON, ", 0), 0u) << first;
  EXPECT_NE(first.find("tolerance 14"), std::string::npos) << first;
  for (const char* title : {"%", "#", "NAME", "TYPE", "RGB"}) {
    EXPECT_NE(titles.find(title), std::string::npos) << titles;
  }
  size_t rows = 0;
  for (std::string row; std::getline(table, row);) ++rows;
  EXPECT_EQ(rows, lines.size());
}

TEST(SvmatchTest, ArcSourcesAreFoundByTheirType) {
  // A number both ARC lines carry, with different colours.
  const Thread* rayon = nullptr;
  const Thread* poly = nullptr;
  for (const Thread& t : Master()) {
    if (t.company != "ARC" || t.type != "RAYON") continue;
    const Thread* p = FindThread("ARC", "POLY", t.color);
    if (p != nullptr && std::make_tuple(p->r, p->g, p->b) != std::make_tuple(t.r, t.g, t.b)) {
      rayon = &t;
      poly = p;
      break;
    }
  }
  ASSERT_NE(rayon, nullptr);
  for (const Thread* source : {rayon, poly}) {
    SCOPED_TRACE(source->type);
    const std::string palette = source == rayon ? "ARC Rayon" : "ARC Poly";
    svtest::ToolRun run = Svmatch({"--palette", palette, "--number", source->color,
                                   "--tolerance", "30", "--tsv"});
    ASSERT_EQ(run.status, 0) << run.err;
    ExpectListing(ParseTsv(run.out), *source, 30);
  }
}

TEST(SvmatchTest, ColourDialogSources) {
  const Thread* own = FindThread("OSTRA", "", "1001");
  ASSERT_NE(own, nullptr);
  const std::string rgb =
      std::to_string(own->r) + "," + std::to_string(own->g) + "," + std::to_string(own->b);
  svtest::ToolRun run = Svmatch({"--rgb", rgb, "--tolerance", "8", "--tsv"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<Line> lines = ParseTsv(run.out);
  ExpectListing(lines, *own, 8);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].match, 0);

  run = Svmatch({"--rgb", "255,255,255", "--tolerance", "5"});
  EXPECT_EQ(run.out.rfind("Source: CUSTOMLIST 16777215, RGB 255,255,255", 0), 0u) << run.out;
}

TEST(SvmatchTest, MissingSourcesAndEmptyResults) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {{"--palette", "DMC", "--number", "99999"}, 3, "No Color Info on File\n"},
      {{"--palette", "Madeira", "--number", ""}, 3, "No Color Info on File\n"},
      // ARC threads live under company ARC, never under "ARC RAYON".
      {{"--palette", "ARC Rayon", "--number", "NOSUCH"}, 3, "No Color Info on File\n"},
      {{"--rgb", "0,0,255", "--tolerance", "5"}, 1, "Zero Matches Found at Current Tolerance\n"},
  };
  Thread blue{"", "", "", "", 0, 0, 255};
  ASSERT_TRUE(Expected(blue, 5).empty()) << "the shipped line now has a thread near pure blue";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1]);
    svtest::ToolRun run = Svmatch(c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, c.message);
    EXPECT_EQ(run.out, "");
  }
}

TEST(SvmatchTest, BadArgumentsShowTheUsage) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--palette", "Madeira"},
      {"--number", "1000"},
      {"--palette", "Madera", "--number", "1000"},
      {"--palette", "OSTRA", "--number", "1001"},
      {"--palette", "Madeira", "--number", "1000", "--tolerance", "4"},
      {"--palette", "Madeira", "--number", "1000", "--tolerance", "31"},
      {"--palette", "Madeira", "--number", "1000", "--tolerance", "1x"},
      {"--rgb", "256,0,0"},
      {"--rgb", "1,2"},
      {"--rgb", "1,2,3,4"},
      {"--rgb", "1, 2,3"},
      {"--rgb", "1,2,3", "--palette", "Madeira", "--number", "1000"},
      {"--rgb", "1,2,3", "--rgb", "1,2,3"},
      {"--palette", "Madeira", "--number", "1000", "--colour"},
      {"--tolerance"},
  };
  for (const auto& args : cases) {
    std::string shown;
    for (const std::string& a : args) shown += a + " ";
    SCOPED_TRACE(shown);
    svtest::ToolRun run = Svmatch(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("usage: svmatch"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Royal/Tajima"), std::string::npos);
    EXPECT_EQ(run.out, "");
  }
}

class SvmatchDataTest : public ::testing::Test {
 protected:
  svtest::ToolRun Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--data", dir_.path()});
    return svtest::RunTool("svmatch", args);
  }
  void CopyShipped(const char* name) {
    std::filesystem::copy_file(kShipped + "/" + name, dir_.File(name));
  }

  svtest::TempDir dir_;
};

TEST_F(SvmatchDataTest, SettingsOutsideTheToleranceRange) {
  CopyShipped("mnthread.svx");
  ASSERT_TRUE(CreateDBF(dir_.File("params.svx"), FieldSpecsOf(kParamsFile)));
  DbfTable params;
  ASSERT_TRUE(OpenDbf(params, dir_.File("params.svx"), true));
  fv::SetInt(params, 1, 40);
  GatherRecord(params);
  ASSERT_TRUE(PutDbfRecord(params, 1));
  ASSERT_TRUE(CloseDbf(params));

  svtest::ToolRun run = Run({"--palette", "Madeira", "--number", "1000"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("perc_limit of " + dir_.File("params.svx") + " is 40"), std::string::npos)
      << run.err;
  // Given on the command line, the settings are not read at all.
  run = Run({"--palette", "Madeira", "--number", "1000", "--tolerance", "10"});
  EXPECT_EQ(run.status, 0) << run.err;
}

TEST_F(SvmatchDataTest, DamagedTablesGiveTheEngineErrorText) {
  svtest::ToolRun run = Run({"--rgb", "1,2,3", "--tolerance", "5"});
  EXPECT_EQ(run.status, 4);
  EXPECT_NE(run.err.find("Error # 2 (File not found)\nFailure to open " + dir_.File("mnthread.svx")),
            std::string::npos)
      << run.err;

  svtest::WriteBytes(dir_.File("mnthread.svx"), std::vector<uint8_t>(31, 3));
  run = Run({"--rgb", "1,2,3", "--tolerance", "5"});
  EXPECT_EQ(run.status, 4);
  EXPECT_NE(run.err.find("Error # 210 (Not a dBASE data file)\n" + dir_.File("mnthread.svx") +
                         " is not a dBASE database. (Prolog is less than 32 bytes)"),
            std::string::npos)
      << run.err;
}

TEST_F(SvmatchDataTest, TextIsUtf8OutsideAndAnsiInside) {
  std::ofstream(dir_.File("line.gpl")) << "GIMP Palette\n10 20 30 Source  \xC3\xA9" "1\n";
  std::ofstream(dir_.File("own.gpl")) << "GIMP Palette\n12 20 30 Cr\xC3\xA9pe  1001\n";
  std::ofstream(dir_.File("map.txt")) << "line.gpl | Madeira | POLY\nown.gpl | OSTRA | POLY\n";
  svtest::ToolRun build = svtest::RunTool(
      "svbuild", {"--charts", dir_.path(), "--map", dir_.File("map.txt"), "--out", dir_.path()});
  ASSERT_EQ(build.status, 0) << build.err;

  // The typed number is upper-cased as the colour-number box does: e acute
  // finds the stored E acute.
  svtest::ToolRun run = Run({"--palette", "Madeira", "--number", "\xC3\xA9" "1", "--tsv"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<Line> lines = ParseTsv(run.out);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].name, "CR\xC3\x89PE");
  EXPECT_EQ(lines[0].color, "1001");
  EXPECT_EQ(lines[0].match, 1);
}

}  // namespace
}  // namespace sv
