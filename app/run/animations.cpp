#include "run/animations.h"

#include <algorithm>
#include <map>
#include <set>

#include "corvane/hfolder.h"
#include "host/host.h"

namespace velmora {

using corvane::hfolder;
using corvane::htext;

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool endsWithPng(const std::string& name) {
  return name.size() >= 4 && name.compare(name.size() - 4, 4, ".png") == 0;
}

struct Walk {
  bool tree;
  bool split;
  FrameOrder order;
  const std::vector<htext>& skip;
  AnimationSet& found;

  bool skipped(const htext& path, const std::string& name) const {
    if (name == "autocropped" || name.rfind(kStagingPrefix, 0) == 0) return true;
    return std::any_of(skip.begin(), skip.end(),
                       [&](const htext& folder) { return hfolder::isSameFolder(path, folder); });
  }

  std::set<std::string> outputs;  // of animations
  std::set<std::string> folderOutputs;  // of the folders below the source folder

  // Two names can make one segment ("a\\b" and "a_b", or on Windows "A"
  // and "a"): the later one gets a folder of its own, "~2", "~3", ...
  static htext unique(std::set<std::string>& taken, const htext& wanted) {
    const auto key = [](std::string name) {
      if (host::kNamesFoldCase) {
        for (char& c : name) c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
      }
      return name;
    };
    htext chosen = wanted;
    for (int n = 2; !taken.insert(key(chosen)).second; ++n) chosen = wanted + "~" + htext(n);
    return chosen;
  }

  void add(Animation animation) {
    animation.output = unique(outputs, animation.output);
    found.frames += animation.frames.size();
    found.animations.push_back(std::move(animation));
  }

  void visit(const htext& path, const htext& relative, const htext& output) {
    std::vector<host::FolderEntry> entries;
    const Status listed = host::listFolder(path, entries);
    if (!listed.ok()) {
      found.problems.push_back(FolderProblem{relative, listed});
      return;
    }
    const Precedes precedes = precedesBy(order);
    const auto byName = [](const std::string& a, const std::string& b) {
      return namePrecedes(a.c_str(), b.c_str());
    };
    std::vector<std::string> frames, folders;
    for (const host::FolderEntry& entry : entries) {
      if (entry.kind == host::EntryKind::folder) {
        if (tree) folders.push_back(entry.name);
      } else if (entry.kind == host::EntryKind::file && endsWithPng(entry.name)) {
        frames.push_back(entry.name);
      }
    }
    const auto inOrder = [precedes](std::vector<std::string>& names) {
      std::sort(names.begin(), names.end(), [precedes](const std::string& a, const std::string& b) {
        return precedes(a.c_str(), b.c_str());
      });
    };
    inOrder(frames);
    inOrder(folders);
    if (!frames.empty() && !split) {
      add(Animation{path, relative, htext(), frames, output});
    } else if (!frames.empty()) {
      std::map<std::string, std::vector<std::string>, decltype(byName)> stems(byName);
      for (const std::string& name : frames) stems[stemOf(name)].push_back(name);
      for (auto& [stem, names] : stems) {
        const htext segment = outputSegment(stem);
        add(Animation{path, relative, stem, std::move(names),
                      output.empty() ? segment : output + "/" + segment});
      }
    }
    for (const std::string& name : folders) {
      const htext child = hfolder::join(path, name);
      if (skipped(child, name)) continue;
      const htext segment = outputSegment(name);
      visit(child, relative.empty() ? htext(name) : relative + "/" + htext(name),
            unique(folderOutputs, output.empty() ? segment : output + "/" + segment));
    }
  }
};

}  // namespace

htext stemOf(const std::string& name) {
  std::string stem = endsWithPng(name) ? name.substr(0, name.size() - 4) : name;
  size_t end = stem.size();
  while (end > 0 && !isDigit(stem[end - 1])) --end;
  if (end == 0) return stem;
  size_t start = end;
  while (start > 0 && isDigit(stem[start - 1])) --start;
  if (start > 0 && std::string("-_. ").find(stem[start - 1]) != std::string::npos) --start;
  return stem.erase(start, end - start);
}

htext outputSegment(const htext& name) {
  std::string segment = name;
  std::replace(segment.begin(), segment.end(), '\\', '_');
  if (segment.empty() || segment == "." || segment == "..") segment.insert(0, "_");
  return segment;
}

AnimationSet findAnimations(const htext& source, bool tree, bool split, FrameOrder order,
                            const std::vector<htext>& skip) {
  AnimationSet found;
  Walk walk{tree, split, order, skip, found, {}, {}};
  walk.visit(source, htext(), htext());
  return found;
}

FrameList frameNames(const Animation& animation) {
  FrameList names;
  names.reserve(animation.frames.size());
  for (const std::string& name : animation.frames) names.push_back(name.c_str());
  return names;
}

}  // namespace velmora
