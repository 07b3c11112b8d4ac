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

#include "bounds_scanner.h"
#include "frame_loader.h"
#include "in_order.h"
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

// The PNG bytes of image with chunks (whole stored chunks, such as
// FrameSource::colourChunks) placed right after its header. False when the
// image could not be encoded.
bool encodeFrame(FIBITMAP* image, const std::string& chunks, std::string& png);

// One frame of the loop: loads the frame at path within the bounds, crops it
// to rect and saves it as target. Status ok, or why it was not written
// (unreadable, tooLarge, tooMuchMetadata, notCropped, notSaved). Prints
// nothing.
// With a budget, the frame's pixels and its crop's are taken from it before
// the frame is decoded.
FrameResult writeFrame(const corvane::htext& path, const CropRect& rect,
                       const corvane::htext& target, PixelBudget* budget = nullptr);

// Why a frame was not written, as the frame loop's warning and the report
// word it: "could not be loaded as PNG", "could not be saved", ...; nullptr
// for ok.
const char* frameProblem(FrameStatus status);

// The file a frame is written as, by its 1-based place in the list.
//   1 => "out_00001.png"    123456 => "out_123456.png"
corvane::htext outputName(unsigned number);

// Writes every frame in list order as output/autocropped/<outputName>, with
// its progress line. A frame that cannot be loaded, cropped or saved gets a
// warning line and no file; the loop goes on and the numbering does not
// shift. Gives each frame's result, in list order. With jobs above 1, up to
// that many threads write the frames; the printed lines and the files are the
// same.
std::vector<FrameResult> writeCroppedFrames(const FrameList& frames, const corvane::htext& source,
                                            const corvane::htext& output, const CropRect& rect,
                                            unsigned jobs = 1);

}  // namespace velmora

#endif  // VELMORA_FRAME_OUTPUT_H
