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

#include "corvane/hfolder.h"
#include "host/host.h"

namespace velmora {
namespace host {

using corvane::hfolder;
using corvane::htext;

namespace {

std::wstring wide(const htext& text) {
  const std::u16string units = text.toWide();
  return std::wstring(units.begin(), units.end());
}

// The system's message for the error code, in UTF-8, without the line break
// FormatMessage ends it with.
Status errorOf(DWORD code) {
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

Status lastError() { return errorOf(GetLastError()); }

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
  // The C library's seek need not set the Windows error, so it has no words
  // of the system to quote.
  if (std::fseek(stream, 0, SEEK_SET) != 0) {
    std::fclose(stream);
    return Status(Status::Code::failed);
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

namespace {

htext narrow(const wchar_t* text) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide text is UTF-16");
  return htext::fromWide(reinterpret_cast<const char16_t*>(text));
}

// Every entry of folder, "." and ".." left out; false when it cannot be listed.
bool eachEntry(const std::wstring& folder, std::vector<WIN32_FIND_DATAW>& found) {
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") found.push_back(data);
  } while (FindNextFileW(find, &data));
  const bool ended = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(find);
  return ended;
}

bool isFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// The attributes of the entry at path itself, as its folder lists it: a
// link's own, where GetFileAttributesW can give the attributes of what the
// link points to (Wine does, for a symbolic link of the host).
DWORD ownAttributes(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW(path.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return INVALID_FILE_ATTRIBUTES;
  FindClose(find);
  return data.dwFileAttributes;
}
// A junction or a symbolic link: a reparse point.
bool isLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

Status removeWide(const std::wstring& path, DWORD attributes) {
  // A link to a folder is removed as the link, never entered.
  if (isFolder(attributes) && !isLink(attributes)) {
    std::vector<WIN32_FIND_DATAW> entries;
    if (!eachEntry(path, entries)) return lastError();
    Status removed;
    for (const WIN32_FIND_DATAW& entry : entries) {
      const Status one = removeWide(path + L"\\" + entry.cFileName, entry.dwFileAttributes);
      if (removed.ok()) removed = one;
    }
    if (!removed.ok()) return removed;
  }
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    SetFileAttributesW(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
  }
  const BOOL done = isFolder(attributes) ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str());
  return done ? Status() : lastError();
}

}  // namespace

Status listFolder(const htext& path, std::vector<FolderEntry>& entries) {
  entries.clear();
  std::vector<WIN32_FIND_DATAW> found;
  if (!eachEntry(wide(path), found)) return lastError();
  for (const WIN32_FIND_DATAW& entry : found) {
    FolderEntry listed{narrow(entry.cFileName), EntryKind::file};
    if (isFolder(entry.dwFileAttributes)) {
      listed.kind = isLink(entry.dwFileAttributes) ? EntryKind::linkedFolder : EntryKind::folder;
    }
    entries.push_back(std::move(listed));
  }
  return Status();
}

Status kindOf(const htext& path, EntryKind& kind) {
  const DWORD attributes = ownAttributes(wide(path));
  if (attributes == INVALID_FILE_ATTRIBUTES) return lastError();
  kind = !isFolder(attributes) ? EntryKind::file
         : isLink(attributes)  ? EntryKind::linkedFolder
                               : EntryKind::folder;
  return Status();
}

Status fileSize(const htext& path, uint64_t& size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &data)) return lastError();
  if (isFolder(data.dwFileAttributes)) return Status(Status::Code::failed, kNotRegularFile);
  size = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  return Status();
}

Status makeFolder(const htext& path) {
  // corvane's creation, the one every folder of a single folder's run gets,
  // so that a tree's folders open to the same users.
  unsigned long code = 0;
  if (hfolder::makeFolder(path, code)) return Status();
  return code == ERROR_ALREADY_EXISTS ? Status(Status::Code::exists) : errorOf(DWORD(code));
}

Status removeTree(const htext& path) {
  const std::wstring target = wide(path);
  const DWORD attributes = ownAttributes(target);
  if (attributes == INVALID_FILE_ATTRIBUTES) return lastError();
  return removeWide(target, attributes);
}

Status moveEntry(const htext& from, const htext& to) {
  // Without MOVEFILE_REPLACE_EXISTING nothing that stands at to is replaced.
  if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), 0)) return Status();
  const DWORD code = GetLastError();
  if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) return Status(Status::Code::exists);
  SetLastError(code);
  return lastError();
}

const bool kLinksMoveAsLinks = false;
const bool kNamesFoldCase = true;

Status exchangeFolders(const htext&, const htext&) { return Status(Status::Code::unsupported); }

namespace {

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool sameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION one, other;
  return GetFileInformationByHandle(a, &one) && GetFileInformationByHandle(b, &other) &&
         one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
         one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
}

}  // namespace

Status lockFolder(const htext& folder, FolderLock& lock) {
  lock.release();
  const std::wstring path = wide(folder + kLockSuffix);
  // The file is locked through a handle that does not delete it, so that a
  // run that finds it locked leaves it as it was; only the holder opens the
  // second handle, whose close (at the release, or by the system when the
  // process ends) deletes it. A file whose holder has just closed it is
  // about to go: another try takes the next one.
  for (int attempt = 0; attempt < 16; ++attempt) {
    if (attempt > 0) Sleep(10);
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_ACCESS_DENIED) continue;
      return lastError();
    }
    OVERLAPPED whole = {};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
      const DWORD code = GetLastError();
      CloseHandle(file);
      return code == ERROR_LOCK_VIOLATION ? Status(Status::Code::busy) : errorOf(code);
    }
    const HANDLE doomed = CreateFileW(path.c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr);
    if (doomed != INVALID_HANDLE_VALUE && sameFile(file, doomed)) {
      lock.file_ = reinterpret_cast<intptr_t>(file);
      lock.doomed_ = reinterpret_cast<intptr_t>(doomed);
      return Status();
    }
    if (doomed != INVALID_HANDLE_VALUE) CloseHandle(doomed);
    CloseHandle(file);
  }
  return Status(Status::Code::failed, "its lock file keeps being replaced");
}

void FolderLock::release() {
  if (file_ == kNone) return;
  // The file goes while it is still locked, so that no run takes it between.
  CloseHandle(reinterpret_cast<HANDLE>(doomed_));
  CloseHandle(reinterpret_cast<HANDLE>(file_));
  file_ = doomed_ = kNone;
}

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
