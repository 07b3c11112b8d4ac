#include "image/alpha_row_search.h"

#include <gtest/gtest.h>

#include <vector>

using velmora::AlphaRowSearch;

namespace {

struct Table {
  const char* name;
  bool visible[256];
};

Table aboveThreshold(int threshold) {
  Table table{"above threshold", {}};
  for (int v = 0; v < 256; ++v) table.visible[v] = v > threshold;
  return table;
}

// A palette that is not a grey ramp: only odd values are visible.
Table oddValues() {
  Table table{"odd values", {}};
  for (int v = 0; v < 256; ++v) table.visible[v] = v % 2 == 1;
  return table;
}

// Compares both searches with a plain pixel-by-pixel walk over every range of
// a row that holds visible pixels at the given columns, so that the edges of
// the 16- and 64-byte blocks are crossed from both sides.
void expectLikeWalk(const Table& table, int threshold, const std::vector<int>& marks) {
  const int32_t width = 140;
  // The threshold itself is invisible; 255 passes every table used here.
  std::vector<uint8_t> row(width, static_cast<uint8_t>(threshold));
  for (int x : marks) row[x] = 255;
  const AlphaRowSearch search(table.visible);
  for (int32_t from = 0; from <= width; ++from) {
    for (int32_t to = from; to <= width; ++to) {
      int32_t first = from;
      while (first < to && !table.visible[row[first]]) ++first;
      int32_t last = to - 1;
      while (last >= from && !table.visible[row[last]]) --last;
      if (last < from) last = -1;
      SCOPED_TRACE(testing::Message() << table.name << ", threshold " << threshold
                                      << ", range [" << from << ", " << to << ")");
      ASSERT_EQ(search.firstVisible(row.data(), from, to), first);
      ASSERT_EQ(search.lastVisible(row.data(), from, to), last);
    }
  }
}

}  // namespace

TEST(AlphaRowSearch, FindsTheSameColumnsAsAPixelWalk) {
  const std::vector<std::vector<int>> layouts = {
      {}, {0}, {139}, {15}, {16}, {63}, {64}, {65}, {79, 80}, {0, 139}, {5, 70, 127, 128}};
  for (const std::vector<int>& marks : layouts) {
    for (int threshold : {0, 44, 254}) expectLikeWalk(aboveThreshold(threshold), threshold, marks);
    expectLikeWalk(oddValues(), 0, marks);
  }
}

TEST(AlphaRowSearch, ThresholdRangeEnds) {
  std::vector<uint8_t> row(40, 0);
  row[33] = 255;
  // Threshold 255: no value is visible, not even 255.
  const AlphaRowSearch none(aboveThreshold(255).visible);
  EXPECT_EQ(none.firstVisible(row.data(), 0, 40), 40);
  EXPECT_EQ(none.lastVisible(row.data(), 0, 40), -1);
  // Every value visible: 0 counts too.
  Table all{"all", {}};
  for (bool& v : all.visible) v = true;
  const AlphaRowSearch every(all.visible);
  EXPECT_EQ(every.firstVisible(row.data(), 3, 40), 3);
  EXPECT_EQ(every.lastVisible(row.data(), 0, 37), 36);
}

TEST(AlphaRowSearch, ValueAtTheLimitStaysInvisible) {
  // 16 bytes equal to the threshold: a block whose peak equals the limit.
  std::vector<uint8_t> row(32, 44);
  row[30] = 45;
  const AlphaRowSearch search(aboveThreshold(44).visible);
  EXPECT_EQ(search.firstVisible(row.data(), 0, 32), 30);
  EXPECT_EQ(search.lastVisible(row.data(), 0, 32), 30);
  EXPECT_EQ(search.firstVisible(row.data(), 0, 30), 30);
  EXPECT_EQ(search.lastVisible(row.data(), 0, 30), -1);
}
