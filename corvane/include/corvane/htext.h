// htext: the byte-string text type used for every path, option and message.
//
// An htext is a std::string (bytes, value semantics, always NUL-terminated in
// storage) plus the handful of text operations the tool needs. Texts hold UTF-8
// by convention; nothing here checks an encoding. Several operations work on the
// zero-terminated view of a text, that is on its bytes up to the first NUL;
// each says so. No operation throws except through memory exhaustion, and all of
// them except assignment leave the text unchanged and return a new value.
#ifndef CORVANE_HTEXT_H
#define CORVANE_HTEXT_H

#include <cstdarg>
#include <string>

namespace corvane {

template <class T>
class hlist;

class htext : public std::string {
 public:
  htext() = default;
  htext(const char* zeroTerminated);  // NOLINT: implicit on purpose, like std::string
  htext(const std::string& bytes) : std::string(bytes) {}
  htext(const htext&) = default;
  htext(htext&&) noexcept = default;
  // The "%d" decimal form: 0 => "0", -15 => "-15".
  explicit htext(int value);

  // Absent (nullptr) => <empty>. Each 16-bit unit is encoded on its own, so
  // surrogate halves come back unchanged through toWide.
  static htext fromWide(const char16_t* wide);

  htext& operator=(const char* zeroTerminated);
  // Copies the source's zero-terminated view: bytes after a NUL are dropped.
  htext& operator=(const htext& other);
  htext& operator=(htext&& other) noexcept;

  // Both compare zero-terminated views byte by byte.
  bool operator==(const char* other) const;
  bool operator==(const htext& other) const { return *this == other.c_str(); }
  bool operator!=(const char* other) const { return !(*this == other); }
  bool operator!=(const htext& other) const { return !(*this == other); }
  // strcmp order of the zero-terminated views (unsigned bytes, prefix first).
  bool operator<(const htext& other) const;

  //   "frame.png".endsWith(".png") => true
  //   "png".endsWith(".png")       => false
  //   "x".endsWith("")             => true
  bool endsWith(const char* suffix) const;
  //   "abcdef".subString(2, 3)  => "cde"
  //   "abc".subString(1, 99)    => "bc"
  //   "abc".subString(3, 1)     => <empty>
  // start must not exceed the length.
  htext subString(size_t start, size_t count) const;
  // Overlapping occurrences count: "aaa".countOf("aa") => 2.
  int countOf(const char* sub) const;
  // Left to right, no overlap, inserted text never searched again:
  //   "aaa".replace("aa", "b") => "ba"
  //   "a/b".replace("/", "//") => "a//b"
  //   "abc".replace("", "x")   => "abc" (all bytes, NULs included)
  htext replace(const char* what, const char* with) const;
  htext replace(const htext& what, const htext& with) const;
  //   "a\\b\\\\".trimRight('\\') => "a\\b"
  //   "\\\\".trimRight('\\')     => <empty>
  htext trimRight(char c) const;
  // One piece more than delimiters found, empty pieces kept:
  //   "".split(",")     => [""]
  //   ",a,".split(",")  => ["", "a", ""]
  //   "a,,b".split(",") => ["a", "", "b"]
  // An empty delimiter gives the whole text as one piece. The list type comes
  // from corvane/hcontainer.h, which callers include.
  hlist<htext> split(const char* delimiter) const;
  hlist<htext> split(char delimiter) const;
  // UTF-8 to 16-bit units without surrogate pairs: a 4-byte sequence keeps the
  // low 16 bits of its value. Never reads past the terminating NUL.
  std::u16string toWide() const;
};

// The same zero-terminated comparison with the plain string on the left.
inline bool operator==(const char* a, const htext& b) { return b == a; }
inline bool operator!=(const char* a, const htext& b) { return b != a; }

htext operator+(const htext& a, const htext& b);
htext operator+(const htext& a, const char* b);

// printf-style formatting into a new text. An output of 32768 bytes or more, or
// a formatting error, gives <empty>.
htext hsprintf(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
htext vhsprintf(const char* format, va_list args);

}  // namespace corvane

#endif  // CORVANE_HTEXT_H

