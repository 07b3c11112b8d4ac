// The text and path operations on arbitrary bytes, NULs included, checked
// against what they promise.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "asan_defaults.h"
#include "corvane/hcontainer.h"
#include "corvane/hfolder.h"
#include "corvane/htext.h"

using corvane::hfolder;
using corvane::hlist;
using corvane::htext;

namespace {

void check(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

// Well-formed UTF-8 of one to three bytes per character (no overlong forms),
// so of code points up to U+FFFF; surrogates pass, as toWide and fromWide
// carry them through.
bool isShortUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    int extra;
    unsigned value;
    if (b < 0x80) {
      extra = 0;
      value = b;
    } else if (b >= 0xC2 && b <= 0xDF) {
      extra = 1;
      value = b & 31u;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2;
      value = b & 15u;
    } else {
      return false;
    }
    if (i + size_t(extra) >= s.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      const unsigned char c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      value = value << 6 | (c & 63u);
    }
    if (extra == 2 && value < 0x800) return false;
    i += size_t(extra) + 1;
  }
  return true;
}

void checkSimplified(const htext& s) {
  check(s.find('\\') == htext::npos, "simplify leaves no backslash");
  check(s.find("//") == htext::npos, "simplify leaves no doubled separator");
  if (s.empty() || s == ".") return;
  check(s.back() != '/', "simplify leaves no trailing separator");
  const hlist<htext> segments = s.split('/');
  bool leading = true;
  for (size_t i = 0; i < segments.size(); ++i) {
    const htext& segment = segments[int(i)];
    check(segment != ".", "no '.' segment unless the whole result is '.'");
    if (segment == "..") {
      check(leading, "'..' only as a leading run");
    } else if (!(i == 0 && segment.empty())) {
      leading = false;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const htext text(std::string(reinterpret_cast<const char*>(data), size));
  const htext view(text.c_str());

  const htext simplified = hfolder::simplify(text);
  checkSimplified(simplified);
  check(hfolder::simplify(simplified) == simplified, "simplify is idempotent");
  const htext clean = hfolder::cleanSeparators(text);
  check(clean.find('\\') == htext::npos && clean.find("//") == htext::npos, "cleanSeparators");

  const hlist<htext> segments = hfolder::splitSegments(text);
  check(!segments.empty(), "splitSegments is never empty");
  check(hfolder::leafOf(text) == segments.back(), "leafOf is the last segment");
  hfolder::joinAll(segments);

  if (size > 0 && data[0] != 0) {
    const char delimiter[2] = {char(data[0]), '\0'};
    const htext rest(text.substr(1));
    const htext restView(rest.c_str());
    const hlist<htext> pieces = rest.split(delimiter[0]);
    check(pieces.size() == size_t(restView.countOf(delimiter)) + 1, "split gives countOf + 1 pieces");
    // Walked, not joined: rebuilding the text piece by piece copied it once
    // per piece, and a 4 KiB input of one repeated byte has 4,096 of them.
    size_t at = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
      const htext& piece = pieces[int(i)];
      check(restView.compare(at, piece.size(), piece) == 0, "each piece is the text at its place");
      at += piece.size();
      if (i + 1 < pieces.size()) {
        check(at < restView.size() && restView[at] == delimiter[0], "a delimiter between the pieces");
        ++at;
      }
    }
    check(at == restView.size(), "the pieces and delimiters make the text");
  }

  if (isShortUtf8(view)) {
    const std::u16string wide = view.toWide();
    check(htext::fromWide(wide.c_str()) == view, "fromWide(toWide(s)) == s");
  } else {
    htext::fromWide(view.toWide().c_str());
  }

  const htext formatted = corvane::hsprintf("%s", view.c_str());
  check(view.size() < 32768 ? formatted == view : formatted.empty(), "hsprintf of %s");
  // Fields up to 4 KiB: glibc pads a truncated field a few bytes at a time,
  // and each of hsprintf's doubling attempts pads it anew, so 64 KiB fields
  // left the fuzzer a few hundred inputs a second. The limit past 32 KiB is
  // the unit tests' (HsprintfLengthLimit).
  const int width = size >= 2 ? (data[0] | data[1] << 8) % 4097 : 0;
  const htext padded = corvane::hsprintf("%*s|%.3s", width, "", view.c_str());
  check(padded.size() == (size_t(width) + 1 + std::min<size_t>(3, view.size()) < 32768
                              ? size_t(width) + 1 + std::min<size_t>(3, view.size())
                              : 0),
        "hsprintf of a wide field");
  return 0;
}
