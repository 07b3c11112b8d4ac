// The PNG writer on every form and filter, read back by libpng.
#include "png/png_writer.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "png_bytes.h"

namespace pb = png_bytes;

namespace {

struct Decoded {
  png_uint_32 width = 0, height = 0;
  int depth = 0, colour = 0;
  std::vector<std::vector<unsigned char>> rows;
};

struct PngInput {
  const std::string& png;
  size_t at;
};

void readPngBytes(png_structp png, png_bytep out, size_t size) {
  auto* in = static_cast<PngInput*>(png_get_io_ptr(png));
  if (size > in->png.size() - in->at) png_error(png, "read past the end");
  std::memcpy(out, in->png.data() + in->at, size);
  in->at += size;
}

// The rows as stored, by libpng without transformations, through IEND: a
// wrong CRC of a critical chunk, IEND's included, fails the read.
bool decodeByLibpng(const std::string& bytes, Decoded& out) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  PngInput input{bytes, 0};
  bool read = false;
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_set_read_fn(png, &input, readPngBytes);
    png_read_info(png, info);
    png_get_IHDR(png, info, &out.width, &out.height, &out.depth, &out.colour, nullptr, nullptr,
                 nullptr);
    const size_t rowBytes = png_get_rowbytes(png, info);
    out.rows.assign(out.height, std::vector<unsigned char>(rowBytes));
    for (auto& row : out.rows) png_read_row(png, row.data(), nullptr);
    png_read_end(png, nullptr);
    read = true;
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return read;
}

// The filter type byte of each row, from the inflated image data.
std::vector<int> filterBytes(const std::string& png, size_t rowBytes, size_t height) {
  std::string data;
  for (const pb::Chunk& chunk : pb::chunksOf(png)) {
    if (chunk.type == "IDAT") data += png.substr(chunk.offset + 8, chunk.length);
  }
  std::vector<unsigned char> raw((rowBytes + 1) * height);
  uLongf size = uLongf(raw.size());
  std::vector<int> types;
  if (uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(data.data()), uLong(data.size())) !=
          Z_OK ||
      size != raw.size()) {
    return types;
  }
  for (size_t y = 0; y < height; ++y) types.push_back(raw[y * (rowBytes + 1)]);
  return types;
}

TEST(PngWriter, EveryFormAndFilterReadsBackInLibpng) {
  using velmora::RowFilters;
  const struct {
    int colour;
    std::vector<int> depths;
  } forms[] = {{velmora::kPngGrey, {1, 2, 4, 8, 16}},     {velmora::kPngRgb, {8, 16}},
               {velmora::kPngPalette, {1, 2, 4, 8}},      {velmora::kPngGreyAlpha, {8, 16}},
               {velmora::kPngRgba, {8, 16}}};
  const struct {
    RowFilters filters;
    int type;  // every row's filter byte; -1 for a choice of its own per row
  } filterings[] = {{RowFilters::none, 0},    {RowFilters::sub, 1},   {RowFilters::up, 2},
                    {RowFilters::average, 3}, {RowFilters::paeth, 4}, {RowFilters::leastSum, -1}};
  velmora::PngMemory memory;
  // The same bytes every run, with no pattern for a filter to find.
  std::mt19937 random(11);
  for (const auto& form : forms) {
    for (int depth : form.depths) {
      for (const auto& filtering : filterings) {
        // 13 wide, so that rows of fewer than 8 bits end in a part of a byte.
        velmora::PngHeader header{13, 7, depth, form.colour};
        SCOPED_TRACE(::testing::Message() << "colour " << form.colour << ", depth " << depth
                                          << ", filter " << int(filtering.filters));
        const size_t rowBytes = velmora::pngRowBytes(header);
        const size_t usedBits = size_t(13) * velmora::pngChannels(form.colour) * depth;
        std::vector<std::vector<unsigned char>> rows(7, std::vector<unsigned char>(rowBytes));
        for (int y = 0; y < 7; ++y) {
          for (size_t i = 0; i < rowBytes; ++i) rows[y][i] = uint8_t(random() % 251);
          // The bits past the last pixel are zero, as a decoder gives them.
          if (usedBits % 8 != 0) rows[y].back() &= uint8_t(0xFF << (8 - usedBits % 8));
        }
        std::string plte;
        if (form.colour == velmora::kPngPalette) {
          plte = pb::chunk("PLTE", std::string(3u << depth, '\x40'));
        }
        std::string png;
        const velmora::Status written = velmora::writePng(
            header, [&](unsigned y) { return rows[y].data(); }, "", plte,
            velmora::PngEncoding{filtering.filters, 6}, memory, png);
        ASSERT_TRUE(written.ok()) << written.reason();
        Decoded decoded;
        ASSERT_TRUE(decodeByLibpng(png, decoded));
        EXPECT_EQ(decoded.width, 13u);
        EXPECT_EQ(decoded.height, 7u);
        EXPECT_EQ(decoded.depth, depth);
        EXPECT_EQ(decoded.colour, form.colour);
        EXPECT_TRUE(decoded.rows == rows) << "rows differ";
        const std::vector<int> types = filterBytes(png, rowBytes, 7);
        ASSERT_EQ(types.size(), 7u);
        for (int type : types) {
          if (filtering.type >= 0) {
            EXPECT_EQ(type, filtering.type);
          } else {
            EXPECT_LE(type, 4);
          }
        }
      }
    }
  }
}

}  // namespace
