#include "host/folder_replace.h"

#include <string>

#include "host/host.h"

namespace velmora {

using corvane::htext;

Status replaceFolder(const htext& from, const htext& to, Env& env) {
  host::EntryKind kind = host::EntryKind::folder;
  if (!env.kindOf(to, kind).ok()) return env.moveEntry(from, to);
  const Status exchanged = env.exchangeFolders(from, to);
  if (exchanged.ok()) {
    env.removeTree(from);
    return Status();
  }
  if (exchanged.code() != Status::Code::unsupported) return exchanged;

  const htext aside = to + ".velmoraReelCut-old";
  if (env.kindOf(aside, kind).ok()) {
    // A link there may point anywhere: it is not followed, nor removed.
    if (kind != host::EntryKind::folder) {
      return Status(Status::Code::failed,
                    "\"" + std::string(aside.c_str()) + "\" stands in the way and is no folder");
    }
    const Status cleared = env.removeTree(aside);
    if (!cleared.ok()) return cleared;
  }
  Status moved = env.moveEntry(to, aside);
  if (!moved.ok()) return moved;
  moved = env.moveEntry(from, to);
  if (!moved.ok()) {
    env.moveEntry(aside, to);
    return moved;
  }
  env.removeTree(aside);
  return Status();
}

}  // namespace velmora
