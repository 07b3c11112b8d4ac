// The visible pixels of one decoded frame: the smallest box that holds every
// pixel whose alpha is above the threshold.
//
// Rows are searched only where they can widen the box found so far, so a
// frame costs about one pass over its transparent margins.
#ifndef VELMORA_IMAGE_FRAME_BOUNDS_H
#define VELMORA_IMAGE_FRAME_BOUNDS_H

#include <cstdint>

#include "base/crop_rect.h"
#include "image/image.h"

struct FIBITMAP;

namespace velmora {

// Widens box (inclusive maxima) by the pixels of one 8-bit alpha image whose
// palette entry's red component is greater than threshold. Pixels inside the
// box found so far are not looked at.
void accumulateBounds(FIBITMAP* alpha, uint8_t threshold, CropRect& box);

// The same for a FIT_RGBA16 frame, on its 16-bit alpha: a pixel is visible
// when its alpha is greater than threshold * 257.
void accumulateBoundsRgba16(FIBITMAP* frame, uint8_t threshold, CropRect& box);

class CoverageMap;

// Scans a decoded frame (an empty one allowed) and releases it: a FIT_RGBA16
// frame on its 16-bit alpha, any other on its 8-bit alpha channel, taken
// after expandTransparencyTable. False when the frame has neither; box is
// then unchanged. With a coverage map, the frame's visible pixels are counted
// in it, laid at offset in the canvas.
bool scanLoadedFrame(Image frame, uint8_t threshold, CropRect& box,
                     CoverageMap* coverage = nullptr, const Offset& offset = Offset());

}  // namespace velmora

#endif  // VELMORA_IMAGE_FRAME_BOUNDS_H
