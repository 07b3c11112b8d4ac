#include "bounds_scanner.h"

#include <FreeImage.h>

#include <algorithm>
#include <vector>

#include "alpha_row_search.h"
#include "console.h"
#include "corvane/hfolder.h"
#include "coverage_map.h"
#include "frame_loader.h"

namespace velmora {

using corvane::hfolder;
using corvane::htext;

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
  unsigned limit;
  int32_t firstVisible(const FIRGBA16* row, int32_t from, int32_t to) const {
    while (from < to && row[from].alpha <= limit) ++from;
    return from;
  }
  int32_t lastVisible(const FIRGBA16* row, int32_t from, int32_t to) const {
    while (to > from && row[to - 1].alpha <= limit) --to;
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
      width, height,
      // The library stores rows bottom-up.
      [&](int32_t y) -> const BYTE* { return FreeImage_GetScanLine(alpha, height - 1 - y); },
      AlphaRowSearch(visible), box);
}

void accumulateBoundsRgba16(FIBITMAP* frame, uint8_t threshold, CropRect& box) {
  const int32_t width = static_cast<int32_t>(FreeImage_GetWidth(frame));
  const int32_t height = static_cast<int32_t>(FreeImage_GetHeight(frame));
  accumulateRows(
      width, height,
      [&](int32_t y) {
        return reinterpret_cast<const FIRGBA16*>(FreeImage_GetScanLine(frame, height - 1 - y));
      },
      // 257 maps 0..255 onto 0..65535 exactly, so 255 still leaves nothing visible.
      Rgba16Search{257u * threshold}, box);
}

void expandTransparencyTable(FIBITMAP*& frame) {
  if (frame == nullptr || FreeImage_GetImageType(frame) != FIT_BITMAP ||
      FreeImage_GetBPP(frame) > 8 || !FreeImage_IsTransparent(frame)) {
    return;
  }
  FIBITMAP* expanded = FreeImage_ConvertTo32Bits(frame);
  FreeImage_Unload(frame);
  frame = expanded;
}

bool scanLoadedFrame(FIBITMAP* frame, uint8_t threshold, CropRect& box, CoverageMap* coverage) {
  if (frame != nullptr && FreeImage_GetImageType(frame) == FIT_RGBA16) {
    accumulateBoundsRgba16(frame, threshold, box);
    if (coverage != nullptr) coverage->addFrame(frame, threshold);
    FreeImage_Unload(frame);
    return true;
  }
  expandTransparencyTable(frame);
  FIBITMAP* alpha = frame != nullptr ? FreeImage_GetChannel(frame, FICC_ALPHA) : nullptr;
  if (FreeImage_GetBPP(alpha) != 8) {
    FreeImage_Unload(frame);
    FreeImage_Unload(alpha);
    return false;
  }
  if (coverage != nullptr) coverage->addFrame(frame, threshold);
  FreeImage_Unload(frame);
  accumulateBounds(alpha, threshold, box);
  FreeImage_Unload(alpha);
  return true;
}

FrameScan scanFrame(const htext& path, uint8_t threshold, PixelBudget* budget,
                    CoverageMap* coverage) {
  FrameScan scan;
  FrameSource source = FrameSource::open(path);
  scan.result = source.result();
  if (source.status() != FrameStatus::ok) return scan;
  // The frame and its alpha channel.
  const BudgetShare share(budget, 2 * int64_t(source.width()) * source.height());
  Image frame = source.decode();
  scan.result = source.result();
  if (frame == nullptr) return scan;
  CropRect box;
  if (!scanLoadedFrame(frame.release(), threshold, box, coverage)) {
    scan.result.status = FrameStatus::noAlpha;
  } else if (box.minX != -1) {
    scan.visible = CropRect{box.minX, box.minY, box.maxX + 1, box.maxY + 1};
  }
  return scan;
}

BoundsScan determineBounds(const FrameList& frames, const htext& source, uint8_t threshold,
                           unsigned jobs, CoverageMap* coverage) {
  static_assert(kMaxFramePixels == 268435456 && kMaxPackedMetadataBytes == 65536,
                "the STOP lines below name the bounds");
  const unsigned count = static_cast<unsigned>(frames.size());
  const unsigned threads = std::max(1u, std::min(jobs, count));
  BoundsScan scan;
  scan.frames.resize(count);
  PixelBudget budget(kThreadsPixelBudget);
  bool refused = false;
  bool noAlpha = false;
  say("\r>> Determining bounds... %i%%", progressPercent(0, count));
  runInOrder(
      count, threads,
      [&](unsigned k, unsigned) {
        scan.frames[k] = scanFrame(hfolder::join(source, frames[k]), threshold,
                                   threads > 1 ? &budget : nullptr, coverage);
      },
      [&](unsigned k) {
        const FrameResult& frame = scan.frames[k].result;
        switch (frame.status) {
          case FrameStatus::ok:
            if (k + 1 < count) say("\r>> Determining bounds... %i%%", progressPercent(k + 1, count));
            return true;
          case FrameStatus::tooLarge:
            say("\nSTOP: Frame \"%s\" declares %ux%u pixels, more than the 268435456 a frame "
                "may hold; no frame is written.\n",
                frames[k], frame.width, frame.height);
            refused = true;
            break;
          case FrameStatus::tooMuchMetadata:
            say("\nSTOP: Frame \"%s\" holds more than 65536 bytes of compressed metadata; no "
                "frame is written.\n",
                frames[k]);
            refused = true;
            break;
          default:
            say("\nSTOP: alpha is not 8 BPP (%s).\n", frames[k]);
            noAlpha = true;
            break;
        }
        waitForEnter();
        return false;
      });
  if (noAlpha) throw "alpha not 8bpp";
  if (refused) return scan;
  say("\r>> Determining bounds... %i%%\n", progressPercent(count, count));
  CropRect area{-1, -1, 0, 0};
  for (const FrameScan& frame : scan.frames) {
    const CropRect& box = frame.visible;
    if (box.minX == -1) continue;
    if (area.minX == -1) {
      area = box;
      continue;
    }
    area.minX = std::min(area.minX, box.minX);
    area.minY = std::min(area.minY, box.minY);
    area.maxX = std::max(area.maxX, box.maxX);
    area.maxY = std::max(area.maxY, box.maxY);
  }
  scan.area = area;
  return scan;
}

}  // namespace velmora
