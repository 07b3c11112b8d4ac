// PNG chunks read and spliced as bytes, without decoding anything.
//
// FreeImage keeps none of a frame's colour chunks (gAMA, cHRM, sRGB, iCCP),
// so an output frame gets them byte for byte from its source file; and the
// walk that finds them also bounds the compressed metadata that libpng would
// inflate before a single pixel is read.
//
// Guarantees: nothing is read outside what readAt gives or what png holds;
// only chunk headers and the few chunks copied are read, never the pixels;
// every walk ends where the bytes end at the latest, whatever the lengths say
// (one above 2^31 - 1, which PNG forbids, ends it); and a chunk is copied
// only whole, with its CRC right and a length its type allows. libpng takes
// the copies as it took the originals while the output keeps the source's
// grey or colour kind: an RGB output makes it drop a grey ICC profile, and
// with it gAMA and cHRM.
#ifndef VELMORA_PNG_PNG_CHUNKS_H
#define VELMORA_PNG_PNG_CHUNKS_H

#include <cstdint>
#include <functional>
#include <string>

#include "base/status.h"

namespace velmora {

// Reads n bytes at offset, counted from the first byte of the signature, into
// buffer; false when they are not all there. A FILE*, a descriptor or memory.
using ReadAt = std::function<bool(int64_t offset, void* buffer, unsigned n)>;

struct ChunkHead {
  int64_t offset = 0;   // of its length field
  uint32_t length = 0;  // of its data, as stored: not checked against the file
  std::string type;     // the four letters
};

// Gives each chunk header after the signature to visit, in file order, until
// visit returns false, or after IEND or a length above 2^31 - 1, or where the
// next 8 bytes cannot be read. The signature itself is not checked.
//   IHDR, gAMA, IDAT, IEND                => visits all four
//   IHDR, then a length of 0xFFFFFFFF     => visits both, then ends
//   IHDR, IDAT, ...; visit false at IDAT  => visits IHDR and IDAT
//   file cut 4 bytes into IHDR's header   => visits nothing
void walkChunks(const ReadAt& readAt, const std::function<bool(const ChunkHead&)>& visit);

// The data lengths of every zTXt, iTXt and iCCP chunk up to IEND, summed:
// the bytes libpng inflates as it reads the file. Lengths as stored, so a
// chunk cut off or lying about its size counts in full.
//   IHDR, zTXt of 100, IDAT, iTXt of 20, IEND  => 120
//   IHDR, iCCP claiming 0xFFFFFFFF, end        => 4294967295
//   IHDR, gAMA, IDAT, IEND                     => 0
int64_t packedMetadataBytes(const ReadAt& readAt);

// What the bytes are as a whole, before any decoder looks at them: nothing at
// all, no PNG signature, cut off before a whole IEND chunk (the chunk walk
// runs out of bytes, or a chunk's data and CRC run past the end, before
// IEND), or none of these. A length above 2^31 - 1 is damage, not a cut:
// uncut.
//   no bytes                              => empty
//   a GIF, or 7 bytes of the signature    => notPng
//   IHDR, IDAT cut in its data            => cutShort
//   IHDR, IDAT, no IEND                   => cutShort
//   IHDR, IDAT, IEND                      => uncut
//   IHDR, a length of 0xFFFFFFFF          => uncut
enum class PngBytes { empty, notPng, cutShort, uncut };
PngBytes classifyPng(const ReadAt& readAt);

// The gAMA, cHRM, sRGB and iCCP chunks that stand before the first PLTE or
// IDAT, whole (length, type, data, CRC, as stored) and in file order: the
// chunks an output frame needs to be shown in the source's colours. Of each
// type only the first sound one, as libpng takes it; skipped are a chunk cut
// off, one whose CRC does not match, and one whose length its type forbids
// (gAMA 4, cHRM 32, sRGB 1, iCCP 3 to 65536: a larger profile is refused by
// the metadata bound anyway). Empty when the bytes do not start with the
// signature and an IHDR.
//   IHDR, sRGB, gAMA, IDAT, IEND          => the sRGB chunk, then the gAMA one
//   IHDR, IDAT, gAMA, IEND                => ""
//   IHDR, PLTE, cHRM, IDAT, IEND          => ""
//   IHDR, gAMA with a bad CRC, gAMA, IDAT => the second gAMA
//   IHDR, gAMA, gAMA, IDAT                => the first gAMA
std::string colourChunks(const ReadAt& readAt);

// Whether a chunk of type stands before the first IDAT (or the end of what
// the walk reads).
//   IHDR, PLTE, pHYs, IDAT, IEND, "pHYs"  => true
//   IHDR, IDAT, pHYs, IEND, "pHYs"        => false
bool hasChunkBeforeData(const ReadAt& readAt, const char* type);

// Inserts chunks (whole chunks, as colourChunks gives them) right after the
// IHDR of encoded PNG bytes, and removes every gAMA, cHRM, sRGB and iCCP
// chunk png held, so these describe the colours alone and none is doubled.
// failed ("not a whole PNG"), with png unchanged, when png does not start
// with the signature and a whole IHDR, or a chunk runs past its end.
//   IHDR, pHYs, IDAT, IEND + gAMA  => ok: IHDR, gAMA, pHYs, IDAT, IEND
//   IHDR, iCCP, IDAT, IEND + ""    => ok: IHDR, IDAT, IEND
//   IHDR, IDAT cut short + gAMA    => failed
//   a GIF + gAMA                   => failed
Status spliceAfterHeader(std::string& png, const std::string& chunks);

}  // namespace velmora

#endif  // VELMORA_PNG_PNG_CHUNKS_H
