#include "support/sysfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>
#include <climits>
#include <utility>

namespace sv {

int SystemErrorCode(int e) {
  switch (e) {
    case 0:
      return 0;
    case ENOENT:
      return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return 3;
    case EMFILE:
    case ENFILE:
      return 4;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EEXIST:
    case ENOTEMPTY:
      return 5;
    case EROFS:
      return 19;
    case EBADF:
      return 6;
    case ENOMEM:
      return 8;
    case EWOULDBLOCK:
      return 32;
    case EXDEV:
      return 17;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return 101;
    case EIO:
      return 31;
    case EINVAL:
      return 13;
    default:
      return 31;
  }
}

SysFile& SysFile::operator=(SysFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

int SysFile::Open(const std::string& path, Mode mode, bool exclusive) {
  Close();
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::kOpenExisting:
      flags |= O_RDWR;
      break;
    case Mode::kCreateOrTruncate:
      flags |= O_RDWR | O_CREAT;
      break;
    case Mode::kReadOnly:
      flags |= O_RDONLY;
      break;
  }
  int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) return SystemErrorCode(errno);
  struct stat st{};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return 5;
  }
  if (exclusive && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int code = SystemErrorCode(errno);
    ::close(fd);
    return code;
  }
  // Truncate only once the lock is held, so a file in use is never emptied.
  if (mode == Mode::kCreateOrTruncate && ::ftruncate(fd, 0) != 0) {
    int code = SystemErrorCode(errno);
    ::close(fd);
    return code;
  }
  fd_ = fd;
  return 0;
}

int SysFile::ReadAt(int64_t offset, void* buffer, size_t n, size_t* got) const {
  *got = 0;
  if (fd_ < 0) return 6;
  auto* p = static_cast<char*>(buffer);
  while (*got < n) {
    ssize_t r = ::pread(fd_, p + *got, n - *got, static_cast<off_t>(offset + *got));
    if (r < 0) {
      if (errno == EINTR) continue;
      return SystemErrorCode(errno);
    }
    if (r == 0) break;
    *got += static_cast<size_t>(r);
  }
  return 0;
}

int SysFile::WriteAt(int64_t offset, const void* buffer, size_t n) const {
  if (fd_ < 0) return 6;
  const auto* p = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < n) {
    ssize_t w = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(offset + done));
    if (w < 0) {
      if (errno == EINTR) continue;
      return SystemErrorCode(errno);
    }
    if (w == 0) return 101;
    done += static_cast<size_t>(w);
  }
  return 0;
}

int SysFile::Size(int64_t* size) const {
  *size = 0;
  if (fd_ < 0) return 6;
  struct stat st{};
  if (::fstat(fd_, &st) != 0) return SystemErrorCode(errno);
  *size = st.st_size;
  return 0;
}

int SysFile::Truncate(int64_t size) const {
  if (fd_ < 0) return 6;
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return SystemErrorCode(errno);
  return 0;
}

int SysFile::Sync() const {
  if (fd_ < 0) return 6;
  if (::fsync(fd_) != 0) return SystemErrorCode(errno);
  return 0;
}

int SysFile::Close() {
  if (fd_ < 0) return 0;
  int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) return SystemErrorCode(errno);
  return 0;
}

std::string FullPathOf(const std::string& name) {
  std::string path = name;
  if (path.empty() || path[0] != '/') {
    char buf[PATH_MAX];
    if (::getcwd(buf, sizeof buf) == nullptr) return name;
    std::string dir(buf);
    if (dir.empty() || dir.back() != '/') dir += '/';
    path = dir + name;
  }
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    std::string part = path.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::string out;
  for (const std::string& part : parts) out += "/" + part;
  return out.empty() ? "/" : out;
}

namespace {

bool EqualNoCase(const std::string& a, const char* b) {
  size_t n = a.size();
  if (std::strlen(b) != n) return false;
  for (size_t k = 0; k < n; ++k) {
    if (std::tolower(static_cast<unsigned char>(a[k])) !=
        std::tolower(static_cast<unsigned char>(b[k]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string ResolvePathNoCase(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) == 0) return path;
  std::string resolved = path[0] == '/' ? "" : ".";
  size_t i = path[0] == '/' ? 1 : 0;
  while (i <= path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    std::string part = path.substr(i, j - i);
    i = j + 1;
    if (part.empty()) continue;
    std::string dir = resolved.empty() ? "/" : resolved;
    std::string candidate = (resolved == "/" ? "" : resolved) + "/" + part;
    if (::stat(candidate.c_str(), &st) != 0) {
      std::string best;
      if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
          if (EqualNoCase(part, e->d_name) && (best.empty() || best > e->d_name)) best = e->d_name;
        }
        ::closedir(d);
      }
      if (best.empty()) return path;
      candidate = (resolved == "/" ? "" : resolved) + "/" + best;
    }
    resolved = candidate;
  }
  if (path[0] != '/' && resolved.rfind("./", 0) == 0) resolved = resolved.substr(2);
  return resolved;
}

}  // namespace sv
