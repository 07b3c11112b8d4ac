// The host calls of the tool's file-system transactions, behind one interface.
//
// Saving a file whole (saveFile), putting a prepared folder in the place of
// an old one (replaceFolder, putInPlace) and making a run's staging folder
// (makeStagingFolder) are promises about every way a host call can fail: the
// old content or the new one, never a mix, and never a user's file lost. They
// take their host calls through an Env, so that a test can hand them one that
// fails any chosen call and check the promise at every step. The tool itself
// passes systemEnv(), which forwards each call unchanged to host.h's function
// of the same name (host_posix.cpp or host_windows.cpp), with its guarantees
// and its words. Everything else of the tool calls host.h directly.
//
// An Env is used from one thread at a time by a transaction; systemEnv() is
// stateless and may be used from any thread.
#ifndef VELMORA_HOST_ENV_H
#define VELMORA_HOST_ENV_H

#include <cstddef>
#include <vector>

#include "base/status.h"
#include "corvane/htext.h"
#include "host/host.h"

namespace velmora {

class Env {
 public:
  virtual ~Env() = default;

  // Reading what stands: see host.h.
  virtual Status kindOf(const corvane::htext& path, host::EntryKind& kind) = 0;
  virtual Status listFolder(const corvane::htext& path,
                            std::vector<host::FolderEntry>& entries) = 0;

  // The calls that change what stands: see host.h.
  virtual Status makeFolder(const corvane::htext& path) = 0;
  virtual Status removeTree(const corvane::htext& path) = 0;
  virtual Status moveEntry(const corvane::htext& from, const corvane::htext& to) = 0;
  virtual Status exchangeFolders(const corvane::htext& from, const corvane::htext& to) = 0;
  virtual Status writeNewFile(const corvane::htext& path, const void* data, std::size_t size) = 0;
  virtual Status replaceFile(const corvane::htext& from, const corvane::htext& to) = 0;
  virtual bool removeFile(const corvane::htext& path) = 0;
};

// The host itself.
Env& systemEnv();

}  // namespace velmora

#endif  // VELMORA_HOST_ENV_H
