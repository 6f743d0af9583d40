#include "engine/dbf_table.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/dates.h"
#include "engine/engine_state.h"
#include "engine/error.h"
#include "testlib/error_capture.h"
#include "testlib/temp_dir.h"

namespace sv {
namespace {

using svtest::ErrorCapture;
using svtest::ReadBytes;
using svtest::TempDir;
using svtest::WriteBytes;

const std::vector<DbfFieldSpec> kThreadFields = {
    {"t_company", 'C', 12, 0}, {"t_type", 'C', 12, 0}, {"t_name", 'C', 20, 0},
    {"t_color", 'C', 8, 0},    {"t_red", 'N', 3, 0},   {"t_green", 'N', 3, 0},
    {"t_blue", 'N', 3, 0},
};

class DbfTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static const Ymd kToday{2026, 12, 11};
    SetTodayOverride(&kToday);
    SetDateForm(DateForm{0, false});
    Switches().fix_rec_count = false;
  }
  void TearDown() override {
    SetTodayOverride(nullptr);
    Switches().fix_rec_count = false;
  }

  std::string MakeThreads(int records) {
    std::string name = dir_.File("threads.dbf");
    EXPECT_TRUE(CreateDBF(name, kThreadFields));
    DbfTable t;
    EXPECT_TRUE(OpenDbf(t, name, false));
    for (int i = 1; i <= records; ++i) {
      fv::SetText(t, 1, "MADEIRA");
      fv::SetText(t, 4, std::to_string(1000 + i));
      fv::SetInt(t, 5, i);
      GatherRecord(t);
      EXPECT_TRUE(PutDbfRecord(t, t.record_count + 1));
    }
    EXPECT_TRUE(CloseDbf(t));
    return name;
  }

  TempDir dir_;
};

TEST_F(DbfTableTest, NewTableHasTheDocumentedLayout) {
  std::string name = dir_.File("t.svx");
  ASSERT_TRUE(CreateDBF(name, kThreadFields));
  std::vector<uint8_t> b = ReadBytes(name);
  ASSERT_EQ(b.size(), 258u);
  EXPECT_EQ(b[0], 0x03);
  EXPECT_EQ(b[1], 126);  // 2026 - 1900
  EXPECT_EQ(b[2], 12);
  EXPECT_EQ(b[3], 11);
  EXPECT_EQ(dbf::Get32(&b[4]), 0u);
  EXPECT_EQ(dbf::Get16(&b[8]), 257);
  EXPECT_EQ(dbf::Get16(&b[10]), 62);
  EXPECT_EQ(b[256], 0x0D);
  EXPECT_EQ(b[257], 0x1A);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[32])), "T_COMPANY");
  EXPECT_EQ(b[32 + 11], 'C');
  EXPECT_EQ(b[32 + 16], 12);
}

TEST_F(DbfTableTest, CreationNormalisesLengthsAndRefusesBadDefinitions) {
  std::string name = dir_.File("d.dbf");
  ASSERT_TRUE(CreateDBF(name, {{"r_date", 'D', 10, 0}, {"flag", 'L', 5, 0}, {"n", 'n', 5, 2}}));
  DbfTable t;
  ASSERT_TRUE(OpenDbf(t, name, false));
  EXPECT_EQ(t.field(1).length, 8);
  EXPECT_EQ(t.field(2).length, 1);
  EXPECT_EQ(t.field(3).type, 'N');
  EXPECT_EQ(t.field(3).decimals, 2);
  EXPECT_EQ(t.record_length, 1 + 8 + 1 + 5);
  CloseDbf(t);

  struct Case {
    std::vector<DbfFieldSpec> fields;
  };
  const Case bad[] = {
      {{{"a", 'C', 0, 0}}},
      {{{"a", 'X', 4, 0}}},
      {{{"   ", 'C', 4, 0}}},
      {{{"a", 'C', 300, 0}}},
      {{}},
  };
  for (const Case& c : bad) {
    ErrorCapture errors;
    std::string bad_name = dir_.File("bad.dbf");
    EXPECT_FALSE(CreateDBF(bad_name, c.fields));
    EXPECT_EQ(errors.last().code, 211);
    EXPECT_EQ(errors.last().detail, "Invalid dBASE field definition [CreateDBF]");
    EXPECT_TRUE(ReadBytes(bad_name).empty()) << "nothing is written";
  }
}

TEST_F(DbfTableTest, CreateAddsTheDefaultExtension) {
  ASSERT_TRUE(CreateDBF(dir_.File("plain"), {{"a", 'C', 1, 0}}));
  EXPECT_EQ(ReadBytes(dir_.File("plain.DBF")).size(), 32u + 32 + 2);
}

TEST_F(DbfTableTest, RecordsRoundTripThroughScatterAndGather) {
  std::string name = MakeThreads(3);
  DbfTable t;
  ASSERT_TRUE(OpenDbf(t, name, false));
  ASSERT_EQ(t.record_count, 3);
  ASSERT_TRUE(GetDbfRecord(t, 2));
  ScatterRecord(t);
  EXPECT_EQ(fv::Text(t, 1), "MADEIRA     ");
  EXPECT_EQ(fv::Text(t, 4), "1002    ");
  EXPECT_EQ(fv::Int(t, 5), 2);
  EXPECT_EQ(fv::Int(t, 6), 0) << "a blank numeric field reads as 0";
  EXPECT_FALSE(fv::Deleted(t));
}

TEST_F(DbfTableTest, GatherCutsTextsAndFillsNumbersThatDoNotFitWithAsterisks) {
  std::string name = dir_.File("g.dbf");
  ASSERT_TRUE(CreateDBF(name, {{"c", 'C', 8, 0}, {"n", 'N', 3, 0}, {"f", 'N', 6, 2},
                               {"l", 'L', 1, 0}, {"d", 'D', 8, 0}}));
  DbfTable t;
  ASSERT_TRUE(OpenDbf(t, name, false));
  auto field_text = [&t](int n) {
    const DbfFieldDef& f = t.field(n);
    return std::string(reinterpret_cast<const char*>(t.record.data() + f.offset), f.length);
  };
  fv::SetText(t, 1, "ABCDEFGHIJKLM");
  fv::SetInt(t, 2, 1000);
  fv::SetDouble(t, 3, 2.345);
  fv::SetBool(t, 4, true);
  fv::SetText(t, 5, "12/31/24");
  GatherRecord(t);
  EXPECT_EQ(field_text(1), "ABCDEFGH");
  EXPECT_EQ(field_text(2), "***");
  EXPECT_EQ(field_text(3), "  2.35");
  EXPECT_EQ(field_text(4), "T");
  EXPECT_EQ(field_text(5), "20241231");

  fv::SetText(t, 1, "AB");
  fv::SetInt(t, 2, -7);
  fv::SetDouble(t, 3, 12345.0);
  fv::SetText(t, 5, "  /  /  ");
  GatherRecord(t);
  EXPECT_EQ(field_text(1), "AB      ");
  EXPECT_EQ(field_text(2), " -7");
  EXPECT_EQ(field_text(3), "******");
  EXPECT_EQ(field_text(5), "        ");
}

TEST_F(DbfTableTest, FieldsOfEveryWidthKeepTheirOwnBytes) {
  // Widths around the word size, where copies of field bytes change method.
  const int widths[] = {1, 7, 8, 9, 15, 16, 17, 100, 254};
  std::vector<DbfFieldSpec> field_defs;
  for (int w : widths) field_defs.push_back({"c" + std::to_string(w), 'C', w, 0});
  for (int w : {1, 9, 19}) field_defs.push_back({"n" + std::to_string(w), 'N', w, 0});
  std::string name = dir_.File("w.dbf");
  ASSERT_TRUE(CreateDBF(name, field_defs));
  DbfTable t;
  ASSERT_TRUE(OpenDbf(t, name, false));
  auto stored = [&t](int n) {
    const DbfFieldDef& f = t.field(n);
    return std::string(reinterpret_cast<const char*>(t.record.data() + f.offset), f.length);
  };
  // Text lengths per width: too long, full, one short, one, empty; each
  // shorter text must blank what the one before left.
  for (int form = 4; form >= 0; --form) {
    SCOPED_TRACE(form);
    std::vector<std::string> texts;
    for (size_t i = 0; i < std::size(widths); ++i) {
      const int w = widths[i];
      const int len = form == 0 ? 0 : form == 1 ? 1 : form == 2 ? w - 1 : form == 3 ? w : w + 3;
      std::string text;
      for (int k = 0; k < len; ++k) text += static_cast<char>('A' + (k + static_cast<int>(i)) % 26);
      texts.push_back(text);
      fv::SetText(t, static_cast<int>(i) + 1, text);
    }
    const int32_t numbers[] = {form == 0 ? 0 : 7, 12345678 + form, -form};
    for (int k = 0; k < 3; ++k) fv::SetInt(t, static_cast<int>(std::size(widths)) + 1 + k, numbers[k]);
    GatherRecord(t);
    ASSERT_TRUE(PutDbfRecord(t, t.record_count + 1));
    ASSERT_TRUE(GetDbfRecord(t, t.record_count));
    ScatterRecord(t);
    for (size_t i = 0; i < std::size(widths); ++i) {
      const size_t w = static_cast<size_t>(widths[i]);
      std::string expect = texts[i].substr(0, w);
      expect.resize(w, ' ');
      EXPECT_EQ(stored(static_cast<int>(i) + 1), expect) << "width " << w;
      EXPECT_EQ(fv::Text(t, static_cast<int>(i) + 1), expect) << "width " << w;
    }
    const int first_n = static_cast<int>(std::size(widths)) + 1;
    EXPECT_EQ(stored(first_n), form == 0 ? "0" : "7");
    EXPECT_EQ(stored(first_n + 1), " " + std::to_string(12345678 + form));
    const std::string last = form == 0 ? "0" : "-" + std::to_string(form);
    EXPECT_EQ(stored(first_n + 2), std::string(19 - last.size(), ' ') + last);
    EXPECT_EQ(fv::Int(t, first_n + 2), -form);
  }
}

TEST_F(DbfTableTest, DatesFollowTheEngineDateForm) {
  std::string name = dir_.File("dates.dbf");
  ASSERT_TRUE(CreateDBF(name, {{"d", 'D', 8, 0}}));
  DbfTable t;
  ASSERT_TRUE(OpenDbf(t, name, false));
  std::memcpy(t.record.data() + 1, "20240102", 8);
  ScatterRecord(t);
  EXPECT_EQ(fv::Text(t, 1), "01/02/24");
  EXPECT_EQ(FieldLen(t, 1), 8);
  SetDateForm(DateForm{5, true});
  ScatterRecord(t);
  EXPECT_EQ(fv::Text(t, 1), "02.01.2024");
  EXPECT_EQ(FieldLen(t, 1), 10);
  std::memcpy(t.record.data() + 1, "        ", 8);
  ScatterRecord(t);
  EXPECT_EQ(fv::Text(t, 1), "  .  .    ");
}

TEST_F(DbfTableTest, LogicalFieldsReadTYAsTrueInEitherCase) {
  std::string name = dir_.File("l.dbf");
  ASSERT_TRUE(CreateDBF(name, {{"l", 'L', 1, 0}}));
  DbfTable t;
  ASSERT_TRUE(OpenDbf(t, name, false));
  for (char c : std::string("TtYyFfN ?")) {
    t.record[1] = static_cast<uint8_t>(c);
    ScatterRecord(t);
    EXPECT_EQ(fv::Bool(t, 1), c == 'T' || c == 't' || c == 'Y' || c == 'y') << c;
  }
}

TEST_F(DbfTableTest, DeletionFlagWritesOnlyTheFirstByte) {
  std::string name = MakeThreads(2);
  DbfTable t;
  ASSERT_TRUE(OpenDbf(t, name, false));
  ASSERT_TRUE(GetDbfRecord(t, 2));
  std::vector<uint8_t> before = t.record;
  t.record[0] = '*';
  t.record[1] = 'X';  // must not reach the file
  ASSERT_TRUE(PutDbfDeletionFlag(t, 2));
  EXPECT_EQ(t.state, kDbfHeaderDirty);
  ASSERT_TRUE(GetDbfRecord(t, 2));
  ScatterRecord(t);
  EXPECT_TRUE(fv::Deleted(t));
  EXPECT_EQ(t.record[1], before[1]);
  t.record[0] = ' ';
  ASSERT_TRUE(PutDbfDeletionFlag(t, 2));
  ASSERT_TRUE(GetDbfRecord(t, 2));
  EXPECT_EQ(t.record, before);
}

TEST_F(DbfTableTest, RecordNumbersOutOfRangeAreRefused) {
  std::string name = MakeThreads(2);
  DbfTable t;
  ASSERT_TRUE(OpenDbf(t, name, false));
  ASSERT_TRUE(GetDbfRecord(t, 1));
  for (int n : {0, 3, -1}) {
    ErrorCapture errors;
    EXPECT_FALSE(GetDbfRecord(t, n));
    EXPECT_EQ(errors.last().code, 212);
    EXPECT_EQ(errors.last().detail, "Invalid record number = " + std::to_string(n) + " (" +
                                        name + ")  [GetDbfRecord]");
    EXPECT_EQ(t.current, 1) << "nothing changes";
  }
}

TEST_F(DbfTableTest, HeaderIsRewrittenOnlyByFlushAndClose) {
  std::string name = MakeThreads(0);
  DbfTable t;
  ASSERT_TRUE(OpenDbf(t, name, false));
  fv::SetText(t, 1, "DMC");
  GatherRecord(t);
  ASSERT_TRUE(PutDbfRecord(t, 1));
  EXPECT_EQ(t.state, kDbfAppended);
  std::vector<uint8_t> b = ReadBytes(name);
  EXPECT_EQ(dbf::Get32(&b[4]), 0u) << "stale until flushed";
  ASSERT_TRUE(FlushDbf(t));
  EXPECT_EQ(t.state, kDbfClean);
  b = ReadBytes(name);
  EXPECT_EQ(dbf::Get32(&b[4]), 1u);
  EXPECT_EQ(b.size(), 258u + 62);
  EXPECT_EQ(b.back(), 0x1A);
}

TEST_F(DbfTableTest, HeaderRewriteKeepsBytes16To27AsTheyAreOnDisk) {
  std::string name = MakeThreads(1);
  DbfTable t;
  ASSERT_TRUE(OpenDbf(t, name, false));
  std::vector<uint8_t> b = ReadBytes(name);
  b[20] = 0x55;  // written behind the engine's back
  WriteBytes(name, b);
  ASSERT_TRUE(GetDbfRecord(t, 1));
  ASSERT_TRUE(PutDbfRecord(t, 1));
  ASSERT_TRUE(CloseDbf(t));
  EXPECT_EQ(ReadBytes(name)[20], 0x55);
}

TEST_F(DbfTableTest, RecordCountRepairFollowsTheFileSize) {
  std::string name = MakeThreads(12);
  std::vector<uint8_t> b = ReadBytes(name);
  dbf::Put32(&b[4], 10);
  b.push_back('x');  // a partly written record does not count
  WriteBytes(name, b);
  for (bool repair : {false, true}) {
    Switches().fix_rec_count = repair;
    DbfTable t;
    ASSERT_TRUE(OpenDbf(t, name, false));
    EXPECT_EQ(t.record_count, repair ? 12 : 10);
  }
}

TEST_F(DbfTableTest, OemTablesTranslateTextButNotTheDeletionFlag) {
  std::string name = dir_.File("oem.dbf");
  ASSERT_TRUE(CreateDBF(name, {{"c", 'C', 4, 0}}));
  DbfTable t;
  ASSERT_TRUE(OpenDbf(t, name, true));
  fv::SetText(t, 1, "\xE9t\xE9");
  fv::SetDeleted(t, true);
  GatherRecord(t);
  ASSERT_TRUE(PutDbfRecord(t, 1));
  EXPECT_EQ(t.record[1], 0xE9) << "the buffer stays ANSI";
  ASSERT_TRUE(CloseDbf(t));
  std::vector<uint8_t> b = ReadBytes(name);
  EXPECT_EQ(b[65], '*');
  EXPECT_EQ(b[66], 0x82);
  EXPECT_EQ(b[67], 't');
  EXPECT_EQ(b[68], 0x82);
  ASSERT_TRUE(OpenDbf(t, name, true));
  ASSERT_TRUE(GetDbfRecord(t, 1));
  ScatterRecord(t);
  EXPECT_EQ(fv::Text(t, 1), "\xE9t\xE9 ");
  EXPECT_TRUE(fv::Deleted(t));
}

TEST_F(DbfTableTest, EveryByteValueRoundTripsThroughAnOemTable) {
  std::string name = dir_.File("bytes.dbf");
  ASSERT_TRUE(CreateDBF(name, {{"c", 'C', 254, 0}, {"d", 'C', 2, 0}}));
  DbfTable t;
  ASSERT_TRUE(OpenDbf(t, name, true));
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  fv::SetText(t, 1, all.substr(0, 254));
  fv::SetText(t, 2, all.substr(254));
  GatherRecord(t);
  ASSERT_TRUE(PutDbfRecord(t, 1));
  ASSERT_TRUE(CloseDbf(t));
  ASSERT_TRUE(OpenDbf(t, name, true));
  ASSERT_TRUE(GetDbfRecord(t, 1));
  ScatterRecord(t);
  EXPECT_EQ(std::string(fv::Text(t, 1)) + std::string(fv::Text(t, 2)), all);
}

TEST_F(DbfTableTest, FieldQueriesCheckTheirArgument) {
  std::string name = MakeThreads(0);
  DbfTable t;
  ASSERT_TRUE(OpenDbf(t, name, false));
  EXPECT_EQ(Field(t, 1), "T_COMPANY");
  EXPECT_EQ(FieldType(t, 5), 'N');
  EXPECT_EQ(FieldLen(t, 3), 20);
  EXPECT_EQ(FieldDec(t, 5), 0);
  EXPECT_EQ(FieldAddress(t, 0), t.values.data());
  EXPECT_EQ(FieldNo(t, "t_color"), 4);
  EXPECT_EQ(FieldNo(t, "T_COLOR   "), 4);
  EXPECT_EQ(FieldNo(t, "t_company  X"), 1) << "cut to 10 characters, then trimmed";
  EXPECT_EQ(FieldNo(t, "t_companyX"), 0);
  EXPECT_EQ(FieldNo(t, " t_color"), 0) << "leading blanks count";

  struct Case {
    const char* query;
    std::function<void()> call;
  };
  const Case cases[] = {
      {"Field", [&] { EXPECT_EQ(Field(t, 8), ""); }},
      {"FieldType", [&] { EXPECT_EQ(FieldType(t, 0), ' '); }},
      {"FieldLen", [&] { EXPECT_EQ(FieldLen(t, 8), 0); }},
      {"FieldDec", [&] { EXPECT_EQ(FieldDec(t, 8), 0); }},
      {"FieldAddress", [&] { EXPECT_EQ(FieldAddress(t, 8), nullptr); }},
  };
  for (const Case& c : cases) {
    ErrorCapture errors;
    c.call();
    EXPECT_EQ(errors.last().code, 220);
    EXPECT_EQ(errors.last().detail.rfind(std::string("Invalid field number. [") + c.query + "(", 0),
              0u)
        << errors.last().detail;
  }
}

// Damaged files: each is refused with its code and text, never read outside
// its buffers (the sanitizer build runs these too).
TEST_F(DbfTableTest, DamagedFilesAreRefusedWithTheirCodeAndText) {
  std::string good = MakeThreads(3);
  const std::vector<uint8_t> base = ReadBytes(good);
  std::string name = dir_.File("damaged.dbf");

  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> damage;
    int code;
    std::string detail;
  };
  const std::string not_dbase = name + " is not a dBASE database.";
  const Case cases[] = {
      {"31 bytes", [](auto& b) { b.resize(31); }, 210,
       not_dbase + " (Prolog is less than 32 bytes) [USE/OpenDBF]"},
      {"version 0x30", [](auto& b) { b[0] = 0x30; }, 210,
       not_dbase + "(Invalid version byte)+ [USE/OpenDBF]"},
      {"dBase II layout", [](auto& b) { b[0] = 0x02; }, 210,
       not_dbase + "(Invalid version byte)+ [USE/OpenDBF]"},
      {"no fields", [](auto& b) { dbf::Put16(&b[8], 40); }, 210,
       not_dbase + " (Number of fields is out of range) [Use/OpenDbf]"},
      {"header length below 32", [](auto& b) { dbf::Put16(&b[8], 10); }, 210,
       not_dbase + " (Number of fields is out of range) [Use/OpenDbf]"},
      {"too many fields", [](auto& b) { dbf::Put16(&b[8], 65535); }, 210,
       not_dbase + " (Number of fields is out of range) [Use/OpenDbf]"},
      {"cut inside the descriptors", [](auto& b) { b.resize(100); }, 100,
       "Error reading " + name + " [Use/OpenDbf]"},
      {"terminator first", [](auto& b) { b[32] = 0x0D; }, 222,
       "Error reading " + name + " [Use/OpenDbf]"},
      {"unknown field type", [](auto& b) { b[32 + 32 + 11] = 'Q'; }, 211,
       "Field: T_TYPE [Q] in " + name + " is not a valid field type"},
      {"record length 0", [](auto& b) { dbf::Put16(&b[10], 0); }, 210,
       not_dbase + " (Record length is smaller than its fields) [USE/OpenDBF]"},
      {"record length below the fields", [](auto& b) { dbf::Put16(&b[10], 61); }, 210,
       not_dbase + " (Record length is smaller than its fields) [USE/OpenDBF]"},
      {"field longer than the record", [](auto& b) { b[32 + 16] = 250; }, 210,
       not_dbase + " (Record length is smaller than its fields) [USE/OpenDBF]"},
      {"no room for the terminator", [](auto& b) { dbf::Put16(&b[8], 256); }, 210,
       not_dbase + " (Header length does not cover the field descriptors) [USE/OpenDBF]"},
      {"negative record count", [](auto& b) { dbf::Put32(&b[4], 0x80000000u); }, 210,
       not_dbase + " (Record count is out of range) [USE/OpenDBF]"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> b = base;
    c.damage(b);
    WriteBytes(name, b);
    ErrorCapture errors;
    DbfTable t;
    EXPECT_FALSE(OpenDbf(t, name, false)) << c.what;
    EXPECT_FALSE(t.is_open()) << c.what;
    EXPECT_EQ(errors.last().code, c.code) << c.what;
    EXPECT_EQ(errors.last().detail, c.detail) << c.what;
  }
}

TEST_F(DbfTableTest, ARecordCountBeyondTheFileGivesAShortReadNotGarbage) {
  std::string name = MakeThreads(2);
  std::vector<uint8_t> b = ReadBytes(name);
  dbf::Put32(&b[4], 5);
  WriteBytes(name, b);
  DbfTable t;
  ASSERT_TRUE(OpenDbf(t, name, false));
  ErrorCapture errors;
  EXPECT_TRUE(GetDbfRecord(t, 2));
  EXPECT_FALSE(GetDbfRecord(t, 4));
  EXPECT_EQ(errors.last().code, 213);
  EXPECT_EQ(errors.last().detail, "File:  " + name + "  [GetDbfRecord]");
}

TEST_F(DbfTableTest, RandomBitFlipsNeverCrashTheOpenOrTheReads) {
  std::string good = MakeThreads(20);
  const std::vector<uint8_t> base = ReadBytes(good);
  std::string name = dir_.File("flipped.dbf");
  unsigned seed = 12345;
  for (int round = 0; round < 400; ++round) {
    std::vector<uint8_t> b = base;
    for (int k = 0; k < 4; ++k) {
      seed = seed * 1103515245u + 12345u;
      size_t pos = (seed >> 8) % 300;
      b[pos] ^= static_cast<uint8_t>(1u << ((seed >> 4) & 7));
    }
    WriteBytes(name, b);
    ErrorCapture errors;
    Switches().fix_rec_count = (round % 2) == 0;
    DbfTable t;
    if (!OpenDbf(t, name, true)) continue;
    for (int32_t n = 1; n <= t.record_count && n <= 30; ++n) {
      if (GetDbfRecord(t, n)) {
        ScatterRecord(t);
        GatherRecord(t);
      }
    }
  }
}

TEST_F(DbfTableTest, ExclusiveUseExcludesASecondOpenInThisProcess) {
  std::string name = MakeThreads(1);
  DbfTable first;
  ASSERT_TRUE(OpenDbf(first, name, false));
  ErrorCapture errors;
  DbfTable second;
  EXPECT_FALSE(OpenDbf(second, name, false));
  EXPECT_EQ(errors.last().code, 32);
  EXPECT_EQ(errors.last().detail, "Failure to open " + name + " [USE/OpenDbf]");
  errors.clear();
  EXPECT_FALSE(CreateDBF(name, kThreadFields)) << "a table in use is never emptied";
  EXPECT_EQ(errors.last().code, 32);
  EXPECT_EQ(ReadBytes(name).size(), 258u + 62);
}

TEST_F(DbfTableTest, ExclusiveUseExcludesAnotherProcess) {
  std::string name = MakeThreads(1);
  DbfTable held;
  ASSERT_TRUE(OpenDbf(held, name, false));
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    SetErrorChecking(false);
    DbfTable t;
    bool opened = OpenDbf(t, name, false);
    _exit(opened ? 0 : LastErrorCode());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 32);
}

TEST_F(DbfTableTest, MissingFileReportsFileNotFound) {
  ErrorCapture errors;
  DbfTable t;
  std::string name = dir_.File("none.dbf");
  EXPECT_FALSE(OpenDbf(t, name, false));
  EXPECT_EQ(errors.last().code, 2);
  EXPECT_EQ(errors.last().detail, "Failure to open " + name + " [USE/OpenDbf]");
}

TEST_F(DbfTableTest, FileNamesMatchWithoutRegardToCase) {
  std::string name = MakeThreads(1);
  DbfTable t;
  ASSERT_TRUE(OpenDbf(t, dir_.File("THREADS.DBF"), false));
  EXPECT_EQ(t.record_count, 1);
}

}  // namespace
}  // namespace sv
