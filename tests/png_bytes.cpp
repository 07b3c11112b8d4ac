#include "png_bytes.h"

#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <utility>
#include <vector>

namespace png_bytes {

namespace {

const char kSignature[] = "\x89PNG\r\n\x1a\n";

std::string deflateAll(const std::string& raw, int windowBits, int flush) {
  z_stream stream{};
  if (deflateInit2(&stream, 9, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2 failed");
  }
  std::string out(deflateBound(&stream, raw.size()) + 64, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
  stream.avail_in = static_cast<uInt>(raw.size());
  stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, flush);
  const bool done = flush == Z_FINISH ? result == Z_STREAM_END : result == Z_OK;
  if (!done || stream.avail_in != 0) throw std::runtime_error("deflate failed");
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

std::string zlibCompress(const std::string& raw) { return deflateAll(raw, 15, Z_FINISH); }

// The bytes of one row of samples: MSB first below 8 bits, big-endian at 16.
void packRow(const Image& image, uint32_t y, uint32_t xStart, uint32_t xStep, std::string& out) {
  const int channels = channelsOf(image.colour);
  unsigned bitBuffer = 0;
  int bits = 0;
  for (uint32_t x = xStart; x < image.width; x += xStep) {
    for (int c = 0; c < channels; ++c) {
      const uint16_t sample = image.samples[(size_t(y) * image.width + x) * channels + c];
      if (image.depth == 16) {
        out.push_back(static_cast<char>(sample >> 8));
        out.push_back(static_cast<char>(sample & 0xFF));
      } else if (image.depth == 8) {
        out.push_back(static_cast<char>(sample));
      } else {
        bitBuffer = (bitBuffer << image.depth) | sample;
        bits += image.depth;
        if (bits == 8) {
          out.push_back(static_cast<char>(bitBuffer));
          bitBuffer = 0;
          bits = 0;
        }
      }
    }
  }
  if (bits > 0) out.push_back(static_cast<char>(bitBuffer << (8 - bits)));
}

struct Pass {
  uint32_t xStart, yStart, xStep, yStep;
};


std::string fixed16(double value) {
  return bigEndian32(uint32_t(int32_t(value * 65536 + (value < 0 ? -0.5 : 0.5))));
}

std::string xyzType(double x, double y, double z) {
  return "XYZ " + std::string(4, '\0') + fixed16(x) + fixed16(y) + fixed16(z);
}

std::string mlucType(const std::string& ascii) {
  std::string utf16;
  for (char c : ascii) utf16 += std::string(1, '\0') + c;
  return "mluc" + std::string(4, '\0') + bigEndian32(1) + bigEndian32(12) + "enUS" +
         bigEndian32(uint32_t(utf16.size())) + bigEndian32(28) + utf16;
}

}  // namespace

int channelsOf(Colour colour) {
  switch (colour) {
    case kRgb:
      return 3;
    case kGreyAlpha:
      return 2;
    case kRgba:
      return 4;
    default:
      return 1;
  }
}

std::string bigEndian32(uint32_t value) {
  std::string out(4, '\0');
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
  return out;
}

std::string chunk(const std::string& type, const std::string& data) {
  const std::string body = type + data;
  const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()));
  return bigEndian32(uint32_t(data.size())) + body + bigEndian32(uint32_t(crc));
}

std::string ihdr(uint32_t width, uint32_t height, int depth, Colour colour, bool interlaced) {
  std::string data = bigEndian32(width) + bigEndian32(height);
  data.push_back(static_cast<char>(depth));
  data.push_back(static_cast<char>(colour));
  data.push_back(0);  // deflate
  data.push_back(0);  // adaptive filtering
  data.push_back(interlaced ? 1 : 0);
  return chunk("IHDR", data);
}

std::string encode(const Image& image) {
  std::string raw;
  const std::vector<Pass> passes =
      image.interlaced ? std::vector<Pass>{{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                           {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}
                       : std::vector<Pass>{{0, 0, 1, 1}};
  for (const Pass& pass : passes) {
    // A pass without a pixel has no rows at all, not even filter bytes.
    if (pass.xStart >= image.width || pass.yStart >= image.height) continue;
    for (uint32_t y = pass.yStart; y < image.height; y += pass.yStep) {
      raw.push_back(0);
      packRow(image, y, pass.xStart, pass.xStep, raw);
    }
  }
  std::string png(kSignature, 8);
  png += ihdr(image.width, image.height, image.depth, image.colour, image.interlaced);
  if (!image.palette.empty()) png += chunk("PLTE", image.palette);
  if (!image.transparency.empty()) png += chunk("tRNS", image.transparency);
  png += chunk("IDAT", zlibCompress(raw));
  png += chunk("IEND", "");
  return png;
}

bool save(const std::string& path, const Image& image) {
  const std::string bytes = encode(image);
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  return bool(out.flush());
}

std::string greyTransparency(uint16_t level) {
  return std::string{static_cast<char>(level >> 8), static_cast<char>(level & 0xFF)};
}

Image patterned(uint32_t width, uint32_t height, Colour colour, int depth, bool interlaced) {
  Image image;
  image.width = width;
  image.height = height;
  image.colour = colour;
  image.depth = depth;
  image.interlaced = interlaced;
  const int channels = channelsOf(colour);
  const uint32_t modulus = depth == 16 ? 65536u : (1u << depth);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      for (int c = 0; c < channels; ++c) {
        image.samples.push_back(static_cast<uint16_t>((x * 7 + y * 13 + uint32_t(c) * 5) % modulus));
      }
    }
  }
  if (colour == kPalette) {
    for (uint32_t i = 0; i < modulus; ++i) {
      image.palette.push_back(static_cast<char>(i * 37));
      image.palette.push_back(static_cast<char>(i * 91));
      image.palette.push_back(static_cast<char>(255 - i));
    }
  }
  return image;
}

std::vector<Chunk> chunksOf(const std::string& png) {
  std::vector<Chunk> chunks;
  size_t offset = 8;
  while (offset + 12 <= png.size()) {
    uint32_t length = 0;
    for (int i = 0; i < 4; ++i) length = (length << 8) | static_cast<uint8_t>(png[offset + i]);
    chunks.push_back(Chunk{offset, length, png.substr(offset + 4, 4)});
    offset += size_t(length) + 12;
  }
  return chunks;
}

std::string withBadCrc(const std::string& png, const std::string& type) {
  std::string out = png;
  for (const Chunk& c : chunksOf(png)) {
    if (c.type == type) {
      out[c.offset + 8 + c.length + 3] ^= 0x01;
      return out;
    }
  }
  throw std::runtime_error("no " + type + " chunk");
}

std::string cutInPixelData(const std::string& png) {
  for (const Chunk& c : chunksOf(png)) {
    if (c.type == "IDAT") return png.substr(0, c.offset + 8 + c.length / 2);
  }
  throw std::runtime_error("no IDAT chunk");
}

std::string hugeHeader(uint32_t width, uint32_t height) {
  std::string png(kSignature, 8);
  png += ihdr(width, height, 8, kRgba, false);
  png += chunk("IDAT", zlibCompress(std::string(1 + 4 * size_t(width), '\0')));
  png += chunk("IEND", "");
  return png;
}

std::string withTextBomb(const std::string& png, int count, size_t inflatedBytes) {
  const std::string text = zlibCompress(std::string(inflatedBytes, 'a'));
  std::string chunks;
  for (int i = 0; i < count; ++i) {
    // keyword, its NUL, compression method 0, compressed text
    chunks += chunk("zTXt", "Comment" + std::to_string(i) + std::string(2, '\0') + text);
  }
  const size_t afterHeader = 8 + 25;
  return png.substr(0, afterHeader) + chunks + png.substr(afterHeader);
}

std::string zeroBomb(uint32_t width, uint32_t height) {
  const size_t rowBytes = 1 + 4 * size_t(width);
  // Blocks of a few MB inflated compress close to deflate's best ratio.
  const uint32_t rowsPerBlock = std::max<uint32_t>(1, std::min<uint32_t>(height, uint32_t((4u << 20) / rowBytes)));
  const uint32_t fullBlocks = height / rowsPerBlock;
  const uint32_t restRows = height % rowsPerBlock;

  // A raw deflate run ended by a full flush refers to nothing before it and
  // ends on a byte boundary, so copies of it can follow one another.
  const std::string block = deflateAll(std::string(rowBytes * rowsPerBlock, '\0'), -15, Z_FULL_FLUSH);
  const std::string rest =
      restRows == 0 ? std::string() : deflateAll(std::string(rowBytes * restRows, '\0'), -15, Z_FULL_FLUSH);

  const std::string zeros(rowBytes * rowsPerBlock, '\0');
  const uLong blockAdler = adler32(1L, reinterpret_cast<const Bytef*>(zeros.data()), uInt(zeros.size()));
  uLong adler = 1L;
  for (uint32_t i = 0; i < fullBlocks; ++i) adler = adler32_combine(adler, blockAdler, z_off_t(zeros.size()));
  if (restRows > 0) {
    const size_t restBytes = rowBytes * restRows;
    adler = adler32_combine(adler, adler32(1L, reinterpret_cast<const Bytef*>(zeros.data()), uInt(restBytes)),
                            z_off_t(restBytes));
  }

  std::string stream = "\x78\xDA";
  stream.reserve(2 + block.size() * fullBlocks + rest.size() + 6);
  for (uint32_t i = 0; i < fullBlocks; ++i) stream += block;
  stream += rest;
  stream += std::string("\x03\x00", 2);  // an empty final block with fixed codes
  stream += bigEndian32(uint32_t(adler));

  std::string png(kSignature, 8);
  png += ihdr(width, height, 8, kRgba, false);
  png += chunk("IDAT", stream);
  png += chunk("IEND", "");
  return png;
}

// A version 4 display profile for Display P3 primaries with linear light:
// the matrix and curves a colour manager needs, and nothing more. libpng
// reads it without a warning and Little CMS converts through it.
std::string linearP3Profile() {
  const std::string linear = "curv" + std::string(4, '\0') + bigEndian32(0);
  const std::vector<std::pair<std::string, std::string>> tags = {
      {"desc", mlucType("linear Display P3")},
      {"cprt", mlucType("No copyright")},
      {"wtpt", xyzType(0.9642, 1.0, 0.8249)},
      {"rXYZ", xyzType(0.5151, 0.2412, -0.0011)},
      {"gXYZ", xyzType(0.2920, 0.6922, 0.0419)},
      {"bXYZ", xyzType(0.1571, 0.0666, 0.7841)},
      {"rTRC", linear},
      {"gTRC", linear},
      {"bTRC", linear}};
  std::string table = bigEndian32(uint32_t(tags.size()));
  std::string data;
  const size_t dataStart = 128 + 4 + 12 * tags.size();
  for (const auto& tag : tags) {
    table += tag.first + bigEndian32(uint32_t(dataStart + data.size())) +
             bigEndian32(uint32_t(tag.second.size()));
    data += tag.second + std::string((4 - tag.second.size() % 4) % 4, '\0');
  }
  // size, CMM, version 4.3, class, colour space, PCS, date, 'acsp', platform,
  // flags, maker, model, attributes, intent, the D50 illuminant, creator, ID,
  // reserved
  const std::string header = bigEndian32(uint32_t(128 + table.size() + data.size())) +
                             std::string(4, '\0') + bigEndian32(0x04300000) + "mntrRGB XYZ " +
                             std::string(12, '\0') + "acsp" + std::string(28, '\0') +
                             fixed16(0.9642) + fixed16(1.0) + fixed16(0.8249) +
                             std::string(48, '\0');
  return header + table + data;
}

std::string iccpChunk(const std::string& profile) {
  uLongf size = compressBound(uLong(profile.size()));
  std::string packed(size, '\0');
  compress2(reinterpret_cast<Bytef*>(&packed[0]), &size,
            reinterpret_cast<const Bytef*>(profile.data()), uLong(profile.size()), 9);
  packed.resize(size);
  return chunk("iCCP", std::string("linear Display P3") + std::string(2, '\0') + packed);
}

}  // namespace png_bytes
