// Win32 host calls. Paths are UTF-8 inside the tool and UTF-16 at the Win32
// call; they cross only through htext::toWide.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <bitset>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "host/host.h"

namespace velmora {
namespace host {

using corvane::htext;

namespace {

std::wstring wide(const htext& text) {
  const std::u16string units = text.toWide();
  return std::wstring(units.begin(), units.end());
}

// The system's message for the last error, in UTF-8, without the line break
// FormatMessage ends it with.
Status lastError() {
  const DWORD code = GetLastError();
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) {
    return Status(Status::Code::failed, "Windows error " + std::to_string(code));
  }
  std::u16string units(text, text + length);
  LocalFree(text);
  while (!units.empty() && (units.back() == u'\n' || units.back() == u'\r' || units.back() == u' ')) {
    units.pop_back();
  }
  return Status(Status::Code::failed, htext::fromWide(units.c_str()).c_str());
}

}  // namespace

Status openRegularFile(const htext& path, std::size_t limit, std::vector<unsigned char>& bytes,
                       std::FILE*& file, uint64_t& size) {
  bytes.clear();
  file = nullptr;
  size = 0;
  // Without FILE_FLAG_BACKUP_SEMANTICS a folder cannot be opened at all; a
  // pipe or a device (CON, NUL, COM1) opens, and is refused by its type below.
  const HANDLE handle = CreateFileW(wide(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const Status failed = lastError();
    // A folder cannot be opened this way at all: say what it is, as POSIX
    // does, rather than "Access denied".
    const DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return Status(Status::Code::failed, kNotRegularFile);
    }
    return failed;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    CloseHandle(handle);
    return Status(Status::Code::failed, kNotRegularFile);
  }
  // From here the descriptor owns the handle, and then the stream owns both.
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    return Status(Status::Code::failed);
  }
  std::FILE* stream = _fdopen(fd, "rb");
  if (stream == nullptr) {
    _close(fd);
    return Status(Status::Code::failed);
  }
  // The size is where the reads are expected to end, not a bound: a file
  // that grows meanwhile is read on, and past limit it is streamed.
  size = uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
  if (size <= limit) {
    unsigned char part[16384];
    std::size_t got = 0;
    while (bytes.size() <= limit && (got = std::fread(part, 1, sizeof part, stream)) > 0) {
      bytes.insert(bytes.end(), part, part + got);
      if (got < sizeof part) break;
    }
    if (std::ferror(stream) != 0) {
      const Status failed = lastError();
      std::fclose(stream);
      bytes.clear();
      return failed;
    }
    if (bytes.size() <= limit && std::feof(stream) != 0) {
      size = bytes.size();
      std::fclose(stream);
      return Status();
    }
    bytes = std::vector<unsigned char>();
  }
  if (std::fseek(stream, 0, SEEK_SET) != 0) {
    const Status failed = lastError();
    std::fclose(stream);
    return failed;
  }
  file = stream;
  return Status();
}

Status writeNewFile(const htext& path, const void* data, std::size_t size) {
  const std::wstring target = wide(path);
  // CREATE_NEW fails on any entry of that name, a link included: with
  // FILE_FLAG_OPEN_REPARSE_POINT the link itself is what is looked at, never
  // what it points to.
  const HANDLE handle = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) return Status(Status::Code::exists);
    return lastError();
  }
  const char* bytes = static_cast<const char*>(data);
  Status status;
  while (size > 0) {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    const BOOL wrote = WriteFile(handle, bytes, chunk, &written, nullptr);
    if (!wrote || written == 0) {
      // A write that takes nothing without an error still means no room.
      if (wrote) SetLastError(ERROR_DISK_FULL);
      status = lastError();
      break;
    }
    bytes += written;
    size -= written;
  }
  if (!CloseHandle(handle) && status.ok()) status = lastError();
  if (!status.ok()) DeleteFileW(target.c_str());
  return status;
}

Status replaceFile(const htext& from, const htext& to) {
  // Replaces a file or a link named to (the link itself); a folder named to
  // makes it fail.
  if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0) {
    return Status();
  }
  return lastError();
}

// DeleteFileW refuses folders.
bool removeFile(const htext& path) { return DeleteFileW(wide(path).c_str()) != 0; }

bool inputIsTerminal() {
  // A console input handle has a console mode; a pipe, a file or NUL (which
  // _isatty takes for a terminal) has none.
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

unsigned usableProcessors() {
  // The affinity mask covers the processor group the process runs in, which
  // is where its threads run unless they are moved on purpose.
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
    return static_cast<unsigned>(std::bitset<sizeof(DWORD_PTR) * 8>(process).count());
  }
  const unsigned online = std::thread::hardware_concurrency();
  return online > 0 ? online : 1;
}

}  // namespace host
}  // namespace velmora
