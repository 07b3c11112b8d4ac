// The PNG writer of every frame, sheet page and picture the tool writes: the
// rows filtered here, by one filter or by a per-row heuristic, the filtered
// image deflated whole by libdeflate (its zlib wrapper), and the chunks put
// together here.
//
// Guarantees: the bytes are a PNG of one header, the chunks given, in the
// order given, the image data and IEND; decoded, they give exactly the rows
// given; every chunk's CRC is right; and the same rows, chunks and encoding
// give the same bytes on every run and thread. A call that cannot write its
// part says why in its Status (kOutOfMemory, "deflate failed"); nothing
// here prints.
#ifndef VELMORA_PNG_PNG_WRITER_H
#define VELMORA_PNG_PNG_WRITER_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/status.h"

struct libdeflate_compressor;

namespace velmora {

// The PNG colour types, as the header's colour byte gives them.
enum PngColour : int { kPngGrey = 0, kPngRgb = 2, kPngPalette = 3, kPngGreyAlpha = 4, kPngRgba = 6 };

struct PngHeader {
  uint32_t width = 0;
  uint32_t height = 0;
  int depth = 8;
  int colour = kPngRgba;
};

// 1 (grey, palette), 2 (grey and alpha), 3 (RGB) or 4 (RGBA).
int pngChannels(int colour);

// The bytes of one row, without its filter byte, its last byte padded out.
//   8-bit RGBA, 10 wide  => 40
//   2-bit grey, 5 wide   => 2
//   16-bit RGB, 3 wide   => 18
size_t pngRowBytes(const PngHeader& header);

// How the rows are filtered: all by one of PNG's five filters, or each by
// the filter whose bytes, read as signed, have the least sum of absolute
// values (the first of the five on a tie), which is libpng's heuristic.
enum class RowFilters { none, sub, up, average, paeth, leastSum };

// The filter and the deflate level of one encoding; 0 to 12, as libdeflate
// counts them.
struct PngEncoding {
  RowFilters filters = RowFilters::leastSum;
  int level = 6;
};

// Row y from the top, pngRowBytes(header) bytes, valid until the next call.
using RowSource = std::function<const unsigned char*(unsigned y)>;

// Bytes whose contents a resize does not keep nor clear: the filtered rows
// and the deflated stream are written whole after it, and clearing them would
// cost a pass over memory as large as the image.
class ByteBuffer {
 public:
  unsigned char* data() const { return bytes_.get(); }
  size_t size() const { return size_; }
  // False, with the buffer unchanged, when there is no memory for size bytes.
  bool resize(size_t size);

 private:
  std::unique_ptr<unsigned char[]> bytes_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// libdeflate's compressors, one per level asked for, kept from one image to
// the next: a compressor of the higher levels takes megabytes, set up anew
// for each small frame it would cost more than the frame. Used by one thread
// at a time; the frame loops keep one per worker. (Not a thread_local: in
// the Windows build a thread's thread_local storage can be gone before its
// destructor runs.)
class PngMemory {
 public:
  PngMemory() = default;
  ~PngMemory();
  PngMemory(const PngMemory&) = delete;
  PngMemory& operator=(const PngMemory&) = delete;

  // The compressor of level (0 to 12); nullptr when there is no memory for it.
  libdeflate_compressor* compressor(int level);

 private:
  std::array<libdeflate_compressor*, 13> compressors_{};
};

// filtered: the rows of header from rows, each behind its filter type byte.
// failed with kOutOfMemory when there is no memory for them.
Status filterRows(const PngHeader& header, const RowSource& rows, RowFilters filters,
                  ByteBuffer& filtered);

// stream: the zlib stream of data at level, its size() the stream's. failed
// with kOutOfMemory when there was no memory for it or for the compressor,
// with "deflate failed" when libdeflate wrote nothing.
Status deflateRows(const ByteBuffer& data, int level, PngMemory& memory, ByteBuffer& stream);

// One whole chunk: length, type, data, CRC.
std::string pngChunk(const char* type, const std::string& data);

// value appended as 2 or 4 bytes, the most significant first.
void appendBigEndian16(std::string& out, unsigned value);
void appendBigEndian32(std::string& out, uint32_t value);

// The pHYs chunk of a resolution in dots per metre; empty when either is 0.
std::string physChunk(uint32_t dotsPerMeterX, uint32_t dotsPerMeterY);

// The PNG of header with afterHeader (whole chunks) right after IHDR, then
// beforeData (whole chunks), then stream as the image data. failed with
// kOutOfMemory, png empty, when there is no memory for the bytes.
Status assemblePng(const PngHeader& header, const std::string& afterHeader,
                   const std::string& beforeData, const ByteBuffer& stream, std::string& png);

// filterRows, deflateRows and assemblePng in one: the PNG of the rows in
// encoding, into png; the first of their failures.
Status writePng(const PngHeader& header, const RowSource& rows, const std::string& afterHeader,
                const std::string& beforeData, const PngEncoding& encoding, PngMemory& memory,
                std::string& png);

}  // namespace velmora

#endif  // VELMORA_PNG_PNG_WRITER_H
