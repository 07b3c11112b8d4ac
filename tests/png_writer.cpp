#include "png_writer.h"

#include <zlib.h>

#include <fstream>
#include <stdexcept>

namespace testing_support {

namespace {

std::string be32(uint32_t value) {
  return std::string{char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

int bitsPerPixel(const PngImage& image) { return pngChannels(image.colour) * image.bitDepth; }

// Bit offset b of row, bits counted from the high bit of byte 0.
unsigned bitAt(const std::string& row, size_t b) {
  return (uint8_t(row[b / 8]) >> (7 - b % 8)) & 1u;
}

void setBit(std::string& row, size_t b) {
  row[b / 8] = char(uint8_t(row[b / 8]) | (0x80u >> (b % 8)));
}

// Filter byte 0 before every row of every pass.
std::string filteredData(const PngImage& image) {
  const size_t bpp = size_t(bitsPerPixel(image));
  std::string data;
  if (!image.interlaced) {
    for (const std::string& row : image.rows) data += '\0' + row;
    return data;
  }
  struct Pass {
    uint32_t x0, y0, dx, dy;
  };
  static const Pass passes[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                 {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  for (const Pass& p : passes) {
    if (p.x0 >= image.width || p.y0 >= image.height) continue;  // an empty pass has no rows
    const uint32_t columns = (image.width - p.x0 + p.dx - 1) / p.dx;
    for (uint32_t y = p.y0; y < image.height; y += p.dy) {
      std::string out((columns * bpp + 7) / 8, '\0');
      for (uint32_t c = 0; c < columns; ++c) {
        const size_t from = size_t(p.x0 + c * p.dx) * bpp;
        for (size_t b = 0; b < bpp; ++b) {
          if (bitAt(image.rows[y], from + b)) setBit(out, c * bpp + b);
        }
      }
      data += '\0' + out;
    }
  }
  return data;
}

}  // namespace

int pngChannels(PngColour colour) {
  switch (colour) {
    case PngColour::Rgb:
      return 3;
    case PngColour::GreyAlpha:
      return 2;
    case PngColour::Rgba:
      return 4;
    default:
      return 1;
  }
}

std::string packRow(const std::vector<uint16_t>& samples, int bitDepth) {
  std::string row((samples.size() * size_t(bitDepth) + 7) / 8, '\0');
  for (size_t i = 0; i < samples.size(); ++i) {
    if (bitDepth == 16) {
      row[2 * i] = char(samples[i] >> 8);
      row[2 * i + 1] = char(samples[i]);
    } else if (bitDepth == 8) {
      row[i] = char(samples[i]);
    } else {
      const size_t bit = i * size_t(bitDepth);
      const unsigned shift = 8 - bitDepth - bit % 8;
      const unsigned mask = (1u << bitDepth) - 1;
      row[bit / 8] = char(uint8_t(row[bit / 8]) | ((samples[i] & mask) << shift));
    }
  }
  return row;
}

std::string greyTransparency(uint16_t level) { return std::string{char(level >> 8), char(level)}; }

std::string pngSignature() { return std::string("\x89PNG\r\n\x1a\n", 8); }

std::string pngChunk(const std::string& type, const std::string& data) {
  const std::string body = type + data;
  const uLong crc =
      crc32(crc32(0, Z_NULL, 0), reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()));
  return be32(uint32_t(data.size())) + body + be32(uint32_t(crc));
}

std::string encodePng(const PngImage& image) {
  if (image.rows.size() != image.height) throw std::invalid_argument("one row per line is needed");
  const std::string header = be32(image.width) + be32(image.height) + char(image.bitDepth) +
                             char(image.colour) + '\0' + '\0' + char(image.interlaced ? 1 : 0);
  const std::string raw = filteredData(image);
  uLongf packedSize = compressBound(uLong(raw.size()));
  std::string packed(packedSize, '\0');
  if (compress(reinterpret_cast<Bytef*>(&packed[0]), &packedSize,
               reinterpret_cast<const Bytef*>(raw.data()), uLong(raw.size())) != Z_OK) {
    throw std::runtime_error("zlib compress failed");
  }
  packed.resize(packedSize);

  std::string file = pngSignature() + pngChunk("IHDR", header);
  if (!image.palette.empty()) file += pngChunk("PLTE", image.palette);
  if (!image.transparency.empty()) file += pngChunk("tRNS", image.transparency);
  return file + pngChunk("IDAT", packed) + pngChunk("IEND", "");
}

bool writePng(const std::string& path, const PngImage& image) {
  const std::string bytes = encodePng(image);
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  return bool(out.flush());
}

}  // namespace testing_support
