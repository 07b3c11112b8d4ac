// Frames whose transparency is not an 8-bit RGBA alpha channel: palette and
// grey PNGs with a transparency table, grey-alpha and 16-bit PNGs. The files
// are real PNGs, written by FreeImage where it can and by png_bytes where it
// cannot.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "image/frame_bounds.h"
#include "image/frame_crop.h"
#include "png_bytes.h"
#include "run/bounds_scan.h"
#include "test_support.h"
#ifndef _WIN32  // the tool runs as a child process
#include "e2e_support.h"
#endif

using namespace testing_support;
using velmora::CropRect;
namespace pb = png_bytes;

namespace {

using Points = std::vector<std::pair<int, int>>;

// A pixel at the bit depth of the image it was read from (8 or 16).
struct Pixel {
  uint16_t r, g, b, a;
  bool operator==(const Pixel& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

std::ostream& operator<<(std::ostream& out, const Pixel& p) {
  return out << "(" << p.r << ", " << p.g << ", " << p.b << ", " << p.a << ")";
}

bool contains(const Points& points, int x, int y) {
  return std::find(points.begin(), points.end(), std::make_pair(x, y)) != points.end();
}

// An image of the given PNG form in which the listed pixels hold ink and all
// others clear (one sample per channel each).
pb::Image maskedImage(pb::Colour colour, int depth, int width, int height, const Points& visible,
                      const std::vector<uint16_t>& ink, const std::vector<uint16_t>& clear) {
  pb::Image image;
  image.colour = colour;
  image.depth = depth;
  image.width = uint32_t(width);
  image.height = uint32_t(height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::vector<uint16_t>& pixel = contains(visible, x, y) ? ink : clear;
      image.samples.insert(image.samples.end(), pixel.begin(), pixel.end());
    }
  }
  return image;
}

// An 8-bit palettised frame saved by FreeImage with a transparency table:
// index 0 is fully transparent, index 1 has alpha 180.
bool writeFreeImagePalette(const std::string& path, int width, int height, const Points& visible) {
  FIBITMAP* image = FreeImage_Allocate(width, height, 8);
  RGBQUAD* palette = FreeImage_GetPalette(image);
  palette[0] = RGBQUAD{0x33, 0x22, 0x11, 0};
  palette[1] = RGBQUAD{50, 100, 200, 0};
  BYTE table[2] = {0, 180};
  FreeImage_SetTransparencyTable(image, table, 2);
  for (int y = 0; y < height; ++y) {
    BYTE* row = FreeImage_GetScanLine(image, height - 1 - y);
    for (int x = 0; x < width; ++x) row[x] = contains(visible, x, y) ? 1 : 0;
  }
  const bool saved = FreeImage_Save(FIF_PNG, image, path.c_str(), PNG_DEFAULT) != 0;
  FreeImage_Unload(image);
  return saved;
}

FIBITMAP* rgba16Image(int width, int height, const Points& visible, FIRGBA16 ink, FIRGBA16 clear) {
  FIBITMAP* image = FreeImage_AllocateT(FIT_RGBA16, width, height);
  for (int y = 0; y < height; ++y) {
    FIRGBA16* row = reinterpret_cast<FIRGBA16*>(FreeImage_GetScanLine(image, height - 1 - y));
    for (int x = 0; x < width; ++x) row[x] = contains(visible, x, y) ? ink : clear;
  }
  return image;
}

bool writeFreeImageRgba16(const std::string& path, int width, int height, const Points& visible) {
  FIBITMAP* image = rgba16Image(width, height, visible, {0x1234, 0x5678, 0x9ABC, 0x8001},
                                {0x0102, 0x0304, 0x0506, 0});
  const bool saved = FreeImage_Save(FIF_PNG, image, path.c_str(), PNG_DEFAULT) != 0;
  FreeImage_Unload(image);
  return saved;
}

using Writer = std::function<bool(const std::string&, int, int, const Points&)>;

Writer encoded(pb::Colour colour, int depth, std::vector<uint16_t> ink, std::vector<uint16_t> clear,
               std::string palette = "", std::string transparency = "") {
  return [=](const std::string& path, int width, int height, const Points& visible) {
    pb::Image image = maskedImage(colour, depth, width, height, visible, ink, clear);
    image.palette = palette;
    image.transparency = transparency;
    return pb::save(path, image);
  };
}

struct Form {
  const char* name;
  Writer write;
  int inputColourType;  // IHDR colour type of the written input, to check the fixture
  int outputDepth;      // bits per channel of the cropped frame (always RGBA)
  Pixel ink;            // a visible pixel as the cropped frame holds it
  Pixel clear;          // a transparent one
};

const std::vector<Form>& transparencyForms() {
  static const std::vector<Form> forms = {
      {"palette with tRNS, by FreeImage",
       writeFreeImagePalette,
       3,
       8,
       {200, 100, 50, 180},
       {0x11, 0x22, 0x33, 0}},
      // Index 2 lies beyond the two-entry table, so it is opaque.
      {"4-bit palette with tRNS",
       encoded(pb::kPalette, 4, {2}, {0}, "\x01\x02\x03\x09\x09\x09\x0a\x14\x1e",
               std::string("\x00\x80", 2)),
       3,
       8,
       {10, 20, 30, 255},
       {1, 2, 3, 0}},
      {"grey with tRNS",
       encoded(pb::kGrey, 8, {200}, {7}, "", pb::greyTransparency(7)),
       0,
       8,
       {200, 200, 200, 255},
       {7, 7, 7, 0}},
      {"8-bit grey-alpha",
       encoded(pb::kGreyAlpha, 8, {90, 77}, {33, 0}),
       4,
       8,
       {90, 90, 90, 77},
       {33, 33, 33, 0}},
      {"16-bit RGBA, by FreeImage",
       writeFreeImageRgba16,
       6,
       16,
       {0x1234, 0x5678, 0x9ABC, 0x8001},
       {0x0102, 0x0304, 0x0506, 0}},
      {"16-bit grey-alpha",
       encoded(pb::kGreyAlpha, 16, {0x4321, 0x0080}, {0x0F0F, 0}),
       4,
       16,
       {0x4321, 0x4321, 0x4321, 0x0080},
       {0x0F0F, 0x0F0F, 0x0F0F, 0}},
      {"16-bit grey with tRNS",
       encoded(pb::kGrey, 16, {0xFEDC}, {0x0102}, "", pb::greyTransparency(0x0102)),
       0,
       16,
       {0xFEDC, 0xFEDC, 0xFEDC, 65535},
       {0x0102, 0x0102, 0x0102, 0}},
      {"16-bit RGB with tRNS",
       encoded(pb::kRgb, 16, {0xAAAA, 0x0001, 0xFFFF}, {0x0101, 0x0202, 0x0303}, "",
               std::string("\x01\x01\x02\x02\x03\x03", 6)),
       2,
       16,
       {0xAAAA, 0x0001, 0xFFFF, 65535},
       {0x0101, 0x0202, 0x0303, 0}},
  };
  return forms;
}

int ihdrByte(const std::string& file, size_t offset) {
  const std::string bytes = readFile(file);
  return bytes.size() > offset ? uint8_t(bytes[offset]) : -1;
}
// Both used only by the tool runs, which the Windows test binary leaves out.
[[maybe_unused]] int pngBitDepth(const std::string& file) { return ihdrByte(file, 24); }
int pngColourType(const std::string& file) { return ihdrByte(file, 25); }

// Pixel (x, y), y from the top, of a 32-bit or FIT_RGBA16 image.
Pixel readPixel(FIBITMAP* image, int x, int y) {
  if (FreeImage_GetImageType(image) == FIT_RGBA16) {
    const FIRGBA16* row = reinterpret_cast<const FIRGBA16*>(
        FreeImage_GetScanLine(image, FreeImage_GetHeight(image) - 1 - unsigned(y)));
    return Pixel{row[x].red, row[x].green, row[x].blue, row[x].alpha};
  }
  const Rgba p = pixelAt(image, x, y);
  return Pixel{p.r, p.g, p.b, p.a};
}

#ifndef _WIN32
// The whole output of a completed run over frames frames with rect (exclusive
// maxima) and the corrected size.
std::string completedRun(int frames, const CropRect& rect, int wideWidth, int wideHeight) {
  return e2e::kBanner + e2e::countLine(frames) + e2e::scanLines(unsigned(frames)) +
         e2e::report(rect.minX, rect.minY, rect.maxX - rect.minX, rect.maxY - rect.minY,
                     wideWidth, wideHeight) +
         e2e::loopLines(unsigned(frames)) + e2e::kDone;
}
#endif

CropRect scanFolder(const std::string& folder, const std::vector<std::string>& names,
                    uint8_t threshold) {
  velmora::FrameList frames;
  for (const std::string& name : names) frames.push_back(name.c_str());
  const velmora::BoundsScan scan =
      velmora::determineBounds(frames, folder.c_str(), threshold, 1, nullptr, [](unsigned) {});
  EXPECT_TRUE(scan.stop.ok()) << "stopped at " << scan.stopFrame << ": " << scan.stop.reason();
  return scan.stop.ok() ? scan.area : CropRect{-2, -2, -2, -2};
}

void expectRect(const CropRect& rect, int minX, int minY, int maxX, int maxY) {
  EXPECT_EQ(rect.minX, minX);
  EXPECT_EQ(rect.minY, minY);
  EXPECT_EQ(rect.maxX, maxX);
  EXPECT_EQ(rect.maxY, maxY);
}

// Visible pixels of the single-frame runs: the box is (3, 2)-(20, 12)
// exclusive in a 20x12 frame, which widens to 32x16 and so reaches past the
// right and the bottom edge.
const Points kSingleFrame = {{3, 5}, {7, 2}, {19, 11}};

}  // namespace

TEST(TransparencyForms, VisiblePixelsOfEveryFrameGiveTheRectangle) {
  for (const Form& form : transparencyForms()) {
    SCOPED_TRACE(form.name);
    ScopedTempDir dir;
    ASSERT_TRUE(form.write(dir.file("a.png"), 20, 12, {{3, 5}, {7, 2}}));
    ASSERT_TRUE(form.write(dir.file("b.png"), 24, 16, {{23, 15}, {5, 9}}));
    ASSERT_EQ(pngColourType(dir.file("a.png")), form.inputColourType);
    expectRect(scanFolder(dir.path(), {"a.png", "b.png"}, 0), 3, 2, 24, 16);

    ScopedTempDir blank;
    ASSERT_TRUE(form.write(blank.file("a.png"), 8, 8, {}));
    expectRect(scanFolder(blank.path(), {"a.png"}, 0), -1, -1, 0, 0);
  }
}

#ifndef _WIN32  // runs the tool as a child process
TEST(TransparencyForms, FramesAreWrittenAsRgbaAtTheirOwnDepth) {
  for (const Form& form : transparencyForms()) {
    SCOPED_TRACE(form.name);
    ScopedTempDir dir;
    ASSERT_TRUE(form.write(dir.file("frame.png"), 20, 12, kSingleFrame));
    const RunResult run = runTool({"-i", dir.path()});
    EXPECT_EQ(run.output, completedRun(1, CropRect{3, 2, 20, 12}, 32, 16));
    EXPECT_EQ(run.exitCode, 0);

    const std::string out = dir.file("autocropped/out_00001.png");
    EXPECT_EQ(pngBitDepth(out), form.outputDepth);
    EXPECT_EQ(pngColourType(out), 6);
    FIBITMAP* image = FreeImage_Load(FIF_PNG, out.c_str(), PNG_DEFAULT);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(FreeImage_GetWidth(image), 32u);
    EXPECT_EQ(FreeImage_GetHeight(image), 16u);
    const uint16_t opaque = form.outputDepth == 16 ? 65535 : 255;
    for (const auto& p : kSingleFrame) {
      EXPECT_EQ(readPixel(image, p.first - 3, p.second - 2), form.ink)
          << "visible " << p.first << "," << p.second;
    }
    EXPECT_EQ(readPixel(image, 1, 1), form.clear);
    EXPECT_EQ(readPixel(image, 15, 9), form.clear);  // left of frame pixel (19, 11)
    EXPECT_EQ(readPixel(image, 17, 0), (Pixel{0, 0, 0, opaque})) << "beyond the right edge";
    EXPECT_EQ(readPixel(image, 0, 10), (Pixel{0, 0, 0, opaque})) << "beyond the bottom edge";
    EXPECT_EQ(readPixel(image, 31, 15), (Pixel{0, 0, 0, opaque})) << "beyond both";
    FreeImage_Unload(image);
  }
}
#endif

TEST(TransparencyForms, SixteenBitAlphaIsComparedWithThresholdTimes257) {
  struct Case {
    int threshold;
    uint16_t alpha;
    bool visible;
  };
  const Case cases[] = {{0, 1, true},    {0, 0, false},  {100, 25700, false}, {100, 25701, true},
                        {1, 257, false}, {1, 258, true}, {255, 65535, false}, {254, 65535, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE("threshold " + std::to_string(c.threshold) + ", alpha " + std::to_string(c.alpha));
    velmora::Image frame(rgba16Image(5, 4, {{2, 1}}, {9, 9, 9, c.alpha}, {9, 9, 9, 0}));
    CropRect box;
    ASSERT_TRUE(velmora::scanLoadedFrame(std::move(frame), uint8_t(c.threshold), box));
    if (c.visible) {
      expectRect(box, 2, 1, 2, 1);
    } else {
      expectRect(box, -1, -1, -1, -1);
    }
  }
}

TEST(TransparencyForms, TransparencyTableValuesFollowTheThresholdRule) {
  // Index 3 lies beyond the table and is opaque.
  FIBITMAP* frame = FreeImage_Allocate(4, 1, 8);
  BYTE table[3] = {0, 100, 101};
  FreeImage_SetTransparencyTable(frame, table, 3);
  BYTE* row = FreeImage_GetScanLine(frame, 0);
  for (int x = 0; x < 4; ++x) row[x] = BYTE(x);
  struct Case {
    uint8_t threshold;
    int minX;
  };
  for (const Case c : {Case{0, 1}, Case{100, 2}, Case{101, 3}, Case{255, -1}}) {
    SCOPED_TRACE("threshold " + std::to_string(c.threshold));
    CropRect box;
    ASSERT_TRUE(velmora::scanLoadedFrame(velmora::Image(FreeImage_Clone(frame)), c.threshold, box));
    EXPECT_EQ(box.minX, c.minX);
    EXPECT_EQ(box.maxX, c.minX == -1 ? -1 : 3);
  }
  FreeImage_Unload(frame);
}

TEST(TransparencyForms, SixteenBitCropsFillWithOpaqueBlackOfTheirOwnType) {
  // A rectangle that misses the frame altogether is pure fill.
  velmora::Image frame(rgba16Image(4, 4, {}, {}, {7, 7, 7, 7}));
  velmora::cropFrame(frame, CropRect{10, 0, 12, 2});
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(FreeImage_GetImageType(frame.get()), FIT_RGBA16);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 2; ++x) EXPECT_EQ(readPixel(frame.get(), x, y), (Pixel{0, 0, 0, 65535}));
  }

  // A forced rectangle may reach a 16-bit RGB frame, which has no alpha.
  frame.reset(FreeImage_AllocateT(FIT_RGB16, 2, 1));
  FIRGB16* row = reinterpret_cast<FIRGB16*>(FreeImage_GetScanLine(frame.get(), 0));
  row[0] = row[1] = FIRGB16{0x1111, 0x2222, 0x3333};
  velmora::cropFrame(frame, CropRect{1, 0, 3, 1});
  ASSERT_NE(frame, nullptr);
  const FIRGB16* out = reinterpret_cast<const FIRGB16*>(FreeImage_GetScanLine(frame.get(), 0));
  EXPECT_EQ(out[0].red, 0x1111);
  EXPECT_EQ(out[0].blue, 0x3333);
  EXPECT_EQ(out[1].red, 0);
  EXPECT_EQ(out[1].green, 0);
  EXPECT_EQ(out[1].blue, 0);
}

#ifndef _WIN32  // runs the tool as a child process
TEST(TransparencyForms, FramesWithoutTransparencyStillStop) {
  const std::string opaquePalette("\x01\x02\x03\x0a\x14\x1e", 6);
  const std::vector<std::pair<const char*, Writer>> forms = {
      {"palette without tRNS", encoded(pb::kPalette, 8, {1}, {0}, opaquePalette)},
      {"RGB, by FreeImage", [](const std::string& path, int w, int h,
                               const Points&) { return writeRgbPng(path, w, h); }},
      {"grey without tRNS", encoded(pb::kGrey, 8, {200}, {7})},
      {"16-bit RGB", encoded(pb::kRgb, 16, {1, 2, 3}, {4, 5, 6})},
      {"16-bit grey", encoded(pb::kGrey, 16, {1}, {2})},
  };
  for (const auto& form : forms) {
    SCOPED_TRACE(form.first);
    ScopedTempDir dir;
    ASSERT_TRUE(form.second(dir.file("flat.png"), 6, 4, {{1, 1}}));
    const RunResult run = runTool({"-i", dir.path()});
    EXPECT_EQ(run.output, e2e::kBanner + e2e::countLine(1) + e2e::scanStepsThrough(0, 1) +
                              e2e::alphaStop("flat.png"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(folderNames(dir.file("autocropped")), std::vector<std::string>{});
  }
}
#endif

#ifndef _WIN32  // runs the tool as a child process
TEST(TransparencyForms, MixedFormsShareOneRectangle) {
  ScopedTempDir dir;
  const std::vector<Form>& forms = transparencyForms();
  std::vector<std::string> names;
  int sixteenBit = 0;
  // Form k has one visible pixel at (2 + 2k, 9 - k) in a 24x16 frame; the
  // 8-bit RGBA frame adds (1, 12).
  for (size_t k = 0; k < forms.size(); ++k) {
    names.push_back("f" + std::to_string(k) + ".png");
    ASSERT_TRUE(forms[k].write(dir.file(names.back()), 24, 16, {{int(2 + 2 * k), int(9 - k)}}));
    if (forms[k].outputDepth == 16) ++sixteenBit;
  }
  names.push_back("rgba.png");
  ASSERT_TRUE(writeRgbaPngWithPixels(dir.file("rgba.png"), 24, 16, {{1, 12}}));
  const int count = int(names.size());
  const int last = int(forms.size()) - 1;
  const CropRect expected{1, 9 - last, 2 + 2 * last + 1, 13};
  expectRect(scanFolder(dir.path(), names, 0), expected.minX, expected.minY, expected.maxX,
             expected.maxY);

  const RunResult run = runTool({"-i", dir.path()});
  EXPECT_EQ(run.output, completedRun(count, expected, 16, 16));
  EXPECT_EQ(run.exitCode, 0);
  int written16 = 0;
  for (int i = 1; i <= count; ++i) {
    const std::string out = dir.file("autocropped/out_0000" + std::to_string(i) + ".png");
    EXPECT_EQ(pngColourType(out), 6) << out;
    if (pngBitDepth(out) == 16) ++written16;
  }
  EXPECT_EQ(written16, sixteenBit);
}
#endif
