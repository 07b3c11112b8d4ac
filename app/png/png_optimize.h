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
// libpng encodes it at zlib level 8 or 9 with two or three trials of row
// filters and zlib strategies (a large frame picks one on a band of its
// rows), until one comes to 97% of the default's bytes or less; the smallest
// result is kept.
//
// Guarantees: decoded, the result holds exactly the image's pixels (an 8-bit
// value v standing for the 16-bit 257 v it replaces); it carries the given
// colour chunks right after IHDR, byte for byte, and the image's resolution
// in a pHYs chunk, as the default encoding does, and no other chunk; no form
// is chosen that an ICC profile among the chunks forbids (an RGB profile on a
// grey form, a grey profile on a colour form or an unknown one on any); it is
// smaller than the bytes it replaces or not written at all; and the same
// image and chunks give the same bytes on every run and thread.
#ifndef VELMORA_PNG_PNG_OPTIMIZE_H
#define VELMORA_PNG_PNG_OPTIMIZE_H

#include <cstddef>
#include <string>
#include <vector>

struct FIBITMAP;

namespace velmora {

// The memory libpng and zlib ask for while encoding, kept from one trial and
// one frame to the next: they ask for blocks of the same sizes every time,
// and a block handed back to the system is paid for again, page by page,
// when it is taken anew. Used by one thread at a time; the frame loop keeps
// one per worker. (Not a thread_local: in the Windows build a thread's
// thread_local storage can be gone before its destructor runs, which then
// frees what it reads there.)
class PngMemory {
 public:
  PngMemory();
  ~PngMemory();
  PngMemory(const PngMemory&) = delete;
  PngMemory& operator=(const PngMemory&) = delete;

  // A block of size bytes, aligned for any type: a kept one of that size or
  // a new one; nullptr when there is no memory for it.
  void* take(size_t size);
  // Keeps a block from take for a later take, or frees it.
  void give(void* block);

 private:
  std::vector<void*> kept_;
};

// Replaces png, the default encoding of image with chunks (encodeFrame in
// png/png_encode.h), by the smallest optimized one when that is smaller. True
// when it did; false, with png unchanged, when the default is the smallest,
// when no form may be chosen (a grey ICC profile on colour pixels), or for a
// pixel type without an exact optimized form (float, 16-bit 565, ...).
//   a 32-bit RGBA frame of 3 colours, one transparent => true: palette, 2 bits, tRNS of 1
//   a 32-bit frame, opaque, R = G = B, levels 0 and 255 => true: grey, 1 bit
//   a 16-bit RGBA frame, every sample 257 v           => true: 8-bit, reduced further
//   colour pixels with a GRAY iCCP among chunks       => false
//   a FIT_FLOAT image                                 => false
// memory, when given, serves libpng's blocks; otherwise the call keeps its own.
bool encodeOptimized(FIBITMAP* image, const std::string& chunks, std::string& png,
                     PngMemory* memory = nullptr);

}  // namespace velmora

#endif  // VELMORA_PNG_PNG_OPTIMIZE_H
