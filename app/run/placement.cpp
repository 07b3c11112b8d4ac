#include "run/placement.h"

#include <algorithm>

#include "corvane/hfolder.h"
#include "host/file_save.h"
#include "host/folder_replace.h"
#include "host/host.h"
#include "run/animations.h"

namespace velmora {

using corvane::hfolder;
using corvane::htext;

namespace {

// Whether name is prefix, one digit or more, and suffix.
bool isNumbered(const std::string& name, const std::string& prefix, const std::string& suffix) {
  if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return false;
  }
  const size_t other = name.find_first_not_of("0123456789", prefix.size());
  return (other == std::string::npos ? name.size() : other) == name.size() - suffix.size();
}

// What a folder of the staging folder is renamed to when it holds something
// of the user's: no longer a number, so no run removes it.
const char* const kStrandedSuffix = "-kept";

// Whether a staging folder that a run left holds its frames alone: folders
// named by their number.
bool holdsFramesAlone(const htext& staging, Env& env) {
  std::vector<host::FolderEntry> entries;
  if (!env.listFolder(staging, entries).ok()) return false;
  return std::all_of(entries.begin(), entries.end(), [](const host::FolderEntry& entry) {
    return entry.kind == host::EntryKind::folder && isNumbered(entry.name, "", "");
  });
}

}  // namespace

bool isOutputFrame(const std::string& name) { return isNumbered(name, "out_", ".png"); }


bool isSheetFile(const std::string& name) {
  return name == "sheet.png" || name == "sheet.json" || isNumbered(name, "sheet-", ".png") ||
         isNumbered(name, "sheet-", ".json");
}

htext under(const htext& root, const htext& relative) {
  return relative.empty() ? root : hfolder::join(root, relative);
}

Status makeFolders(const htext& root, const htext& relative) {
  htext place = root;
  for (const htext& segment : relative.split('/')) {
    if (segment.empty()) continue;
    place = hfolder::join(place, segment);
    const Status made = host::makeFolder(place);
    if (made.code() == Status::Code::exists) {
      host::EntryKind kind = host::EntryKind::file;
      if (!host::kindOf(place, kind).ok() || kind != host::EntryKind::folder) {
        return Status(Status::Code::failed, "\"" + std::string(place.c_str()) + "\" is no folder");
      }
    } else if (!made.ok()) {
      return made;
    }
  }
  return Status();
}

htext parentOf(const htext& relative) {
  const size_t slash = relative.rfind('/');
  return slash == htext::npos ? htext() : relative.subString(0, slash);
}

Status putInPlace(const htext& prepared, const htext& place, bool (*owned)(const std::string&),
                  bool& stranded, Env& env) {
  stranded = false;
  host::EntryKind kind = host::EntryKind::folder;
  const bool standing = env.kindOf(place, kind).ok();
  if (standing && kind == host::EntryKind::file) {
    return Status(Status::Code::failed, "a file stands where its folder goes");
  }
  // A link planted in its place is replaced, never entered; where a link
  // cannot be moved as itself, it is not touched at all.
  if (standing && kind == host::EntryKind::linkedFolder && !host::kLinksMoveAsLinks) {
    return Status(Status::Code::failed, "a link to a folder stands where its folder goes");
  }
  std::vector<std::string> carried;
  // What moved over goes back where it was; should that fail, the prepared
  // folder, which then holds it, moves out of the staging folder (which goes
  // at the end) to a free name beside its place, so nothing of the user's is
  // lost.
  const auto putBack = [&](const Status& why) {
    bool back = true;
    for (const std::string& name : carried) {
      back = env.moveEntry(hfolder::join(prepared, name), hfolder::join(place, name)).ok() && back;
    }
    if (back) return why;
    htext held;
    for (int n = 1; n <= 16 && held.empty(); ++n) {
      const htext kept = place + ".velmoraReelCut-kept" + (n == 1 ? htext() : htext("~") + htext(n));
      if (env.moveEntry(prepared, kept).ok()) held = kept;
    }
    if (held.empty()) {
      // Named apart from the frames of the run, so that no run removes the
      // staging folder that holds it.
      stranded = true;
      held = prepared + kStrandedSuffix;
      if (!env.moveEntry(prepared, held).ok()) held = prepared;
    }
    return Status(why.code(), why.reason() + "; what its folder held is in \"" +
                                  std::string(held.c_str()) + "\"");
  };
  if (standing && kind == host::EntryKind::folder) {
    std::vector<host::FolderEntry> entries;
    const Status listed = env.listFolder(place, entries);
    if (!listed.ok()) return listed;
    for (const host::FolderEntry& entry : entries) {
      if (entry.kind == host::EntryKind::file && owned(entry.name)) continue;
      if (entry.kind == host::EntryKind::linkedFolder && !host::kLinksMoveAsLinks) {
        return putBack(Status(Status::Code::failed, "a link to a folder stands in its folder"));
      }
      const Status moved =
          env.moveEntry(hfolder::join(place, entry.name), hfolder::join(prepared, entry.name));
      if (!moved.ok()) return putBack(moved);
      carried.push_back(entry.name);
    }
  }
  const Status replaced = replaceFolder(prepared, place, env);
  return replaced.ok() ? replaced : putBack(replaced);
}

Status makeStagingFolder(const htext& folder, htext& staging, Env& env) {
  std::vector<host::FolderEntry> entries;
  if (env.listFolder(folder, entries).ok()) {
    const std::string prefix = kStagingPrefix;
    for (const host::FolderEntry& entry : entries) {
      const std::string& name = entry.name;
      if (entry.kind != host::EntryKind::folder || name.size() != prefix.size() + 16 ||
          name.compare(0, prefix.size(), prefix) != 0 ||
          name.find_first_not_of("0123456789abcdef", prefix.size()) != std::string::npos) {
        continue;
      }
      const htext left = hfolder::join(folder, entry.name);
      if (holdsFramesAlone(left, env)) env.removeTree(left);
    }
  }
  staging = hfolder::join(folder, htext(kStagingPrefix) + unguessableHex().c_str());
  return env.makeFolder(staging);
}

}  // namespace velmora
