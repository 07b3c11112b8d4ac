// One frame's work, from its file to its result: the scan of its visible
// pixels, and its load, crop, encoding and save. The loops of the run layer
// call these for every frame, on one thread or on many.
//
// Every byte of an output frame is written by the tool itself and saved with
// saveFile (host/file_save.h), so a failed save says so, never leaves a
// truncated frame behind nor destroys an earlier good one, and nothing
// outside the folder is written. The output keeps the colour chunks (gAMA,
// cHRM, sRGB, iCCP) of its source frame. Nothing here prints.
#ifndef VELMORA_IMAGE_FRAME_WORK_H
#define VELMORA_IMAGE_FRAME_WORK_H

#include <cstdint>

#include "base/crop_rect.h"
#include "base/frame_result.h"
#include "corvane/htext.h"
#include "parallel/in_order.h"

namespace velmora {

class CoverageMap;
class PngMemory;

// Where the frames of an animation lie in its canvas: the canvas is the
// largest width and height among them (0 x 0 while unknown, which puts every
// frame at (0, 0)), and each frame lies in it by the anchor.
struct Placement {
  Anchor anchor = Anchor::topleft;
  int64_t width = 0;
  int64_t height = 0;
  Offset of(int64_t frameWidth, int64_t frameHeight) const {
    return placeFrame(anchor, width, height, frameWidth, frameHeight);
  }
};

// Loads the frame at path within the bounds and finds the box of its visible
// pixels, in its own canvas. Status ok, or why the frame could not be scanned
// (unreadable, tooLarge, tooMuchMetadata, noAlpha); the box is then unset.
// With a budget, the frame's pixels are taken from it before it is decoded;
// with a coverage map, the frame's visible pixels are counted in it, where
// placement lays the frame.
FrameScan scanFrame(const corvane::htext& path, uint8_t threshold, PixelBudget* budget = nullptr,
                    CoverageMap* coverage = nullptr, const Placement& placement = Placement());

// How a frame is written: where it lies in the animation's canvas, what the
// crop adds outside it; for the coverage picture of a forced rectangle, the
// map that counts each decoded frame's pixels that are visible at threshold;
// with optimize, in its smallest lossless form (encodeSmallest,
// png/png_optimize.h). With freshFolder the target's folder is the run's own
// and new, so each frame is created there under its name at once (never over
// an entry that stands there) instead of through a temporary file.
struct WriteOptions {
  Placement placement;
  Fill fill = Fill::black;
  CoverageMap* coverage = nullptr;
  uint8_t threshold = 0;
  bool optimize = false;
  bool freshFolder = false;
};

// Loads the frame at path within the bounds, crops it to rect (in the
// animation's canvas, so moved by the frame's offset there) and saves it as
// target. Status ok, or why it was not written (unreadable, tooLarge,
// tooMuchMetadata, notCropped, notSaved), with the system's or the encoder's
// words for the error where they gave them; bytesOut the bytes written.
// With a budget, the frame's pixels and those of its crop and of the
// encoder's copies of it (the filtered rows; under -optimize also a form's
// rows and two filterings) are taken from it before the frame is decoded, so
// that threads do not hold several large frames' buffers at once. memory
// serves the encoder (PngMemory,
// png/png_writer.h); without it the encoder keeps its own.
FrameResult writeFrame(const corvane::htext& path, const CropRect& rect,
                       const corvane::htext& target, PixelBudget* budget = nullptr,
                       const WriteOptions& options = WriteOptions(), PngMemory* memory = nullptr);

}  // namespace velmora

#endif  // VELMORA_IMAGE_FRAME_WORK_H
