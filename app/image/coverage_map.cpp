#include "image/coverage_map.h"

#include <FreeImage.h>

#include <algorithm>
#include <new>

#include "corvane/hfolder.h"
#include "image/frame_loader.h"
#include "image/visible_pixel.h"
#include "png/png_encode.h"

namespace velmora {

namespace {

int64_t ceilDiv(int64_t a, int64_t b) { return (a + b - 1) / b; }

int64_t floorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

struct Colour {
  BYTE red, green, blue;
};

constexpr Colour kNothing = {24, 24, 24};
constexpr Colour kOneFrame = {255, 0, 255};
constexpr Colour kCutOff = {255, 0, 0};
constexpr Colour kCropOutline = {0, 160, 255};
constexpr Colour kAreaOutline = {0, 255, 0};

// The first and last picture pixel of [from, to) in canvas coordinates that
// start at origin; false when the range is empty.
bool pictureSpan(int64_t from, int64_t to, int64_t origin, int64_t scale, int64_t& first,
                 int64_t& last) {
  if (to <= from) return false;
  first = floorDiv(from - origin, scale);
  last = floorDiv(to - 1 - origin, scale);
  return true;
}

}  // namespace

FrameExtent largestFrame(const std::vector<const char*>& names, const corvane::htext& source) {
  FrameExtent extent;
  for (const char* name : names) {
    const FrameSource frame = FrameSource::open(corvane::hfolder::join(source, name));
    if (!frame.sized()) continue;
    extent.width = std::max<int64_t>(extent.width, frame.width());
    extent.height = std::max<int64_t>(extent.height, frame.height());
  }
  return extent;
}

int64_t previewScale(int64_t side) { return side <= kPreviewSide ? 1 : ceilDiv(side, kPreviewSide); }

CoverageMap::CoverageMap(int64_t maxWidth, int64_t maxHeight, const std::optional<CropRect>& crop,
                         uint64_t expectedFrames, unsigned align)
    : maxWidth_(std::max<int64_t>(maxWidth, 0)),
      maxHeight_(std::max<int64_t>(maxHeight, 0)),
      crop_(crop) {
  std::vector<int64_t> scales;
  int64_t columnsOf = maxWidth_, rowsOf = maxHeight_;
  if (crop) {
    originX_ = std::min<int64_t>(0, crop->minX);
    originY_ = std::min<int64_t>(0, crop->minY);
    columnsOf = std::max<int64_t>(maxWidth_, crop->maxX) - originX_;
    rowsOf = std::max<int64_t>(maxHeight_, crop->maxY) - originY_;
    scales.push_back(previewScale(std::max(columnsOf, rowsOf)));
  } else {
    static_assert(kMaxAlign < kPreviewSide, "a widening crosses one block size step at most");
    // The widened crop ends at most align - 1 pixels past the widest and the
    // tallest frame, which is less than one block size step; beyond the frames
    // every block is empty, so the counters need only cover the frames.
    const int64_t side = std::max(maxWidth_, maxHeight_);
    const int64_t widest = side + int64_t(std::max(align, 1u)) - 1;
    scales.push_back(previewScale(side));
    if (previewScale(widest) != scales.front()) scales.push_back(previewScale(widest));
  }
  // A counter must hold every frame and, with a crop, the mark above it.
  const uint64_t narrowLimit = crop ? 0x7fffu : 0xffffu;
  const bool wide = expectedFrames > narrowLimit;
  if (crop) outsideBit_ = wide ? 0x80000000u : 0x8000u;
  try {
    for (const int64_t scale : scales) {
      Grid grid;
      grid.scale = scale;
      grid.columns = ceilDiv(columnsOf, scale);
      grid.rows = ceilDiv(rowsOf, scale);
      const size_t cells = static_cast<size_t>(grid.columns * grid.rows);
      if (wide) {
        grid.wide.assign(cells, 0);
      } else {
        grid.narrow.assign(cells, 0);
      }
      grids_.push_back(std::move(grid));
    }
  } catch (const std::bad_alloc&) {
    grids_.clear();
    outOfMemory_ = true;
  }
}

template <typename Visible>
void CoverageMap::add(int64_t height, const Offset& offset, const Visible& visible) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ++frames_;
  if (outOfMemory_) return;
  try {
    count(height, offset, visible);
  } catch (const std::bad_alloc&) {
    // A frame counted in part would show wrong counts: the picture is off.
    outOfMemory_ = true;
  }
}

template <typename Visible>
void CoverageMap::count(int64_t height, const Offset& offset, const Visible& visible) {
  std::vector<std::pair<int64_t, int64_t>> runs;
  for (Grid& grid : grids_) {
    const int64_t k = grid.scale;
    // Per block row, which blocks this frame shows in (1) and shows in
    // outside the crop (2), so that a frame counts once per block.
    std::vector<uint8_t> marks(static_cast<size_t>(grid.columns), 0);
    int64_t lowest = grid.columns, highest = -1;
    const auto flush = [&](int64_t blockRow) {
      const int64_t first = lowest, last = highest;
      lowest = grid.columns;
      highest = -1;
      if (blockRow < 0 || blockRow >= grid.rows) {
        for (int64_t c = first; c <= last; ++c) marks[c] = 0;
        return;
      }
      for (int64_t c = first; c <= last; ++c) {
        if (marks[c] == 0) continue;
        const int64_t cell = blockRow * grid.columns + c;
        const uint32_t mark = (marks[c] & 2) != 0 ? outsideBit_ : 0;
        if (grid.wide.empty()) {
          grid.narrow[cell] = uint16_t((grid.narrow[cell] + 1) | mark);
        } else {
          grid.wide[cell] = (grid.wide[cell] + 1) | mark;
        }
        marks[c] = 0;
      }
    };
    int64_t blockRow = -1;
    for (int64_t frameY = 0; frameY < height; ++frameY) {
      // The frame's row and columns where they lie in the canvas.
      const int64_t y = frameY + offset.y;
      const int64_t row = floorDiv(y - originY_, k);
      if (row != blockRow) {
        flush(blockRow);
        blockRow = row;
      }
      if (row >= grid.rows) break;
      visible(frameY, runs);
      for (auto& run : runs) {
        run.first += offset.x;
        run.second += offset.x;
      }
      // The pixels of [from, to) fall in every block column from the first
      // one's to the last one's: a span is marked per block, not per pixel.
      const auto mark = [&](int64_t from, int64_t to, uint8_t value) {
        if (to <= from) return;
        const int64_t first = std::max<int64_t>(floorDiv(from - originX_, k), 0);
        const int64_t last = std::min<int64_t>(floorDiv(to - 1 - originX_, k), grid.columns - 1);
        if (first > last) return;
        for (int64_t c = first; c <= last; ++c) marks[c] |= value;
        lowest = std::min(lowest, first);
        highest = std::max(highest, last);
      };
      const bool outsideRow = crop_ && (y < crop_->minY || y >= crop_->maxY);
      for (const auto& [from, to] : runs) {
        if (!crop_ || outsideRow) {
          mark(from, to, outsideRow ? 3 : 1);
          continue;
        }
        const int64_t inFrom = std::max<int64_t>(from, crop_->minX);
        const int64_t inTo = std::min<int64_t>(to, crop_->maxX);
        mark(from, std::min(to, inFrom), 3);
        mark(inFrom, inTo, 1);
        mark(std::max(from, inTo), to, 3);
      }
    }
    flush(blockRow);
  }
}

void CoverageMap::addFrame(FIBITMAP* frame, uint8_t threshold, const Offset& offset) {
  if (frame == nullptr) return;
  const int64_t width = FreeImage_GetWidth(frame);
  const int64_t height = FreeImage_GetHeight(frame);
  const RowsFromTop rowAt(frame);
  // Visible runs of row y (from the top), as [from, to) column pairs.
  const auto runsOf = [&](auto isVisible) {
    return [&, isVisible](int64_t y, std::vector<std::pair<int64_t, int64_t>>& runs) {
      runs.clear();
      const BYTE* row = rowAt(y);
      int64_t x = 0;
      while (x < width) {
        while (x < width && !isVisible(row, x)) ++x;
        const int64_t from = x;
        while (x < width && isVisible(row, x)) ++x;
        if (x > from) runs.emplace_back(from, x);
      }
    };
  };
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(frame);
  if (type == FIT_RGBA16) {
    add(height, offset, runsOf(Rgba16Visible(threshold)));
  } else if (type == FIT_BITMAP && FreeImage_GetBPP(frame) == 32) {
    add(height, offset, runsOf(Rgba8Visible(threshold)));
  } else {
    add(height, offset, [width](int64_t, std::vector<std::pair<int64_t, int64_t>>& runs) {
      runs.assign(1, {0, width});
    });
  }
}

Status CoverageMap::picture(const CropRect& crop, const std::optional<CropRect>& area,
                            std::string& png) const {
  if (outOfMemory_) return Status(Status::Code::failed, kOutOfMemory);
  const int64_t originX = std::min<int64_t>(0, crop.minX);
  const int64_t originY = std::min<int64_t>(0, crop.minY);
  const int64_t width = std::max<int64_t>(maxWidth_, crop.maxX) - originX;
  const int64_t height = std::max<int64_t>(maxHeight_, crop.maxY) - originY;
  const int64_t scale = previewScale(std::max(width, height));
  const auto found = std::find_if(grids_.begin(), grids_.end(),
                                  [&](const Grid& grid) { return grid.scale == scale; });
  // A canvas other than the one the counts were kept for: a fault of the
  // caller's, not of the frames.
  if (found == grids_.end() || originX != originX_ || originY != originY_) {
    return Status(Status::Code::failed, "the crop lies outside the counted canvas");
  }
  const Grid& grid = *found;
  const int64_t columns = ceilDiv(width, scale);
  const int64_t rows = ceilDiv(height, scale);
  const Image image(FreeImage_Allocate(int(columns), int(rows), 24));
  if (image == nullptr) return Status(Status::Code::failed, kOutOfMemory);
  const uint32_t countMask = outsideBit_ != 0 ? outsideBit_ - 1 : 0xffffffffu;
  BYTE* const bits = FreeImage_GetBits(image.get());
  const int64_t pitch = FreeImage_GetPitch(image.get());
  // The library stores rows bottom-up.
  const auto put = [&](int64_t column, int64_t row, const Colour& colour) {
    BYTE* pixel = bits + (rows - 1 - row) * pitch + 3 * column;
    pixel[FI_RGBA_RED] = colour.red;
    pixel[FI_RGBA_GREEN] = colour.green;
    pixel[FI_RGBA_BLUE] = colour.blue;
  };
  const auto counterAt = [&](int64_t column, int64_t row) -> uint32_t {
    return column < grid.columns && row < grid.rows ? grid.at(row * grid.columns + column) : 0;
  };
  for (int64_t row = 0; row < rows; ++row) {
    for (int64_t column = 0; column < columns; ++column) {
      const uint32_t counter = counterAt(column, row);
      const uint64_t n = counter & countMask;
      Colour colour = kNothing;
      if (outsideBit_ != 0 && (counter & outsideBit_) != 0) {
        colour = kCutOff;
      } else if (n == 1) {
        colour = kOneFrame;
      } else if (n >= 2) {
        const uint64_t all = std::max<uint64_t>(frames_, n);
        const BYTE grey = BYTE(64 + 191 * (n - 1) / (all - 1));
        colour = Colour{grey, grey, grey};
      }
      put(column, row, colour);
    }
  }
  const auto line = [&](int64_t column, int64_t row, const Colour& colour) {
    if (counterAt(column, row) == 0) put(column, row, colour);
  };
  const auto outline = [&](const CropRect& rect, const Colour& colour) {
    int64_t left, right, top, bottom;
    if (!pictureSpan(rect.minX, rect.maxX, originX, scale, left, right) ||
        !pictureSpan(rect.minY, rect.maxY, originY, scale, top, bottom)) {
      return;
    }
    for (int64_t column = std::max<int64_t>(left, 0); column <= std::min(right, columns - 1);
         ++column) {
      if (top >= 0 && top < rows) line(column, top, colour);
      if (bottom >= 0 && bottom < rows) line(column, bottom, colour);
    }
    for (int64_t row = std::max<int64_t>(top, 0); row <= std::min(bottom, rows - 1); ++row) {
      if (left >= 0 && left < columns) line(left, row, colour);
      if (right >= 0 && right < columns) line(right, row, colour);
    }
  };
  outline(crop, kCropOutline);
  if (area) outline(*area, kAreaOutline);
  // Large even areas of one colour: the fastest level already packs them well,
  // and the picture must not cost the run what a frame costs.
  return encodeFrame(image.get(), std::string(), png);
}

}  // namespace velmora
