#include "image/alpha_row_search.h"

namespace velmora {

namespace {

// Blocks of 64 bytes cross the long transparent runs; blocks of 16 narrow the
// search down before the last few bytes are read one at a time.
constexpr int32_t kWide = 64;
constexpr int32_t kNarrow = 16;

// A fixed-size reduction without early exit, which the compiler turns into a
// few vector instructions.
template <int32_t kSize>
inline int blockPeak(const uint8_t* bytes) {
  uint8_t peak = 0;
  for (int32_t i = 0; i < kSize; ++i) peak = bytes[i] > peak ? bytes[i] : peak;
  return peak;
}

}  // namespace

AlphaRowSearch::AlphaRowSearch(const bool (&visible)[256]) {
  int invisible = 0;
  while (invisible < 256 && !visible[invisible]) ++invisible;
  ramp_ = true;
  for (int v = 0; v < 256; ++v) {
    visible_[v] = visible[v];
    if (visible[v] != (v >= invisible)) ramp_ = false;
  }
  limit_ = invisible - 1;
}

int32_t AlphaRowSearch::firstVisible(const uint8_t* row, int32_t from, int32_t to) const {
  int32_t x = from;
  if (!ramp_) {
    while (x < to && !visible_[row[x]]) ++x;
    return x;
  }
  while (to - x >= kWide && blockPeak<kWide>(row + x) <= limit_) x += kWide;
  while (to - x >= kNarrow && blockPeak<kNarrow>(row + x) <= limit_) x += kNarrow;
  while (x < to && row[x] <= limit_) ++x;
  return x;
}

int32_t AlphaRowSearch::lastVisible(const uint8_t* row, int32_t from, int32_t to) const {
  // x is one past the column looked at next.
  int32_t x = to;
  if (!ramp_) {
    while (x > from && !visible_[row[x - 1]]) --x;
  } else {
    while (x - from >= kWide && blockPeak<kWide>(row + x - kWide) <= limit_) x -= kWide;
    while (x - from >= kNarrow && blockPeak<kNarrow>(row + x - kNarrow) <= limit_) x -= kNarrow;
    while (x > from && row[x - 1] <= limit_) --x;
  }
  return x > from ? x - 1 : -1;
}

}  // namespace velmora
