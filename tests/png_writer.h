// A small PNG encoder for tests: writes forms FreeImage cannot save itself
// (grey with a transparency table, grey-alpha, any bit depth, Adam7) and,
// through pngChunk, hand-assembled files with broken or unusual chunks.
#ifndef VELMORA_PNG_WRITER_H
#define VELMORA_PNG_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// The PNG colour types, with their numbers in IHDR.
enum class PngColour : uint8_t { Grey = 0, Rgb = 2, Palette = 3, GreyAlpha = 4, Rgba = 6 };

int pngChannels(PngColour colour);

struct PngImage {
  PngColour colour = PngColour::Rgba;
  int bitDepth = 8;  // 1, 2, 4, 8 or 16, as the colour type allows
  uint32_t width = 0;
  uint32_t height = 0;
  // One entry per row, top row first: the raw bytes of the row as PNG packs
  // them (samples big-endian, sub-byte samples from the high bits), without
  // the filter byte. packRow builds them from sample values.
  std::vector<std::string> rows;
  std::string palette;       // PLTE contents, RGB triples; empty for none
  std::string transparency;  // tRNS contents as the colour type reads it; empty for none
  bool interlaced = false;   // Adam7
};

// Packs sample values (one per channel per pixel, left to right) at bitDepth.
std::string packRow(const std::vector<uint16_t>& samples, int bitDepth);

// tRNS contents for grey: the one transparent grey level, as two bytes.
std::string greyTransparency(uint16_t level);

// The 8-byte signature and one chunk (length, type, data, CRC) for building
// files by hand.
std::string pngSignature();
std::string pngChunk(const std::string& type, const std::string& data);

// The whole file: signature, IHDR, PLTE and tRNS when given, one IDAT (every
// row with filter 0, compressed with zlib), IEND.
std::string encodePng(const PngImage& image);
// encodePng written to path; false when the file could not be written.
bool writePng(const std::string& path, const PngImage& image);

}  // namespace testing_support

#endif  // VELMORA_PNG_WRITER_H
