// Natural order (-order natural) on three arbitrary names, the input split at
// its first two NULs: a strict total order (irreflexive, exactly one of a < b
// and b < a for distinct names, transitive), the name order wherever no digit
// is involved, and the order its definition in frame_list.h gives, written
// out again here.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "asan_defaults.h"
#include "run/frame_list.h"

namespace {

void check(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

unsigned char folded(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }
bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// Name order: bytes with a-z folded to A-Z; equal after folding, bytes.
int nameCompare(const std::string& a, const std::string& b) {
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    const unsigned char x = folded(a[i]), y = folded(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : a.compare(b) > 0 ? 1 : 0;
}

// The definition, token by token: a digit run against a digit run by value,
// anything else as (folded) bytes, a digit run as its first digit.
bool naturalReference(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const unsigned char x = a[i], y = b[j];
    if (isDigit(x) && isDigit(y)) {
      size_t endA = i, endB = j;
      while (endA < a.size() && isDigit(a[endA])) ++endA;
      while (endB < b.size() && isDigit(b[endB])) ++endB;
      size_t startA = i, startB = j;
      while (startA < endA && a[startA] == '0') ++startA;
      while (startB < endB && b[startB] == '0') ++startB;
      const std::string valueA = a.substr(startA, endA - startA), valueB = b.substr(startB, endB - startB);
      if (valueA.size() != valueB.size()) return valueA.size() < valueB.size();
      if (valueA != valueB) return valueA < valueB;
      i = endA;
      j = endB;
      continue;
    }
    if (folded(x) != folded(y)) return folded(x) < folded(y);
    // Equal after folding and not digits (no letter folds to a digit).
    ++i;
    ++j;
  }
  if (i < a.size() || j < b.size()) return i >= a.size();
  return nameCompare(a, b) < 0;
}

bool hasDigit(const std::string& s) { return std::any_of(s.begin(), s.end(), [](char c) { return isDigit(c); }); }

bool less(const std::string& a, const std::string& b) { return velmora::naturallyPrecedes(a.c_str(), b.c_str()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string names[3];
  size_t k = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && k < 2) {
      ++k;
    } else if (data[i] != 0) {
      names[k].push_back(char(data[i]));
    }
  }
  for (const std::string& a : names) {
    check(!less(a, a), "irreflexive");
    for (const std::string& b : names) {
      const bool ab = less(a, b), ba = less(b, a);
      if (a == b) {
        check(!ab && !ba, "equal names in neither order");
      } else {
        check(ab != ba, "exactly one of a < b and b < a");
      }
      check(ab == naturalReference(a, b), "the order of the definition");
      if (!hasDigit(a) && !hasDigit(b)) check(ab == (nameCompare(a, b) < 0), "name order without digits");
      for (const std::string& c : names) {
        if (ab && less(b, c)) check(less(a, c), "transitive");
      }
    }
  }
  return 0;
}
