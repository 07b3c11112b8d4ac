// POSIX host calls: paths are byte strings and pass through unconverted.
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "host/host.h"

namespace velmora {
namespace host {

using corvane::htext;

namespace {

// The C library's words for the error, without strerror's shared buffer.
Status failure(int code) {
  return Status(Status::Code::failed, std::error_code(code, std::generic_category()).message());
}

}  // namespace

Status openRegularFile(const htext& path, std::size_t limit, std::vector<unsigned char>& bytes,
                       std::FILE*& file, uint64_t& size) {
  bytes.clear();
  file = nullptr;
  size = 0;
  // Without O_NONBLOCK the open of a named pipe would wait for a writer; the
  // test is made on what was opened, so a swap after it cannot matter.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return failure(errno);
  struct stat info;
  if (fstat(fd, &info) != 0) {
    const Status failed = failure(errno);
    close(fd);
    return failed;
  }
  if (!S_ISREG(info.st_mode)) {
    close(fd);
    return Status(Status::Code::failed, kNotRegularFile);
  }
  // The size fstat gives is where the reads are expected to end, not a bound:
  // a file that grows meanwhile is read on, and past limit it is streamed.
  const bool small = uint64_t(info.st_size) <= limit;
  std::size_t got = 0;
  if (small) bytes.resize(std::size_t(info.st_size) + 1);
  while (small) {
    if (got == bytes.size()) {
      if (got > limit) break;
      bytes.resize(std::min(2 * got, limit + 1));
    }
    const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const Status failed = failure(errno);
      close(fd);
      bytes.clear();
      return failed;
    }
    if (n == 0) break;
    const bool shortRead = std::size_t(n) < bytes.size() - got;
    got += std::size_t(n);
    // A read of a regular file falls short only at its end or when a signal
    // cuts it: one that stops exactly at the size fstat gave is the end, and
    // needs no empty read after it to say so.
    if (shortRead && got == uint64_t(info.st_size)) break;
  }
  if (small && got <= limit) {
    bytes.resize(got);
    size = got;
    close(fd);
    return Status();
  }
  size = std::max<uint64_t>(uint64_t(info.st_size), got);
  bytes = std::vector<unsigned char>();
  if (lseek(fd, 0, SEEK_SET) != 0 || (file = fdopen(fd, "rb")) == nullptr) {
    const Status failed = failure(errno);
    close(fd);
    return failed;
  }
  return Status();
}

Status writeNewFile(const htext& path, const void* data, std::size_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return errno == EEXIST ? Status(Status::Code::exists) : failure(errno);
  const char* bytes = static_cast<const char*>(data);
  Status status;
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A write that takes nothing without an error still means no room.
      status = failure(n < 0 ? errno : ENOSPC);
      break;
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  // A full disk or a quota may only show at the close (network file systems
  // write back then).
  if (close(fd) != 0 && status.ok()) status = failure(errno);
  if (!status.ok()) unlink(path.c_str());
  return status;
}

Status replaceFile(const htext& from, const htext& to) {
  if (rename(from.c_str(), to.c_str()) == 0) return Status();
  return failure(errno);
}

bool removeFile(const htext& path) { return unlink(path.c_str()) == 0; }

Status listFolder(const htext& path, std::vector<FolderEntry>& entries) {
  entries.clear();
  DIR* folder = opendir(path.c_str());
  if (folder == nullptr) return failure(errno);
  const int fd = dirfd(folder);
  errno = 0;
  while (const dirent* entry = readdir(folder)) {
    const htext name = entry->d_name;
    if (name == "." || name == "..") continue;
    FolderEntry found{name, EntryKind::file};
    struct stat info;
    if (fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISDIR(info.st_mode)) {
        found.kind = EntryKind::folder;
      } else if (S_ISLNK(info.st_mode) && fstatat(fd, entry->d_name, &info, 0) == 0 &&
                 S_ISDIR(info.st_mode)) {
        found.kind = EntryKind::linkedFolder;
      }
    }
    entries.push_back(std::move(found));
    errno = 0;
  }
  const Status listed = errno != 0 ? failure(errno) : Status();
  closedir(folder);
  return listed;
}

Status kindOf(const htext& path, EntryKind& kind) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return failure(errno);
  kind = EntryKind::file;
  if (S_ISDIR(info.st_mode)) {
    kind = EntryKind::folder;
  } else if (S_ISLNK(info.st_mode) && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    kind = EntryKind::linkedFolder;
  }
  return Status();
}

Status fileSize(const htext& path, uint64_t& size) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return failure(errno);
  if (!S_ISREG(info.st_mode)) return Status(Status::Code::failed, kNotRegularFile);
  size = uint64_t(info.st_size);
  return Status();
}

Status makeFolder(const htext& path) {
  if (mkdir(path.c_str(), 0777) == 0) return Status();
  return errno == EEXIST ? Status(Status::Code::exists) : failure(errno);
}

namespace {

// Removes name in the folder open as at, and below it, without following a
// link.
Status removeAt(int at, const char* name) {
  struct stat info;
  if (fstatat(at, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return failure(errno);
  if (!S_ISDIR(info.st_mode)) {
    return unlinkat(at, name, 0) == 0 ? Status() : failure(errno);
  }
  const int fd = openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return failure(errno);
  DIR* folder = fdopendir(fd);
  if (folder == nullptr) {
    const Status failed = failure(errno);
    close(fd);
    return failed;
  }
  Status removed;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(folder)) {
    const std::string child = entry->d_name;
    if (child != "." && child != "..") names.push_back(child);
  }
  for (const std::string& child : names) {
    const Status one = removeAt(fd, child.c_str());
    if (removed.ok()) removed = one;
  }
  closedir(folder);
  if (!removed.ok()) return removed;
  return unlinkat(at, name, AT_REMOVEDIR) == 0 ? Status() : failure(errno);
}

}  // namespace

Status removeTree(const htext& path) { return removeAt(AT_FDCWD, path.c_str()); }

Status moveEntry(const htext& from, const htext& to) {
  // rename would replace an empty folder or a file standing at to.
  struct stat info;
  if (lstat(to.c_str(), &info) == 0) return Status(Status::Code::exists);
  return rename(from.c_str(), to.c_str()) == 0 ? Status() : failure(errno);
}

const bool kLinksMoveAsLinks = true;
const bool kNamesFoldCase = false;

Status exchangeFolders(const htext& from, const htext& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) == 0) {
    return Status();
  }
  if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP) {
    return Status(Status::Code::unsupported);
  }
  return failure(errno);
}

namespace {

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

Status lockFolder(const htext& folder, FolderLock& lock) {
  lock.release();
  const htext path = folder + kLockSuffix;
  // The run that held the file last removes it at its end: one that opened
  // it before then locks a file that no name leads to any more, and must
  // take the one the name gives now, or two runs would hold two files.
  for (int attempt = 0; attempt < 16; ++attempt) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return failure(errno);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int code = errno;
      close(fd);
      return code == EWOULDBLOCK ? Status(Status::Code::busy) : failure(code);
    }
    struct stat opened, named;
    if (fstat(fd, &opened) == 0 && lstat(path.c_str(), &named) == 0 && sameFile(opened, named)) {
      lock.file_ = fd;
      lock.path_ = path;
      return Status();
    }
    close(fd);
  }
  return Status(Status::Code::failed, "its lock file keeps being replaced");
}

void FolderLock::release() {
  if (file_ == kNone) return;
  const int fd = static_cast<int>(file_);
  // Removed while still locked, so that no run takes it in between; a file
  // that stands there now but is not this one is another run's.
  struct stat opened, named;
  if (fstat(fd, &opened) == 0 && lstat(path_.c_str(), &named) == 0 && sameFile(opened, named)) {
    unlink(path_.c_str());
  }
  close(fd);
  file_ = kNone;
  path_ = htext();
}

bool inputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

unsigned usableProcessors() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
    return static_cast<unsigned>(CPU_COUNT(&set));
  }
  const unsigned online = std::thread::hardware_concurrency();
  return online > 0 ? online : 1;
}

}  // namespace host
}  // namespace velmora
