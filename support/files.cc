#include "support/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <vector>

#include "engine/dates.h"
#include "engine/error.h"
#include "support/numbers.h"
#include "support/sysfile.h"

namespace sv {
namespace {

constexpr int32_t kUnknownFreeKB = std::numeric_limits<int32_t>::max();
constexpr size_t kMaxShortPath = 260;
constexpr size_t kMaxTempFolder = 256;
constexpr char kTempPrefix[] = "spv";
constexpr char kTempSuffix[] = ".tmp";

// Names are matched without regard to letter case, as the tables are.
std::string Resolve(const std::string& name) {
  return name.empty() ? name : ResolvePathNoCase(name);
}

bool IsRegularFile(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// '*' matches any run of characters, '?' exactly one; ASCII case ignored.
bool MatchWildcard(std::string_view mask, std::string_view name) {
  size_t m = 0, n = 0;
  size_t star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      star = m++;
      resume = n;
    } else if (m < mask.size() && (mask[m] == '?' || Fold(mask[m]) == Fold(name[n]))) {
      ++m;
      ++n;
    } else if (star != std::string_view::npos) {
      m = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

// A mask with a '.' matches name part and extension (after the last '.') on
// their own, so "*.*" also takes names without an extension and "*." only
// those. A mask without a '.' is matched against the whole name.
bool MatchFileMask(std::string_view mask, std::string_view name) {
  size_t mask_dot = mask.rfind('.');
  if (mask_dot == std::string_view::npos) return MatchWildcard(mask, name);
  size_t name_dot = name.rfind('.');
  std::string_view base = name.substr(0, name_dot);
  std::string_view ext = name_dot == std::string_view::npos ? std::string_view() : name.substr(name_dot + 1);
  return MatchWildcard(mask.substr(0, mask_dot), base) && MatchWildcard(mask.substr(mask_dot + 1), ext);
}

// The ordinary files of `folder` whose names fit the mask, in byte order.
// Returns 0 when there is at least one, 2 when there is none, 3 when the
// folder cannot be found.
int SearchFolder(const std::string& folder, std::string_view mask, std::vector<std::string>& found) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) {
    int e = errno;
    return (e == ENOENT || e == ENOTDIR) ? 3 : SystemErrorCode(e);
  }
  int dir_fd = ::dirfd(dir);
  while (dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] == '.') continue;  // hidden entries, "." and ".."
    if (!MatchFileMask(mask, name)) continue;
    struct stat st{};
    if (::fstatat(dir_fd, name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
    found.emplace_back(name);
  }
  ::closedir(dir);
  std::sort(found.begin(), found.end());
  return found.empty() ? 2 : 0;
}

void ReportRenameFailure(int code, const std::string& old_name, const std::string& new_name) {
  ReportError(code, "Error renaming " + old_name + " to " + new_name);
}

// The target keeps its own spelling; only its folder is looked up without
// regard to case.
std::string ResolveTarget(const std::string& name) {
  size_t slash = name.rfind('/');
  if (slash == std::string::npos || slash == 0) return name;
  return Resolve(name.substr(0, slash)) + name.substr(slash);
}

int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  int e = errno;
  if (e != EINVAL && e != ENOSYS && e != ENOTSUP) return SystemErrorCode(e);
  // File systems without the flag: a hard link fails onto an existing name.
  if (::link(from.c_str(), to.c_str()) != 0) return SystemErrorCode(errno);
  if (::unlink(from.c_str()) != 0) {
    int code = SystemErrorCode(errno);
    ::unlink(to.c_str());
    return code;
  }
  return 0;
}

}  // namespace

bool FileExistsName(const std::string& name) {
  return !name.empty() && IsRegularFile(Resolve(name));
}

int EraseOneFile(const std::string& name) {
  if (name.empty()) return 2;
  std::string path = Resolve(name);
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return SystemErrorCode(errno);
  // Folders and devices are not erased; a FIFO would also block the open.
  if (!S_ISREG(st.st_mode)) return 5;
  SysFile file;
  int code = file.Open(path, SysFile::Mode::kReadOnly, true);
  if (code != 0) return code;
  // Unlinked while the lock is held, so nobody opens it in between.
  if (::unlink(path.c_str()) != 0) code = SystemErrorCode(errno);
  file.Close();
  return code;
}

void EraseFiles(const std::string& name_or_mask) {
  SetLastErrorCode(0);
  if (name_or_mask.find_first_of("*?") == std::string::npos) {
    int code = EraseOneFile(name_or_mask);
    if (code != 0) ReportError(code, "Error erasing " + name_or_mask);
    return;
  }

  std::string full = FullPathOf(name_or_mask);
  size_t slash = full.rfind('/');
  std::string folder = full.substr(0, slash + 1);
  std::string mask = full.substr(slash + 1);
  if (folder.size() > 1) folder = Resolve(folder.substr(0, folder.size() - 1)) + "/";

  std::vector<std::string> found;
  SetLastErrorCode(SearchFolder(folder, mask, found));

  int failed = 0;
  for (const std::string& name : found) {
    if (EraseOneFile(folder + name) != 0) ++failed;
  }
  if (failed != 0) {
    ReportError(5, "Could not erase " + IntToTextWidth(failed, 0) + " files like " + name_or_mask);
  }
}

void RenameFileTo(const std::string& old_name, const std::string& new_name) {
  std::string from = Resolve(old_name);
  std::string to = ResolveTarget(new_name);

  struct stat from_st{};
  if (from.empty() || ::stat(from.c_str(), &from_st) != 0) {
    ReportRenameFailure(from.empty() ? 2 : SystemErrorCode(errno), old_name, new_name);
    return;
  }
  // A file held open elsewhere stays under its name, as it would for erasing.
  SysFile guard;
  if (S_ISREG(from_st.st_mode) && guard.Open(from, SysFile::Mode::kReadOnly, true) == 32) {
    ReportRenameFailure(32, old_name, new_name);
    return;
  }

  // The target may exist under another letter case; only a change of case of
  // the file itself is allowed then.
  struct stat to_st{};
  std::string existing = to.empty() ? to : ResolvePathNoCase(to);
  if (!existing.empty() && ::stat(existing.c_str(), &to_st) == 0) {
    bool same = to_st.st_dev == from_st.st_dev && to_st.st_ino == from_st.st_ino;
    if (!same) {
      ReportRenameFailure(SystemErrorCode(EEXIST), old_name, new_name);
      return;
    }
    if (from == to) {
      SetLastErrorCode(0);
      return;
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
      ReportRenameFailure(SystemErrorCode(errno), old_name, new_name);
      return;
    }
    SetLastErrorCode(0);
    return;
  }

  int code = RenameNoReplace(from, to);
  if (code != 0) {
    ReportRenameFailure(code, old_name, new_name);
    return;
  }
  SetLastErrorCode(0);
}

// POSIX has no 8.3 names: the full path stands in for the short form, as long
// as the file or folder exists and the path fits the 260 characters.
std::string ShortPathOf(const std::string& path) {
  if (path.empty()) return std::string();
  std::string resolved = Resolve(path);
  struct stat st{};
  if (::stat(resolved.c_str(), &st) != 0) return std::string();
  std::string full = FullPathOf(resolved);
  return full.size() <= kMaxShortPath ? full : std::string();
}

bool FileDatedToday(const std::string& name) {
  if (name.empty()) return false;
  struct stat st{};
  if (::stat(Resolve(name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  std::tm local{};
  time_t written = st.st_mtime;
  if (::localtime_r(&written, &local) == nullptr) return false;
  Ymd today = Today();
  return local.tm_year + 1900 == today.year && local.tm_mon + 1 == today.month &&
         local.tm_mday == today.day;
}

// The space an unprivileged user may still fill (statvfs f_bavail); more than
// the 32-bit result holds is reported as its largest value, as is space that
// cannot be determined.
int32_t DiskFreeKB(const std::string& path) {
  std::string where = path.empty() ? std::string(".") : Resolve(path);
  struct statvfs vfs{};
  if (::statvfs(where.c_str(), &vfs) != 0) return kUnknownFreeKB;
  unsigned long long block = vfs.f_frsize != 0 ? vfs.f_frsize : vfs.f_bsize;
  unsigned long long blocks = vfs.f_bavail;
  if (block != 0 && blocks > std::numeric_limits<unsigned long long>::max() / block) {
    return kUnknownFreeKB;
  }
  unsigned long long kb = blocks * block / 1024;
  return kb > static_cast<unsigned long long>(kUnknownFreeKB) ? kUnknownFreeKB
                                                              : static_cast<int32_t>(kb);
}

// No drive letters here: drive 0 is the current folder's volume, every other
// drive number the root file system.
int32_t DriveFreeKB(int drive) {
  if (drive < 0) return kUnknownFreeKB;
  return DiskFreeKB(drive == 0 ? "." : "/");
}

std::string UniqueFilename() {
  const char kWhere[] = "Error requesting unique file name [UniqueFilename]";
  const char* env = std::getenv("TMPDIR");
  std::string folder = (env != nullptr && *env != '\0') ? env : "/tmp";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  folder = FullPathOf(folder);
  if (folder.size() > kMaxTempFolder) {
    ReportError(SystemErrorCode(ENAMETOOLONG), kWhere);
    return std::string();
  }
  std::string name = (folder == "/" ? "" : folder) + "/" + kTempPrefix + "XXXXXX" + kTempSuffix;
  int fd = ::mkstemps(name.data(), static_cast<int>(sizeof kTempSuffix - 1));
  if (fd < 0) {
    ReportError(SystemErrorCode(errno), kWhere);
    return std::string();
  }
  ::close(fd);
  SetLastErrorCode(0);
  return name;
}

}  // namespace sv
