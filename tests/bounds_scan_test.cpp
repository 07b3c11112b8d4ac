#include "run/bounds_scan.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "image/frame_loader.h"
#include "test_support.h"

using namespace velmora;
using namespace testing_support;

namespace {

#define EXPECT_RECT(actual, x0, y0, x1, y1) EXPECT_EQ(str(actual), str(CropRect{x0, y0, x1, y1}))

class DetermineBounds : public testing::Test {
 protected:
  // Writes a frame into the temp folder and appends it to the frame list.
  void frame(const std::string& name, int w, int h, const std::vector<std::pair<int, int>>& on) {
    ASSERT_TRUE(writeRgbaPngWithPixels(temp.file(name), w, h, on));
    names.push_back(name);
  }
  void paintedFrame(const std::string& name, int w, int h,
                    const std::function<Rgba(int x, int y)>& pixel) {
    ASSERT_TRUE(writeRgbaPng(temp.file(name), w, h, pixel));
    names.push_back(name);
  }

  CropRect scan(uint8_t threshold = 0) {
    FrameList frames;
    for (const std::string& n : names) frames.push_back(n.c_str());
    scanned.clear();
    const BoundsScan found = determineBounds(frames, temp.path(), threshold, 1, nullptr,
                                             [&](unsigned k) { scanned.push_back(k); });
    return found.stop.ok() ? found.area : CropRect{-2, -2, -2, -2};
  }

  ScopedTempDir temp;
  std::vector<std::string> names;
  std::vector<unsigned> scanned;
};

TEST_F(DetermineBounds, OneVisiblePixelGivesAOnePixelBox) {
  const std::vector<std::pair<int, int>> pixels = {{5, 3}, {0, 0}, {12, 8}, {0, 8}, {12, 0}};
  for (const auto& p : pixels) {
    SCOPED_TRACE("pixel " + std::to_string(p.first) + "," + std::to_string(p.second));
    names.clear();
    frame("a.png", 13, 9, {});
    frame("b.png", 13, 9, {p});
    frame("c.png", 13, 9, {});
    EXPECT_RECT(scan(), p.first, p.second, p.first + 1, p.second + 1);
  }
}

TEST_F(DetermineBounds, AllTransparentGivesTheUnsetBox) {
  frame("a.png", 8, 8, {});
  frame("b.png", 5, 3, {});
  EXPECT_RECT(scan(), -1, -1, 0, 0);
  EXPECT_EQ(scanned, (std::vector<unsigned>{0, 1}));
}

TEST_F(DetermineBounds, AlphaAboveTheThresholdIsVisible) {
  // Colour never counts: transparent pixels are white, visible ones black.
  paintedFrame("a.png", 10, 3, [](int x, int y) {
    const int a = x == 4 && y == 0   ? 255
                  : x == 2 && y == 1 ? 44
                  : x == 6 && y == 1 ? 45
                  : x == 8 && y == 2 ? 1
                                     : 0;
    return a == 0 ? Rgba{255, 255, 255, 0} : Rgba{0, 0, 0, uint8_t(a)};
  });
  struct Row {
    uint8_t threshold;
    CropRect expected;
  };
  const Row rows[] = {
      {0, {2, 0, 9, 3}},
      {1, {2, 0, 7, 2}},  // alpha equal to the threshold is invisible
      {43, {2, 0, 7, 2}},
      {44, {4, 0, 7, 2}},
      {45, {4, 0, 5, 1}},
      {254, {4, 0, 5, 1}},
      {255, {-1, -1, 0, 0}},
      // The driver hands over the low 8 bits of -threshold.
      {uint8_t(256), {2, 0, 9, 3}},
      {uint8_t(300), {4, 0, 7, 2}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("threshold " + std::to_string(row.threshold));
    EXPECT_EQ(str(scan(row.threshold)), str(row.expected));
  }
}

TEST_F(DetermineBounds, DiagonalLineSpansItsEnds) {
  std::vector<std::pair<int, int>> line;
  for (int y = 1; y <= 8; ++y) line.push_back({9 - y, y});  // (8,1) down to (1,8)
  frame("line.png", 10, 10, line);
  EXPECT_RECT(scan(), 1, 1, 9, 9);
}

TEST_F(DetermineBounds, LaterLargerFramePushesTheMaxima) {
  frame("small.png", 10, 10, {{2, 2}, {5, 5}});
  frame("large.png", 30, 20, {{25, 17}});
  frame("tiny.png", 3, 3, {{1, 1}});
  EXPECT_RECT(scan(), 1, 1, 26, 18);
}

TEST_F(DetermineBounds, FrameInsideTheEarlierBoxChangesNothing) {
  frame("outer.png", 20, 20, {{2, 3}, {15, 16}});
  EXPECT_RECT(scan(), 2, 3, 16, 17);
  frame("inner.png", 20, 20, {{2, 3}, {15, 16}, {5, 5}, {10, 10}, {2, 16}, {15, 3}});
  EXPECT_RECT(scan(), 2, 3, 16, 17);
}

TEST_F(DetermineBounds, FrameThatCannotBeScannedStopsTheScanWithItsReason) {
  // The bad frame comes second; the third is good and must not be reached.
  struct Row {
    const char* label;
    std::function<void(const std::string& path)> write;
    Status::Code code;
    const char* reason;
  };
  const Row rows[] = {
      {"24-bit RGB", [](const std::string& path) { ASSERT_TRUE(writeRgbPng(path, 6, 4)); },
       Status::Code::noAlpha, ""},
      {"not a PNG", [](const std::string& path) { writeFile(path, "no picture here\n"); },
       Status::Code::unreadable, kNotPng},
      {"empty", [](const std::string& path) { writeFile(path, ""); }, Status::Code::unreadable,
       kEmptyFile},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    ScopedTempDir folder;
    ASSERT_TRUE(writeRgbaPngWithPixels(folder.file("one.png"), 6, 4, {{1, 1}}));
    row.write(folder.file("bad.png"));
    ASSERT_TRUE(writeRgbaPngWithPixels(folder.file("three.png"), 6, 4, {{2, 2}}));
    const FrameList frames = {"one.png", "bad.png", "three.png"};

    std::vector<unsigned> seen;
    const BoundsScan found = determineBounds(frames, folder.path(), 0, 1, nullptr,
                                             [&](unsigned k) { seen.push_back(k); });
    EXPECT_EQ(seen, std::vector<unsigned>{0});
    EXPECT_EQ(found.stop.code(), row.code);
    EXPECT_EQ(found.stop.reason(), row.reason);
    EXPECT_EQ(found.stopFrame, 1u);
    EXPECT_FALSE(found.frames[2].result.sized) << "the frame after the stop is not scanned";
  }
}

}  // namespace
