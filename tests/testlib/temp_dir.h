// A fresh temporary folder per test, removed afterwards, and small helpers to
// read and write whole files in it.
#ifndef SV_TESTS_TESTLIB_TEMP_DIR_H_
#define SV_TESTS_TESTLIB_TEMP_DIR_H_

#include <cstdint>
#include <string>
#include <vector>

namespace svtest {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Runs the current folder in `dir` for the life of the object.
class ScopedChdir {
 public:
  explicit ScopedChdir(const std::string& dir);
  ~ScopedChdir();

 private:
  std::string old_;
};

}  // namespace svtest

#endif  // SV_TESTS_TESTLIB_TEMP_DIR_H_
