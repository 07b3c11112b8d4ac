#include "image/sheet_cells.h"

#include <FreeImage.h>

#include <cstring>

#include "image/coverage_map.h"
#include "image/frame_crop.h"
#include "image/frame_loader.h"
#include "png/png_encode.h"
#include "png/png_optimize.h"

namespace velmora {

using corvane::htext;

FrameResult cutCell(const htext& path, const CropRect& area, const Placement& placement,
                    CellPixels& cell, PixelBudget* budget, CoverageMap* coverage,
                    uint8_t threshold) {
  FrameSource source = FrameSource::open(path);
  if (!source.status().ok()) return source.result();
  const BudgetShare share(budget, 2 * (int64_t(source.width()) * source.height() + rectArea(area)));
  Image frame = source.decode();
  FrameResult result = source.result();
  if (frame == nullptr) return result;
  const Offset offset = placement.of(source.width(), source.height());
  if (coverage != nullptr) {
    expandTransparencyTable(frame);
    coverage->addFrame(frame.get(), threshold, offset);
  }
  CropRect framed;
  if (frame != nullptr && inFrame(area, offset, framed)) {
    cropFrame(frame, framed, Fill::transparent);
  } else {
    frame.reset();
  }
  if (frame != nullptr) frame.reset(FreeImage_ConvertTo32Bits(frame.get()));
  if (frame == nullptr) {
    result.status = Status(Status::Code::notCropped);
    return result;
  }
  cell.width = FreeImage_GetWidth(frame.get());
  cell.height = FreeImage_GetHeight(frame.get());
  cell.rgba.resize(size_t(cell.width) * cell.height * 4);
  unsigned char* out = reinterpret_cast<unsigned char*>(&cell.rgba[0]);
  for (uint32_t y = 0; y < cell.height; ++y) {
    // The library stores rows bottom-up, each pixel in its own byte order.
    const BYTE* row = FreeImage_GetScanLine(frame.get(), int(cell.height - 1 - y));
    for (uint32_t x = 0; x < cell.width; ++x, row += 4, out += 4) {
      out[0] = row[FI_RGBA_RED];
      out[1] = row[FI_RGBA_GREEN];
      out[2] = row[FI_RGBA_BLUE];
      out[3] = row[FI_RGBA_ALPHA];
    }
  }
  return result;
}

Status encodePage(uint32_t width, uint32_t height, const std::vector<PlacedCell>& cells,
                  bool optimize, PngMemory* memory, std::string& png) {
  const Image page(FreeImage_Allocate(int(width), int(height), 32, FI_RGBA_RED_MASK,
                                      FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK));
  if (page == nullptr) return Status(Status::Code::failed, kOutOfMemory);
  BYTE* const bits = FreeImage_GetBits(page.get());
  const unsigned pitch = FreeImage_GetPitch(page.get());
  std::memset(bits, 0, size_t(pitch) * height);
  for (const PlacedCell& placed : cells) {
    const CellPixels& cell = *placed.cell;
    const unsigned char* in = reinterpret_cast<const unsigned char*>(cell.rgba.data());
    for (uint32_t y = 0; y < cell.height; ++y) {
      BYTE* row = bits + size_t(height - 1 - (placed.y + y)) * pitch + size_t(placed.x) * 4;
      for (uint32_t x = 0; x < cell.width; ++x, row += 4, in += 4) {
        row[FI_RGBA_RED] = in[0];
        row[FI_RGBA_GREEN] = in[1];
        row[FI_RGBA_BLUE] = in[2];
        row[FI_RGBA_ALPHA] = in[3];
      }
    }
  }
  // A page's resolution is the library's default, no frame's.
  return optimize ? encodeSmallest(page.get(), std::string(), png, memory, false)
                  : encodeFrame(page.get(), std::string(), png, memory);
}

}  // namespace velmora
