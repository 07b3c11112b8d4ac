// A host that fails on purpose, for the tests of the file-system
// transactions (folder_replace_test, placement_test): it does what the
// system does, on real folders, until the call chosen, and it counts the
// calls that change something so that a test can fail each one in turn.
#ifndef VELMORA_TEST_FAILING_ENV_H
#define VELMORA_TEST_FAILING_ENV_H

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "host/env.h"
#include "test_support.h"

namespace testing_support {

// The system's calls, but the failAt-th call that changes something (from 1;
// 0: none) fails with kMadeUp, and so do the ones after it up to failFor in
// a row. Without exchange, exchangeFolders is unsupported, as on Windows.
class FailingEnv : public velmora::Env {
 public:
  static constexpr const char* kMadeUp = "made-up failure";

  static constexpr unsigned kEveryLater = ~0u;

  unsigned failAt = 0;
  unsigned failFor = 1;
  bool exchange = true;
  unsigned steps = 0;  // the calls that change something, so far

  using htext = corvane::htext;
  using Status = velmora::Status;

  Status kindOf(const htext& path, velmora::host::EntryKind& kind) override {
    return system().kindOf(path, kind);
  }
  Status listFolder(const htext& path, std::vector<velmora::host::FolderEntry>& entries) override {
    return system().listFolder(path, entries);
  }
  Status makeFolder(const htext& path) override {
    return fails() ? madeUp() : system().makeFolder(path);
  }
  Status removeTree(const htext& path) override {
    return fails() ? madeUp() : system().removeTree(path);
  }
  Status moveEntry(const htext& from, const htext& to) override {
    return fails() ? madeUp() : system().moveEntry(from, to);
  }
  Status exchangeFolders(const htext& from, const htext& to) override {
    if (fails()) return madeUp();
    return exchange ? system().exchangeFolders(from, to) : Status(Status::Code::unsupported);
  }
  Status writeNewFile(const htext& path, const void* data, std::size_t size) override {
    return fails() ? madeUp() : system().writeNewFile(path, data, size);
  }
  Status replaceFile(const htext& from, const htext& to) override {
    return fails() ? madeUp() : system().replaceFile(from, to);
  }
  bool removeFile(const htext& path) override { return !fails() && system().removeFile(path); }

 private:
  static velmora::Env& system() { return velmora::systemEnv(); }
  static Status madeUp() { return Status(Status::Code::failed, kMadeUp); }
  bool fails() {
    ++steps;
    return failAt != 0 && steps >= failAt && steps - failAt < failFor;
  }
};

// Every file below root by its path relative to root ('/' between folders)
// and its bytes, and every folder as its path and a trailing '/'; empty for a
// root that is missing.
inline std::map<std::string, std::string> contents(const std::string& root) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> found;
  std::error_code error;
  const fs::path top = fs::u8path(root);
  if (!fs::is_directory(fs::symlink_status(top, error))) return found;
  for (fs::recursive_directory_iterator it(top, error), end; !error && it != end; it.increment(error)) {
    const std::string relative = it->path().lexically_relative(top).generic_u8string();
    if (it->is_directory()) {
      found[relative + "/"] = std::string();
    } else {
      found[relative] = readFile(it->path().u8string());
    }
  }
  return found;
}

// The steps of a transaction: check runs it once in a fresh folder with
// nothing failing (and checks what it did); the count of the calls that
// changed something comes back, for a test to fail each in turn.
template <typename Check>
unsigned stepsOf(bool exchange, Check check) {
  ScopedTempDir dir;
  FailingEnv env;
  env.exchange = exchange;
  check(dir, env);
  return env.steps;
}

}  // namespace testing_support

#endif  // VELMORA_TEST_FAILING_ENV_H
