// The host steps that the folder services of hfolder are built on. Exactly one
// implementation is compiled in (folder_host_windows.cpp on Windows,
// folder_host_posix.cpp elsewhere); it is the only source that includes the
// host's file-system headers.
#ifndef CORVANE_FOLDER_HOST_H
#define CORVANE_FOLDER_HOST_H

#include "corvane/htext.h"

namespace corvane {
namespace host {

// Starts enumerating a folder. Gives nullptr for anything that cannot be
// enumerated (missing, not a folder, unreadable, path too long for the host).
// Hosts whose start already yields the first entry store it in firstName and
// set firstDelivered (Win32's FindFirstFileW does); POSIX leaves it false.
void* startEnumeration(const htext& folder, htext& firstName, bool& firstDelivered);
// The next entry's name, or false when none is left.
bool fetchNextEntry(void* handle, htext& name);
void endEnumeration(void* handle);
// Creates one folder; fails for an existing path and for a missing parent,
// with the host's code for why in error (errno, or GetLastError's).
// openAccess asks for the most permissive access the host grants a new folder.
bool createFolder(const htext& path, bool openAccess, unsigned long& error);
// True when both paths, resolved by the host as given, name one existing folder.
bool sameFolder(const htext& a, const htext& b);

}  // namespace host
}  // namespace corvane

#endif  // CORVANE_FOLDER_HOST_H
