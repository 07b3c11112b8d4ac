#include "host/env.h"

namespace velmora {

using corvane::htext;

namespace {

class SystemEnv final : public Env {
 public:
  Status kindOf(const htext& path, host::EntryKind& kind) override {
    return host::kindOf(path, kind);
  }
  Status listFolder(const htext& path, std::vector<host::FolderEntry>& entries) override {
    return host::listFolder(path, entries);
  }
  Status makeFolder(const htext& path) override { return host::makeFolder(path); }
  Status removeTree(const htext& path) override { return host::removeTree(path); }
  Status moveEntry(const htext& from, const htext& to) override {
    return host::moveEntry(from, to);
  }
  Status exchangeFolders(const htext& from, const htext& to) override {
    return host::exchangeFolders(from, to);
  }
  Status writeNewFile(const htext& path, const void* data, std::size_t size) override {
    return host::writeNewFile(path, data, size);
  }
  Status replaceFile(const htext& from, const htext& to) override {
    return host::replaceFile(from, to);
  }
  bool removeFile(const htext& path) override { return host::removeFile(path); }
};

}  // namespace

Env& systemEnv() {
  static SystemEnv env;
  return env;
}

}  // namespace velmora
