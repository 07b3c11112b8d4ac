#include "bounds_scanner.h"

#include <FreeImage.h>

#include <algorithm>

#include "alpha_row_search.h"
#include "console.h"
#include "corvane/hfolder.h"

namespace velmora {

using corvane::hfolder;
using corvane::htext;

unsigned progressPercent(unsigned done, unsigned total) {
  const float ratio = static_cast<float>(done) / static_cast<float>(total);
  return static_cast<unsigned>(ratio * 100.0f);
}

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

}  // namespace

void accumulateBounds(FIBITMAP* alpha, uint8_t threshold, CropRect& box) {
  const int32_t width = static_cast<int32_t>(FreeImage_GetWidth(alpha));
  const int32_t height = static_cast<int32_t>(FreeImage_GetHeight(alpha));
  const RGBQUAD* palette = FreeImage_GetPalette(alpha);
  if (palette == nullptr) return;
  // The palette is read once per frame, into the table the row searches use.
  bool visible[256];
  for (int i = 0; i < 256; ++i) visible[i] = palette[i].rgbRed > threshold;
  const AlphaRowSearch search(visible);

  for (int32_t y = 0; y < height; ++y) {
    // The library stores rows bottom-up.
    const BYTE* row = FreeImage_GetScanLine(alpha, height - 1 - y);
    if (isSet(box) && y >= box.minY && y <= box.maxY) {
      // A row that crosses the box so far can only widen it: look at the
      // columns left of it from the left and right of it from the right.
      const int32_t leftEnd = std::min(box.minX, width);
      const int32_t left = search.firstVisible(row, 0, leftEnd);
      if (left < leftEnd) box.minX = left;
      const int32_t right = search.lastVisible(row, box.maxX + 1, width);
      if (right > box.maxX) box.maxX = right;
      continue;
    }
    const int32_t first = search.firstVisible(row, 0, width);
    if (first == width) continue;
    const int32_t last = search.lastVisible(row, first, width);
    include(box, first, y);
    include(box, last, y);
  }
}

bool scanLoadedFrame(FIBITMAP* frame, uint8_t threshold, CropRect& box) {
  FIBITMAP* alpha = frame != nullptr ? FreeImage_GetChannel(frame, FICC_ALPHA) : nullptr;
  FreeImage_Unload(frame);
  if (FreeImage_GetBPP(alpha) != 8) {
    FreeImage_Unload(alpha);
    return false;
  }
  accumulateBounds(alpha, threshold, box);
  FreeImage_Unload(alpha);
  return true;
}

CropRect determineBounds(FrameList frames, htext source, uint8_t threshold) {
  CropRect box;
  const unsigned count = static_cast<unsigned>(frames.size());
  for (unsigned k = 0; k < count; ++k) {
    say("\r>> Determining bounds... %i%%", progressPercent(k, count));
    const htext path = hfolder::join(source, frames[k]);
    FIBITMAP* frame = FreeImage_Load(FIF_PNG, path.c_str(), PNG_DEFAULT);
    if (!scanLoadedFrame(frame, threshold, box)) {
      say("\nSTOP: alpha is not 8 BPP (%s).\n", frames[k]);
      waitForEnter();
      throw "alpha not 8bpp";
    }
  }
  say("\r>> Determining bounds... %i%%\n", progressPercent(count, count));
  box.maxX += 1;
  box.maxY += 1;
  return box;
}

}  // namespace velmora
