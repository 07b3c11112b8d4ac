// The bounds scan: the smallest rectangle that holds every visible pixel of
// every frame, a pixel being visible when its alpha is above the threshold.
//
// Every frame is scanned over its own size for the box of its own visible
// pixels; the rectangle is the union of those boxes.
#ifndef VELMORA_BOUNDS_SCANNER_H
#define VELMORA_BOUNDS_SCANNER_H

#include <cstdint>
#include <optional>
#include <vector>

#include "corvane/htext.h"
#include "crop_rect.h"
#include "frame_list.h"
#include "frame_loader.h"
#include "in_order.h"

struct FIBITMAP;

namespace velmora {

// Widens box (inclusive maxima) by the pixels of one 8-bit alpha image whose
// palette entry's red component is greater than threshold. Pixels inside the
// box found so far are not looked at.
void accumulateBounds(FIBITMAP* alpha, uint8_t threshold, CropRect& box);

// The same for a FIT_RGBA16 frame, on its 16-bit alpha: a pixel is visible
// when its alpha is greater than threshold * 257.
void accumulateBoundsRgba16(FIBITMAP* frame, uint8_t threshold, CropRect& box);

// A frame of 8 bits or fewer per pixel with a transparency table (palette and
// grey PNGs with tRNS) is replaced by its 32-bit RGBA conversion, which
// applies the table, and released. Other frames stay as they are. frame is
// nullptr afterwards when the conversion failed.
void expandTransparencyTable(FIBITMAP*& frame);

class CoverageMap;

// Scans a loaded frame (nullptr allowed) and releases it: a FIT_RGBA16 frame
// on its 16-bit alpha, any other on its 8-bit alpha channel, taken after
// expandTransparencyTable. False when the frame has neither; box is then
// unchanged. With a coverage map, the frame's visible pixels are counted in it.
bool scanLoadedFrame(FIBITMAP* frame, uint8_t threshold, CropRect& box,
                     CoverageMap* coverage = nullptr);

// One frame of the scan: loads the frame at path within the bounds and finds
// the box of its visible pixels. Status ok, or why the frame could not be
// scanned (unreadable, tooLarge, tooMuchMetadata, noAlpha); the box is then
// unset. Prints nothing.
// With a budget, the frame's pixels are taken from it before it is decoded;
// with a coverage map, the frame's visible pixels are counted in it.
FrameScan scanFrame(const corvane::htext& path, uint8_t threshold, PixelBudget* budget = nullptr,
                    CoverageMap* coverage = nullptr);

// What the scan found: every frame's own result and box, in list order (the
// frames after one that stopped the scan are left unscanned), and the union of
// the boxes, (-1, -1, 0, 0) when no frame has a visible pixel. No area when a
// frame stopped the scan.
struct BoundsScan {
  std::vector<FrameScan> frames;
  std::optional<CropRect> area;
};

// Scans every frame of source/name in list order, with its progress lines.
// A frame that is too large or holds too much metadata ends the scan after
// its STOP line and a pause: no area. A frame without transparency (one that
// does not load included) ends it after its STOP line and a pause with the
// plain text exception "alpha not 8bpp".
// With jobs above 1, up to that many threads scan the frames; the printed
// lines and the result are the same.
BoundsScan determineBounds(const FrameList& frames, const corvane::htext& source,
                           uint8_t threshold, unsigned jobs = 1, CoverageMap* coverage = nullptr);

}  // namespace velmora

#endif  // VELMORA_BOUNDS_SCANNER_H
