#include "png/png_chunks.h"

#include <cstring>
#include <set>

#include <zlib.h>

namespace velmora {

namespace {

constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
constexpr uint32_t kMaxLength = 0x7FFFFFFF;

// A chunk's CRC-32, by zlib, which the layer links to inflate an ICC
// profile's head (the writer takes the same CRC from libdeflate).
uint32_t crcOf(const unsigned char* bytes, size_t n) {
  return uint32_t(crc32(crc32(0, Z_NULL, 0), bytes, uInt(n)));
}

uint32_t bigEndian32(const unsigned char* bytes) {
  return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 |
         uint32_t(bytes[3]);
}

bool isColourType(const std::string& type) {
  return type == "gAMA" || type == "cHRM" || type == "sRGB" || type == "iCCP";
}

// The data lengths libpng accepts for each colour chunk. iCCP needs a name of
// at least one letter, its terminator and the compression method; the upper
// bound is the frame loader's metadata bound, so the copy stays small.
bool lengthFits(const std::string& type, uint32_t length) {
  if (type == "gAMA") return length == 4;
  if (type == "cHRM") return length == 32;
  if (type == "sRGB") return length == 1;
  return length >= 3 && length <= 65536;
}

// The signature, then the head of a 13-byte IHDR.
bool startsWithHeader(const unsigned char* bytes) {
  return std::memcmp(bytes, kSignature, 8) == 0 && bigEndian32(bytes + 8) == 13 &&
         std::memcmp(bytes + 12, "IHDR", 4) == 0;
}

}  // namespace

void walkChunks(const ReadAt& readAt, const std::function<bool(const ChunkHead&)>& visit) {
  ChunkHead chunk;
  chunk.offset = 8;
  unsigned char head[8];
  while (readAt(chunk.offset, head, 8)) {
    chunk.length = bigEndian32(head);
    chunk.type.assign(reinterpret_cast<const char*>(head) + 4, 4);
    if (!visit(chunk) || chunk.type == "IEND" || chunk.length > kMaxLength) return;
    chunk.offset += int64_t(chunk.length) + 12;
  }
}

int64_t packedMetadataBytes(const ReadAt& readAt) {
  int64_t total = 0;
  walkChunks(readAt, [&](const ChunkHead& chunk) {
    if (chunk.type == "zTXt" || chunk.type == "iTXt" || chunk.type == "iCCP") total += chunk.length;
    return true;
  });
  return total;
}

PngBytes classifyPng(const ReadAt& readAt) {
  unsigned char head[8];
  if (!readAt(0, head, 1)) return PngBytes::empty;
  if (!readAt(0, head, 8) || std::memcmp(head, kSignature, 8) != 0) return PngBytes::notPng;
  bool whole = false;
  bool damaged = false;
  walkChunks(readAt, [&](const ChunkHead& chunk) {
    if (chunk.length > kMaxLength) {
      damaged = true;
      return false;
    }
    unsigned char last;
    if (!readAt(chunk.offset + 12 + int64_t(chunk.length) - 1, &last, 1)) return false;
    whole = chunk.type == "IEND";
    return true;
  });
  return whole || damaged ? PngBytes::uncut : PngBytes::cutShort;
}

std::string colourChunks(const ReadAt& readAt) {
  unsigned char start[16];
  if (!readAt(0, start, 16) || !startsWithHeader(start)) return std::string();
  std::string found;
  std::set<std::string> taken;
  walkChunks(readAt, [&](const ChunkHead& chunk) {
    if (chunk.type == "PLTE" || chunk.type == "IDAT") return false;
    if (!isColourType(chunk.type) || taken.count(chunk.type) != 0 ||
        !lengthFits(chunk.type, chunk.length)) {
      return true;
    }
    std::string whole(size_t(chunk.length) + 12, '\0');
    if (!readAt(chunk.offset, &whole[0], unsigned(whole.size()))) return true;
    const auto* bytes = reinterpret_cast<const unsigned char*>(whole.data());
    if (crcOf(bytes + 4, chunk.length + 4) != bigEndian32(bytes + 8 + chunk.length)) return true;
    found += whole;
    taken.insert(chunk.type);
    return true;
  });
  return found;
}

bool hasChunkBeforeData(const ReadAt& readAt, const char* type) {
  bool found = false;
  walkChunks(readAt, [&](const ChunkHead& chunk) {
    if (chunk.type == "IDAT") return false;
    found = chunk.type == type;
    return !found;
  });
  return found;
}

Status spliceAfterHeader(std::string& png, const std::string& chunks) {
  const Status notWhole(Status::Code::failed, "not a whole PNG");
  const size_t headerEnd = 8 + 13 + 12;
  const auto* bytes = reinterpret_cast<const unsigned char*>(png.data());
  if (png.size() < headerEnd || !startsWithHeader(bytes)) return notWhole;
  std::string result = png.substr(0, headerEnd) + chunks;
  size_t offset = headerEnd;
  while (offset < png.size()) {
    if (png.size() - offset < 12) return notWhole;
    const uint32_t length = bigEndian32(bytes + offset);
    if (length > png.size() - offset - 12) return notWhole;
    const std::string type = png.substr(offset + 4, 4);
    const size_t end = offset + length + 12;
    if (!isColourType(type)) result.append(png, offset, end - offset);
    offset = end;
  }
  png.swap(result);
  return Status();
}

}  // namespace velmora
