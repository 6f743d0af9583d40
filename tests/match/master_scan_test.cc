#include "match/master_scan.h"

#include <gtest/gtest.h>

#include "engine/error.h"
#include "match/source_key.h"
#include "match/program_tables.h"
#include "testlib/error_capture.h"
#include "testlib/temp_dir.h"

namespace sv {
namespace {

struct Row {
  const char* company;
  const char* type;
  const char* name;
  const char* color;
  int r, g, b;
  bool deleted = false;
};

class MasterScanTest : public ::testing::Test {
 protected:
  // Writes the rows into a master table and opens it as the program does.
  void Open(const std::vector<Row>& rows) {
    const std::string path = dir_.File("mnthread.svx");
    ASSERT_TRUE(CreateDBF(path, FieldSpecsOf(kManthreadFile)));
    ASSERT_TRUE(OpenDbf(table_, path, true));
    for (const Row& row : rows) {
      fv::SetDeleted(table_, row.deleted);
      fv::SetText(table_, 1, row.company);
      fv::SetText(table_, 2, row.type);
      fv::SetText(table_, 3, row.name);
      fv::SetText(table_, 4, row.color);
      fv::SetInt(table_, 5, row.r);
      fv::SetInt(table_, 6, row.g);
      fv::SetInt(table_, 7, row.b);
      GatherRecord(table_);
      ASSERT_TRUE(PutDbfRecord(table_, table_.record_count + 1));
    }
    std::string missing;
    ASSERT_TRUE(FindMasterFields(table_, &fields_, &missing)) << missing;
  }

  svtest::TempDir dir_;
  DbfTable table_;
  MasterFields fields_;
};

TEST_F(MasterScanTest, FindsTheFirstLiveRecordWithTheKey) {
  Open({
      {"MADEIRA", "RAYON", "GONE", "1000", 1, 1, 1, true},
      {"MADEIRA", "RAYON", "BLACK", "1000", 40, 41, 42},
      {"MADEIRA", "POLY", "OTHER BLACK", "1000", 9, 9, 9},
      {"ARC", "POLY", "WHITE", "10", 236, 244, 251},
      {"ARC", "RAYON", "NAVY", "10", 66, 69, 73},
  });
  SourceThread s;
  ASSERT_TRUE(FindSourceThread(table_, fields_, SourceKey("Madeira", "1000"), false, &s));
  ASSERT_TRUE(s.found);
  EXPECT_EQ(s.name, "BLACK               ");
  EXPECT_EQ(s.colour.red, 40);
  EXPECT_EQ(s.colour.packed, 40 + 256 * 41 + 65536 * 42);
  EXPECT_EQ(s.blue, 42);

  // The ARC key carries the type, so RAYON 10 is not POLY 10.
  ASSERT_TRUE(FindSourceThread(table_, fields_, ArcKey("ARC Rayon", "10"), true, &s));
  ASSERT_TRUE(s.found);
  EXPECT_EQ(s.name.substr(0, 4), "NAVY");
  ASSERT_TRUE(FindSourceThread(table_, fields_, ArcKey("ARC Poly", "10"), true, &s));
  EXPECT_EQ(s.name.substr(0, 5), "WHITE");

  // The number is compared over its whole 8 characters: 100 is not 1000.
  ASSERT_TRUE(FindSourceThread(table_, fields_, SourceKey("Madeira", "100"), false, &s));
  EXPECT_FALSE(s.found);
  ASSERT_TRUE(FindSourceThread(table_, fields_, SourceKey("ARC Rayon", "10"), false, &s));
  EXPECT_FALSE(s.found);
}

TEST_F(MasterScanTest, ListsAcceptedOwnThreadsInResultOrder) {
  Open({
      {"OSTRA", "POLY", "FAR", "1001", 0, 0, 255},
      {"OSTRA", "POLY", "NINE", "9", 250, 10, 10},
      {"MADEIRA", "RAYON", "SAME", "1", 255, 0, 0},
      {"OSTRA", "POLY", "TEN", "10", 250, 10, 10},
      {"OSTRA", "POLY", "DELETED", "11", 255, 0, 0, true},
      {"OSTRA", "POLY", "EXACT", "2000", 255, 0, 0},
      {"OSTRA", "POLY", "NEAR", "1", 250, 10, 10},
  });
  std::vector<MatchLine> lines;
  int32_t scanned = 0;
  ASSERT_TRUE(ScanMasterTable(table_, fields_, ToLab(255, 0, 0), 10, &lines, &scanned));
  EXPECT_EQ(scanned, 6);
  ASSERT_EQ(lines.size(), 4u);
  // Match value first; equal values by the 8-character number, byte by byte,
  // so "1" < "10" < "9".
  EXPECT_EQ(lines[0].name.substr(0, 5), "EXACT");
  EXPECT_EQ(lines[0].match, 0);
  EXPECT_EQ(lines[1].color, "1       ");
  EXPECT_EQ(lines[2].color, "10      ");
  EXPECT_EQ(lines[3].color, "9       ");
  for (size_t i = 1; i < 4; ++i) EXPECT_EQ(lines[i].match, 4);
  EXPECT_EQ(lines[1].red, 250);
  EXPECT_EQ(lines[1].packed, 250 + 256 * 10 + 65536 * 10);
}

TEST_F(MasterScanTest, ReportsTablesWithoutTheMasterFields) {
  const std::string path = dir_.File("other.svx");
  ASSERT_TRUE(CreateDBF(path, {{"t_company", 'C', 12, 0}, {"t_colour", 'C', 8, 0}}));
  DbfTable t;
  ASSERT_TRUE(OpenDbf(t, path, true));
  MasterFields f;
  std::string missing;
  EXPECT_FALSE(FindMasterFields(t, &f, &missing));
  EXPECT_EQ(missing, "T_TYPE");
}

TEST_F(MasterScanTest, AShortFileIsAnEngineError) {
  Open({{"OSTRA", "POLY", "A", "1", 1, 2, 3}, {"OSTRA", "POLY", "B", "2", 1, 2, 3}});
  ASSERT_TRUE(CloseDbf(table_));
  // Cut the second record short; the header still counts two.
  std::vector<uint8_t> bytes = svtest::ReadBytes(dir_.File("mnthread.svx"));
  bytes.resize(bytes.size() - 30);
  svtest::WriteBytes(dir_.File("mnthread.svx"), bytes);
  ASSERT_TRUE(OpenDbf(table_, dir_.File("mnthread.svx"), true));

  svtest::ErrorCapture errors;
  std::vector<MatchLine> lines;
  EXPECT_FALSE(ScanMasterTable(table_, fields_, ToLab(1, 2, 3), 10, &lines));
  EXPECT_EQ(errors.last().code, 213);
}

}  // namespace
}  // namespace sv
