#include "file_save.h"

#include <cstdio>
#include <random>

#include "corvane/hfolder.h"
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

bool saveFile(const std::string& bytes, const htext& target, std::string* reason) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    const htext partial = temporaryName(target);
    switch (files::writeNewFile(partial, bytes.data(), bytes.size(), reason)) {
      case files::NewFile::exists:
        continue;
      case files::NewFile::failed:
        return false;
      case files::NewFile::written:
        if (files::replaceFile(partial, target, reason)) return true;
        files::removeFile(partial);
        return false;
    }
  }
  return false;
}

htext settleFilePath(const htext& typed) {
  using corvane::hfolder;
  if (typed.empty() || typed.endsWith("/") || typed.endsWith("\\")) return htext();
  const htext path = hfolder::simplify(typed);
  const size_t slash = path.rfind('/');
  const htext folder = slash == htext::npos ? htext(".") : path.subString(0, slash);
  if (!hfolder::isFolder(folder) || hfolder::isFolder(path)) return htext();
  return path;
}

}  // namespace velmora
