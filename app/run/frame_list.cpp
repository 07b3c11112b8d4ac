#include "run/frame_list.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/host.h"

namespace velmora {

using corvane::hlist;
using corvane::htext;

namespace {

unsigned char foldCase(unsigned char c) { return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c; }

bool foldedPrecedes(const char* a, const char* b) {
  const auto* x = reinterpret_cast<const unsigned char*>(a);
  const auto* y = reinterpret_cast<const unsigned char*>(b);
  for (; *x != 0 && foldCase(*x) == foldCase(*y); ++x, ++y) {
  }
  if (foldCase(*x) != foldCase(*y)) return foldCase(*x) < foldCase(*y);
  return std::strcmp(a, b) < 0;
}

bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// Moves at past the leading zeros of the digit run it points to (one stays
// when all are zeros) and gives the end of the run.
const unsigned char* digitRun(const unsigned char*& at) {
  while (*at == '0' && isDigit(at[1])) ++at;
  const unsigned char* end = at;
  while (isDigit(*end)) ++end;
  return end;
}

// Below, equal to or above zero as x comes before, ties with or follows y on
// the tokens alone.
int compareTokens(const unsigned char* x, const unsigned char* y) {
  while (*x != 0 && *y != 0) {
    if (isDigit(*x) && isDigit(*y)) {
      const unsigned char* xEnd = digitRun(x);
      const unsigned char* yEnd = digitRun(y);
      // Without leading zeros the longer run holds the larger number, so no
      // run ever has to fit in a machine word.
      if (xEnd - x != yEnd - y) return xEnd - x < yEnd - y ? -1 : 1;
      for (; x != xEnd; ++x, ++y) {
        if (*x != *y) return *x < *y ? -1 : 1;
      }
      continue;
    }
    // A digit never folds and a digit run starts with one, so a run against
    // a single byte is always decided here.
    if (foldCase(*x) != foldCase(*y)) return foldCase(*x) < foldCase(*y) ? -1 : 1;
    ++x;
    ++y;
  }
  if (*x == *y) return 0;
  return *x == 0 ? -1 : 1;
}

}  // namespace

bool namePrecedes(const char* a, const char* b) { return foldedPrecedes(a, b); }

Precedes precedesBy(FrameOrder order) {
  return order == FrameOrder::natural ? naturallyPrecedes : namePrecedes;
}

bool naturallyPrecedes(const char* a, const char* b) {
  const int tokens = compareTokens(reinterpret_cast<const unsigned char*>(a),
                                   reinterpret_cast<const unsigned char*>(b));
  // Name order is total, so ties such as f01 and f1 still get one order, and
  // deciding them only among equal tokens keeps the order transitive.
  if (tokens != 0) return tokens < 0;
  return foldedPrecedes(a, b);
}

FrameList selectFrames(const hlist<htext>& listing, FrameOrder order) {
  FrameList frames;
  for (const htext& name : listing) {
    if (name.endsWith(".png")) frames.push_back(name.c_str());
  }
  // The folder's own order is a hash on most file systems here; an animation
  // must come out in the order its frames are named.
  std::sort(frames.begin(), frames.end(), precedesBy(order));
  return frames;
}

bool firstNaturalSwap(const FrameList& frames, size_t& a, size_t& b) {
  if (frames.size() < 2) return false;
  // least[k]: the place of the naturally first frame from k to the end.
  std::vector<size_t> least(frames.size());
  least.back() = frames.size() - 1;
  for (size_t k = frames.size() - 1; k-- > 0;) {
    least[k] = naturallyPrecedes(frames[least[k + 1]], frames[k]) ? least[k + 1] : k;
  }
  for (a = 0; a + 1 < frames.size(); ++a) {
    if (!naturallyPrecedes(frames[least[a + 1]], frames[a])) continue;
    for (b = a + 1; !naturallyPrecedes(frames[b], frames[a]); ++b) {
    }
    return true;
  }
  return false;
}

htext zeroPad(const htext& text, int width) {
  if (static_cast<int64_t>(text.size()) >= width) return text;
  return htext(std::string(width - text.size(), '0')) + text;
}

htext outputName(unsigned number) {
  return htext("out_") + zeroPad(htext(int(number)), 5) + ".png";
}

unsigned progressPercent(unsigned done, unsigned total) {
  // 0 / 0 would be NaN, whose conversion to unsigned is undefined.
  if (total == 0) return 100;
  const float ratio = static_cast<float>(done) / static_cast<float>(total);
  return static_cast<unsigned>(ratio * 100.0f);
}

Status listFolderNames(const corvane::htext& folder, corvane::hlist<corvane::htext>& names) {
  std::vector<host::FolderEntry> entries;
  const Status listed = host::listFolder(folder, entries);
  if (!listed.ok()) return listed;
  for (host::FolderEntry& entry : entries) names.push_back(std::move(entry.name));
  return Status();
}

}  // namespace velmora
