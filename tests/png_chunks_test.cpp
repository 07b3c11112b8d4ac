// The PNG chunk unit on hand-made files: which colour chunks a frame hands
// on, how much compressed metadata it holds, and FreeImage's own output with
// the colour chunks spliced in, read back by FreeImage to the same pixels.
#include "png/png_chunks.h"

#include <FreeImage.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "png_bytes.h"

namespace pb = png_bytes;

namespace {

const size_t kAfterHeader = 8 + 25;

velmora::ReadAt readerOf(const std::string& bytes) {
  return [&bytes](int64_t offset, void* buffer, unsigned n) {
    if (offset < 0 || uint64_t(offset) > bytes.size() || n > bytes.size() - size_t(offset))
      return false;
    std::memcpy(buffer, bytes.data() + offset, n);
    return true;
  };
}

std::string withAfterHeader(const std::string& png, const std::string& chunks) {
  return png.substr(0, kAfterHeader) + chunks + png.substr(kAfterHeader);
}

std::string withBeforeIend(const std::string& png, const std::string& chunks) {
  return png.substr(0, png.size() - 12) + chunks + png.substr(png.size() - 12);
}

std::string withAfter(const std::string& png, const std::string& type, const std::string& chunks) {
  for (const pb::Chunk& c : pb::chunksOf(png)) {
    if (c.type == type) {
      const size_t end = c.offset + c.length + 12;
      return png.substr(0, end) + chunks + png.substr(end);
    }
  }
  return std::string();
}

std::string typesOf(const std::string& png) {
  std::string types;
  for (const pb::Chunk& c : pb::chunksOf(png)) types += (types.empty() ? "" : " ") + c.type;
  return types;
}

std::string cHrm(uint32_t wx, uint32_t wy, uint32_t rx, uint32_t ry, uint32_t gx, uint32_t gy,
                 uint32_t bx, uint32_t by) {
  std::string data;
  for (uint32_t v : {wx, wy, rx, ry, gx, gy, bx, by}) data += pb::bigEndian32(v);
  return pb::chunk("cHRM", data);
}

const std::string kLinearGama = pb::chunk("gAMA", pb::bigEndian32(100000));
const std::string kSrgbGama = pb::chunk("gAMA", pb::bigEndian32(45455));
const std::string kP3Chrm = cHrm(31270, 32900, 68000, 32000, 26500, 69000, 15000, 6000);
const std::string kSrgbChrm = cHrm(31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000);
const std::string kSrgb = pb::chunk("sRGB", std::string(1, '\0'));
const std::string kIccp = pb::iccpChunk(pb::linearP3Profile());

std::string rgbaFrame() { return pb::encode(pb::patterned(5, 3, pb::kRgba, 8, false)); }

struct ColourCase {
  const char* input;
  std::string png;
  std::string expected;
};

TEST(ColourChunks, TakesTheSoundOnesBeforeThePixels) {
  const std::string frame = rgbaFrame();
  const std::string palette = pb::encode(pb::patterned(5, 3, pb::kPalette, 2, false));
  std::string badGama = kLinearGama;
  badGama.back() ^= 1;
  const std::string claimingAll = pb::bigEndian32(0xFFFFFFFF) + "iCCP" + std::string(40, 'x');
  const std::string claimingMax = pb::bigEndian32(0x7FFFFFFF) + "iCCP" + std::string(40, 'x');
  const ColourCase cases[] = {
      {"no colour chunk", frame, ""},
      {"gAMA", withAfterHeader(frame, kLinearGama), kLinearGama},
      {"cHRM", withAfterHeader(frame, kP3Chrm), kP3Chrm},
      {"sRGB", withAfterHeader(frame, kSrgb), kSrgb},
      {"iCCP", withAfterHeader(frame, kIccp), kIccp},
      {"all four, kept in file order",
       withAfterHeader(frame, kIccp + kSrgb + kP3Chrm + kLinearGama),
       kIccp + kSrgb + kP3Chrm + kLinearGama},
      {"among other chunks",
       withAfterHeader(frame, pb::chunk("tEXt", std::string("a\0b", 3)) + kSrgb +
                                  pb::chunk("pHYs", std::string(9, '\1'))),
       kSrgb},
      {"gAMA after IDAT", withBeforeIend(frame, kLinearGama), ""},
      {"gAMA after PLTE", withAfter(palette, "PLTE", kLinearGama), ""},
      {"gAMA before PLTE", withAfterHeader(palette, kLinearGama), kLinearGama},
      {"gAMA twice", withAfterHeader(frame, kLinearGama + kSrgbGama), kLinearGama},
      {"gAMA with a bad CRC", withAfterHeader(frame, badGama), ""},
      {"gAMA with a bad CRC, then a good one", withAfterHeader(frame, badGama + kSrgbGama),
       kSrgbGama},
      {"gAMA of 3 bytes", withAfterHeader(frame, pb::chunk("gAMA", "\1\2\3")), ""},
      {"file cut inside the iCCP", withAfterHeader(frame, kIccp).substr(0, kAfterHeader + 40), ""},
      {"file cut in the pixel data", pb::cutInPixelData(withAfterHeader(frame, kSrgb)), kSrgb},
      {"gAMA, then an iCCP claiming 0xFFFFFFFF bytes",
       withAfterHeader(frame, kLinearGama + claimingAll), kLinearGama},
      {"iCCP claiming 0x7FFFFFFF bytes, then gAMA",
       withAfterHeader(frame, claimingMax + kLinearGama), ""},
      {"no signature", withAfterHeader(frame, kSrgb).substr(8), ""},
      {"no IHDR first", frame.substr(0, 8) + kSrgb + frame.substr(8), ""},
  };
  for (const ColourCase& c : cases) {
    EXPECT_EQ(velmora::colourChunks(readerOf(c.png)), c.expected) << c.input;
  }
}

TEST(WalkChunks, EndsAtIendAForbiddenLengthOrTheEndOfTheBytes) {
  const std::string frame = rgbaFrame();
  const struct {
    const char* input;
    std::string png;
    const char* stopAt;  // the visit that answers false
    std::string visited;
  } cases[] = {
      {"a whole file", withAfterHeader(frame, kLinearGama), "", "IHDR gAMA IDAT IEND"},
      {"chunks after IEND", frame + kSrgb, "", "IHDR IDAT IEND"},
      {"visit false at IDAT", frame, "IDAT", "IHDR IDAT"},
      {"a length of 0x80000000", withAfterHeader(frame, pb::bigEndian32(0x80000000) + "tEXt"), "",
       "IHDR tEXt"},
      {"file cut 4 bytes into the IHDR header", frame.substr(0, 12), "", ""},
      {"file cut in the pixel data", pb::cutInPixelData(frame), "", "IHDR IDAT"},
  };
  for (const auto& c : cases) {
    const velmora::ReadAt inMemory = readerOf(c.png);
    int64_t furthest = 0;
    const velmora::ReadAt logged = [&](int64_t offset, void* buffer, unsigned n) {
      furthest = std::max(furthest, offset + int64_t(n));
      return inMemory(offset, buffer, n);
    };
    std::string visited;
    velmora::walkChunks(logged, [&](const velmora::ChunkHead& chunk) {
      visited += (visited.empty() ? "" : " ") + chunk.type;
      return chunk.type != c.stopAt;
    });
    EXPECT_EQ(visited, c.visited) << c.input;
    EXPECT_LT(furthest, int64_t(1) << 31) << c.input;
  }
}

TEST(PackedMetadataBytes, SumsCompressedChunksUpToIend) {
  const std::string frame = rgbaFrame();
  const std::string zText = pb::chunk("zTXt", std::string(100, 'z'));
  const std::string iText = pb::chunk("iTXt", std::string(20, 'i'));
  const struct {
    const char* input;
    std::string png;
    int64_t expected;
  } cases[] = {
      {"no metadata", withAfterHeader(frame, kSrgb), 0},
      {"zTXt of 100 before IDAT, iTXt of 20 after",
       withBeforeIend(withAfterHeader(frame, zText), iText), 120},
      {"iCCP", withAfterHeader(frame, kIccp), int64_t(kIccp.size()) - 12},
      {"zTXt after IEND", frame + zText, 0},
      {"iCCP claiming 0xFFFFFFFF bytes, then zTXt",
       withAfterHeader(frame, pb::bigEndian32(0xFFFFFFFF) + "iCCP" + zText), 0xFFFFFFFF},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(velmora::packedMetadataBytes(readerOf(c.png)), c.expected) << c.input;
  }
}

TEST(ClassifyPng, TellsEmptyNotPngAndCutShortBytesApart) {
  const std::string frame = rgbaFrame();
  using velmora::PngBytes;
  const struct {
    const char* input;
    std::string png;
    PngBytes expected;
  } cases[] = {
      {"no bytes", "", PngBytes::empty},
      {"a GIF", "GIF89a" + frame.substr(6), PngBytes::notPng},
      {"7 bytes of the signature", frame.substr(0, 7), PngBytes::notPng},
      {"file cut in the pixel data", pb::cutInPixelData(frame), PngBytes::cutShort},
      {"no IEND", frame.substr(0, frame.size() - 12), PngBytes::cutShort},
      {"a whole file", frame, PngBytes::uncut},
      {"a length of 0xFFFFFFFF", withAfterHeader(frame, pb::bigEndian32(0xFFFFFFFF) + "tEXt"),
       PngBytes::uncut},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(velmora::classifyPng(readerOf(c.png)), c.expected) << c.input;
  }
}

std::string savedByFreeImage(FIBITMAP* image) {
  FIMEMORY* memory = FreeImage_OpenMemory();
  std::string bytes;
  if (FreeImage_SaveToMemory(FIF_PNG, image, memory, PNG_DEFAULT)) {
    BYTE* data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory, &data, &size);
    bytes.assign(reinterpret_cast<const char*>(data), size);
  }
  FreeImage_CloseMemory(memory);
  return bytes;
}

FIBITMAP* loadedByFreeImage(const std::string& png) {
  FIMEMORY* memory = FreeImage_OpenMemory(reinterpret_cast<BYTE*>(const_cast<char*>(png.data())),
                                          DWORD(png.size()));
  FIBITMAP* image = FreeImage_LoadFromMemory(FIF_PNG, memory, PNG_IGNOREGAMMA);
  FreeImage_CloseMemory(memory);
  return image;
}

std::string pixelsOf(FIBITMAP* image) {
  std::string pixels;
  for (unsigned y = 0; y < FreeImage_GetHeight(image); ++y) {
    pixels.append(reinterpret_cast<const char*>(FreeImage_GetScanLine(image, int(y))),
                  FreeImage_GetLine(image));
  }
  return pixels;
}

TEST(SpliceAfterHeader, FreeImageOutputTakesTheChunksAndReadsBackUnchanged) {
  FIBITMAP* frame = loadedByFreeImage(rgbaFrame());
  ASSERT_NE(frame, nullptr);
  const std::string encoded = savedByFreeImage(frame);
  const std::string pixels = pixelsOf(frame);
  FreeImage_Unload(frame);
  ASSERT_EQ(typesOf(encoded), "IHDR pHYs IDAT IEND");
  const struct {
    const char* input;
    std::string chunks;
    std::string types;
  } cases[] = {
      {"no chunks", "", "IHDR pHYs IDAT IEND"},
      {"linear Display P3: iCCP, cHRM, gAMA", kIccp + kP3Chrm + kLinearGama,
       "IHDR iCCP cHRM gAMA pHYs IDAT IEND"},
      {"sRGB with its gAMA and cHRM", kSrgb + kSrgbGama + kSrgbChrm,
       "IHDR sRGB gAMA cHRM pHYs IDAT IEND"},
  };
  for (const auto& c : cases) {
    std::string png = encoded;
    ASSERT_TRUE(velmora::spliceAfterHeader(png, c.chunks).ok()) << c.input;
    EXPECT_EQ(typesOf(png), c.types) << c.input;
    EXPECT_EQ(png.substr(kAfterHeader, c.chunks.size()), c.chunks) << c.input;
    EXPECT_EQ(velmora::colourChunks(readerOf(png)), c.chunks) << c.input;
    FIBITMAP* back = loadedByFreeImage(png);
    ASSERT_NE(back, nullptr) << c.input;
    EXPECT_EQ(pixelsOf(back), pixels) << c.input;
    FreeImage_Unload(back);
  }
}

// FreeImage writes an iCCP of its own for a bitmap that carries a profile
// (libpng checks the profile as it writes it, so this also proves the test's
// profile sound); the splice leaves only the source's colour chunks.
TEST(SpliceAfterHeader, DropsTheEncodersOwnColourChunks) {
  FIBITMAP* frame = loadedByFreeImage(rgbaFrame());
  ASSERT_NE(frame, nullptr);
  std::string profile = pb::linearP3Profile();
  FreeImage_CreateICCProfile(frame, &profile[0], long(profile.size()));
  std::string png = savedByFreeImage(frame);
  FreeImage_Unload(frame);
  ASSERT_EQ(typesOf(png), "IHDR iCCP pHYs IDAT IEND");
  ASSERT_TRUE(velmora::spliceAfterHeader(png, kSrgb + kSrgbGama).ok());
  EXPECT_EQ(typesOf(png), "IHDR sRGB gAMA pHYs IDAT IEND");
  EXPECT_EQ(velmora::colourChunks(readerOf(png)), kSrgb + kSrgbGama);
}

TEST(SpliceAfterHeader, RefusesWhatIsNoWholePngAndLeavesItAlone) {
  const std::string frame = rgbaFrame();
  const struct {
    const char* input;
    std::string png;
  } cases[] = {
      {"empty", ""},
      {"signature alone", frame.substr(0, 8)},
      {"IHDR cut short", frame.substr(0, kAfterHeader - 1)},
      {"no IHDR first", frame.substr(0, 8) + kSrgb + frame.substr(8)},
      {"no signature", "GIF89a" + frame.substr(6)},
      {"file cut in the pixel data", pb::cutInPixelData(frame)},
      {"IEND cut short", frame.substr(0, frame.size() - 4)},
      {"a chunk length past the end", withAfterHeader(frame, pb::bigEndian32(0xFFFFFFF0) + "tEXt")},
  };
  for (const auto& c : cases) {
    std::string png = c.png;
    EXPECT_FALSE(velmora::spliceAfterHeader(png, kSrgb).ok()) << c.input;
    EXPECT_EQ(png, c.png) << c.input;
  }
}

}  // namespace
