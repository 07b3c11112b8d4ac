#include "image/frame_crop.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cstdint>

#include "image/image.h"
#include "test_support.h"

using namespace velmora;
using namespace testing_support;

namespace {

// Each pixel tells where it came from.
Rgba source(int x, int y) {
  return Rgba{uint8_t(10 * x), uint8_t(10 * y), 77, uint8_t(100 + x + y)};
}

TEST(CropFrame, CopiesTheRectangleAndFillsBeyondTheFrameWithOpaqueBlack) {
  const int w = 8, h = 6;
  const CropRect rows[] = {
      {2, 1, 18, 17},    // beyond the right and bottom edges
      {1, 1, 5, 4},      // inside the frame: cut only
      {0, -3, 16, 13},   // black rows on top
      {-2, -3, 14, 13},  // and columns on the left
      {0, 0, 8, 6},      // the whole frame
      {10, 10, 26, 26},  // misses the frame altogether
      {0, 7, 16, 23},    // below the frame
      {-20, -20, 0, 0},  // before it
  };
  for (const CropRect& rect : rows) {
    SCOPED_TRACE(str(rect));
    Image cropped(makeRgbaImage(w, h, source));
    ASSERT_NE(cropped, nullptr);
    cropFrame(cropped, rect);
    ASSERT_NE(cropped, nullptr);
    FIBITMAP* const frame = cropped.get();
    const int cw = rect.maxX - rect.minX, ch = rect.maxY - rect.minY;
    ASSERT_EQ(int(FreeImage_GetWidth(frame)), cw);
    ASSERT_EQ(int(FreeImage_GetHeight(frame)), ch);
    ASSERT_EQ(FreeImage_GetBPP(frame), 32u);
    int wrong = 0;
    for (int y = 0; y < ch; ++y) {
      for (int x = 0; x < cw; ++x) {
        const int sx = x + rect.minX, sy = y + rect.minY;
        const Rgba want =
            sx >= 0 && sx < w && sy >= 0 && sy < h ? source(sx, sy) : Rgba{0, 0, 0, 255};
        const Rgba got = pixelAt(frame, x, y);
        if (got.r != want.r || got.g != want.g || got.b != want.b || got.a != want.a) {
          if (++wrong <= 3) ADD_FAILURE() << "pixel " << x << "," << y;
        }
      }
    }
    EXPECT_EQ(wrong, 0);
  }
}

}  // namespace
