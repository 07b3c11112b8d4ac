// The host calls through which the tool reads frames and writes files, and
// the count of cores it may use.
//
// Exactly one implementation is compiled in (file_host_windows.cpp on Windows,
// file_host_posix.cpp elsewhere); it is the only source of the tool that
// includes the host's file headers. Paths are
// UTF-8 inside the program. Every call reports failure as its result and never
// throws or prints; the calls that can fail for a reason the system names hand
// that back as text too (the system's own message for the error it met, "No
// space left on device"), for a report to quote.
//
// Guarantees the callers rely on:
// - A frame is opened once and only when it is a regular file; a named pipe or
//   a device is refused without blocking, whatever the path names by then.
// - A new file is created only where no entry of its name stands, never
//   through a link, so nothing outside the folder of the path is written.
#ifndef VELMORA_FILE_HOST_H
#define VELMORA_FILE_HOST_H

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "corvane/htext.h"

namespace velmora {
namespace files {

// Opens path when it names a regular file (a link to one counts). A file of
// at most limit bytes is read whole into bytes and closed again: true, file
// nullptr. A larger one is left open for binary reading at its start: true,
// bytes <empty>, file the stream, which the caller closes. Anything else
// gives false, with error set when the system named why (an open or a read
// that failed; not a file of another kind).
//   a 3-byte file, limit 4    => true, bytes of 3, file nullptr
//   an empty file             => true, bytes <empty>, file nullptr
//   a 5-byte file, limit 4    => true, bytes <empty>, file open
//   a folder, a pipe          => false, error <empty>
bool openRegularFile(const corvane::htext& path, std::size_t limit, std::vector<unsigned char>& bytes,
                     std::FILE*& file, std::string* error = nullptr);

enum class NewFile {
  written,  // created and every byte written and closed without an error
  exists,   // an entry of that name stands there (a link included); untouched
  failed,   // anything else; nothing is left at path
};

// Creates path as a new file (mode 0666 under the umask) and writes size bytes
// of data into it, checking every write and the close. A file that could not
// be written whole is removed again. On failed, error holds why.
NewFile writeNewFile(const corvane::htext& path, const void* data, std::size_t size,
                     std::string* error = nullptr);

// Renames from to to in the same folder, replacing a file or link named to
// (a link is replaced, not followed). False when that cannot be done; from is
// then still there, and error holds why.
bool replaceFile(const corvane::htext& from, const corvane::htext& to,
                 std::string* error = nullptr);

// Removes the file or link at path; never a folder.
bool removeFile(const corvane::htext& path);

// The processor cores this process may run on (its affinity mask), at least 1.
unsigned usableProcessors();

}  // namespace files
}  // namespace velmora

#endif  // VELMORA_FILE_HOST_H
