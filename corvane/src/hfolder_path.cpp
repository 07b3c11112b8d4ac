// The text-only path operations of hfolder.
#include "corvane/hfolder.h"

namespace corvane {

htext hfolder::join(const htext& first, const htext& second) {
  const bool firstEnds = !first.empty() && first.endsWith("/");
  const bool secondStarts = !second.empty() && second[0] == '/';
  if (firstEnds && secondStarts) return first.subString(0, first.size() - 1) + second;
  if (firstEnds || secondStarts) return first + second;
  return first + "/" + second;
}

htext hfolder::leafOf(const htext& path) {
  const htext trimmed = path.replace("\\", "/").trimRight('/');
  const size_t slash = trimmed.rfind('/');
  if (slash == htext::npos) return trimmed;
  return trimmed.subString(slash + 1, htext::npos);
}

htext hfolder::cleanSeparators(const htext& path) {
  htext clean = path.replace("\\", "/");
  // Each pass halves every run of slashes, so real paths need a handful; the
  // bound only guards against the impossible.
  for (int pass = 0; pass < 1000 && clean.find("//") != htext::npos; ++pass) {
    clean = clean.replace("//", "/");
  }
  return clean;
}

hlist<htext> hfolder::splitSegments(const htext& path) {
  return cleanSeparators(path).trimRight('/').split('/');
}

htext hfolder::simplify(const htext& path) {
  const hlist<htext> segments = splitSegments(path);
  hlist<htext> result;
  for (const htext& segment : segments) {
    if (segment == ".") continue;
    if (segment == "..") {
      // The root has no parent: ".." there must not pop the empty first
      // segment and turn "/.." into the current folder.
      if (result.size() == 1 && result.front().empty()) continue;
      if (result.empty() || result.back() == "..") {
        result.push_back(segment);
      } else {
        result.popLast();
      }
      continue;
    }
    result.push_back(segment);
  }
  if (result.empty()) return ".";
  return joinAll(result);
}

htext hfolder::joinAll(hlist<htext> segments) {
  if (segments.empty()) return htext();
  while (segments.size() > 1) {
    const htext last = segments.popLast();
    segments.back() = join(segments.back(), last);
  }
  return segments.front();
}

}  // namespace corvane
