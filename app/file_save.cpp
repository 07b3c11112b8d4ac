#include "file_save.h"

#include <cstdio>
#include <random>

#include "file_host.h"

namespace velmora {

using corvane::htext;

namespace {

// A name no one can guess ahead, so no link can be planted under it.
htext temporaryName(const htext& target) {
  thread_local std::mt19937_64 random{std::random_device{}()};
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, ".%016llx.part",
                static_cast<unsigned long long>(random()));
  return target + suffix;
}

}  // namespace

bool saveFile(const std::string& bytes, const htext& target) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    const htext partial = temporaryName(target);
    switch (files::writeNewFile(partial, bytes.data(), bytes.size())) {
      case files::NewFile::exists:
        continue;
      case files::NewFile::failed:
        return false;
      case files::NewFile::written:
        if (files::replaceFile(partial, target)) return true;
        files::removeFile(partial);
        return false;
    }
  }
  return false;
}

}  // namespace velmora
