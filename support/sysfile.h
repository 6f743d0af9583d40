// A thin layer over POSIX files with the semantics the engine expects of the
// platform: exclusive use that really excludes (an exclusive non-blocking
// flock, which also excludes a second open inside this process), positioned
// reads and writes, size, truncation and flushing, and system error codes in
// the numbering the engine reports (2 file not found, 3 path not found,
// 5 access denied, 32 sharing violation, ...).
#ifndef SV_SUPPORT_SYSFILE_H_
#define SV_SUPPORT_SYSFILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace sv {

// The engine's code for an errno value.
int SystemErrorCode(int errno_value);

class SysFile {
 public:
  enum class Mode {
    kOpenExisting,    // read-write, the file must exist
    kCreateOrTruncate,  // read-write, created or emptied (only once the lock is held)
    kReadOnly,        // read, the file must exist
  };

  SysFile() = default;
  ~SysFile() { Close(); }
  SysFile(const SysFile&) = delete;
  SysFile& operator=(const SysFile&) = delete;
  SysFile(SysFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  SysFile& operator=(SysFile&& other) noexcept;

  // Opens with an exclusive lock. Returns 0 or the engine's error code; a
  // file held by another open gives 32 and is left untouched.
  int Open(const std::string& path, Mode mode, bool exclusive = true);
  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Each returns 0 or the engine's error code. ReadAt reports in *got how many
  // bytes it read (fewer than n at the end of the file).
  int ReadAt(int64_t offset, void* buffer, size_t n, size_t* got) const;
  int WriteAt(int64_t offset, const void* buffer, size_t n) const;
  int Size(int64_t* size) const;
  int Truncate(int64_t size) const;
  int Sync() const;
  int Close();

 private:
  int fd_ = -1;
};

// Full path of a name against the current folder, with "." and ".."
// components folded (no symlink resolution).
std::string FullPathOf(const std::string& name);

// The engine matches file names without regard to letter case, as the
// platform it was made for does. Returns the existing path whose components
// equal those of the given one ignoring ASCII case (an exact match wins, then
// the first in byte order), or the path unchanged when there is none.
std::string ResolvePathNoCase(const std::string& path);

}  // namespace sv

#endif  // SV_SUPPORT_SYSFILE_H_
