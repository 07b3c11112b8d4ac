#include "image/frame_bounds.h"

#include <FreeImage.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "image/alpha_row_search.h"
#include "image/coverage_map.h"
#include "image/visible_pixel.h"

namespace velmora {

namespace {

bool isSet(const CropRect& box) {
  return box.minX != -1 && box.minY != -1 && box.maxX != -1 && box.maxY != -1;
}

void include(CropRect& box, int32_t x, int32_t y) {
  if (box.minX == -1 || x < box.minX) box.minX = x;
  if (box.maxX == -1 || x > box.maxX) box.maxX = x;
  if (box.minY == -1 || y < box.minY) box.minY = y;
  if (box.maxY == -1 || y > box.maxY) box.maxY = y;
}

// Widens box by the visible pixels of a width x height image whose rows come
// top first from rowAt(y). search.firstVisible(row, from, to) gives the first
// visible column in [from, to), or to; search.lastVisible the last, or -1.
template <typename RowAt, typename Search>
void accumulateRows(int32_t width, int32_t height, RowAt rowAt, const Search& search,
                    CropRect& box) {
  for (int32_t y = 0; y < height; ++y) {
    const auto row = rowAt(y);
    if (isSet(box) && y >= box.minY && y <= box.maxY) {
      // A row that crosses the box so far can only widen it: look at the
      // columns left of it from the left and right of it from the right.
      const int32_t leftEnd = std::min(box.minX, width);
      const int32_t left = search.firstVisible(row, 0, leftEnd);
      if (left < leftEnd) box.minX = left;
      const int32_t rightStart = box.maxX < width ? box.maxX + 1 : width;
      const int32_t right = search.lastVisible(row, rightStart, width);
      if (right >= rightStart) box.maxX = right;
      continue;
    }
    const int32_t first = search.firstVisible(row, 0, width);
    if (first == width) continue;
    const int32_t last = search.lastVisible(row, first, width);
    include(box, first, y);
    include(box, last, y);
  }
}

// The row searches over the alpha of 16-bit RGBA pixels, one pixel at a time.
struct Rgba16Search {
  Rgba16Visible visible;
  int32_t firstVisible(const BYTE* row, int32_t from, int32_t to) const {
    while (from < to && !visible(row, from)) ++from;
    return from;
  }
  int32_t lastVisible(const BYTE* row, int32_t from, int32_t to) const {
    while (to > from && !visible(row, to - 1)) --to;
    return to > from ? to - 1 : -1;
  }
};

// The row searches over the alpha byte of 32-bit pixels, read in place: an
// alpha channel of its own would cost the frame a copy.
// At threshold 0, the default, eight pixels at a time are skipped while none
// has any alpha.
struct Rgba8Search {
  Rgba8Visible visible;
  static bool noneVisible(const BYTE* pixels) {
    uint64_t words[4];
    std::memcpy(words, pixels, sizeof words);
    const uint64_t alphas = uint64_t(0xFF) << (8 * FI_RGBA_ALPHA) | uint64_t(0xFF) << (8 * FI_RGBA_ALPHA + 32);
    return ((words[0] | words[1] | words[2] | words[3]) & alphas) == 0;
  }
  int32_t firstVisible(const BYTE* row, int32_t from, int32_t to) const {
    if (visible.limit == 0) {
      while (to - from >= 8 && noneVisible(row + 4 * size_t(from))) from += 8;
    }
    while (from < to && !visible(row, from)) ++from;
    return from;
  }
  int32_t lastVisible(const BYTE* row, int32_t from, int32_t to) const {
    if (visible.limit == 0) {
      while (to - from >= 8 && noneVisible(row + 4 * size_t(to - 8))) to -= 8;
    }
    while (to > from && !visible(row, to - 1)) --to;
    return to > from ? to - 1 : -1;
  }
};

}  // namespace

void accumulateBounds(FIBITMAP* alpha, uint8_t threshold, CropRect& box) {
  const int32_t width = static_cast<int32_t>(FreeImage_GetWidth(alpha));
  const int32_t height = static_cast<int32_t>(FreeImage_GetHeight(alpha));
  const RGBQUAD* palette = FreeImage_GetPalette(alpha);
  if (palette == nullptr) return;
  // The palette is read once per frame, into the table the row searches use.
  bool visible[256];
  for (int i = 0; i < 256; ++i) visible[i] = palette[i].rgbRed > threshold;
  accumulateRows(
      width, height, RowsFromTop(alpha), AlphaRowSearch(visible), box);
}

void accumulateBoundsRgba16(FIBITMAP* frame, uint8_t threshold, CropRect& box) {
  const int32_t width = static_cast<int32_t>(FreeImage_GetWidth(frame));
  const int32_t height = static_cast<int32_t>(FreeImage_GetHeight(frame));
  accumulateRows(
      width, height, RowsFromTop(frame),
      Rgba16Search{Rgba16Visible(threshold)}, box);
}

bool scanLoadedFrame(Image frame, uint8_t threshold, CropRect& box, CoverageMap* coverage,
                     const Offset& offset) {
  if (frame != nullptr && FreeImage_GetImageType(frame.get()) == FIT_RGBA16) {
    accumulateBoundsRgba16(frame.get(), threshold, box);
    if (coverage != nullptr) coverage->addFrame(frame.get(), threshold, offset);
    return true;
  }
  expandTransparencyTable(frame);
  if (frame != nullptr && FreeImage_GetImageType(frame.get()) == FIT_BITMAP &&
      FreeImage_GetBPP(frame.get()) == 32) {
    if (coverage != nullptr) coverage->addFrame(frame.get(), threshold, offset);
    const int32_t width = static_cast<int32_t>(FreeImage_GetWidth(frame.get()));
    const int32_t height = static_cast<int32_t>(FreeImage_GetHeight(frame.get()));
    accumulateRows(
        width, height, RowsFromTop(frame.get()),
        Rgba8Search{Rgba8Visible(threshold)}, box);
    return true;
  }
  const Image alpha(frame != nullptr ? FreeImage_GetChannel(frame.get(), FICC_ALPHA) : nullptr);
  if (FreeImage_GetBPP(alpha.get()) != 8) return false;
  if (coverage != nullptr) coverage->addFrame(frame.get(), threshold, offset);
  frame.reset();
  accumulateBounds(alpha.get(), threshold, box);
  return true;
}

}  // namespace velmora
