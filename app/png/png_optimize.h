// The smallest lossless PNG encoding of a cropped frame, for -optimize.
//
// A frame is written in a PNG form that holds its pixels exactly: a palette
// of 1, 2, 4 or 8 bits, with a tRNS for its entries that are not opaque, when
// it holds at most 256 distinct colours; grey (1, 2, 4 or 8 bits, as its
// levels allow) or grey with alpha when every pixel has R = G = B; RGB when
// every pixel is opaque; RGBA otherwise. The palette and the best form
// without one are the candidates, the one of fewer bits per pixel first. A 16-bit
// frame stays 16-bit unless every sample is a multiple of 257: only then are
// its values exactly 8-bit ones, and it is reduced like an 8-bit frame.
// Each form's rows are filtered in the ways that may win (the left-neighbour
// filter, libpng's per-row choice, none; none and the per-row choice for a
// palette), each filtering is deflated at the default encoding's fast level,
// and the smallest, counted with its form's chunks, is deflated again at
// libdeflate's level 10, or 9 when its filtered rows take more than 64 KiB;
// the smaller of the two streams is kept.
//
// Guarantees: decoded, the result holds exactly the image's pixels (an 8-bit
// value v standing for the 16-bit 257 v it replaces); it carries the given
// colour chunks right after IHDR, byte for byte, and, where the frame states
// one, the image's resolution in a pHYs chunk, and no other chunk; no form
// is chosen that an ICC profile among the chunks forbids (an RGB profile on a
// grey form, a grey profile on a colour form or an unknown one on any); it is
// smaller than the bytes it replaces or not written at all; and the same
// image and chunks give the same bytes on every run and thread.
#ifndef VELMORA_PNG_PNG_OPTIMIZE_H
#define VELMORA_PNG_PNG_OPTIMIZE_H

#include <string>

#include "base/status.h"
#include "png/png_writer.h"

struct FIBITMAP;

namespace velmora {

// What an encoding that competes with bytes already made gave: made and
// smaller, so that it took their place; made but not smaller ("no gain": the
// bytes already made are the smallest and stay); or not made at all, status
// saying why (and smaller false).
struct Gain {
  Status status;
  bool smaller = false;
};

// Replaces png, the default encoding of image with chunks (encodeFrame in
// png/png_encode.h), by the smallest optimized one when that is smaller.
// smaller when it did; no gain when the default is the smallest. Not made,
// with png unchanged, for a pixel type without an exact optimized form
// (float, 16-bit 565, ...), when no form may be chosen (a grey ICC profile on
// colour pixels), or for kOutOfMemory or "deflate failed" in any of its
// trials (a trial left out could be the smallest).
//   a 32-bit RGBA frame of 3 colours, one transparent => smaller: palette, 2 bits, tRNS of 1
//   a 32-bit frame, opaque, R = G = B, levels 0 and 255 => smaller: grey, 1 bit
//   a 16-bit RGBA frame, every sample 257 v           => smaller: 8-bit, reduced further
//   32-bit RGBA noise, every byte its own             => no gain
//   colour pixels with a GRAY iCCP among chunks       => not made
//   a FIT_FLOAT image                                 => not made
// memory, when given, keeps the compressors for the next call. resolution
// says whether the image's resolution is the frame's own: the decoder gives
// 72 dpi to a frame that states none, and the default encoding writes that,
// which an optimized frame leaves out.
Gain encodeOptimized(FIBITMAP* image, const std::string& chunks, std::string& png,
                     PngMemory* memory = nullptr, bool resolution = true);

// png: the smaller of the default encoding of image with chunks and its
// optimized one, the default when they are the same size: the bytes of
// encodeFrame followed by encodeOptimized, in less time, for where one of
// the optimizer's trials writes the default encoding's stream (an 8- or
// 16-bit RGBA, RGB or grey frame) that trial gives it. An optimized form
// that is not made leaves the default, as one of no gain does: the frame is
// still written. failed, with why (as encodeFrame's), when the default
// encoding could not be made.
Status encodeSmallest(FIBITMAP* image, const std::string& chunks, std::string& png,
                      PngMemory* memory = nullptr, bool resolution = true);

}  // namespace velmora

#endif  // VELMORA_PNG_PNG_OPTIMIZE_H
