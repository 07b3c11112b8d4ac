// Cropping a decoded frame to the animation's rectangle.
//
// Pixels inside the frame are copied exactly, in the frame's own pixel type,
// so a 16-bit frame stays 16-bit; what the rectangle adds outside the frame
// is opaque black, or with Fill::transparent alpha 0 (colour 0, 0, 0).
#ifndef VELMORA_IMAGE_FRAME_CROP_H
#define VELMORA_IMAGE_FRAME_CROP_H

#include "base/crop_rect.h"
#include "image/image.h"

namespace velmora {

// Replaces frame by its copy cropped to rect: pixel (x, y) of the result is
// the frame's pixel (x + minX, y + minY) where that lies inside the frame and
// the fill elsewhere. A frame with a transparency table is first expanded to
// 32-bit RGBA (expandTransparencyTable); so is a frame without alpha that a
// transparent fill reaches beyond (to 16-bit RGBA for 16-bit samples); every
// other frame keeps its pixel type. frame is empty afterwards when the crop
// failed.
void cropFrame(Image& frame, const CropRect& rect, Fill fill = Fill::black);

}  // namespace velmora

#endif  // VELMORA_IMAGE_FRAME_CROP_H
