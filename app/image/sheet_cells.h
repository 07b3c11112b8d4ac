// The cells of a texture atlas (-sheet): each frame's part of its animation's
// area cut as 8-bit RGBA, and pages made of cells.
//
// A cell is the area of the animation's canvas, the frame laid in it by the
// anchor: what lies inside the frame is its pixels exactly (16-bit samples
// reduced to their high byte, the form every engine's RGBA8888 sheet holds),
// what lies outside is transparent.
#ifndef VELMORA_IMAGE_SHEET_CELLS_H
#define VELMORA_IMAGE_SHEET_CELLS_H

#include <cstdint>
#include <string>
#include <vector>

#include "base/crop_rect.h"
#include "base/frame_result.h"
#include "base/status.h"
#include "corvane/htext.h"
#include "image/frame_work.h"
#include "parallel/in_order.h"

namespace velmora {

class CoverageMap;
class PngMemory;

// 8-bit RGBA samples, rows from the top.
struct CellPixels {
  uint32_t width = 0;
  uint32_t height = 0;
  std::string rgba;
};

// Loads the frame at path within the bounds and cuts the cell area (in the
// canvas) from it. The result's status says why it could not be.
// With a coverage map, the frame's visible pixels (alpha above threshold)
// are counted in it where placement lays it.
FrameResult cutCell(const corvane::htext& path, const CropRect& area, const Placement& placement,
                    CellPixels& cell, PixelBudget* budget = nullptr,
                    CoverageMap* coverage = nullptr, uint8_t threshold = 0);

// A cell at its place on a page.
struct PlacedCell {
  const CellPixels* cell;
  uint32_t x, y;
};

// The PNG bytes of a width x height page, transparent but for its cells;
// with optimize in its smallest lossless form (encodeSmallest,
// png/png_optimize.h). failed, with why (kOutOfMemory for the page itself,
// else the encoder's words), when it could not be encoded.
Status encodePage(uint32_t width, uint32_t height, const std::vector<PlacedCell>& cells,
                  bool optimize, PngMemory* memory, std::string& png);

}  // namespace velmora

#endif  // VELMORA_IMAGE_SHEET_CELLS_H
