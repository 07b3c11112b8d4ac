// The tool, end to end, on broken, lying and unusual folders: whatever a
// folder holds, the run ends with one of the tool's own messages, the exit
// code that goes with it, nothing on standard error and no file outside the
// output folder.
#include <FreeImage.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "host/host.h"
#include "png_bytes.h"
#include "test_support.h"

using namespace e2e;
using namespace testing_support;
namespace pb = png_bytes;

namespace {

// A -forcecrop 0,0,16,16 -o <target> run over one frame that is not written.
std::string forcedFailure(const std::string& name, const std::string& why, const std::string& target) {
  return kBanner + countLine(1) + usingOutput(target) + customRect("0,0,16,16") + report(0, 0, 16, 16, 16, 16) +
         loopLines(1, {{1, frameWarning(name, why, 1)}}) + failedEnd(1, 1);
}

// A scan of one frame whose content is the 5 x 4 block at (3, 2).
std::string blockCropped() {
  return kBanner + countLine(1) + scanLines(1) + report(3, 2, 5, 4, 16, 16) + loopLines(1) + kDone;
}

// The scan of a run over one frame, which that frame stops with ending.
std::string scanStopsOn(const std::string& ending) { return kBanner + countLine(1) + scanStep(0, 1) + ending; }

std::string validFrame() {
  pb::Image image = pb::patterned(5, 4, pb::kRgba, 8, false);
  return pb::encode(image);
}

// A frame of the given kind, 20 x 12, transparent or dark except for the
// 5 x 4 block at (3, 2). Palette images use index 0 outside the block and 1
// inside; with `transparency` their tRNS makes index 0 (grey: value 0)
// transparent.
pb::Image blockFrame(pb::Colour colour, int depth, bool interlaced, bool transparency) {
  pb::Image image;
  image.width = 20;
  image.height = 12;
  image.colour = colour;
  image.depth = depth;
  image.interlaced = interlaced;
  const uint16_t top = uint16_t((1u << depth) - 1);
  for (uint32_t y = 0; y < image.height; ++y) {
    for (uint32_t x = 0; x < image.width; ++x) {
      const bool in = x >= 3 && x < 8 && y >= 2 && y < 6;
      switch (colour) {
        case pb::kRgba:
          for (uint16_t v : {uint16_t(in ? top / 2 : 0), uint16_t(in ? top / 4 : 0), uint16_t(in ? top : 0),
                             uint16_t(in ? top : 0)}) {
            image.samples.push_back(v);
          }
          break;
        case pb::kGreyAlpha:
          image.samples.push_back(in ? top / 2 : 0);
          image.samples.push_back(in ? top : 0);
          break;
        case pb::kRgb:
          for (int c = 0; c < 3; ++c) image.samples.push_back(in ? top : 0);
          break;
        default:  // grey and palette
          image.samples.push_back(in ? 1 : 0);
          break;
      }
    }
  }
  if (colour == pb::kPalette) {
    for (uint32_t i = 0; i < (1u << depth); ++i) image.palette += std::string{char(i), char(200), char(255 - i)};
    if (transparency) image.transparency = std::string(1, '\0');
  } else if (colour == pb::kGrey && transparency) {
    image.transparency = std::string(2, '\0');
  }
  return image;
}

class HostileFolder : public ::testing::Test {
 protected:
  std::string frames() const { return folder.file("frames"); }
  std::string output() const { return folder.file("frames/autocropped"); }
  void SetUp() override { ASSERT_EQ(mkdir(frames().c_str(), 0755), 0); }

  ScopedTempDir folder;
};

struct BrokenFrame {
  const char* what;
  std::function<void(const std::string& path)> make;
  // Standard output of the scan after its first progress line.
  std::string scanEnding;
  // What the frame loop says of it with -forcecrop.
  std::string forcedWhy;
};

std::string refusedEnding(const std::string& size) {
  return "\nSTOP: Frame \"x.png\" declares " + size +
         " pixels, more than the 268435456 a frame may hold; no frame is written.\n" + kContinuePause;
}

// A frame that cannot be loaded, and why, as the scan and the frame loop say it.
BrokenFrame unloadable(const char* what, std::function<void(const std::string& path)> make, const std::string& why) {
  return {what, std::move(make), loadStop("x.png", why), because(kNotLoaded, why)};
}

std::vector<BrokenFrame> brokenFrames() {
  return {
      unloadable("a zero-byte file", [](const std::string& p) { writeFile(p, ""); }, "empty file"),
      unloadable("a text file", [](const std::string& p) { writeFile(p, "frame 1: a walking cat\n"); }, "not a PNG file"),
      unloadable("a PNG cut off in its pixel data",
                 [](const std::string& p) { writeFile(p, pb::cutInPixelData(pb::encode(pb::patterned(64, 64, pb::kRgba, 8, false)))); },
                 "truncated file"),
      unloadable("a bad CRC in IDAT", [](const std::string& p) { writeFile(p, pb::withBadCrc(validFrame(), "IDAT")); },
                 "IDAT: CRC error"),
      unloadable("a bad CRC in IHDR", [](const std::string& p) { writeFile(p, pb::withBadCrc(validFrame(), "IHDR")); },
                 "IHDR: CRC error"),
      {"a header of 100000 x 100000 over almost no data",
       [](const std::string& p) { writeFile(p, pb::hugeHeader(100000, 100000)); }, refusedEnding("100000x100000"),
       "declares more than 268435456 pixels"},
      {"a decompression bomb of 20000 x 20000", [](const std::string& p) { writeFile(p, pb::zeroBomb(20000, 20000)); },
       refusedEnding("20000x20000"), "declares more than 268435456 pixels"},
      {"text chunks that inflate to 80 MB",
       [](const std::string& p) { writeFile(p, pb::withTextBomb(validFrame(), 10, 8000000)); },
       "\nSTOP: Frame \"x.png\" holds more than 65536 bytes of compressed metadata; no frame is written.\n" +
           kContinuePause,
       "holds more than 65536 bytes of compressed metadata"},
      unloadable("a dangling symbolic link",
                 [](const std::string& p) { ASSERT_EQ(symlink((p + ".gone").c_str(), p.c_str()), 0); },
                 "No such file or directory"),
      unloadable("a sub-folder", [](const std::string& p) { ASSERT_EQ(mkdir(p.c_str(), 0755), 0); }, velmora::host::kNotRegularFile),
      // Opening a named pipe would wait for a writer that never comes.
      unloadable("a named pipe", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }, velmora::host::kNotRegularFile),
  };
}

TEST_F(HostileFolder, BrokenFrameEndsTheScanAndIsReportedByTheFrameLoop) {
  for (const BrokenFrame& frame : brokenFrames()) {
    SCOPED_TRACE(frame.what);
    // Wine does not list a dangling link at all, and Windows makes none.
    if (toolIsWindows() && frame.what == std::string("a dangling symbolic link")) continue;
    ScopedTempDir run;
    const std::string source = run.file("frames");
    ASSERT_EQ(mkdir(source.c_str(), 0755), 0);
    frame.make(source + "/x.png");

    EXPECT_RUN(runTool({"-i", source}), 1, scanStopsOn(frame.scanEnding));
    EXPECT_EQ(folderNames(source + "/autocropped"), std::vector<std::string>{});

    EXPECT_RUN(runTool({"-i", source, "-o", run.path(), "-forcecrop", "0,0,16,16"}), 1,
               forcedFailure("x.png", frame.forcedWhy, run.path()));
    EXPECT_EQ(folderNames(run.file("autocropped")), std::vector<std::string>{});
  }
}

TEST_F(HostileFolder, NamesThatLookLikeFormatsOptionsOrLinesArePrintedAsTheyAre) {
  std::vector<std::string> names = {"100%s%n%%.png", " two  spaces .png", "-i.png", "\xc3\xa9t\xc3\xa9 \xe6\xbc\xa2.png",
                                    "line\nfeed.png"};
  // A Windows name cannot hold a line feed; Wine lists such a file but cannot
  // open it by that name.
  if (toolIsWindows()) names.pop_back();
  const unsigned count = unsigned(names.size());
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    ScopedTempDir run;
    writeFile(run.file(name), "");
    EXPECT_RUN(runTool({"-i", run.path()}), 1, scanStopsOn(loadStop(name, "empty file")));
    ScopedTempDir target;
    EXPECT_RUN(runTool({"-i", run.path(), "-o", target.path(), "-forcecrop", "0,0,16,16"}), 1,
               forcedFailure(name, because(kNotLoaded, "empty file"), target.path()));
  }

  // The same names as good frames, in a source folder and an output folder
  // whose own names hold the same characters.
  const std::string source = folder.file(toolIsWindows() ? "src 100%s \xc3\xa9" : "src 100%s\n\xc3\xa9");
  const std::string target = folder.file("out %n -o");
  ASSERT_EQ(mkdir(source.c_str(), 0755), 0);
  ASSERT_EQ(mkdir(target.c_str(), 0755), 0);
  for (const std::string& name : names) writeFile(source + "/" + name, validFrame());
  EXPECT_RUN(runTool({"-i", source, "-o", target}), 0,
             kBanner + countLine(int(count)) + usingOutput(target) + scanLines(count) + report(0, 0, 5, 4, 16, 16) +
                 loopLines(count) + kDone);
  std::vector<std::string> written = {"out_00001.png", "out_00002.png", "out_00003.png", "out_00004.png",
                                      "out_00005.png"};
  written.resize(count);
  EXPECT_EQ(folderNames(target + "/autocropped"), written);
  EXPECT_EQ(folderNames(source).size(), names.size());
}

TEST_F(HostileFolder, TenThousandTinyFramesAreNumberedInFullWithFlatMemory) {
  const unsigned count = 10000;
  // 2 x 2, only the bottom-right pixel visible.
  const std::string frame = [] {
    pb::Image image = pb::patterned(2, 2, pb::kRgba, 8, false);
    for (size_t i = 0; i < image.samples.size(); ++i) image.samples[i] = i >= 12 ? 255 : 0;
    return pb::encode(image);
  }();
  for (unsigned i = 0; i < count; ++i) writeFile(frames() + "/f" + std::to_string(i) + ".png", frame);

  const std::string expected = kBanner + countLine(int(count)) + numbersWarning("f10.png", "f2.png") +
                               scanLines(count) + report(1, 1, 1, 1, 16, 16) + loopLines(count) + kDone;
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer keeps 256 MB of freed memory in quarantine by default,
  // which would hide a real growth; 8 MB keeps it out of the way.
  const char* const before = std::getenv("ASAN_OPTIONS");
  const std::string saved = before != nullptr ? before : "";
  setenv("ASAN_OPTIONS", (saved + ":quarantine_size_mb=8").c_str(), 1);
  const RunResult run = runToolToClosingPause({"-i", frames()});
  setenv("ASAN_OPTIONS", saved.c_str(), 1);
#else
  const RunResult run = runToolToClosingPause({"-i", frames()});
#endif
  EXPECT_RUN(run, 0, expected);

  std::vector<std::string> names;
  for (unsigned i = 1; i <= count; ++i) {
    std::string number = std::to_string(i);
    names.push_back("out_" + std::string(number.size() < 5 ? 5 - number.size() : 0, '0') + number + ".png");
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(folderNames(output()), names);

  // One frame at a time is held: the peak stays near what a run over two
  // frames needs (9 MB, 15 MB with the sanitizer), whatever the number of
  // frames.
  EXPECT_GT(run.peakRssKb, 0);
  EXPECT_LT(run.peakRssKb, 64 * 1024) << "peak RSS in KB";
}

// Colour types and bit depths as a frame's only form. Frames whose alpha is a
// channel of 8 bits (RGBA, grey-alpha, interlaced or not) are cropped; frames
// without any transparency stop the scan.
TEST_F(HostileFolder, EveryColourTypeEitherCropsOrStopsOnMissingAlpha) {
  struct Kind {
    pb::Colour colour;
    int depth;
    bool interlaced;
    bool crops;
  };
  const std::vector<Kind> kinds = {
      {pb::kRgba, 8, false, true},      {pb::kRgba, 8, true, true},       {pb::kGreyAlpha, 8, false, true},
      {pb::kGreyAlpha, 8, true, true},  {pb::kRgb, 8, false, false},      {pb::kRgb, 16, true, false},
      {pb::kGrey, 1, false, false},     {pb::kGrey, 2, true, false},      {pb::kGrey, 4, false, false},
      {pb::kGrey, 8, true, false},      {pb::kGrey, 16, false, false},    {pb::kPalette, 1, false, false},
      {pb::kPalette, 2, false, false},  {pb::kPalette, 4, true, false},   {pb::kPalette, 8, false, false},
  };
  for (const Kind& kind : kinds) {
    SCOPED_TRACE("colour type " + std::to_string(kind.colour) + ", " + std::to_string(kind.depth) + " bits" +
                 (kind.interlaced ? ", interlaced" : ""));
    ScopedTempDir run;
    writeFile(run.file("x.png"), pb::encode(blockFrame(kind.colour, kind.depth, kind.interlaced, false)));
    const RunResult result = runTool({"-i", run.path()});
    if (!kind.crops) {
      EXPECT_RUN(result, 1, scanStopsOn(alphaStop("x.png")));
      EXPECT_EQ(folderNames(run.file("autocropped")), std::vector<std::string>{});
      continue;
    }
    EXPECT_RUN(result, 0, blockCropped());
    FIBITMAP* out = FreeImage_Load(FIF_PNG, run.file("autocropped/out_00001.png").c_str(), PNG_DEFAULT);
    if (out == nullptr) {
      ADD_FAILURE() << "out_00001.png does not load";
      continue;
    }
    if (FreeImage_GetBPP(out) != 32) {
      ADD_FAILURE() << "out_00001.png has " << FreeImage_GetBPP(out) << " bits per pixel";
      FreeImage_Unload(out);
      continue;
    }
    const Rgba inside = pixelAt(out, 4, 3);
    const Rgba beside = pixelAt(out, 5, 0);
    const Rgba below = pixelAt(out, 0, 15);
    EXPECT_EQ(inside.a, 255);
    EXPECT_NE(inside.r + inside.g + inside.b, 0);
    EXPECT_EQ(beside.a, 0);
    EXPECT_EQ(below.r + below.g + below.b, 0);
    EXPECT_EQ(below.a, 255);
    FreeImage_Unload(out);
  }
}

// With -forcecrop no scan stands in the way of a 16-bit frame. The canvas
// beyond it is filled with opaque black in the frame's own pixel layout (a
// four-byte colour was once read as eight for 16-bit RGBA).
TEST_F(HostileFolder, ForcedCropFillsBeyondSixteenBitFramesWithOpaqueBlack) {
  struct Kind {
    pb::Colour colour;
    int depth;
  };
  for (const Kind& kind : std::vector<Kind>{{pb::kRgba, 16}, {pb::kRgb, 16}, {pb::kGreyAlpha, 16}, {pb::kRgba, 8}}) {
    SCOPED_TRACE("colour type " + std::to_string(kind.colour) + ", " + std::to_string(kind.depth) + " bits");
    ScopedTempDir run;
    writeFile(run.file("x.png"), pb::encode(blockFrame(kind.colour, kind.depth, false, false)));
    EXPECT_RUN(runTool({"-i", run.path(), "-forcecrop", "0,-2,30,30"}), 0,
               kBanner + countLine(1) + customRect("0,-2,30,30") + report(0, -2, 30, 32, 32, 32) + loopLines(1) +
                   kDone);
    FIBITMAP* out = FreeImage_Load(FIF_PNG, run.file("autocropped/out_00001.png").c_str(), PNG_DEFAULT);
    FIBITMAP* rgba = out != nullptr ? FreeImage_ConvertTo32Bits(out) : nullptr;
    FreeImage_Unload(out);
    if (rgba == nullptr) {
      ADD_FAILURE() << "out_00001.png does not load as RGBA";
      continue;
    }
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{0, 0}, {9, 1}, {1, 14}, {31, 31}, {22, 5}}) {
      const Rgba p = pixelAt(rgba, x, y);
      EXPECT_EQ(p.r + p.g + p.b, 0) << "at " << x << ", " << y;
      EXPECT_EQ(p.a, 255) << "at " << x << ", " << y;
    }
    const Rgba inside = pixelAt(rgba, 5, 5);
    EXPECT_EQ(inside.a, 255);
    EXPECT_NE(inside.r + inside.g + inside.b, 0);
    FreeImage_Unload(rgba);
  }
}

// Transparency that is not an 8-bit channel: a tRNS chunk on palette and grey
// frames, and 16-bit alpha, some of them interlaced: all are cropped.
TEST_F(HostileFolder, TransparencyOtherThanAnEightBitChannelCrops) {
  struct Kind {
    pb::Colour colour;
    int depth;
    bool interlaced;
  };
  const std::vector<Kind> kinds = {
      {pb::kPalette, 1, false}, {pb::kPalette, 2, true},   {pb::kPalette, 4, false}, {pb::kPalette, 8, true},
      {pb::kGrey, 1, false},    {pb::kGrey, 2, false},     {pb::kGrey, 4, true},     {pb::kGrey, 8, false},
      {pb::kGrey, 16, true},    {pb::kRgba, 16, false},    {pb::kRgba, 16, true},    {pb::kGreyAlpha, 16, false},
      {pb::kGreyAlpha, 16, true},
  };
  for (const Kind& kind : kinds) {
    SCOPED_TRACE("colour type " + std::to_string(kind.colour) + ", " + std::to_string(kind.depth) + " bits" +
                 (kind.interlaced ? ", interlaced" : ""));
    ScopedTempDir run;
    writeFile(run.file("x.png"), pb::encode(blockFrame(kind.colour, kind.depth, kind.interlaced, true)));
    EXPECT_RUN(runTool({"-i", run.path()}), 0, blockCropped());
    FIBITMAP* out = FreeImage_Load(FIF_PNG, run.file("autocropped/out_00001.png").c_str(), PNG_DEFAULT);
    if (out == nullptr) {
      ADD_FAILURE() << "out_00001.png does not load";
      continue;
    }
    EXPECT_EQ(FreeImage_GetWidth(out), 16u);
    EXPECT_EQ(FreeImage_GetHeight(out), 16u);
    FreeImage_Unload(out);
  }
}

}  // namespace
