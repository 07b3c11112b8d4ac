// The -optimize encoder on a small image of any of the tool's pixel types
// (8-bit RGBA, RGB and palette, 1- and 4-bit palette, 16-bit RGBA, RGB and
// grey), with or without colour chunks (gAMA, sRGB, an iCCP of an RGB, a
// grey or an unknown profile). Against the default encoding (encodeFrame):
// when it replaces it, the result is smaller, decodes to the image's pixels
// (as the default one does, in the forms the tool writes),
// needs no more bits per pixel than RGBA of the image's depth, carries the
// chunks right after IHDR byte for byte and the same pHYs, holds no other
// chunk, and keeps to the form the profile allows; and encodeSmallest gives
// the bytes of the two calls.
#include <FreeImage.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "asan_defaults.h"
#include "png/png_encode.h"
#include "png/png_optimize.h"

namespace {

void check(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

uint32_t be32(const std::string& s, size_t at) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + at;
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

std::string chunk(const char* type, const std::string& data) {
  std::string out(4, '\0');
  for (int i = 0; i < 4; ++i) out[i] = char(data.size() >> (24 - 8 * i));
  out += std::string(type, 4) + data;
  uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(out.data() + 4), uInt(data.size() + 4));
  for (int i = 0; i < 4; ++i) out.push_back(char(crc >> (24 - 8 * i)));
  return out;
}

std::string iccp(const char* space) {
  std::string profile(128, '\0');
  std::memcpy(&profile[16], space, 4);
  std::vector<Bytef> packed(compressBound(uLong(profile.size())));
  uLongf length = uLongf(packed.size());
  compress(packed.data(), &length, reinterpret_cast<const Bytef*>(profile.data()), uLong(profile.size()));
  return chunk("iCCP", std::string("icc\0\0", 5) + std::string(packed.begin(), packed.begin() + long(length)));
}

// The chunks of a PNG file after the signature: type and whole bytes.
struct Chunk {
  std::string type;
  std::string bytes;
};
std::vector<Chunk> chunksOf(const std::string& png) {
  std::vector<Chunk> out;
  size_t at = 8;
  while (at + 12 <= png.size()) {
    const size_t length = be32(png, at);
    check(length <= png.size() - at - 12, "chunks within the file");
    out.push_back({png.substr(at + 4, 4), png.substr(at, length + 12)});
    at += length + 12;
  }
  check(at == png.size(), "nothing after the last chunk");
  return out;
}

// One pixel as 16-bit RGBA, 8-bit values v as 257 v, whatever the type.
struct Rgba {
  unsigned r, g, b, a;
  bool operator==(const Rgba& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};
Rgba pixelAt(FIBITMAP* image, unsigned x, unsigned y) {
  const BYTE* row = FreeImage_GetScanLine(image, int(y));
  const unsigned bpp = FreeImage_GetBPP(image);
  switch (FreeImage_GetImageType(image)) {
    case FIT_RGBA16: {
      const FIRGBA16& p = reinterpret_cast<const FIRGBA16*>(row)[x];
      return {p.red, p.green, p.blue, p.alpha};
    }
    case FIT_RGB16: {
      const FIRGB16& p = reinterpret_cast<const FIRGB16*>(row)[x];
      return {p.red, p.green, p.blue, 65535};
    }
    case FIT_UINT16: {
      const unsigned v = reinterpret_cast<const WORD*>(row)[x];
      return {v, v, v, 65535};
    }
    case FIT_BITMAP:
      if (bpp == 32 || bpp == 24) {
        const BYTE* p = row + x * (bpp / 8);
        return {257u * p[FI_RGBA_RED], 257u * p[FI_RGBA_GREEN], 257u * p[FI_RGBA_BLUE],
                bpp == 32 ? 257u * p[FI_RGBA_ALPHA] : 65535u};
      }
      if (bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8) {
        const unsigned bit = x * bpp;
        const unsigned index = (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
        const RGBQUAD* palette = FreeImage_GetPalette(image);
        check(palette != nullptr && index < FreeImage_GetColorsUsed(image), "an index within the palette");
        unsigned alpha = 255;
        if (FreeImage_IsTransparent(image) && index < FreeImage_GetTransparencyCount(image)) {
          alpha = FreeImage_GetTransparencyTable(image)[index];
        }
        return {257u * palette[index].rgbRed, 257u * palette[index].rgbGreen, 257u * palette[index].rgbBlue,
                257u * alpha};
      }
      break;
    default:
      break;
  }
  check(false, "a decoded type the harness knows");
  return {};
}

FIBITMAP* decode(const std::string& png) {
  FIMEMORY* memory = FreeImage_OpenMemory(reinterpret_cast<BYTE*>(const_cast<char*>(png.data())), DWORD(png.size()));
  FIBITMAP* image = FreeImage_LoadFromMemory(FIF_PNG, memory);
  FreeImage_CloseMemory(memory);
  check(image != nullptr, "an encoding decodes");
  return image;
}

enum Kind { kRgba8, kRgb8, kPalette8, kPalette4, kPalette1, kRgba16, kRgb16, kGrey16, kKinds };

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const Kind kind = Kind(in.ConsumeIntegralInRange<int>(0, kKinds - 1));
  const unsigned width = in.ConsumeIntegralInRange<unsigned>(1, 20);
  const unsigned height = in.ConsumeIntegralInRange<unsigned>(1, 20);
  // Pixels from a few colours, so that palettes, grey, opaque and 8-bit
  // values in 16-bit samples come often; or each its own.
  const bool grey = in.ConsumeBool(), opaque = in.ConsumeBool(), byteValues = in.ConsumeBool();
  const bool noise = in.ConsumeIntegralInRange<int>(0, 7) == 0;
  std::vector<Rgba> colours(in.ConsumeIntegralInRange<size_t>(1, 20));
  const auto sample = [&]() -> unsigned {
    return byteValues ? 257u * in.ConsumeIntegral<uint8_t>() : in.ConsumeIntegral<uint16_t>();
  };
  const auto colour = [&]() {
    Rgba c{sample(), 0, 0, opaque ? 65535u : sample()};
    c.g = grey ? c.r : sample();
    c.b = grey ? c.r : sample();
    return c;
  };
  for (Rgba& c : colours) c = colour();
  // Made once: each iCCP costs a deflate, whose state alone is larger than
  // the images encoded here.
  static const std::string chunkChoices[] = {std::string(), chunk("gAMA", std::string("\0\0\xb1\x8f", 4)),
                                      chunk("sRGB", std::string(1, '\0')), iccp("RGB "), iccp("GRAY"),
                                      iccp("XYZ ")};
  const int chunkChoice = in.ConsumeIntegralInRange<int>(0, 5);
  const std::string& chunks = chunkChoices[chunkChoice];
  // Resolutions from 0, which the default encoding leaves out of pHYs.
  const unsigned dots = in.ConsumeIntegralInRange<unsigned>(0, 5000);
  const unsigned dotsY = in.ConsumeBool() ? dots : in.ConsumeIntegralInRange<unsigned>(0, 5000);

  static const FREE_IMAGE_TYPE types[kKinds] = {FIT_BITMAP, FIT_BITMAP, FIT_BITMAP, FIT_BITMAP,
                                                FIT_BITMAP, FIT_RGBA16, FIT_RGB16,  FIT_UINT16};
  static const int depths[kKinds] = {32, 24, 8, 4, 1, 64, 48, 16};
  FIBITMAP* image = FreeImage_AllocateT(types[kind], int(width), int(height), depths[kind]);
  check(image != nullptr, "a small image can be allocated");
  FreeImage_SetDotsPerMeterX(image, dots);
  FreeImage_SetDotsPerMeterY(image, dotsY);
  const unsigned entries = kind == kPalette8 ? 256 : kind == kPalette4 ? 16 : 2;
  if (kind == kPalette8 || kind == kPalette4 || kind == kPalette1) {
    RGBQUAD* palette = FreeImage_GetPalette(image);
    for (unsigned i = 0; i < entries; ++i) {
      // A grey ramp, as FreeImage loads a grey PNG, or the colours.
      const Rgba c = grey && in.ConsumeBool() ? Rgba{i * 255 / (entries - 1) * 257, 0, 0, 0} : colours[i % colours.size()];
      palette[i].rgbRed = BYTE(c.r >> 8);
      palette[i].rgbGreen = BYTE((grey ? c.r : c.g) >> 8);
      palette[i].rgbBlue = BYTE((grey ? c.r : c.b) >> 8);
    }
  }
  for (unsigned y = 0; y < height; ++y) {
    BYTE* row = FreeImage_GetScanLine(image, int(y));
    for (unsigned x = 0; x < width; ++x) {
      const size_t pick = in.ConsumeIntegral<uint8_t>();
      const Rgba c = noise ? colour() : colours[pick % colours.size()];
      switch (kind) {
        case kRgba8:
        case kRgb8: {
          BYTE* p = row + x * (kind == kRgba8 ? 4 : 3);
          p[FI_RGBA_RED] = BYTE(c.r >> 8);
          p[FI_RGBA_GREEN] = BYTE(c.g >> 8);
          p[FI_RGBA_BLUE] = BYTE(c.b >> 8);
          if (kind == kRgba8) p[FI_RGBA_ALPHA] = BYTE(c.a >> 8);
          break;
        }
        case kPalette8:
          row[x] = BYTE(pick);
          break;
        case kPalette4:
          row[x / 2] = BYTE((row[x / 2] & (x % 2 ? 0xF0 : 0x0F)) | (pick & 15) << (x % 2 ? 0 : 4));
          break;
        case kPalette1:
          row[x / 8] = BYTE((row[x / 8] & ~(0x80 >> (x % 8))) | ((pick & 1) ? 0x80 >> (x % 8) : 0));
          break;
        case kRgba16:
          reinterpret_cast<FIRGBA16*>(row)[x] = FIRGBA16{WORD(c.r), WORD(c.g), WORD(c.b), WORD(c.a)};
          break;
        case kRgb16:
          reinterpret_cast<FIRGB16*>(row)[x] = FIRGB16{WORD(c.r), WORD(c.g), WORD(c.b)};
          break;
        default:
          reinterpret_cast<WORD*>(row)[x] = WORD(c.r);
          break;
      }
    }
  }

  std::string plain;
  if (!velmora::encodeFrame(image, chunks, plain).ok()) {
    FreeImage_Unload(image);
    return 0;
  }
  std::string optimized = plain;
  // Kept from run to run, as the frame loop keeps one per worker.
  static velmora::PngMemory memory;
  const velmora::Gain gain = velmora::encodeOptimized(image, chunks, optimized, &memory);
  const bool replaced = gain.smaller;
  check(gain.status.ok() || !gain.status.reason().empty(), "an optimized form not made says why");
  // The one call that frames and sheet pages make, which takes the default
  // encoding from the optimizer's own trial where it can, gives the same bytes.
  std::string smallest;
  check(velmora::encodeSmallest(image, chunks, smallest, &memory).ok() &&
            smallest == (replaced ? optimized : plain),
        "encodeSmallest gives the bytes of encodeFrame and encodeOptimized");
  if (!replaced) {
    FreeImage_Unload(image);
    check(optimized == plain, "not replaced, not touched");
    return 0;
  }
  check(chunkChoice != 5, "no form under a profile of an unknown space");
  check(optimized.size() < plain.size(), "smaller than the default");
  check(optimized.compare(0, 8, plain, 0, 8) == 0, "a PNG signature");

  const std::vector<Chunk> before = chunksOf(plain), after = chunksOf(optimized);
  check(!after.empty() && after[0].type == "IHDR" && after[0].bytes.size() == 25, "IHDR first");
  const unsigned char depth = static_cast<unsigned char>(after[0].bytes[16]);
  const unsigned char colourType = static_cast<unsigned char>(after[0].bytes[17]);
  const unsigned plainDepth = static_cast<unsigned char>(before[0].bytes[16]);
  const int channels = colourType == 0 || colourType == 3 ? 1 : colourType == 4 ? 2 : colourType == 2 ? 3 : 4;
  check(unsigned(channels) * depth <= 4 * std::max(8u, plainDepth), "no more bits than RGBA needs");
  check(optimized.compare(33, chunks.size(), chunks) == 0, "the colour chunks right after IHDR");
  const bool greyForm = colourType == 0 || colourType == 4;
  if (chunkChoice == 3) check(!greyForm, "an RGB profile keeps a colour form");
  if (chunkChoice == 4) check(greyForm, "a grey profile keeps a grey form");
  std::string physBefore, physAfter;
  for (const Chunk& c : before) {
    if (c.type == "pHYs") physBefore = c.bytes;
  }
  for (const Chunk& c : after) {
    static const char* const known[] = {"IHDR", "PLTE", "tRNS", "pHYs", "IDAT", "IEND", "gAMA", "sRGB", "iCCP"};
    check(std::find(std::begin(known), std::end(known), c.type) != std::end(known), "no other chunk");
    if (c.type == "pHYs") physAfter = c.bytes;
  }
  if (physBefore != physAfter) {
    std::string types;
    for (const Chunk& c : before) types += c.type + " ";
    types += "/ ";
    for (const Chunk& c : after) types += c.type + " ";
    std::fprintf(stderr, "chunks: %s; dots per metre %u\n", types.c_str(), dots);
  }
  check(physBefore == physAfter, "the same pHYs");

  // The pixels are compared with the image itself. The default encoding is
  // held to them only for the forms the tool writes (8- and 16-bit RGBA):
  // FreeImage's own writer takes an 8-bit palette that is a grey ramp but for
  // a mirrored entry (255 black) for an inverted grey, and writes it wrong.
  const bool toolForm = kind == kRgba8 || kind == kRgba16;
  FIBITMAP* a = decode(plain);
  FIBITMAP* b = decode(optimized);
  check(FreeImage_GetWidth(a) == width && FreeImage_GetHeight(a) == height && FreeImage_GetWidth(b) == width &&
            FreeImage_GetHeight(b) == height,
        "the same size");
  for (unsigned y = 0; y < height; ++y) {
    for (unsigned x = 0; x < width; ++x) {
      const Rgba o = pixelAt(image, x, y), p = pixelAt(a, x, y), q = pixelAt(b, x, y);
      if (!(o == q) || (toolForm && !(o == p))) {
        std::fprintf(stderr, "pixel (%u, %u): image (%u, %u, %u, %u), default (%u, %u, %u, %u), "
                     "optimized (%u, %u, %u, %u), form %u/%u\n",
                     x, y, o.r, o.g, o.b, o.a, p.r, p.g, p.b, p.a, q.r, q.g, q.b, q.a, colourType, depth);
        check(false, "the same pixels");
      }
    }
  }
  FreeImage_Unload(a);
  FreeImage_Unload(b);
  FreeImage_Unload(image);
  return 0;
}
