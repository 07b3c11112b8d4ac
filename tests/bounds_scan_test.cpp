#include "run/bounds_scan.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <optional>
#include <string>
#include <vector>

#include "image/frame_bounds.h"
#include "image/frame_loader.h"
#include "test_support.h"

using namespace velmora;
using namespace testing_support;

namespace {

#define EXPECT_RECT(actual, x0, y0, x1, y1) EXPECT_EQ(str(actual), str(CropRect{x0, y0, x1, y1}))

TEST(ProgressPercent, SinglePrecisionRatioTimes100Truncated) {
  // Worked out apart from the code: done / total rounded to binary32, times
  // 100 rounded to binary32, truncated. 53 and 59 of 100 land just below.
  const std::vector<std::pair<unsigned, std::vector<unsigned>>> tables = {
      {3, {0, 33, 66, 100}},
      {7, {0, 14, 28, 42, 57, 71, 85, 100}},
      {100, {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
             21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41,
             42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 52, 54, 55, 56, 57, 58, 58, 60, 61, 62,
             63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75, 76, 77, 78, 79, 80, 81, 82, 83,
             84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 96, 97, 98, 99, 100}},
  };
  for (const auto& table : tables) {
    ASSERT_EQ(table.second.size(), table.first + 1);
    for (unsigned k = 0; k <= table.first; ++k) {
      EXPECT_EQ(progressPercent(k, table.first), table.second[k]) << k << " of " << table.first;
    }
  }
  EXPECT_EQ(progressPercent(0, 0), 100u);
}

// The plain rule: every pixel outside the box so far is looked at, and a
// visible one moves each bound on its own.
void referenceBounds(FIBITMAP* alpha, uint8_t threshold, CropRect& box) {
  const int w = int(FreeImage_GetWidth(alpha));
  const int h = int(FreeImage_GetHeight(alpha));
  const RGBQUAD* palette = FreeImage_GetPalette(alpha);
  for (int y = 0; y < h; ++y) {
    const BYTE* row = FreeImage_GetScanLine(alpha, h - 1 - y);
    for (int x = 0; x < w; ++x) {
      const bool outside = box.minX == -1 || x < box.minX || box.minY == -1 || y < box.minY ||
                           box.maxX == -1 || x > box.maxX || box.maxY == -1 || y > box.maxY;
      if (!outside || !(palette[row[x]].rgbRed > threshold)) continue;
      if (box.minX == -1 || x < box.minX) box.minX = x;
      if (box.maxX == -1 || x > box.maxX) box.maxX = x;
      if (box.minY == -1 || y < box.minY) box.minY = y;
      if (box.maxY == -1 || y > box.maxY) box.maxY = y;
    }
  }
}

TEST(AccumulateBounds, MatchesThePerPixelRule) {
  std::mt19937 random(20240517);
  for (int round = 0; round < 300; ++round) {
    const int w = 1 + int(random() % 40);
    const int h = 1 + int(random() % 40);
    FIBITMAP* alpha = FreeImage_Allocate(w, h, 8);
    ASSERT_NE(alpha, nullptr);
    // A shuffled palette: the alpha of a pixel is the red of its entry, not its byte.
    RGBQUAD* palette = FreeImage_GetPalette(alpha);
    std::vector<int> reds(256);
    for (int i = 0; i < 256; ++i) reds[i] = i;
    std::shuffle(reds.begin(), reds.end(), random);
    for (int i = 0; i < 256; ++i) {
      palette[i].rgbRed = BYTE(reds[i]);
      palette[i].rgbGreen = palette[i].rgbBlue = BYTE(255 - reds[i]);
    }
    // Sparse content, so that rows and columns without a visible pixel occur.
    const unsigned density = 1 + random() % 30;
    for (int y = 0; y < h; ++y) {
      BYTE* row = FreeImage_GetScanLine(alpha, y);
      for (int x = 0; x < w; ++x) row[x] = random() % density == 0 ? BYTE(random()) : BYTE(0);
    }
    palette[0].rgbRed = 0;
    const uint8_t threshold = round % 3 == 0 ? 0 : uint8_t(random());
    CropRect start;  // unset in a third of the rounds, else some box, mostly on the image
    if (round % 3 != 0) {
      start.minX = int32_t(random() % (w + 4));
      start.minY = int32_t(random() % (h + 4));
      start.maxX = start.minX + int32_t(random() % (w / 2 + 2));
      start.maxY = start.minY + int32_t(random() % (h / 2 + 2));
    }
    CropRect expected = start;
    referenceBounds(alpha, threshold, expected);
    CropRect actual = start;
    accumulateBounds(alpha, threshold, actual);
    EXPECT_EQ(str(actual), str(expected))
        << "round " << round << ": " << w << "x" << h << ", threshold " << int(threshold)
        << ", start " << str(start);
    FreeImage_Unload(alpha);
  }
}

// An 8-bit image with the grey palette of an alpha channel, alpha 200 at the listed pixels.
FIBITMAP* alphaImage(int w, int h, const std::vector<std::pair<int, int>>& on) {
  FIBITMAP* alpha = FreeImage_Allocate(w, h, 8);
  RGBQUAD* palette = FreeImage_GetPalette(alpha);
  for (int i = 0; i < 256; ++i)
    palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = BYTE(i);
  for (int y = 0; y < h; ++y) {
    BYTE* row = FreeImage_GetScanLine(alpha, h - 1 - y);
    for (int x = 0; x < w; ++x) row[x] = 0;
  }
  for (const auto& p : on) FreeImage_GetScanLine(alpha, h - 1 - p.second)[p.first] = 200;
  return alpha;
}

TEST(AccumulateBounds, PixelNextToEachEdgeOfTheBoxWidensIt) {
  // Start box (3, 3)-(6, 6), maxima inclusive, on a 10x10 image.
  struct Row {
    std::vector<std::pair<int, int>> on;
    CropRect expected;
  };
  const Row rows[] = {
      {{{2, 4}}, {2, 3, 6, 6}},
      {{{7, 4}}, {3, 3, 7, 6}},
      {{{4, 2}}, {3, 2, 6, 6}},
      {{{4, 7}}, {3, 3, 6, 7}},
      {{{2, 3}, {7, 6}}, {2, 3, 7, 6}},
      {{{0, 5}, {9, 5}, {1, 5}, {8, 5}}, {0, 3, 9, 6}},
      {{{3, 3}, {6, 6}, {4, 5}}, {3, 3, 6, 6}},
      {{{9, 9}}, {3, 3, 9, 9}},
      {{}, {3, 3, 6, 6}},
  };
  for (const Row& row : rows) {
    FIBITMAP* alpha = alphaImage(10, 10, row.on);
    CropRect box{3, 3, 6, 6};
    accumulateBounds(alpha, 0, box);
    std::string pixels;
    for (const auto& p : row.on)
      pixels += " " + std::to_string(p.first) + "," + std::to_string(p.second);
    EXPECT_EQ(str(box), str(row.expected)) << "pixels:" << pixels;
    FreeImage_Unload(alpha);
  }
}

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
