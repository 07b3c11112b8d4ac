// The tests' one PNG encoder: files byte by byte, for inputs that FreeImage
// would never write: every colour type and bit depth (grey with a
// transparency table, grey-alpha, sub-byte samples), Adam7 interlacing,
// hand-assembled chunks, broken checksums, cut-off data, lying headers and
// decompression bombs. Checksums and compression come from zlib.
#ifndef VELMORA_PNG_BYTES_H
#define VELMORA_PNG_BYTES_H

#include <cstdint>
#include <string>
#include <vector>

namespace png_bytes {

// PNG colour types.
enum Colour : uint8_t { kGrey = 0, kRgb = 2, kPalette = 3, kGreyAlpha = 4, kRgba = 6 };

// Samples per pixel of a colour type: 1, 3, 1, 2 or 4.
int channelsOf(Colour colour);

struct Image {
  uint32_t width = 0;
  uint32_t height = 0;
  Colour colour = kRgba;
  int depth = 8;  // bits per sample: 1, 2, 4, 8 or 16 as the colour type allows
  bool interlaced = false;
  // width * height * channelsOf(colour) samples, row by row from the top;
  // each must fit in depth bits (palette indices included).
  std::vector<uint16_t> samples;
  std::string palette;       // PLTE payload: 3 bytes (r, g, b) per entry
  std::string transparency;  // tRNS payload, empty for none
};

// length, type, data and the CRC of type and data
std::string chunk(const std::string& type, const std::string& data);
std::string ihdr(uint32_t width, uint32_t height, int depth, Colour colour, bool interlaced);
std::string bigEndian32(uint32_t value);

// The whole file: signature, IHDR, PLTE and tRNS when given, one IDAT with
// every row filtered with filter 0, IEND.
std::string encode(const Image& image);
// encode written to path; false when the file could not be written.
bool save(const std::string& path, const Image& image);

// tRNS payload for grey: the one transparent grey level, as two bytes.
//   7 => "\x00\x07"    0x0102 => "\x01\x02"
std::string greyTransparency(uint16_t level);

// An image of the given kind whose samples are (x * 7 + y * 13 + c * 5)
// modulo 2^depth, palette indices included; a palette image gets a palette
// of 2^depth entries.
Image patterned(uint32_t width, uint32_t height, Colour colour, int depth, bool interlaced);

struct Chunk {
  size_t offset;  // of its length field in the file
  uint32_t length;
  std::string type;
};
// Every chunk after the signature, in file order, as far as the lengths hold.
std::vector<Chunk> chunksOf(const std::string& png);

// The file with the last byte of the CRC of the first chunk of that type
// flipped.
std::string withBadCrc(const std::string& png, const std::string& type);
// The file cut off in the middle of its first IDAT's data (no CRC, no IEND).
std::string cutInPixelData(const std::string& png);

// An RGBA file of 8 bits per sample whose header declares width x height but
// whose single IDAT holds one compressed empty row: a header that lies.
std::string hugeHeader(uint32_t width, uint32_t height);

// The file with `count` zTXt chunks after its IHDR, each inflating to
// `inflatedBytes` bytes of text: a bomb in the metadata, not the pixels.
std::string withTextBomb(const std::string& png, int count, size_t inflatedBytes);

// A valid RGBA file of 8 bits per sample, all zero, whose compressed data
// inflates to (4 * width + 1) * height bytes. The deflate stream repeats one
// block made with a full flush, so it is built without ever holding the
// inflated image: a 20000 x 20000 bomb is about 1.6 MB and inflates to 1.6 GB.
std::string zeroBomb(uint32_t width, uint32_t height);

// A real ICC profile (440 bytes): version 4, display class, Display P3
// primaries with linear curves. libpng reads it without a warning.
std::string linearP3Profile();
// The iCCP chunk, named "linear Display P3", that carries profile.
std::string iccpChunk(const std::string& profile);

}  // namespace png_bytes

#endif  // VELMORA_PNG_BYTES_H
