#include "frame_list.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace velmora {

using corvane::hlist;
using corvane::htext;

namespace {

unsigned char foldCase(unsigned char c) { return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c; }

bool precedes(const char* a, const char* b) {
  const auto* x = reinterpret_cast<const unsigned char*>(a);
  const auto* y = reinterpret_cast<const unsigned char*>(b);
  for (; *x != 0 && foldCase(*x) == foldCase(*y); ++x, ++y) {
  }
  if (foldCase(*x) != foldCase(*y)) return foldCase(*x) < foldCase(*y);
  return std::strcmp(a, b) < 0;
}

}  // namespace

FrameList selectFrames(const hlist<htext>& listing) {
  FrameList frames;
  for (const htext& name : listing) {
    if (name.endsWith(".png")) frames.push_back(name.c_str());
  }
  // The folder's own order is a hash on most file systems here; an animation
  // must come out in the order its frames are named.
  std::sort(frames.begin(), frames.end(), precedes);
  return frames;
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

}  // namespace velmora
