// Writes the seed corpora of the fuzz targets into <folder>/frame,
// <folder>/command_line and <folder>/text:
//   make_seeds fuzz/corpus
// Frame seeds are small valid PNG files of every colour type and bit depth,
// some interlaced, some with tRNS, each followed by the eight bytes that
// choose the threshold and the crop (see fuzz_frame.cpp).
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "png_bytes.h"

namespace pb = png_bytes;

namespace {

// A literal with its NULs, without the terminating one.
template <size_t N>
std::string bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

void put(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

struct Kind {
  pb::Colour colour;
  int depth;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds <corpus folder>\n");
    return 2;
  }
  const std::string root = argv[1];
  for (const char* sub : {"", "/frame", "/command_line", "/text"}) mkdir((root + sub).c_str(), 0755);

  const std::vector<Kind> kinds = {{pb::kGrey, 1},    {pb::kGrey, 2},    {pb::kGrey, 4},      {pb::kGrey, 8},
                                   {pb::kGrey, 16},   {pb::kRgb, 8},     {pb::kRgb, 16},      {pb::kPalette, 1},
                                   {pb::kPalette, 2}, {pb::kPalette, 4}, {pb::kPalette, 8},   {pb::kGreyAlpha, 8},
                                   {pb::kGreyAlpha, 16}, {pb::kRgba, 8}, {pb::kRgba, 16}};
  // Crop to the scanned box; or threshold 40 and the rectangle (-2, 1) 21 x 10.
  const std::string toScan("\x00\x01\x00\x00\x00\x00\x00\x00", 8);
  const std::string forced("\x28\x00\xfe\x01\x14\x00\x09\x00", 8);
  int n = 0;
  for (const Kind& kind : kinds) {
    for (int variant = 0; variant < 2; ++variant) {
      const bool interlaced = variant == 1;
      pb::Image image = pb::patterned(5, 3, kind.colour, kind.depth, interlaced);
      if (variant == 1 && kind.colour == pb::kPalette) image.transparency = bytes("\x00\x80");
      if (variant == 1 && kind.colour == pb::kGrey) image.transparency = bytes("\x00\x01");
      if (variant == 1 && kind.colour == pb::kRgb) image.transparency = std::string(6, '\0');
      const std::string name = "c" + std::to_string(kind.colour) + "_d" + std::to_string(kind.depth) +
                               (interlaced ? "_interlaced" : "") + (image.transparency.empty() ? "" : "_trns") +
                               ".png";
      put(root + "/frame/" + name, pb::encode(image) + (n++ % 2 == 0 ? toScan : forced));
    }
  }

  const std::vector<std::string> commandLines = {
      bytes("-i\0frames\0-forcecrop\0" "10,20,110,70"),
      std::string("-?"),
      bytes("-forcecrop\0-5,0,10,10"),
      bytes("-i\0/abs/path\0-forcecrop\0" "0,0,2147483647,16"),
      bytes("-forcecrop\0-2147483000,0,2147483647,16"),
      bytes("-i\0a\0-threshold\0" "40abc\0-o\0\0/help\0x"),
      bytes("-forcecrop\0 7,-3,30px,40\0--?"),
  };
  for (size_t i = 0; i < commandLines.size(); ++i) {
    put(root + "/command_line/seed" + std::to_string(i), commandLines[i]);
  }

  const std::vector<std::string> texts = {
      "C:\\Frames\\",    "a/../..", "/a/../..", "..\\x\\.\\y",  "d:\\src\\frames\\walk.png", ",a,,b,",
      "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", "%s%n%d%%", bytes("/a\0b/c"), "///./..//x/",
  };
  for (size_t i = 0; i < texts.size(); ++i) put(root + "/text/seed" + std::to_string(i), texts[i]);
  return 0;
}
