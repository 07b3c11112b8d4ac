// The test encoder against libpng (through FreeImage): an Adam7 file must
// decode to the same pixels as its plain twin, for every sample layout the
// interlacing code handles (sub-byte, byte and two-byte samples); and the
// bombs the hostile tests feed the tool are what they claim to be.
#include "png_bytes.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cstring>

#include "test_support.h"

using namespace testing_support;
namespace pb = png_bytes;

TEST(PngBytes, InterlacedFilesDecodeLikeTheirPlainTwins) {
  struct Case {
    pb::Colour colour;
    int depth;
    uint32_t width, height;
  };
  const Case cases[] = {{pb::kGrey, 2, 13, 11}, {pb::kPalette, 4, 9, 5},
                        {pb::kRgba, 8, 7, 9},   {pb::kGreyAlpha, 16, 10, 3},
                        {pb::kGrey, 1, 1, 1},   {pb::kRgb, 16, 3, 17}};
  ScopedTempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE("colour type " + std::to_string(int(c.colour)) + ", depth " +
                 std::to_string(c.depth) + ", " + std::to_string(c.width) + "x" +
                 std::to_string(c.height));
    pb::Image image;
    image.colour = c.colour;
    image.depth = c.depth;
    image.width = c.width;
    image.height = c.height;
    if (c.colour == pb::kPalette) image.palette = std::string(16 * 3, '\x40');
    // A palette of 16 entries is read only through indices 0..7.
    const uint32_t top = c.colour == pb::kPalette ? 7u : (1u << c.depth) - 1;
    uint32_t seed = 12345;
    for (uint32_t i = 0; i < c.width * c.height * uint32_t(pb::channelsOf(c.colour)); ++i) {
      seed = seed * 1103515245u + 12345u;
      image.samples.push_back(uint16_t((seed >> 8) & top));
    }
    ASSERT_TRUE(pb::save(dir.file("plain.png"), image));
    image.interlaced = true;
    ASSERT_TRUE(pb::save(dir.file("adam7.png"), image));
    EXPECT_EQ(uint8_t(readFile(dir.file("adam7.png"))[28]), 1) << "interlace method in IHDR";

    FIBITMAP* plain = FreeImage_Load(FIF_PNG, dir.file("plain.png").c_str(), PNG_DEFAULT);
    FIBITMAP* adam7 = FreeImage_Load(FIF_PNG, dir.file("adam7.png").c_str(), PNG_DEFAULT);
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(adam7, nullptr);
    ASSERT_EQ(FreeImage_GetLine(plain), FreeImage_GetLine(adam7));
    ASSERT_EQ(FreeImage_GetHeight(adam7), c.height);
    for (uint32_t y = 0; y < c.height; ++y) {
      EXPECT_EQ(std::memcmp(FreeImage_GetScanLine(plain, int(y)),
                            FreeImage_GetScanLine(adam7, int(y)), FreeImage_GetLine(plain)),
                0)
          << "scanline " << y;
    }
    FreeImage_Unload(plain);
    FreeImage_Unload(adam7);
  }
}

TEST(PngBytes, BombsAreRealAtASizeThatCanBeDecoded) {
  ScopedTempDir folder;
  writeFile(folder.file("bomb.png"), pb::zeroBomb(300, 2000));
  FIBITMAP* bomb = FreeImage_Load(FIF_PNG, folder.file("bomb.png").c_str(), PNG_DEFAULT);
  ASSERT_NE(bomb, nullptr);
  EXPECT_EQ(FreeImage_GetWidth(bomb), 300u);
  EXPECT_EQ(FreeImage_GetHeight(bomb), 2000u);
  const Rgba last = pixelAt(bomb, 299, 1999);
  EXPECT_EQ(last.r + last.g + last.b + last.a, 0);
  FreeImage_Unload(bomb);

  const std::string frame = pb::encode(pb::patterned(5, 4, pb::kRgba, 8, false));
  writeFile(folder.file("text.png"), pb::withTextBomb(frame, 2, 100000));
  FIBITMAP* text = FreeImage_Load(FIF_PNG, folder.file("text.png").c_str(), PNG_DEFAULT);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(FreeImage_GetMetadataCount(FIMD_COMMENTS, text), 2u);
  FreeImage_Unload(text);
}
