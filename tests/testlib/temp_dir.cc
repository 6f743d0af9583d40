#include "testlib/temp_dir.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace svtest {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/svtest.XXXXXX";
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

ScopedChdir::ScopedChdir(const std::string& dir) {
  char buf[PATH_MAX];
  if (getcwd(buf, sizeof buf) != nullptr) old_ = buf;
  if (chdir(dir.c_str()) != 0) throw std::runtime_error("chdir failed");
}

ScopedChdir::~ScopedChdir() {
  if (!old_.empty() && chdir(old_.c_str()) != 0) {
  }
}

}  // namespace svtest
