// The crop step: writes every frame cropped to the corrected rectangle as
// autocropped/out_NNNNN.png.
//
// Every byte of an output frame is written by the tool itself and saved with
// saveFile (file_save.h), so a failed save says so, never leaves a truncated
// frame behind nor destroys an earlier good one, and nothing outside the
// folder is written. The output keeps the colour chunks (gAMA, cHRM, sRGB,
// iCCP) of its source frame.
#ifndef VELMORA_FRAME_OUTPUT_H
#define VELMORA_FRAME_OUTPUT_H

#include <cstdint>
#include <string>
#include <vector>

#include "corvane/htext.h"
#include "crop_rect.h"
#include "frame_list.h"
#include "frame_result.h"
#include "in_order.h"

struct FIBITMAP;

namespace velmora {

// Replaces frame by its copy cropped to rect: pixel (x, y) of the result is
// the frame's pixel (x + minX, y + minY) where that lies inside the frame and
// opaque black elsewhere. A frame with a transparency table is first expanded
// to 32-bit RGBA (expandTransparencyTable); every other frame keeps its pixel
// type, so a 16-bit frame stays 16-bit. The loaded frame is released. frame is
// nullptr afterwards when the crop failed.
void cropFrame(FIBITMAP*& frame, const CropRect& rect);

// The PNG bytes of image with chunks (whole stored chunks, such as
// FrameSource::colourChunks) placed right after its header, encoded with the
// library's PNG save flags (0: its defaults). False when the image could not
// be encoded.
bool encodeFrame(FIBITMAP* image, const std::string& chunks, std::string& png, int flags = 0);

class CoverageMap;
class PngMemory;

// How the frame loop runs: on how many threads, and, for the coverage
// picture of a forced rectangle, the map that counts each decoded frame's
// pixels that are visible at threshold; with optimize, every frame is written
// in its smallest lossless form (encodeOptimized, png_optimize.h).
struct LoopOptions {
  unsigned jobs = 1;
  CoverageMap* coverage = nullptr;
  uint8_t threshold = 0;
  bool optimize = false;
};

// One frame of the loop: loads the frame at path within the bounds, crops it
// to rect and saves it as target. Status ok, or why it was not written
// (unreadable, tooLarge, tooMuchMetadata, notCropped, notSaved), with the
// system's words for the error where it gave them. Prints nothing.
// With a budget, the frame's pixels and its crop's are taken from it before
// the frame is decoded. memory serves -optimize's encoder (PngMemory,
// png_optimize.h); without it the encoder keeps its own.
FrameResult writeFrame(const corvane::htext& path, const CropRect& rect,
                       const corvane::htext& target, PixelBudget* budget = nullptr,
                       const LoopOptions& options = LoopOptions(), PngMemory* memory = nullptr);

// Why a frame was not written, as the frame loop's warning and the report
// word it: "could not be loaded as PNG", "could not be saved", ...; nullptr
// for ok.
const char* frameProblem(FrameStatus status);

// Writes every frame in list order as folder/<outputName> (folder being the
// run's autocropped folder), with its progress line. A frame that cannot be
// loaded, cropped or saved gets a warning line and no file; the loop goes on
// and the numbering does not shift. Gives each frame's result, in list order.
// With options.jobs above 1, up to that many threads write the frames; the
// printed lines and the files are the same.
std::vector<FrameResult> writeCroppedFrames(const FrameList& frames, const corvane::htext& source,
                                            const corvane::htext& folder, const CropRect& rect,
                                            const LoopOptions& options = LoopOptions());

}  // namespace velmora

#endif  // VELMORA_FRAME_OUTPUT_H
