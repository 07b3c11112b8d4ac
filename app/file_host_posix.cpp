// POSIX file calls: paths are byte strings and pass through unconverted.
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>
#include <thread>

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

std::FILE* openRegularFile(const htext& path, std::string* error) {
  // Without O_NONBLOCK the open of a named pipe would wait for a writer; the
  // test is made on what was opened, so a swap after it cannot matter.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    keepError(errno, error);
    return nullptr;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return nullptr;
  }
  std::FILE* file = fdopen(fd, "rb");
  if (file == nullptr) {
    keepError(errno, error);
    close(fd);
  }
  return file;
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
