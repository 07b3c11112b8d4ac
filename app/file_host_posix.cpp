// POSIX file calls: paths are byte strings and pass through unconverted.
#include <fcntl.h>
#include <sched.h>
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

#include "file_host.h"

namespace velmora {
namespace files {

using corvane::htext;

namespace {

// The C library's words for the error, without strerror's shared buffer.
void keepError(int code, std::string* error) {
  if (error != nullptr) *error = std::error_code(code, std::generic_category()).message();
}

}  // namespace

bool openRegularFile(const htext& path, std::size_t limit, std::vector<unsigned char>& bytes, std::FILE*& file,
                     std::string* error) {
  bytes.clear();
  file = nullptr;
  // Without O_NONBLOCK the open of a named pipe would wait for a writer; the
  // test is made on what was opened, so a swap after it cannot matter.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    keepError(errno, error);
    return false;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return false;
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
      keepError(errno, error);
      close(fd);
      bytes.clear();
      return false;
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
    close(fd);
    return true;
  }
  bytes = std::vector<unsigned char>();
  if (lseek(fd, 0, SEEK_SET) != 0 || (file = fdopen(fd, "rb")) == nullptr) {
    keepError(errno, error);
    close(fd);
    return false;
  }
  return true;
}

NewFile writeNewFile(const htext& path, const void* data, std::size_t size, std::string* error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno == EEXIST) return NewFile::exists;
    keepError(errno, error);
    return NewFile::failed;
  }
  const char* bytes = static_cast<const char*>(data);
  bool good = true;
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A write that takes nothing without an error still means no room.
      keepError(n < 0 ? errno : ENOSPC, error);
      good = false;
      break;
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  // A full disk or a quota may only show at the close (network file systems
  // write back then).
  if (close(fd) != 0 && good) {
    keepError(errno, error);
    good = false;
  }
  if (good) return NewFile::written;
  unlink(path.c_str());
  return NewFile::failed;
}

bool replaceFile(const htext& from, const htext& to, std::string* error) {
  if (rename(from.c_str(), to.c_str()) == 0) return true;
  keepError(errno, error);
  return false;
}

bool removeFile(const htext& path) { return unlink(path.c_str()) == 0; }

unsigned usableProcessors() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
    return static_cast<unsigned>(CPU_COUNT(&set));
  }
  const unsigned online = std::thread::hardware_concurrency();
  return online > 0 ? online : 1;
}

}  // namespace files
}  // namespace velmora
