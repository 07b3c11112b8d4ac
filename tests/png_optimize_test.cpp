// The optimized encoder on frames made to land in each PNG form: the form it
// writes, read from IHDR, and the pixels FreeImage decodes from it, which
// must be the default encoding's.
#include "png/png_optimize.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "image/frame_loader.h"
#include "png/png_encode.h"
#include "png_bytes.h"
#include "test_support.h"

namespace pb = png_bytes;
using testing_support::Rgba;

namespace {

// The same pixels every run, with no visible pattern to compress.
unsigned noise(int x, int y) {
  uint32_t h = uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  return h ^ (h >> 15);
}

FIBITMAP* rgba(const std::function<Rgba(int x, int y)>& pixel) {
  return testing_support::makeRgbaImage(64, 48, pixel);
}

// A 16-bit RGBA image; sample(x, y, c) gives channel c (red, green, blue,
// alpha) of pixel (x, y), y from the top.
FIBITMAP* rgba16(const std::function<uint16_t(int x, int y, int c)>& sample) {
  FIBITMAP* image = FreeImage_AllocateT(FIT_RGBA16, 64, 48);
  for (int y = 0; y < 48; ++y) {
    auto* row = reinterpret_cast<FIRGBA16*>(FreeImage_GetScanLine(image, 47 - y));
    for (int x = 0; x < 64; ++x) {
      row[x] = FIRGBA16{sample(x, y, 0), sample(x, y, 1), sample(x, y, 2), sample(x, y, 3)};
    }
  }
  return image;
}

// A 24-bit image of opaque grey levels.
FIBITMAP* rgb24Grey(const std::function<uint8_t(int x, int y)>& level) {
  FIBITMAP* image = FreeImage_Allocate(64, 48, 24);
  for (int y = 0; y < 48; ++y) {
    BYTE* row = FreeImage_GetScanLine(image, 47 - y);
    for (int x = 0; x < 64; ++x) {
      row[3 * x + FI_RGBA_RED] = row[3 * x + FI_RGBA_GREEN] = row[3 * x + FI_RGBA_BLUE] =
          level(x, y);
    }
  }
  return image;
}

// Opaque grey levels 0, 85, 170 and 255: exact in 2 bits.
uint8_t fourLevels(int x, int y) { return uint8_t(85 * (noise(x, y) % 4)); }

std::string profileOfSpace(const char* space) {
  std::string profile = pb::linearP3Profile();
  return profile.replace(16, 4, space);
}

TEST(EncodeOptimized, EachFrameTakesItsSmallestExactForm) {
  const std::string rgbProfile = pb::iccpChunk(pb::linearP3Profile());
  const std::string greyProfile = pb::iccpChunk(profileOfSpace("GRAY"));
  // The default kept: no optimized form is smaller, or none can be made.
  const int noGain = -1, cannot = -2;
  struct Row {
    const char* frame;
    std::function<FIBITMAP*()> make;
    std::string chunks;
    int colour;  // the IHDR colour type written, or noGain or cannot
    int depth;
  };
  const std::vector<Row> rows = {
      {"2 colours, one transparent",
       [] { return rgba([](int x, int y) { return noise(x, y) % 2 ? Rgba{200, 30, 40, 255} : Rgba{}; }); },
       "", 3, 1},
      {"3 colours, two translucent", [] {
         return rgba([](int x, int y) {
           const Rgba colours[] = {{0, 0, 0, 0}, {250, 10, 10, 255}, {0, 0, 255, 128}};
           return colours[noise(x, y) % 3];
         });
       }, "", 3, 2},
      {"12 colours", [] {
         return rgba([](int x, int y) {
           const unsigned i = noise(x, y) % 12;
           return Rgba{uint8_t(i * 20), uint8_t(255 - i * 20), uint8_t(i * 7), uint8_t(i < 3 ? 100 : 255)};
         });
       }, "", 3, 4},
      {"200 opaque colours", [] {
         return rgba([](int x, int y) {
           const unsigned i = noise(x, y) % 200;
           return Rgba{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3), 255};
         });
       }, "", 3, 8},
      {"every grey level, opaque",
       [] { return rgba([](int x, int y) { const uint8_t v = uint8_t(x + 64 * y); return Rgba{v, v, v, 255}; }); },
       "", 0, 8},
      {"24-bit, grey levels exact in 2 bits", [] { return rgb24Grey(fourLevels); }, "", 0, 2},
      {"grey with alpha", [] {
         return rgba([](int x, int y) {
           const uint8_t v = uint8_t(noise(x, y)), a = uint8_t(noise(y, x));
           return Rgba{v, v, v, a};
         });
       }, "", 4, 8},
      {"opaque colours",
       [] { return rgba([](int x, int y) { return Rgba{uint8_t(4 * x), uint8_t(5 * y), uint8_t(noise(x, y) % 8 * 30), 255}; }); },
       "", 2, 8},
      {"translucent colours", [] {
         return rgba([](int x, int y) { return Rgba{uint8_t(4 * x), uint8_t(5 * y), 77, uint8_t(x * y)}; });
       }, "", 6, 8},
      {"16-bit, every sample 257 v, 12 colours", [] {
         return rgba16([](int x, int y, int c) {
           const unsigned i = noise(x, y) % 12;
           const unsigned v[] = {i * 20, 255 - i * 20, i * 7, i < 3 ? 100u : 255u};
           return uint16_t(257 * v[c]);
         });
       }, "", 3, 4},
      {"16-bit grey with alpha, not 257 v", [] {
         return rgba16([](int x, int y, int c) {
           return uint16_t(c == 3 ? noise(y, x) : noise(x, y));
         });
       }, "", 4, 16},
      {"grey levels with an RGB profile", [] { return rgb24Grey(fourLevels); }, rgbProfile, 3, 2},
      {"grey levels with a GRAY profile", [] { return rgb24Grey(fourLevels); }, greyProfile, 0, 2},
      {"colours with a GRAY profile", [] {
         return rgba([](int x, int y) { return noise(x, y) % 2 ? Rgba{200, 30, 40, 255} : Rgba{}; });
       }, greyProfile, cannot, 0},
      {"float samples", [] { return FreeImage_AllocateT(FIT_FLOAT, 64, 48); }, "", cannot, 0},
      {"translucent noise, every byte its own", [] {
         return rgba([](int x, int y) {
           const unsigned h = noise(x, y);
           return Rgba{uint8_t(h), uint8_t(h >> 8), uint8_t(h >> 16), uint8_t(h >> 24)};
         });
       }, "", noGain, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.frame);
    velmora::Image image(row.make());
    ASSERT_NE(image, nullptr);
    std::string defaultPng;
    ASSERT_TRUE(velmora::encodeFrame(image.get(), row.chunks, defaultPng).ok());
    std::string png = defaultPng;
    const velmora::Gain gain = velmora::encodeOptimized(image.get(), row.chunks, png);
    // The one call frames make, which may take the default bytes from a trial.
    std::string smallest;
    ASSERT_TRUE(velmora::encodeSmallest(image.get(), row.chunks, smallest).ok());
    EXPECT_TRUE(smallest == png) << "encodeSmallest differs from encodeFrame and encodeOptimized";
    EXPECT_EQ(gain.status.ok(), row.colour != cannot) << gain.status.reason();
    EXPECT_EQ(gain.status.reason().empty(), row.colour != cannot);
    if (row.colour < 0) {
      EXPECT_FALSE(gain.smaller);
      EXPECT_EQ(png, defaultPng);
      continue;
    }
    ASSERT_TRUE(gain.smaller);
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(int(uint8_t(png[25])), row.colour) << "colour type";
    EXPECT_EQ(int(uint8_t(png[24])), row.depth) << "bit depth";
    EXPECT_LT(png.size(), defaultPng.size());
    EXPECT_EQ(png.substr(33, row.chunks.size()), row.chunks) << "right after IHDR";
    const std::vector<uint16_t> want = testing_support::decodedRgba16(defaultPng), got = testing_support::decodedRgba16(png);
    ASSERT_EQ(want.size(), 64u * 48u * 4u);
    EXPECT_TRUE(got == want) << "decoded pixels differ";
    std::string again = defaultPng;
    velmora::encodeOptimized(image.get(), row.chunks, again);
    EXPECT_TRUE(again == png) << "a second encoding differs";
  }
}

}  // namespace
