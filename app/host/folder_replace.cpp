#include "host/folder_replace.h"

#include <string>

#include "host/host.h"

namespace velmora {

using corvane::htext;

Status replaceFolder(const htext& from, const htext& to) {
  host::EntryKind kind = host::EntryKind::folder;
  if (!host::kindOf(to, kind).ok()) return host::moveEntry(from, to);
  const Status exchanged = host::exchangeFolders(from, to);
  if (exchanged.ok()) {
    host::removeTree(from);
    return Status();
  }
  if (exchanged.code() != Status::Code::unsupported) return exchanged;

  const htext aside = to + ".velmoraReelCut-old";
  if (host::kindOf(aside, kind).ok()) {
    // A link there may point anywhere: it is not followed, nor removed.
    if (kind != host::EntryKind::folder) {
      return Status(Status::Code::failed,
                    "\"" + std::string(aside.c_str()) + "\" stands in the way and is no folder");
    }
    const Status cleared = host::removeTree(aside);
    if (!cleared.ok()) return cleared;
  }
  Status moved = host::moveEntry(to, aside);
  if (!moved.ok()) return moved;
  moved = host::moveEntry(from, to);
  if (!moved.ok()) {
    host::moveEntry(aside, to);
    return moved;
  }
  host::removeTree(aside);
  return Status();
}

}  // namespace velmora
