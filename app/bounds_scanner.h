// The bounds scan: the smallest rectangle that holds every visible pixel of
// every frame, a pixel being visible when its alpha is above the threshold.
//
// Frames are scanned one at a time, each over its own size; the rectangle is
// never reset between frames, so the result is the union over all of them.
#ifndef VELMORA_BOUNDS_SCANNER_H
#define VELMORA_BOUNDS_SCANNER_H

#include <cstdint>
#include <optional>
#include <vector>

#include "corvane/htext.h"
#include "crop_rect.h"
#include "frame_loader.h"
#include "in_order.h"

struct FIBITMAP;

namespace velmora {

// Bare frame names that point into the folder listing, which outlives them.
using FrameList = std::vector<const char*>;

// done / total in single precision, times 100, truncated:
//   (1, 3) => 33    (2, 3) => 66    (3, 3) => 100
// Nothing to do (total 0) counts as done: 100.
unsigned progressPercent(unsigned done, unsigned total);

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

// Scans a loaded frame (nullptr allowed) and releases it: a FIT_RGBA16 frame
// on its 16-bit alpha, any other on its 8-bit alpha channel, taken after
// expandTransparencyTable. False when the frame has neither; box is then
// unchanged.
bool scanLoadedFrame(FIBITMAP* frame, uint8_t threshold, CropRect& box);

// One frame of the scan: loads the frame at path within the bounds and widens
// box by its visible pixels. Status ok, or why the frame could not be scanned
// (unreadable, tooLarge, tooMuchMetadata, noAlpha); box is then unchanged.
// Prints nothing.
// With a budget, the frame's pixels are taken from it before it is decoded.
FrameResult scanFrame(const corvane::htext& path, uint8_t threshold, CropRect& box,
                      PixelBudget* budget = nullptr);

// Scans every frame of source/name in list order, with its progress lines,
// and unites the bounding boxes of the visible pixels. Gives (-1, -1, 0, 0)
// when no frame has a visible pixel. A frame that is too large or holds too
// much metadata ends the scan after its STOP line and a pause: no rectangle.
// A frame without transparency (one that does not load included) ends it
// after its STOP line and a pause with the plain text exception
// "alpha not 8bpp".
// With jobs above 1, up to that many threads scan the frames; the printed
// lines and the result are the same.
std::optional<CropRect> determineBounds(FrameList frames, corvane::htext source,
                                        uint8_t threshold, unsigned jobs = 1);

}  // namespace velmora

#endif  // VELMORA_BOUNDS_SCANNER_H
