#include "image/frame_bounds.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

using namespace velmora;
using testing_support::str;

namespace {

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

}  // namespace
