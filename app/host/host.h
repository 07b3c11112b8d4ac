// The host services of the tool: reading frames, writing files, the console's
// input, and the count of cores it may use.
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

// The processor cores this process may run on (its affinity mask), at least 1.
unsigned usableProcessors();

// Whether standard input is an interactive terminal (a console on Windows),
// where a pause can wait for someone to press Enter. A pipe, a file or a
// closed input is not.
bool inputIsTerminal();

}  // namespace host
}  // namespace velmora

#endif  // VELMORA_HOST_HOST_H
