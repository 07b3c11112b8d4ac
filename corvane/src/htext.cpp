#include "corvane/htext.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "corvane/hcontainer.h"

namespace corvane {

namespace {

// The zero-terminated view as a std::string.
std::string view(const std::string& s) { return std::string(s.c_str()); }

}  // namespace

htext::htext(const char* zeroTerminated) : std::string(zeroTerminated) {}

htext::htext(int value) {
  char buffer[64] = {0};
  std::snprintf(buffer, sizeof buffer, "%d", value);
  assign(buffer);
}

htext htext::fromWide(const char16_t* wide) {
  htext out;
  if (wide == nullptr) return out;
  for (const char16_t* p = wide; *p != 0; ++p) {
    const unsigned u = *p;
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (u >> 6)));
      out.push_back(static_cast<char>(0x80 | (u & 63)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (u >> 12)));
      out.push_back(static_cast<char>(0x80 | ((u >> 6) & 63)));
      out.push_back(static_cast<char>(0x80 | (u & 63)));
    }
  }
  return out;
}

htext& htext::operator=(const char* zeroTerminated) {
  assign(zeroTerminated);
  return *this;
}

htext& htext::operator=(const htext& other) {
  if (this != &other) assign(other.c_str());
  return *this;
}

htext& htext::operator=(htext&& other) noexcept {
  if (this != &other) {
    std::string::operator=(std::move(other));
    resize(std::strlen(c_str()));
  }
  return *this;
}

bool htext::operator==(const char* other) const { return std::strcmp(c_str(), other) == 0; }

bool htext::operator<(const htext& other) const { return std::strcmp(c_str(), other.c_str()) < 0; }

bool htext::endsWith(const char* suffix) const {
  const size_t n = std::strlen(suffix);
  if (n > size()) return false;
  return std::strcmp(c_str() + (size() - n), suffix) == 0;
}

htext htext::subString(size_t start, size_t count) const { return view(substr(start, count)); }

int htext::countOf(const char* sub) const {
  const size_t n = std::strlen(sub);
  int found = 0;
  for (size_t i = 0; i < size(); ++i) {
    if (compare(i, n, sub, n) == 0) ++found;
  }
  return found;
}

htext htext::replace(const char* what, const char* with) const {
  if (*what == '\0') return *this;
  const std::string text = view(*this);
  const size_t n = std::strlen(what);
  std::string out;
  size_t cursor = 0;
  for (size_t hit; (hit = text.find(what, cursor, n)) != npos; cursor = hit + n) {
    out.append(text, cursor, hit - cursor);
    out.append(with);
  }
  out.append(text, cursor, npos);
  return out;
}

htext htext::replace(const htext& what, const htext& with) const {
  return replace(what.c_str(), with.c_str());
}

htext htext::trimRight(char c) const {
  const std::string text = view(*this);
  size_t end = text.size();
  while (end > 0 && text[end - 1] == c) --end;
  return text.substr(0, end);
}

hlist<htext> htext::split(const char* delimiter) const {
  hlist<htext> pieces;
  const std::string text = view(*this);
  const size_t n = std::strlen(delimiter);
  if (n == 0) {
    pieces.push_back(text);
    return pieces;
  }
  size_t cursor = 0;
  for (size_t hit; (hit = text.find(delimiter, cursor, n)) != npos; cursor = hit + n) {
    pieces.push_back(text.substr(cursor, hit - cursor));
  }
  pieces.push_back(text.substr(cursor));
  return pieces;
}

hlist<htext> htext::split(char delimiter) const {
  const char one[2] = {delimiter, '\0'};
  return split(one);
}

std::u16string htext::toWide() const {
  std::u16string out;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(c_str());
  while (*p != 0) {
    const unsigned b0 = *p;
    int extra;
    unsigned value;
    if (b0 < 0x80) {
      extra = 0;
      value = b0;
    } else if (b0 >= 192 && b0 <= 223) {
      extra = 1;
      value = b0 & 31;
    } else if (b0 >= 224 && b0 <= 239) {
      extra = 2;
      value = b0 & 15;
    } else {
      extra = 3;
      value = b0 & 7;
    }
    ++p;
    // A sequence cut short by the end of the text yields what it has so far;
    // the terminating NUL is never stepped over.
    for (int i = 0; i < extra && *p != 0; ++i, ++p) value = (value << 6) | (*p & 63u);
    out.push_back(static_cast<char16_t>(value & 0xFFFF));
  }
  return out;
}

htext operator+(const htext& a, const htext& b) {
  htext out(a);
  out.append(b);
  return out;
}

htext operator+(const htext& a, const char* b) {
  htext out(a);
  out.append(b);
  return out;
}

htext vhsprintf(const char* format, va_list args) {
  size_t limit = 256;
  for (int attempt = 0; attempt < 8; ++attempt, limit *= 2) {
    std::vector<char> buffer(limit + 1, '\0');
    va_list copy;
    va_copy(copy, args);
    const int r = std::vsnprintf(buffer.data(), limit, format, copy);
    va_end(copy);
    if (r >= 0 && static_cast<size_t>(r) < limit) return htext(buffer.data());
  }
  return htext();
}

htext hsprintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  htext out = vhsprintf(format, args);
  va_end(args);
  return out;
}

}  // namespace corvane
