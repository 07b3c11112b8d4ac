#include "png/png_writer.h"

#include <libdeflate.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace velmora {

namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// PNG allows a chunk of up to 2^31 - 1 bytes; the image data goes in chunks
// of at most this much, so a stream of any size is split alike.
constexpr size_t kMaxDataChunk = size_t(1) << 30;

void putBigEndian32(unsigned char* out, uint32_t value) {
  out[0] = static_cast<unsigned char>(value >> 24);
  out[1] = static_cast<unsigned char>(value >> 16);
  out[2] = static_cast<unsigned char>(value >> 8);
  out[3] = static_cast<unsigned char>(value);
}

void appendChunk(std::string& png, const char* type, const unsigned char* data, size_t size) {
  unsigned char head[8];
  putBigEndian32(head, static_cast<uint32_t>(size));
  std::memcpy(head + 4, type, 4);
  png.append(reinterpret_cast<const char*>(head), 8);
  if (size != 0) png.append(reinterpret_cast<const char*>(data), size);
  uint32_t crc = libdeflate_crc32(0, head + 4, 4);
  // libdeflate takes a null buffer as a request for its initial value.
  if (size != 0) crc = libdeflate_crc32(crc, data, size);
  unsigned char tail[4];
  putBigEndian32(tail, crc);
  png.append(reinterpret_cast<const char*>(tail), 4);
}

// Branch-free and in 16 bits, so that the filter loops below vectorize.
inline unsigned char paethOf(int16_t a, int16_t b, int16_t c) {
  const int16_t up = static_cast<int16_t>(b - c), left = static_cast<int16_t>(a - c);
  const int16_t pa = static_cast<int16_t>(up < 0 ? -up : up);
  const int16_t pb = static_cast<int16_t>(left < 0 ? -left : left);
  const int16_t sum = static_cast<int16_t>(up + left);
  const int16_t pc = static_cast<int16_t>(sum < 0 ? -sum : sum);
  const int16_t bc = pb <= pc ? b : c;
  return static_cast<unsigned char>(pa <= pb && pa <= pc ? a : bc);
}

// Row filtered by filter into out; prior is the row above (zeros above the
// first), kStep the bytes of a whole pixel (at least 1). A constant step lets
// the compiler vectorize the loops that look back one pixel.
template <size_t kStep>
void filterRowBy(int filter, const unsigned char* __restrict row,
                 const unsigned char* __restrict prior, size_t n, unsigned char* __restrict out) {
  const size_t lead = std::min(kStep, n);
  switch (filter) {
    case 0:
      std::memcpy(out, row, n);
      break;
    case 1:
      std::memcpy(out, row, lead);
      for (size_t i = lead; i < n; ++i) out[i] = static_cast<unsigned char>(row[i] - row[i - kStep]);
      break;
    case 2:
      for (size_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(row[i] - prior[i]);
      break;
    case 3:
      for (size_t i = 0; i < lead; ++i) out[i] = static_cast<unsigned char>(row[i] - (prior[i] >> 1));
      for (size_t i = lead; i < n; ++i) {
        out[i] = static_cast<unsigned char>(row[i] - ((row[i - kStep] + prior[i]) >> 1));
      }
      break;
    default:
      for (size_t i = 0; i < lead; ++i) out[i] = static_cast<unsigned char>(row[i] - prior[i]);
      for (size_t i = lead; i < n; ++i) {
        out[i] = static_cast<unsigned char>(
            row[i] - paethOf(row[i - kStep], prior[i], prior[i - kStep]));
      }
      break;
  }
}

using RowFilter = void (*)(int, const unsigned char*, const unsigned char*, size_t, unsigned char*);

// The filter loops for pixels of step bytes: 1 to 4 for 8-bit samples, 2, 4,
// 6 or 8 for 16-bit ones.
RowFilter rowFilterFor(size_t step) {
  switch (step) {
    case 2:
      return filterRowBy<2>;
    case 3:
      return filterRowBy<3>;
    case 4:
      return filterRowBy<4>;
    case 6:
      return filterRowBy<6>;
    case 8:
      return filterRowBy<8>;
    default:
      return filterRowBy<1>;
  }
}

// The bytes read as signed, their absolute values summed: |b| of a signed
// byte is the smaller of b and 256 - b. On x86-64 sixteen bytes at a time,
// summed by the instruction made for sums of absolute differences.
uint64_t signedSum(const unsigned char* bytes, size_t n) {
  uint64_t total = 0;
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  __m128i sums = zero;
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    sums = _mm_add_epi64(sums, _mm_sad_epu8(_mm_min_epu8(v, _mm_sub_epi8(zero, v)), zero));
  }
  uint64_t halves[2];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(halves), sums);
  total = halves[0] + halves[1];
#endif
  for (; i < n; ++i) {
    const unsigned char negated = static_cast<unsigned char>(0 - bytes[i]);
    total += bytes[i] < negated ? bytes[i] : negated;
  }
  return total;
}

int fixedFilter(RowFilters filters) {
  switch (filters) {
    case RowFilters::sub:
      return 1;
    case RowFilters::up:
      return 2;
    case RowFilters::average:
      return 3;
    case RowFilters::paeth:
      return 4;
    default:
      return 0;
  }
}

}  // namespace

int pngChannels(int colour) {
  return colour == kPngRgba ? 4 : colour == kPngRgb ? 3 : colour == kPngGreyAlpha ? 2 : 1;
}

size_t pngRowBytes(const PngHeader& header) {
  return (size_t(header.width) * pngChannels(header.colour) * header.depth + 7) / 8;
}

bool ByteBuffer::resize(size_t size) {
  if (size > capacity_) {
    unsigned char* bytes = new (std::nothrow) unsigned char[size];
    if (bytes == nullptr) return false;
    bytes_.reset(bytes);
    capacity_ = size;
  }
  size_ = size;
  return true;
}

PngMemory::~PngMemory() {
  for (libdeflate_compressor* compressor : compressors_) {
    if (compressor != nullptr) libdeflate_free_compressor(compressor);
  }
}

libdeflate_compressor* PngMemory::compressor(int level) {
  level = std::clamp(level, 0, 12);
  if (compressors_[level] == nullptr) compressors_[level] = libdeflate_alloc_compressor(level);
  return compressors_[level];
}

Status filterRows(const PngHeader& header, const RowSource& rows, RowFilters filters,
                  ByteBuffer& filtered) {
  const size_t n = pngRowBytes(header);
  const RowFilter filterRow =
      rowFilterFor(std::max<size_t>(1, size_t(pngChannels(header.colour)) * header.depth / 8));
  if (n + 1 > SIZE_MAX / std::max<uint32_t>(1, header.height) ||
      !filtered.resize((n + 1) * header.height)) {
    return Status(Status::Code::failed, kOutOfMemory);
  }
  // The row above and this one, unfiltered; and for leastSum each filter's
  // bytes of this row.
  ByteBuffer rowBytes, trials;
  const bool chosen = filters == RowFilters::leastSum;
  if (!rowBytes.resize(2 * n) || (chosen && !trials.resize(5 * n))) {
    return Status(Status::Code::failed, kOutOfMemory);
  }
  unsigned char* prior = rowBytes.data();
  unsigned char* current = rowBytes.data() + n;
  std::memset(prior, 0, n);
  unsigned char* out = filtered.data();
  for (uint32_t y = 0; y < header.height; ++y, out += n + 1) {
    std::memcpy(current, rows(y), n);
    if (!chosen) {
      out[0] = static_cast<unsigned char>(fixedFilter(filters));
      filterRow(out[0], current, prior, n, out + 1);
    } else {
      int best = 0;
      uint64_t least = UINT64_MAX;
      for (int filter = 0; filter < 5; ++filter) {
        // No filter leaves the row as it is: summed where it stands.
        unsigned char* trial = filter == 0 ? current : trials.data() + filter * n;
        if (filter != 0) filterRow(filter, current, prior, n, trial);
        const uint64_t sum = signedSum(trial, n);
        if (sum < least) {
          least = sum;
          best = filter;
        }
      }
      out[0] = static_cast<unsigned char>(best);
      std::memcpy(out + 1, best == 0 ? current : trials.data() + best * n, n);
    }
    std::swap(prior, current);
  }
  return Status();
}

Status deflateRows(const ByteBuffer& data, int level, PngMemory& memory, ByteBuffer& stream) {
  libdeflate_compressor* compressor = memory.compressor(level);
  if (compressor == nullptr) return Status(Status::Code::failed, kOutOfMemory);
  // Always the whole bound: given less room, libdeflate gives up on a
  // stream that would fit with a few bytes to spare.
  const size_t room = libdeflate_zlib_compress_bound(compressor, data.size());
  if (!stream.resize(room)) return Status(Status::Code::failed, kOutOfMemory);
  const size_t size =
      libdeflate_zlib_compress(compressor, data.data(), data.size(), stream.data(), room);
  stream.resize(size);
  // Given its own bound, libdeflate writes nothing only when it fails.
  if (size == 0) return Status(Status::Code::failed, "deflate failed");
  return Status();
}

std::string pngChunk(const char* type, const std::string& data) {
  std::string chunk;
  appendChunk(chunk, type, reinterpret_cast<const unsigned char*>(data.data()), data.size());
  return chunk;
}

void appendBigEndian16(std::string& out, unsigned value) {
  out += static_cast<char>(value >> 8);
  out += static_cast<char>(value);
}

void appendBigEndian32(std::string& out, uint32_t value) {
  appendBigEndian16(out, value >> 16);
  appendBigEndian16(out, value & 0xFFFF);
}

std::string physChunk(uint32_t dotsPerMeterX, uint32_t dotsPerMeterY) {
  if (dotsPerMeterX == 0 || dotsPerMeterY == 0) return std::string();
  std::string data;
  appendBigEndian32(data, dotsPerMeterX);
  appendBigEndian32(data, dotsPerMeterY);
  data += '\1';  // metres
  return pngChunk("pHYs", data);
}

Status assemblePng(const PngHeader& header, const std::string& afterHeader,
                   const std::string& beforeData, const ByteBuffer& stream, std::string& png) {
  unsigned char ihdr[13];
  putBigEndian32(ihdr, header.width);
  putBigEndian32(ihdr + 4, header.height);
  ihdr[8] = static_cast<unsigned char>(header.depth);
  ihdr[9] = static_cast<unsigned char>(header.colour);
  ihdr[10] = ihdr[11] = ihdr[12] = 0;  // deflate, adaptive filters, not interlaced
  const size_t dataChunks = std::max<size_t>(1, (stream.size() + kMaxDataChunk - 1) / kMaxDataChunk);
  try {
    png.clear();
    png.reserve(sizeof kSignature + 25 + afterHeader.size() + beforeData.size() + stream.size() +
                12 * dataChunks + 12);
    png.append(reinterpret_cast<const char*>(kSignature), sizeof kSignature);
    appendChunk(png, "IHDR", ihdr, sizeof ihdr);
    png += afterHeader;
    png += beforeData;
    size_t at = 0;
    do {
      const size_t part = std::min(kMaxDataChunk, stream.size() - at);
      appendChunk(png, "IDAT", stream.data() + at, part);
      at += part;
    } while (at < stream.size());
    appendChunk(png, "IEND", nullptr, 0);
  } catch (const std::bad_alloc&) {
    // A string's growth says it has no memory only by throwing.
    png.clear();
    return Status(Status::Code::failed, kOutOfMemory);
  }
  return Status();
}

Status writePng(const PngHeader& header, const RowSource& rows, const std::string& afterHeader,
                const std::string& beforeData, const PngEncoding& encoding, PngMemory& memory,
                std::string& png) {
  ByteBuffer filtered, stream;
  Status status = filterRows(header, rows, encoding.filters, filtered);
  if (status.ok()) status = deflateRows(filtered, encoding.level, memory, stream);
  if (status.ok()) status = assemblePng(header, afterHeader, beforeData, stream, png);
  return status;
}

}  // namespace velmora
