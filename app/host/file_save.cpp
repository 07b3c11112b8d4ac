#include "host/file_save.h"

#include <cstdio>
#include <random>

#include "corvane/hfolder.h"
#include "host/host.h"

namespace velmora {

using corvane::htext;

std::string unguessableHex() {
  thread_local std::mt19937_64 random{std::random_device{}()};
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(random()));
  return digits;
}

Status saveFile(const std::string& bytes, const htext& target, Env& env) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    const htext partial = target + "." + htext(unguessableHex().c_str()) + ".part";
    const Status written = env.writeNewFile(partial, bytes.data(), bytes.size());
    if (written.code() == Status::Code::exists) continue;
    if (!written.ok()) return written;
    const Status replaced = env.replaceFile(partial, target);
    if (!replaced.ok()) env.removeFile(partial);
    return replaced;
  }
  // Sixteen unpredictable names taken in a row: someone is planting them.
  return Status(Status::Code::failed, "no free temporary name beside it");
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
