// The default PNG encoding of a decoded image: the library's own encoder,
// with the source frame's colour chunks spliced in right after the header.
// It is the form every frame is written in without -optimize, and the bound
// that the optimized form must beat.
#ifndef VELMORA_PNG_PNG_ENCODE_H
#define VELMORA_PNG_PNG_ENCODE_H

#include <string>

struct FIBITMAP;

namespace velmora {

// The PNG bytes of image with chunks (whole stored chunks, such as
// FrameSource::colourChunks) placed right after its header, encoded with the
// library's PNG save flags (0: its defaults). False when the image could not
// be encoded.
bool encodeFrame(FIBITMAP* image, const std::string& chunks, std::string& png, int flags = 0);

}  // namespace velmora

#endif  // VELMORA_PNG_PNG_ENCODE_H
