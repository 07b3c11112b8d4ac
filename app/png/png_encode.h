// The default PNG encoding of a decoded image, the form every frame, sheet
// page and picture is written in without -optimize: the PNG form the image
// library's own encoder gives the image (8- or 16-bit RGBA, RGB when every
// pixel is opaque, grey, or the image's palette), with the chunks it writes
// (pHYs, bKGD, tIME and the text as iTXt), written by png/png_writer.h, and
// the source frame's colour chunks right after the header. An image of a
// kind that writer does not take (a palette of white to black, CMYK) is
// written by the library's encoder instead. It is also the bound that the
// optimized form must beat.
#ifndef VELMORA_PNG_PNG_ENCODE_H
#define VELMORA_PNG_PNG_ENCODE_H

#include <string>

#include "base/status.h"
#include "png/png_writer.h"

struct FIBITMAP;

namespace velmora {

// The encoding of the frames, sheet pages and pictures: the rows filtered as
// libpng filters them by default, deflated at a level that writes about the
// bytes of zlib's default in a fraction of its time.
constexpr PngEncoding kDefaultEncoding{RowFilters::leastSum, 1};

// The PNG bytes of image with chunks (whole stored chunks, such as
// FrameSource::colourChunks) placed right after its header. memory, when
// given, keeps the compressors for the next call. Rows of fewer than 8 bits
// and palette indices are not filtered, as libpng does not filter them.
// failed, with why, when the image could not be encoded: kOutOfMemory,
// "deflate failed", or the library's encoder refusing a kind left to it.
Status encodeFrame(FIBITMAP* image, const std::string& chunks, std::string& png,
                   PngMemory* memory = nullptr, const PngEncoding& encoding = kDefaultEncoding);

// The form the default encoding writes image in, and its chunks between the
// header and the image data; false for a kind it leaves to the library's
// encoder.
bool defaultFormOf(FIBITMAP* image, PngHeader& header, std::string& beforeData);

}  // namespace velmora

#endif  // VELMORA_PNG_PNG_ENCODE_H
