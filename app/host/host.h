// The host services of the tool: reading frames, writing files, holding an
// output folder for one run, the console's input, and the count of cores it
// may use.
//
// Exactly one implementation is compiled in (host_windows.cpp on Windows,
// host_posix.cpp elsewhere); it is the only source of the tool that includes
// the host's file headers. Paths are UTF-8 inside the program. Every call
// reports failure as its result and never throws or prints; a failure the
// system names comes back as a Status with the system's own words ("No space
// left on device"), for the console and the report to quote.
//
// Guarantees the callers rely on:
// - A frame is opened once and only when it is a regular file; a named pipe or
//   a device is refused without blocking, whatever the path names by then.
// - A new file is created only where no entry of its name stands, never
//   through a link, so nothing outside the folder of the path is written.
// - A folder lock is held by one process at a time and goes with the process,
//   however it ends.
#ifndef VELMORA_HOST_HOST_H
#define VELMORA_HOST_HOST_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/status.h"
#include "corvane/htext.h"

namespace velmora {
namespace host {

// The words for a path that opens but is no regular file (a folder, a pipe).
inline const char* const kNotRegularFile = "not a regular file";

// Opens path when it names a regular file (a link to one counts). A file of
// at most limit bytes is read whole into bytes and closed again: ok, file
// nullptr. A larger one is left open for binary reading at its start: ok,
// bytes <empty>, file the stream, which the caller closes. size is the
// file's size: the bytes read, or what the system gave for a larger one.
// Anything else is failed, with the system's words for an open or a read
// that failed, or kNotRegularFile.
//   a 3-byte file, limit 4    => ok, bytes of 3, file nullptr
//   an empty file             => ok, bytes <empty>, file nullptr
//   a 5-byte file, limit 4    => ok, bytes <empty>, file open
//   a folder, a pipe          => failed, "not a regular file"
//   a missing file            => failed, "No such file or directory"
Status openRegularFile(const corvane::htext& path, std::size_t limit,
                       std::vector<unsigned char>& bytes, std::FILE*& file, uint64_t& size);

// Creates path as a new file (mode 0666 under the umask) and writes size bytes
// of data into it, checking every write and the close. ok when every byte was
// written and closed without an error; exists, untouched, when an entry of
// that name stands there (a link included); failed otherwise, with nothing
// left at path.
Status writeNewFile(const corvane::htext& path, const void* data, std::size_t size);

// Renames from to to in the same folder, replacing a file or link named to
// (a link is replaced, not followed). failed when that cannot be done; from
// is then still there.
Status replaceFile(const corvane::htext& from, const corvane::htext& to);

// Removes the file or link at path; never a folder.
bool removeFile(const corvane::htext& path);

// What an entry of a folder is to the tree walk. A link to a folder (a
// symbolic link, or a junction on Windows) is never a folder; a link to a
// file is a file, and so is anything else that is not a folder.
enum class EntryKind { file, folder, linkedFolder };

struct FolderEntry {
  corvane::htext name;
  EntryKind kind = EntryKind::file;
};

// The entries of the folder at path, without "." and "..", in the host's
// order. The path is used as given: no text in it is resolved, and a
// backslash in a POSIX name is part of the name.
Status listFolder(const corvane::htext& path, std::vector<FolderEntry>& entries);

// What stands at path, links not followed; failed when nothing does.
Status kindOf(const corvane::htext& path, EntryKind& kind);

// The size of the regular file at path (a link to one counts).
Status fileSize(const corvane::htext& path, uint64_t& size);

// Creates path as a new folder (on POSIX 0777 under the umask); exists when
// an entry of that name stands there.
Status makeFolder(const corvane::htext& path);

// Removes path and everything below it; a link below it is removed, never
// followed.
Status removeTree(const corvane::htext& path);

// Renames the file or folder from to to, where no entry of that name may
// stand (then exists, and nothing is moved).
Status moveEntry(const corvane::htext& from, const corvane::htext& to);

// Exchanges the names of the folders from and to at once, where the system
// can (Linux's renameat2 with RENAME_EXCHANGE): no moment passes without
// either. unsupported, with nothing moved, where it cannot (Windows, a file
// system that refuses the call).
Status exchangeFolders(const corvane::htext& from, const corvane::htext& to);

// Whether a link can be renamed and removed as the link itself, never as
// what it points to. POSIX says so; Wine renames the folder a host link
// points to, so on Windows a link in the output tree is left alone.
extern const bool kLinksMoveAsLinks;

// Whether the host's file names are the same when they differ only in the
// case of ASCII letters (Windows), so that two outputs must differ by more.
extern const bool kNamesFoldCase;

// What a folder's lock file adds to its name: the file stands beside the
// folder, not in it, so that the folder's own content and time stamps are
// the run's alone, and the folder can be renamed or replaced whole while it
// is held (Windows renames no folder that holds an open file).
inline const char* const kLockSuffix = ".velmoraReelCut-lock";

// A folder held by this process (lockFolder); released, and its file
// removed, when the object goes or release is called. A process that ends
// any other way lets go with its end; on POSIX its file then stays, for the
// next run to take and remove at its end.
class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock() { release(); }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  bool held() const { return file_ != kNone; }
  // Removes the file, where its name still names the file locked, then lets
  // go; nothing when nothing is held.
  void release();

 private:
  friend Status lockFolder(const corvane::htext& folder, FolderLock& lock);
  static constexpr intptr_t kNone = -1;
  intptr_t file_ = kNone;    // the locked file: a descriptor, or a HANDLE on Windows
#ifdef _WIN32
  intptr_t doomed_ = kNone;  // a second handle, whose close deletes the file
#endif
  corvane::htext path_;
};

// Holds folder for this process through the file folder + kLockSuffix, made
// when missing (never through a link), until lock is released: ok; busy,
// with nothing held, when another process holds it; failed, with the
// system's words, when the file cannot be made or locked. The lock is the
// host's own (flock, LockFileEx) on that file, so it goes with the process
// that holds it. A lock held already by lock is released first.
Status lockFolder(const corvane::htext& folder, FolderLock& lock);

// The processor cores this process may run on (its affinity mask), at least 1.
unsigned usableProcessors();

// Whether standard input is an interactive terminal (a console on Windows),
// where a pause can wait for someone to press Enter. A pipe, a file or a
// closed input is not.
bool inputIsTerminal();

}  // namespace host
}  // namespace velmora

#endif  // VELMORA_HOST_HOST_H
