#include "base/crop_rect.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <utility>

#include "test_support.h"

using namespace velmora;
using testing_support::str;

namespace {

TEST(IsRectValid, Table) {
  const std::pair<CropRect, bool> rows[] = {
      {{-1, -1, 0, 0}, false},  // what the scan gives for frames with nothing visible
      {{10, 20, 110, 70}, true},
      {{0, 0, 1, 1}, true},
      {{-1, 0, 10, 10}, false},
      {{0, -1, 10, 10}, false},
      {{5, 0, 5, 10}, false},
      {{0, 5, 10, 5}, false},
      {{6, 0, 5, 10}, false},
      {{0, 0, 0, 10}, false},
      {{0, 0, 10, 0}, false},
      {{-5, 0, 0, 10}, false},
      {{0, -3, 20, 20}, true},
      {{-3, -2, 20, 20}, true},
      // Rectangles near the limits: invalid, and tested without overflow.
      {{0, 0, INT_MAX, 16}, false},
      {{0, 0, 16, INT_MAX}, false},
      {{-2147483000, 0, 2147483000, 16}, false},
      {{INT_MIN, 0, 16, 16}, false},
      {{0, INT_MIN, 16, 16}, false},
      {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, false},
      {{INT_MAX - 1, 0, INT_MAX, 16}, false},  // widened maxX would pass INT_MAX
      {{0, 0, INT_MAX - 15, 16}, true},        // already a multiple of 16
      {{0, 0, INT_MAX - 14, 16}, false},
      {{1, 0, INT_MAX - 14, 16}, true},
      {{16, 0, INT_MAX, 16}, false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(isRectValid(row.first), row.second) << str(row.first);
  }
}

TEST(CorrectRectSize, GrowsRightAndDownToMultiplesOfTheAlignment) {
  struct Row {
    CropRect from;
    unsigned align;
    CropRect to;
  };
  const Row rows[] = {
      {{0, 0, 100, 50}, 16, {0, 0, 112, 64}},
      {{10, 20, 110, 70}, 16, {10, 20, 122, 84}},
      {{5, 7, 6, 8}, 16, {5, 7, 21, 23}},
      {{3, 4, 19, 20}, 16, {3, 4, 19, 20}},
      {{3, 4, 20, 21}, 16, {3, 4, 35, 36}},
      {{0, -3, 20, 20}, 16, {0, -3, 32, 29}},
      {{0, 0, INT_MAX - 15, 16}, 16, {0, 0, INT_MAX - 15, 16}},
      {{1, 0, INT_MAX - 14, 1}, 16, {1, 0, INT_MAX - 14, 16}},
      {{10, 20, 110, 70}, 1, {10, 20, 110, 70}},
      {{10, 20, 110, 70}, 3, {10, 20, 112, 71}},
      {{10, 20, 110, 70}, 256, {10, 20, 266, 276}},
  };
  for (const Row& row : rows) {
    CropRect rect = row.from;
    correctRectSize(rect, row.align);
    EXPECT_EQ(str(rect), str(row.to)) << "from " << str(row.from) << " to multiples of " << row.align;
  }
  // A rectangle valid at 16 can be too large to widen to 256.
  EXPECT_TRUE(isRectValid(CropRect{0, 0, INT_MAX - 15, 16}, 16));
  EXPECT_FALSE(isRectValid(CropRect{0, 0, INT_MAX - 15, 16}, 256));
}

TEST(PlaceFrame, LaysASmallerFrameByTheAnchor) {
  struct Row {
    Anchor anchor;
    int64_t width, height;  // of the frame in a 10 x 7 canvas
    int x, y;
  };
  const Row rows[] = {
      {Anchor::topleft, 4, 2, 0, 0}, {Anchor::center, 4, 2, 3, 2}, {Anchor::bottom, 4, 2, 3, 5},
      {Anchor::center, 5, 4, 2, 1},  {Anchor::bottom, 5, 4, 2, 3},  {Anchor::center, 10, 7, 0, 0},
      {Anchor::bottom, 10, 7, 0, 0},  // the largest frame lies at (0, 0) whatever the anchor
  };
  for (const Row& row : rows) {
    const Offset offset = placeFrame(row.anchor, 10, 7, row.width, row.height);
    EXPECT_EQ(offset.x, row.x) << int(row.anchor) << " " << row.width << "x" << row.height;
    EXPECT_EQ(offset.y, row.y) << int(row.anchor) << " " << row.width << "x" << row.height;
  }
}

}  // namespace
