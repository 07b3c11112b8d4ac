// The crop step: writes every frame cropped to the corrected rectangle as
// autocropped/out_NNNNN.png.
//
// Every output frame is first saved under a temporary name in the same folder
// and then renamed into place, so a failed save never leaves a truncated frame
// behind nor destroys an earlier good one.
#ifndef VELMORA_FRAME_OUTPUT_H
#define VELMORA_FRAME_OUTPUT_H

#include <cstdint>

#include "bounds_scanner.h"
#include "corvane/htext.h"

struct FIBITMAP;

namespace velmora {

// Replaces frame by its copy cropped to rect: pixel (x, y) of the result is
// the frame's pixel (x + minX, y + minY) where that lies inside the frame and
// opaque black elsewhere. A frame with a transparency table is first expanded
// to 32-bit RGBA (expandTransparencyTable); every other frame keeps its pixel
// type, so a 16-bit frame stays 16-bit. The loaded frame is released. frame is
// nullptr afterwards when the crop failed.
void cropFrame(FIBITMAP*& frame, const CropRect& rect);

//   zeroPad("7", 5)      => "00007"
//   zeroPad("123456", 5) => "123456"
corvane::htext zeroPad(const corvane::htext& text, int width);

// Loads, crops and saves every frame in list order as
// output/autocropped/out_<number>.png, with its progress line. A frame that
// cannot be loaded, cropped or saved gets a warning line and no file; the
// loop goes on and the numbering does not shift. Gives the number of frames
// not written.
int writeCroppedFrames(const FrameList& frames, const corvane::htext& source,
                       const corvane::htext& output, const CropRect& rect);

}  // namespace velmora

#endif  // VELMORA_FRAME_OUTPUT_H
