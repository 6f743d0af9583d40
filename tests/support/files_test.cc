#include "support/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/dates.h"
#include "engine/dbf_table.h"
#include "engine/error.h"
#include "support/sysfile.h"
#include "testlib/error_capture.h"
#include "testlib/temp_dir.h"

namespace sv {
namespace {

namespace fs = std::filesystem;
using svtest::ErrorCapture;
using svtest::ReadBytes;
using svtest::ScopedChdir;
using svtest::TempDir;
using svtest::WriteBytes;

void Touch(const std::string& path, const std::string& content = "x") {
  WriteBytes(path, std::vector<uint8_t>(content.begin(), content.end()));
}

std::set<std::string> Entries(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

// Sets an environment variable for a scope and restores the old value.
class EnvScope {
 public:
  EnvScope(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~EnvScope() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(FileExistsNameTest, OnlyFilesCountAndCaseIsIgnored) {
  TempDir dir;
  Touch(dir.File("params.svx"));
  fs::create_directory(dir.File("folder"));
  EXPECT_TRUE(FileExistsName(dir.File("params.svx")));
  EXPECT_TRUE(FileExistsName(dir.File("PARAMS.SVX")));
  EXPECT_FALSE(FileExistsName(dir.File("folder")));
  EXPECT_FALSE(FileExistsName(dir.File("params.new")));
  EXPECT_FALSE(FileExistsName(""));
}

TEST(EraseOneFileTest, ErasesOnlyWhatNobodyHoldsOpen) {
  TempDir dir;
  Touch(dir.File("free.svx"));
  Touch(dir.File("held.svx"));
  fs::create_directory(dir.File("folder"));

  EXPECT_EQ(EraseOneFile(dir.File("FREE.SVX")), 0);
  EXPECT_FALSE(fs::exists(dir.File("free.svx")));
  EXPECT_EQ(EraseOneFile(dir.File("free.svx")), 2);
  EXPECT_EQ(EraseOneFile(""), 2);
  EXPECT_EQ(EraseOneFile(dir.File("folder")), 5);
  EXPECT_TRUE(fs::is_directory(dir.File("folder")));

  SysFile holder;
  ASSERT_EQ(holder.Open(dir.File("held.svx"), SysFile::Mode::kOpenExisting), 0);
  EXPECT_EQ(EraseOneFile(dir.File("held.svx")), 32);
  EXPECT_TRUE(fs::exists(dir.File("held.svx")));
  holder.Close();
  EXPECT_EQ(EraseOneFile(dir.File("held.svx")), 0);
}

TEST(EraseFilesTest, SingleNameReportsWhyItStays) {
  TempDir dir;
  ScopedChdir in(dir.path());
  const std::string name = "params.svx";
  ASSERT_TRUE(CreateDBF(name, {{"s_toler", 'N', 3, 0}}));
  DbfTable table;
  ASSERT_TRUE(OpenDbf(table, name, false));

  ErrorCapture errors;
  EraseFiles(name);
  ASSERT_EQ(errors.errors().size(), 1u);
  EXPECT_EQ(errors.last().code, 32);
  EXPECT_EQ(errors.last().detail, "Error erasing params.svx");
  EXPECT_EQ(LastErrorCode(), 32);
  EXPECT_TRUE(fs::exists(dir.File(name)));

  errors.clear();
  EraseFiles("gone.svx");
  EXPECT_EQ(errors.last().code, 2);
  EXPECT_EQ(errors.last().detail, "Error erasing gone.svx");

  EXPECT_TRUE(CloseDbf(table));
  errors.clear();
  EraseFiles("PARAMS.SVX");
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(LastErrorCode(), 0);
  EXPECT_FALSE(fs::exists(dir.File(name)));
}

TEST(EraseFilesTest, MasksMatchNamePartAndExtension) {
  const std::vector<std::string> files = {"res1.ndx", "RES22.NDX", "res.ndx.bak", "mat1.ndx",
                                          "results.svx", "readme", "a.b.c"};
  struct Case {
    const char* mask;
    std::set<std::string> erased;
  };
  const Case cases[] = {
      {"res*.ndx", {"res1.ndx", "RES22.NDX"}},
      {"RES?.NDX", {"res1.ndx"}},
      {"*.ndx", {"res1.ndx", "RES22.NDX", "mat1.ndx"}},
      {"*.*", {"res1.ndx", "RES22.NDX", "res.ndx.bak", "mat1.ndx", "results.svx", "readme", "a.b.c"}},
      {"*", {"res1.ndx", "RES22.NDX", "res.ndx.bak", "mat1.ndx", "results.svx", "readme", "a.b.c"}},
      {"*.", {"readme"}},
      {"res*", {"res1.ndx", "RES22.NDX", "res.ndx.bak", "results.svx"}},
      {"*.b.c", {"a.b.c"}},
      {"?.ndx", {}},
      {"r*d*", {"res1.ndx", "RES22.NDX", "res.ndx.bak", "readme"}},
      {"*.sv?", {"results.svx"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mask);
    TempDir dir;
    for (const std::string& f : files) Touch(dir.File(f));
    // Hidden entries and folders never match.
    Touch(dir.File(".res3.ndx"));
    fs::create_directory(dir.File("res4.ndx"));

    ScopedChdir in(dir.path());
    ErrorCapture errors;
    EraseFiles(c.mask);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(LastErrorCode(), c.erased.empty() ? 2 : 0);

    std::set<std::string> expected(files.begin(), files.end());
    for (const std::string& f : c.erased) expected.erase(f);
    expected.insert({".res3.ndx", "res4.ndx"});
    EXPECT_EQ(Entries(dir.path()), expected);
  }
}

TEST(EraseFilesTest, NoMatchIsOnlyTheLastErrorCode) {
  TempDir dir;
  ErrorCapture errors;
  EraseFiles(dir.File("res*.ndx"));
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(LastErrorCode(), 2);

  EraseFiles(dir.File("missing/res*.ndx"));
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(LastErrorCode(), 3);
}

TEST(EraseFilesTest, CountsTheFilesThatStay) {
  TempDir dir;
  for (const char* f : {"mat1.ndx", "mat2.ndx", "mat3.ndx"}) Touch(dir.File(f));
  fs::create_directory(dir.File("Sub"));
  Touch(dir.File("Sub/mat4.ndx"));
  SysFile held1, held2;
  ASSERT_EQ(held1.Open(dir.File("mat1.ndx"), SysFile::Mode::kOpenExisting), 0);
  ASSERT_EQ(held2.Open(dir.File("mat3.ndx"), SysFile::Mode::kOpenExisting), 0);

  ScopedChdir in(dir.path());
  ErrorCapture errors;
  EraseFiles("mat*.ndx");
  ASSERT_EQ(errors.errors().size(), 1u);
  EXPECT_EQ(errors.last().code, 5);
  EXPECT_EQ(errors.last().detail, "Could not erase 2 files like mat*.ndx");
  EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"mat1.ndx", "mat3.ndx", "Sub"}));

  // The folder of a mask is found without regard to case as well.
  errors.clear();
  EraseFiles("sub/MAT*.NDX");
  EXPECT_TRUE(errors.empty());
  EXPECT_FALSE(fs::exists(dir.File("Sub/mat4.ndx")));
}

TEST(RenameFileToTest, MovesAndClearsTheLastError) {
  TempDir dir;
  Touch(dir.File("params.tmp"), "new");
  SetLastErrorCode(99);
  ErrorCapture errors;
  RenameFileTo(dir.File("PARAMS.TMP"), dir.File("params.svx"));
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(LastErrorCode(), 0);
  EXPECT_EQ(Entries(dir.path()), std::set<std::string>{"params.svx"});

  // A change of letter case of the file itself is a rename, not a clash.
  RenameFileTo(dir.File("params.svx"), dir.File("PARAMS.SVX"));
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(Entries(dir.path()), std::set<std::string>{"PARAMS.SVX"});
}

TEST(RenameFileToTest, NeverReplacesAnExistingFile) {
  const char* targets[] = {"params.svx", "PARAMS.SVX"};
  for (const char* target : targets) {
    SCOPED_TRACE(target);
    TempDir dir;
    Touch(dir.File("params.new"), "new");
    Touch(dir.File("params.svx"), "old");
    const std::string from = dir.File("params.new");
    const std::string to = dir.File(target);

    ErrorCapture errors;
    RenameFileTo(from, to);
    ASSERT_EQ(errors.errors().size(), 1u);
    EXPECT_NE(errors.last().code, 0);
    EXPECT_EQ(errors.last().detail, "Error renaming " + from + " to " + to);
    EXPECT_EQ(LastErrorCode(), errors.last().code);
    EXPECT_EQ(ReadBytes(dir.File("params.svx")), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(ReadBytes(dir.File("params.new")), (std::vector<uint8_t>{'n', 'e', 'w'}));
  }
}

TEST(RenameFileToTest, MissingOrHeldSourceFails) {
  TempDir dir;
  ErrorCapture errors;
  RenameFileTo(dir.File("none.svx"), dir.File("x.svx"));
  EXPECT_EQ(errors.last().code, 2);
  EXPECT_EQ(errors.last().detail, "Error renaming " + dir.File("none.svx") + " to " + dir.File("x.svx"));

  Touch(dir.File("held.svx"));
  SysFile holder;
  ASSERT_EQ(holder.Open(dir.File("held.svx"), SysFile::Mode::kOpenExisting), 0);
  errors.clear();
  RenameFileTo(dir.File("held.svx"), dir.File("x.svx"));
  EXPECT_EQ(errors.last().code, 32);
  EXPECT_EQ(Entries(dir.path()), std::set<std::string>{"held.svx"});
}

TEST(ShortPathOfTest, FullPathOfAnExistingEntryThatFits) {
  TempDir dir;
  Touch(dir.File("Params.svx"));
  {
    ScopedChdir in(dir.path());
    EXPECT_EQ(ShortPathOf("params.svx"), FullPathOf(dir.File("Params.svx")));
    EXPECT_EQ(ShortPathOf("."), FullPathOf(dir.path()));
    EXPECT_EQ(ShortPathOf("missing.svx"), "");
    EXPECT_EQ(ShortPathOf(""), "");
  }
  std::string deep = dir.path();
  while (deep.size() <= 260) {
    deep += "/" + std::string(60, 'd');
    fs::create_directory(deep);
  }
  EXPECT_EQ(ShortPathOf(deep), "");
}

TEST(FileDatedTodayTest, ComparesTheLocalWriteDateWithToday) {
  TempDir dir;
  const std::string name = dir.File("params.svx");
  Touch(name);
  time_t now = time(nullptr);
  std::tm local{};
  ASSERT_NE(localtime_r(&now, &local), nullptr);
  const Ymd today{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
  SetTodayOverride(&today);
  EXPECT_TRUE(FileDatedToday(name));
  EXPECT_TRUE(FileDatedToday(dir.File("PARAMS.SVX")));
  EXPECT_FALSE(FileDatedToday(dir.File("other.svx")));

  const Ymd tomorrow = [] {
    time_t t = time(nullptr) + 86400;
    std::tm tm{};
    localtime_r(&t, &tm);
    return Ymd{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
  }();
  SetTodayOverride(&tomorrow);
  EXPECT_FALSE(FileDatedToday(name));
  SetTodayOverride(nullptr);
  // Same day and month, another year.
  const Ymd last_year{today.year - 1, today.month, today.day};
  SetTodayOverride(&last_year);
  EXPECT_FALSE(FileDatedToday(name));
  SetTodayOverride(nullptr);
}

TEST(DiskFreeTest, KnownVolumesAndTheUnknownOne) {
  TempDir dir;
  int32_t here = DiskFreeKB(dir.path());
  EXPECT_GT(here, 0);
  EXPECT_GT(DriveFreeKB(0), 0);
  EXPECT_GT(DriveFreeKB(3), 0);
  EXPECT_EQ(DiskFreeKB(dir.File("missing/folder")), 2147483647);
  EXPECT_EQ(DriveFreeKB(-1), 2147483647);
}

TEST(UniqueFilenameTest, CreatesDistinctEmptyFilesInTheTemporaryFolder) {
  TempDir dir;
  EnvScope tmp("TMPDIR", dir.path() + "/");
  ErrorCapture errors;
  SetLastErrorCode(7);
  std::string first = UniqueFilename();
  std::string second = UniqueFilename();
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(LastErrorCode(), 0);
  EXPECT_NE(first, second);
  for (const std::string& name : {first, second}) {
    EXPECT_EQ(fs::path(name).parent_path(), fs::path(FullPathOf(dir.path())));
    EXPECT_EQ(fs::path(name).filename().string().rfind("spv", 0), 0u) << name;
    ASSERT_TRUE(fs::is_regular_file(name));
    EXPECT_EQ(fs::file_size(name), 0u);
  }
}

TEST(UniqueFilenameTest, ReportsWhenNoNameCanBeMade) {
  TempDir dir;
  // An existing folder whose name is too long for the 256 characters.
  const std::string long_folder = dir.path() + "/" + std::string(250, 't');
  fs::create_directory(long_folder);
  const std::string folders[] = {dir.File("missing"), long_folder};
  for (const std::string& folder : folders) {
    EnvScope tmp("TMPDIR", folder);
    ErrorCapture errors;
    EXPECT_EQ(UniqueFilename(), "");
    ASSERT_EQ(errors.errors().size(), 1u);
    EXPECT_NE(errors.last().code, 0);
    EXPECT_EQ(errors.last().detail, "Error requesting unique file name [UniqueFilename]");
  }
}

}  // namespace
}  // namespace sv
