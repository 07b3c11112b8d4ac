// The built tool run end to end on real PNG frames in temporary folders: the
// ordinary road, help and prompt, and every ending of a run.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "png_bytes.h"
#include "test_support.h"

using namespace e2e;
using testing_support::exists;
using testing_support::readFile;
using testing_support::runTool;
using testing_support::ScopedTempDir;
using testing_support::writeFile;
using testing_support::writeRgbPng;

namespace {

using Strings = std::vector<std::string>;

// The output of a completed run on threeWalkFrames with the scan, after the
// banner and count line and whatever comes between them and the scan.
const std::string kWalkScanToEnd =
    scanLines(3) + report(3, 2, 10, 7, 16, 16) + loopLines(3) + kDone;

// Every frame became out_<its number>.png, cropped to the
// 16x16 rectangle at (3, 2), and nothing else is in the folder.
void expectWalkOutput(const std::string& source, const std::string& outFolder) {
  const std::map<std::string, Pattern> frames = threeWalkFrames();
  const Strings listed = pngNamesInFrameOrder(source);
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(folderNames(outFolder), outNames(3));
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE("frame " + listed[i]);
    expectCroppedFrame(outFolder + "/" + outName(i + 1), frames.at(listed[i]), 3, 2, 16, 16);
  }
}

}  // namespace

TEST(ToolRun, ThreeFramesAreScannedCroppedAndNumberedInNameOrder) {
  ScopedTempDir dir;
  writeFrames(dir.path(), threeWalkFrames());

  const RunResult run = runTool({"-i", dir.path()}, "\n");

  const std::string expected =
      "velmoraReelCut v0.1 (standalone)\n"
      "--------------------------------\n"
      "Checking source dir...\r3 png files to process.\n\n"
      "\r>> Determining bounds... 0%"
      "\r>> Determining bounds... 33%"
      "\r>> Determining bounds... 66%"
      "\r>> Determining bounds... 100%\n"
      "   - Cropped position: 3, 2\n"
      "   - Animation area: 10x7\n"
      "   - Corrected size: 16x16\n"
      "\n"
      "\r>> Cropping and saving new frames to disk... 0%"
      "\r>> Cropping and saving new frames to disk... 33%"
      "\r>> Cropping and saving new frames to disk... 66%"
      "\r>> Cropping and saving new frames to disk... 100%"
      "\nAll done!\n"
      "\nPress Enter to exit..."
      "\n";
  EXPECT_RUN(run, 0, expected);
  // The widened rectangle reaches past the right edge (columns 16..18) and
  // the bottom edge (rows 12..17): those pixels are opaque black.
  expectWalkOutput(dir.path(), dir.file("autocropped"));
}

TEST(ToolRun, ShellLoopOverFoldersCropsEveryOne) {
  ScopedTempDir dir;
  const Strings animations = {"idle", "jump", "walk"};
  makeFolder(dir.file("art"));
  makeFolder(dir.file("out"));
  for (const std::string& name : animations) {
    makeFolder(dir.file("art/" + name));
    makeFolder(dir.file("out/" + name));
    writeFrames(dir.file("art/" + name), threeWalkFrames());
  }

  // Every run ends in its closing pause; none of them may read the lines the
  // loop is still to read.
  const RunResult run = testing_support::runShell(
      "ls -d art/*/ | while read d; do \"$1\" -i \"$d\" -o \"out/$(basename \"$d\")\"; done",
      dir.path());

  std::string expected;
  for (const std::string& name : animations) {
    expected += kBanner + countLine(3) + usingOutput("out/" + name) + kWalkScanToEnd;
  }
  EXPECT_RUN(run, 0, expected);
  for (const std::string& name : animations) {
    SCOPED_TRACE(name);
    expectWalkOutput(dir.file("art/" + name), dir.file("out/" + name + "/autocropped"));
  }
}

TEST(ToolRun, FramesAreNumberedInNameOrderWhateverOrderTheyWereMadeIn) {
  ScopedTempDir dir;
  // Made out of order; the folder lists them in yet another (hashed) order.
  const Strings made = {"walk_b.png", "c.png", "walkA.png", "a.png", "walk_A.png", "B.png",
                        "A.png"};
  for (size_t i = 0; i < made.size(); ++i) writePattern(dir.file(made[i]), solid(int(i), 8, 8));

  const RunResult run = runTool({"-i", dir.path()}, "\n");

  EXPECT_RUN(run, 0, kBanner + countLine(7) + scanLines(7) + report(0, 0, 8, 8, 16, 16) +
                         loopLines(7) + kDone);
  const Strings order = {"A.png", "a.png", "B.png", "c.png", "walkA.png", "walk_A.png",
                         "walk_b.png"};
  for (size_t n = 0; n < order.size(); ++n) {
    SCOPED_TRACE(outName(int(n) + 1) + " from " + order[n]);
    const int id = int(std::find(made.begin(), made.end(), order[n]) - made.begin());
    expectCroppedFrame(dir.file("autocropped/" + outName(int(n) + 1)), solid(id, 8, 8), 0, 0, 16,
                       16);
  }
}

TEST(ToolRun, NaturalOrderNumbersFramesWithoutLeadingZerosByTheirNumbers) {
  const Strings made = {"walk_10.png", "walk_2.png", "Walk_11.png", "walk.png",
                        "walk_1.png",  "walk_9.png", "walk_02.png"};
  const Strings byName = {"walk.png",    "walk_02.png", "walk_1.png", "walk_10.png",
                          "Walk_11.png", "walk_2.png",  "walk_9.png"};
  const Strings natural = {"walk.png",   "walk_1.png",  "walk_02.png", "walk_2.png",
                           "walk_9.png", "walk_10.png", "Walk_11.png"};
  struct Row {
    Strings option;
    const char* order;
    const Strings& frames;
    std::string warning;
  };
  // The first pair that natural order swaps, where the frames are numbered by name.
  const std::string swapped = numbersWarning("walk_02.png", "walk_1.png");
  const Row rows[] = {{{}, "name", byName, swapped},
                      {{"-order", "name"}, "name", byName, swapped},
                      {{"-order", "natural"}, "natural", natural, ""}};
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.option));
    ScopedTempDir dir;
    ScopedTempDir reportDir;
    for (size_t i = 0; i < made.size(); ++i) writePattern(dir.file(made[i]), solid(int(i), 8, 8));
    Strings args = {"-i", dir.path(), "-report", reportDir.file("run.json")};
    args.insert(args.end(), row.option.begin(), row.option.end());

    EXPECT_RUN(runTool(args, "\n"), 0,
               kBanner + countLine(7) + row.warning + scanLines(7) + report(0, 0, 8, 8, 16, 16) +
                   loopLines(7) + kDone);
    EXPECT_EQ(folderNames(dir.file("autocropped")), outNames(7));
    const nlohmann::json written = nlohmann::json::parse(readFile(reportDir.file("run.json")));
    EXPECT_EQ(written["order"], row.order);
    for (size_t n = 0; n < row.frames.size(); ++n) {
      SCOPED_TRACE(outName(int(n) + 1) + " from " + row.frames[n]);
      EXPECT_EQ(written["frames"][n]["source"], row.frames[n]);
      const int id = int(std::find(made.begin(), made.end(), row.frames[n]) - made.begin());
      expectCroppedFrame(dir.file("autocropped/" + outName(int(n) + 1)), solid(id, 8, 8), 0, 0,
                         16, 16);
    }
  }
}

TEST(ToolRun, StoredValuesAndColourChunksOfEachFrameAreKept) {
  namespace pb = png_bytes;
  const auto chrm = [](std::vector<uint32_t> values) {
    std::string data;
    for (uint32_t v : values) data += pb::bigEndian32(v);
    return pb::chunk("cHRM", data);
  };
  const std::string linear = pb::chunk("gAMA", pb::bigEndian32(100000));
  const std::string srgb = pb::chunk("sRGB", std::string(1, '\0')) +
                           pb::chunk("gAMA", pb::bigEndian32(45455)) +
                           chrm({31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000});
  const std::string p3 = pb::iccpChunk(pb::linearP3Profile()) +
                         chrm({31270, 32900, 68000, 32000, 26500, 69000, 15000, 6000}) + linear;
  struct Frame {
    const char* name;
    int depth;
    std::string chunks;
    size_t count;
  };
  const Frame frames[] = {{"a.png", 8, linear, 1}, {"b.png", 8, srgb, 3}, {"c.png", 8, p3, 3},
                          {"d.png", 16, linear, 1}};
  // Every pixel is (165, 77, 202, 24) at 8 bits, each sample times 257 at 16.
  ScopedTempDir dir;
  for (const Frame& f : frames) {
    pb::Image image;
    image.width = 4;
    image.height = 2;
    image.depth = f.depth;
    for (int i = 0; i < 8; ++i) {
      for (uint16_t v : {165, 77, 202, 24}) image.samples.push_back(f.depth == 16 ? v * 257 : v);
    }
    std::string png = pb::encode(image);
    writeFile(dir.file(f.name), png.insert(33, f.chunks));
  }

  const RunResult run = runTool({"-i", dir.path()}, "\n");

  EXPECT_RUN(run, 0, kBanner + countLine(4) + scanLines(4) + report(0, 0, 4, 2, 16, 16) +
                         loopLines(4) + kDone);
  for (int n = 0; n < 4; ++n) {
    const Frame& f = frames[n];
    SCOPED_TRACE(f.name);
    const std::string written = readFile(dir.file("autocropped/" + outName(n + 1)));
    EXPECT_EQ(written.substr(33, f.chunks.size()), f.chunks) << "right after IHDR";
    size_t colour = 0;
    for (const pb::Chunk& c : pb::chunksOf(written)) {
      colour += c.type == "gAMA" || c.type == "cHRM" || c.type == "sRGB" || c.type == "iCCP";
    }
    EXPECT_EQ(colour, f.count) << "no colour chunk besides the source's";
    FIMEMORY* memory = FreeImage_OpenMemory(reinterpret_cast<BYTE*>(const_cast<char*>(written.data())),
                                            DWORD(written.size()));
    FIBITMAP* image = FreeImage_LoadFromMemory(FIF_PNG, memory, PNG_IGNOREGAMMA);
    ASSERT_NE(image, nullptr);
    if (f.depth == 8) {
      EXPECT_EQ(describe(testing_support::pixelAt(image, 3, 1)), "(165,77,202,24)");
    } else {
      ASSERT_EQ(FreeImage_GetImageType(image), FIT_RGBA16);
      const FIRGBA16 p = reinterpret_cast<const FIRGBA16*>(FreeImage_GetScanLine(image, 14))[3];
      EXPECT_EQ(std::to_string(p.red) + "," + std::to_string(p.green) + "," +
                    std::to_string(p.blue) + "," + std::to_string(p.alpha),
                "42405,19789,51914,6168");
    }
    FreeImage_Unload(image);
    FreeImage_CloseMemory(memory);
  }
}

TEST(ToolRun, SingleFrameLoopShowsZeroThenHundredPercent) {
  ScopedTempDir dir;
  const Pattern frame{1, 8, 8, 2, 1, 4, 6};
  writePattern(dir.file("only.png"), frame);

  const RunResult run = runTool({"-i", dir.path()}, "\n");

  EXPECT_RUN(run, 0,
             kBanner + countLine(1) +
                 "\r>> Determining bounds... 0%\r>> Determining bounds... 100%\n" +
                 report(2, 1, 3, 6, 16, 16) +
                 "\n\r>> Cropping and saving new frames to disk... 0%"
                 "\r>> Cropping and saving new frames to disk... 100%" +
                 kDone);
  expectCroppedFrame(dir.file("autocropped/out_00001.png"), frame, 2, 1, 16, 16);
}

TEST(ToolRun, HelpSwitchWithoutValuePrintsOnlyTheHelp) {
  ScopedTempDir dir;
  const std::vector<Strings> rows = {
      {"-?"}, {"-help"}, {"--help"}, {"--?"}, {"/?"}, {"/help"},
      {"-?", "-i", dir.path()}, {"-i", dir.path(), "/help"}, {"-i", dir.path(), "-help", ""}};
  for (const Strings& args : rows) {
    SCOPED_TRACE(::testing::PrintToString(args));
    EXPECT_RUN(runTool(args, "\n"), 0, kBanner + kHelp);
  }
  EXPECT_TRUE(folderNames(dir.path()).empty());
}

TEST(ToolRun, WithoutArgumentsTheRunEndsQuietlyWhenInputEnds) {
  EXPECT_RUN(runTool({}, ""), 0, kBanner + kHint + kPrompt);
}

TEST(ToolRun, PromptAsksAgainUntilAFolderIsTypedThenRunsWithThresholdZero) {
  ScopedTempDir dir;
  // Alpha 1 is visible only at threshold 0.
  writeFile(dir.file("keep.txt"), "x");
  ASSERT_TRUE(testing_support::writeRgbaPng(dir.file("f.png"), 10, 10, [](int x, int y) {
    return x == 5 && y == 6 ? Rgba{9, 9, 9, 1} : Rgba{0, 0, 0, 0};
  }));
  const std::string typedWrong = dir.file("missing");
  // A regular file is not a folder either.
  const std::string typedFile = dir.file("keep.txt");

  const RunResult run =
      runTool({}, typedWrong + "\n\n" + typedFile + "\n" + dir.path() + "\n\n");

  EXPECT_RUN(run, 0,
             kBanner + kHint + kPrompt + kPromptWarning + kPrompt + kPrompt + kPromptWarning +
                 kPrompt + countLine(1) + scanLines(1) + report(5, 6, 1, 1, 16, 16) +
                 loopLines(1) + kDone);
  EXPECT_EQ(folderNames(dir.file("autocropped")), outNames(1));
  EXPECT_FALSE(exists(typedWrong));
}

TEST(ToolRun, RunsThatStopBeforeTheFolderIsListed) {
  ScopedTempDir dir;
  ScopedTempDir cwd;  // holds no folder named "noparam"
  const std::string missing = dir.file("no-such-frames");
  struct Row {
    Strings args;
    std::string output;
  };
  const std::vector<Row> rows = {
      {{"stray"}, kBanner + kNoSource},
      {{"-I", dir.path()}, kBanner + unknownOption("-I") + kNoSource},
      // Typos are named, in command-line order, before anything else.
      {{"-optimise", "-reprot", "r.json", "-i", missing, "-reprot"},
       kBanner + unknownOption("-optimise") + unknownOption("-reprot") + unknownOption("-reprot") +
           missingSource(missing)},
      {{"-o", dir.path()}, kBanner + kNoSource},
      {{"-?", "x"}, kBanner + kNoSource},
      {{"/?", "x", "/help", "y"}, kBanner + kNoSource},
      {{dir.path(), "-i"}, kBanner + missingSource("noparam")},
      {{"-i"}, kBanner + missingSource("noparam")},
      {{"-i", ""}, kBanner + missingSource("noparam")},
      {{"-i", missing}, kBanner + missingSource(missing)},
      {{"-i", missing + "\\\\"}, kBanner + missingSource(missing)},
      {{"-i", dir.file("keep.txt")}, kBanner + missingSource(dir.file("keep.txt"))},
      // The root has no parent, so this is not the current folder.
      {{"-i", "/.."}, kBanner + missingSource("/..")},
      {{"-i", "\\x\\..\\.."}, kBanner + missingSource("\\x\\..\\..")},
      {{"-i", dir.path(), "-jobs", "x"}, kBanner + kBadJobs},
      {{"-i", dir.path(), "-jobs", "-3"}, kBanner + unknownOption("-3") + kBadJobs},
      {{"-i", dir.path(), "-jobs"}, kBanner + kBadJobs},
      {{"-i", missing, "-jobs", "2.5"}, kBanner + kBadJobs},
      {{"-i", dir.path(), "-order", "Natural"}, kBanner + kBadOrder},
      {{"-i", dir.path(), "-order"}, kBanner + kBadOrder},
      {{"-i", dir.path(), "-order", "x", "-jobs", "x"}, kBanner + kBadJobs},
      {{"-i", dir.path(), "-split", "name"}, kBanner + "STOP: -split takes stem.\n"},
      {{"-i", dir.path(), "-fill", "white"}, kBanner + "STOP: -fill takes black or transparent.\n"},
      {{"-i", dir.path(), "-anchor", "centre"},
       kBanner + "STOP: -anchor takes topleft, center or bottom.\n"},
      {{"-i", dir.path(), "-align", "0"},
       kBanner + "STOP: -align takes a whole number from 1 to 256.\n"},
      {{"-i", dir.path(), "-incremental"},
       kBanner + "STOP: -incremental works with -tree, -split or -sheet.\n"},
      {{"-i", dir.path(), "-sheet", "-padding", "65"},
       kBanner + "STOP: -padding takes a whole number from 0 to 64.\n"},
      {{"-i", dir.path(), "-sheet", "-sheetmax", "255"},
       kBanner + "STOP: -sheetmax takes a whole number from 256 to 16384.\n"},
      {{"-i", dir.path(), "-padding", "4"},
       kBanner + "STOP: -padding and -sheetmax work with -sheet.\n"},
      {{"-i", dir.path(), "-tree", "-preview", dir.file("keep.txt")},
       kBanner + "STOP: Preview folder \"" + dir.file("keep.txt") +
           "\" cannot be written: it names no existing folder.\n"},
      // The order is checked before the report and the source folder are.
      {{"-i", missing, "-order", "names", "-report", missing + "/run.json"},
       kBanner + kBadOrder},
      // The report is checked before the source folder is.
      {{"-i", missing, "-report", missing + "/run.json"},
       kBanner + reportRejected(missing + "/run.json")},
      {{"-i", dir.path(), "-report"}, kBanner + reportRejected("noparam")},
      {{"-i", dir.path(), "-report", dir.path() + "/"}, kBanner + reportRejected(dir.path() + "/")},
      {{"-i", dir.path(), "-report", dir.path() + "/.."},
       kBanner + reportRejected(dir.path() + "/..")},
      // The picture is checked like the report, after it.
      {{"-i", missing, "-preview", missing + "/p.png"},
       kBanner + previewRejected(missing + "/p.png")},
      {{"-i", dir.path(), "-preview"}, kBanner + previewRejected("noparam")},
      {{"-i", dir.path(), "-preview", dir.path()}, kBanner + previewRejected(dir.path())},
      {{"-i", dir.path(), "-preview", "p.png", "-report", missing + "/r.json"},
       kBanner + reportRejected(missing + "/r.json")},
  };
  writeFile(dir.file("keep.txt"), "x");
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.args));
    EXPECT_RUN(runTool(row.args, "\n", cwd.path()), 1, row.output);
  }
  EXPECT_EQ(folderNames(dir.path()), Strings{"keep.txt"});
  EXPECT_TRUE(folderNames(cwd.path()).empty());
}

TEST(ToolRun, ValuelessSourceOptionReadsTheFolderNamedNoparam) {
  ScopedTempDir cwd;
  makeFolder(cwd.file("noparam"));
  EXPECT_RUN(runTool({"-i"}, "\n", cwd.path()), 0, kBanner + countLine(0) + kDone);
}

TEST(ToolRun, FolderWithoutPngFramesEndsDoneWithoutOutputFolder) {
  ScopedTempDir dir;
  ScopedTempDir outDir;
  const std::string empty = dir.file("empty");
  const std::string others = dir.file("others");
  makeFolder(empty);
  makeFolder(others);
  writePattern(others + "/a.PNG", solid(1, 4, 4));
  writePattern(others + "/b.png.bak", solid(2, 4, 4));
  writePattern(others + "/c.Png", solid(3, 4, 4));
  makeFolder(others + "/sub");
  const std::vector<Strings> rows = {
      {"-i", empty},
      {"-i", others},
      {"-i", others, "-forcecrop", "1,2"},
      // -o is not examined, valid or not.
      {"-i", others, "-o", dir.file("nowhere")},
      {"-i", empty, "-o", outDir.path()},
  };
  for (const Strings& args : rows) {
    SCOPED_TRACE(::testing::PrintToString(args));
    EXPECT_RUN(runTool(args, "\n"), 0, kBanner + countLine(0) + kDone);
  }
  EXPECT_TRUE(folderNames(empty).empty());
  EXPECT_EQ(folderNames(others), (Strings{"a.PNG", "b.png.bak", "c.Png", "sub"}));
  EXPECT_TRUE(folderNames(outDir.path()).empty());
  EXPECT_EQ(folderNames(dir.path()), (Strings{"empty", "others"}));
}

TEST(ToolRun, OnlyNamesEndingInLowerCasePngAreFrames) {
  ScopedTempDir dir;
  const std::map<std::string, Pattern> frames = {{"a.png", solid(1, 16, 16)},
                                                 {".png", solid(2, 16, 16)}};
  writeFrames(dir.path(), frames);
  writePattern(dir.file("b.PNG"), solid(3, 16, 16));
  writePattern(dir.file("c.png.bak"), solid(4, 16, 16));

  const RunResult run = runTool({"-i", dir.path()}, "\n");

  EXPECT_RUN(run, 0,
             kBanner + countLine(2) + scanLines(2) + report(0, 0, 16, 16, 16, 16) +
                 loopLines(2) + kDone);
  const Strings listed = pngNamesInFrameOrder(dir.path());
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(folderNames(dir.file("autocropped")), outNames(2));
  for (int i = 0; i < 2; ++i) {
    expectCroppedFrame(dir.file("autocropped/" + outName(i + 1)), frames.at(listed[i]), 0, 0, 16,
                       16);
  }
}

TEST(ToolRun, FrameWithoutAlphaStopsTheScanWithFatalError) {
  ScopedTempDir dir;
  writeFrames(dir.path(), threeWalkFrames());
  ASSERT_TRUE(writeRgbPng(dir.file("walk_a.png"), 16, 12));
  const Strings listed = pngNamesInFrameOrder(dir.path());
  const unsigned position = unsigned(std::find(listed.begin(), listed.end(), "walk_a.png") -
                                     listed.begin());

  const RunResult run = runTool({"-i", dir.path()}, "\n\n");

  EXPECT_RUN(run, 1,
             kBanner + countLine(3) + scanStepsThrough(position, 3) + alphaStop("walk_a.png"));
  EXPECT_TRUE(folderNames(dir.file("autocropped")).empty());
}

TEST(ToolRun, SubFolderNamedLikeAFrameStopsTheScan) {
  ScopedTempDir dir;
  writeFrames(dir.path(), threeWalkFrames());
  makeFolder(dir.file("x.png"));
  const Strings listed = pngNamesInFrameOrder(dir.path());
  ASSERT_EQ(listed.size(), 4u);
  const unsigned position =
      unsigned(std::find(listed.begin(), listed.end(), "x.png") - listed.begin());

  const RunResult run = runTool({"-i", dir.path()}, "\n\n");

  EXPECT_RUN(run, 1,
             kBanner + countLine(4) + scanStepsThrough(position, 4) +
                 loadStop("x.png", "not a regular file"));
  EXPECT_TRUE(folderNames(dir.file("autocropped")).empty());
}

TEST(ToolRun, FullyTransparentFramesGiveTheInvalidRectStop) {
  ScopedTempDir dir;
  ASSERT_TRUE(testing_support::writeRgbaPngWithPixels(dir.file("a.png"), 8, 8, {}));
  ASSERT_TRUE(testing_support::writeRgbaPngWithPixels(dir.file("b.png"), 12, 6, {}));

  const RunResult run = runTool({"-i", dir.path()}, "\n\n");

  EXPECT_RUN(run, 1, kBanner + countLine(2) + scanLines(2) + invalidRect(-1, -1, 0, 0));
  EXPECT_TRUE(folderNames(dir.file("autocropped")).empty());
}

TEST(ToolRun, MalformedForcedRectStopsWithoutPause) {
  ScopedTempDir dir;
  writeFrames(dir.path(), threeWalkFrames());
  struct Row {
    Strings extra;
    std::string warning = "";
  };
  const std::vector<Row> rows = {
      {{"-forcecrop", "1,2,3"}},
      {{"-forcecrop", "1,2,3,4,5"}},
      {{"-forcecrop"}},
      {{"-forcecrop", ""}},
      // An argument beginning with "-" is an option name, never a value.
      {{"-forcecrop", "-5,0,10,10"}, unknownOption("-5,0,10,10")},
      {{"-forcecrop", "-2147483000,0,2147483000,16"}, unknownOption("-2147483000,0,2147483000,16")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.extra));
    Strings args = {"-i", dir.path()};
    args.insert(args.end(), row.extra.begin(), row.extra.end());
    const bool again = exists(dir.file("autocropped"));
    // A pause would print its prompt even with input at hand.
    EXPECT_RUN(runTool(args, "\n\n"), 1,
               kBanner + row.warning + countLine(3) +
                   (again ? kAutocroppedExists : std::string()) + kMalformedRect);
    EXPECT_TRUE(folderNames(dir.file("autocropped")).empty());
  }
}

TEST(ToolRun, ForcedRectsThatAreNotUsableGiveTheInvalidRectStop) {
  ScopedTempDir dir;
  writeFrames(dir.path(), threeWalkFrames());
  struct Row {
    std::string text;
    int minX, minY, maxX, maxY;
  };
  const std::vector<Row> rows = {
      {",,,", 0, 0, 0, 0},           {"4,4,4,10", 4, 4, 4, 10},   {" -1,0,8,8", -1, 0, 8, 8},
      {"0,-1,8,8", 0, -1, 8, 8},     {"0,0,0,8", 0, 0, 0, 8},     {"5,2,3,9", 5, 2, 3, 9},
      {" -9,-9,-2,-2", -9, -9, -2, -2},
      // Bounds whose width, height or widening leave 32-bit numbers.
      {"0,0,2147483647,16", 0, 0, 2147483647, 16},
      // The blank keeps the text from reading as an option name.
      {" -2147483000,0,2147483000,16", -2147483000, 0, 2147483000, 16},
      {"0,-2147483648,16,2147483647", 0, -2147483647 - 1, 16, 2147483647},
      // Widening width 7 to 16 would move maxX past the largest number.
      {"2147483640,0,2147483647,16", 2147483640, 0, 2147483647, 16},
  };
  makeFolder(dir.file("autocropped"));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_RUN(runTool({"-i", dir.path(), "-forcecrop", row.text}, "\n\n"), 1,
               kBanner + countLine(3) + kAutocroppedExists + customRect(row.text) +
                   invalidRect(row.minX, row.minY, row.maxX, row.maxY));
  }
  EXPECT_TRUE(folderNames(dir.file("autocropped")).empty());
}

TEST(ToolRun, SecondRunWarnsAboutTheOutputFolderAndReplacesOnlyItsFrames) {
  ScopedTempDir dir;
  writeFrames(dir.path(), threeWalkFrames());
  ASSERT_EQ(runTool({"-i", dir.path()}, "\n").exitCode, 0);
  writeFile(dir.file("autocropped/keep.txt"), "earlier");
  writeFile(dir.file("autocropped/out_00002.png"), "stale");

  const RunResult run = runTool({"-i", dir.path()}, "\n\n");

  EXPECT_RUN(run, 0, kBanner + countLine(3) + kAutocroppedExists + kWalkScanToEnd);
  EXPECT_EQ(readFile(dir.file("autocropped/keep.txt")), "earlier");
  // The second run wrote out_00002.png anew over the stale bytes.
  const Strings listed = pngNamesInFrameOrder(dir.path());
  ASSERT_EQ(listed.size(), 3u);
  expectCroppedFrame(dir.file("autocropped/out_00002.png"), threeWalkFrames().at(listed[1]), 3, 2,
                     16, 16);
}

TEST(ToolRun, OutputOptionNamingAFolderIsUsedAsTyped) {
  ScopedTempDir dir;
  ScopedTempDir outDir;
  writeFrames(dir.path(), threeWalkFrames());
  for (const std::string& typed : {outDir.path(), outDir.path() + "\\\\", outDir.path() + "/"}) {
    SCOPED_TRACE(typed);
    const bool again = exists(outDir.file("autocropped"));
    EXPECT_RUN(runTool({"-i", dir.path(), "-o", typed}, "\n\n"), 0,
               kBanner + countLine(3) + usingOutput(typed) +
                   (again ? kAutocroppedExists : std::string()) + kWalkScanToEnd);
    expectWalkOutput(dir.path(), outDir.file("autocropped"));
    EXPECT_EQ(folderNames(outDir.path()), Strings{"autocropped"});
  }
  EXPECT_FALSE(exists(dir.file("autocropped")));
}

TEST(ToolRun, OutputOptionNotNamingAFolderFallsBackToTheSourceFolder) {
  ScopedTempDir dir;
  ScopedTempDir cwd;
  writeFrames(dir.path(), threeWalkFrames());
  writeFile(dir.file("notes.txt"), "x");
  const std::string missing = dir.file("nowhere") + "\\";
  const std::string file = dir.file("notes.txt");
  // The root has no parent: "/.." is no folder, not the current one.
  for (const std::string& typed : {missing, file, std::string("/..")}) {
    SCOPED_TRACE(typed);
    const bool again = exists(dir.file("autocropped"));
    EXPECT_RUN(runTool({"-i", dir.path(), "-o", typed}, "\n\n", cwd.path()), 0,
               kBanner + countLine(3) + badOutput(typed) +
                   (again ? kAutocroppedExists : std::string()) + kWalkScanToEnd);
    expectWalkOutput(dir.path(), dir.file("autocropped"));
  }
  EXPECT_TRUE(folderNames(cwd.path()).empty());
  EXPECT_FALSE(exists(dir.file("nowhere")));
  EXPECT_EQ(readFile(file), "x");
}

TEST(ToolRun, SourcePathLosesItsTrailingBackslashes) {
  for (const char* tail : {"\\", "\\\\\\", "/"}) {
    SCOPED_TRACE(tail);
    ScopedTempDir dir;
    writeFrames(dir.path(), threeWalkFrames());
    EXPECT_RUN(runTool({"-i", dir.path() + tail}, "\n"), 0,
               kBanner + countLine(3) + kWalkScanToEnd);
    expectWalkOutput(dir.path(), dir.file("autocropped"));
  }
}

TEST(ToolRun, ListingLoadsAndSavesUseOneSettledFolderPath) {
  ScopedTempDir dir;
  const std::string walk = dir.file("shots/walk");
  makeFolder(dir.file("shots"));
  makeFolder(walk);
  writeFrames(walk, threeWalkFrames());
  makeFolder(dir.file("deep"));
  makeFolder(dir.file("deep/inner"));
  makeLink(dir.file("deep/inner"), dir.file("link"));

  // A backslash separates, and ".." after a link goes up from the link's own
  // name: both read the way the folder listing reads them.
  const std::string typedSource = dir.path() + "/shots\\walk";
  const std::string typedOutput = dir.path() + "/link/..";
  EXPECT_RUN(runTool({"-i", typedSource, "-o", typedOutput}, "\n"), 0,
             kBanner + countLine(3) + usingOutput(typedOutput) + kWalkScanToEnd);
  expectWalkOutput(walk, dir.file("autocropped"));
  EXPECT_TRUE(folderNames(dir.file("deep")) == Strings{"inner"});
}

TEST(ToolRun, ThresholdKeepsOnlyAlphaAboveItsLowEightBits) {
  // Alpha 40 at (2, 3), 41 at (20, 25) and 255 at (10, 10) in a 32x32 frame.
  const auto frame = [](int x, int y) {
    if (x == 2 && y == 3) return Rgba{1, 2, 3, 40};
    if (x == 20 && y == 25) return Rgba{4, 5, 6, 41};
    if (x == 10 && y == 10) return Rgba{7, 8, 9, 255};
    return Rgba{0, 0, 0, 0};
  };
  const std::string atZero = report(2, 3, 19, 23, 32, 32);
  const std::string atForty = report(10, 10, 11, 16, 16, 16);
  struct Row {
    Strings option;
    std::string report;
    std::string warning = "";
  };
  const std::vector<Row> rows = {
      {{}, atZero},
      {{"-threshold", "40"}, atForty},
      {{"-threshold", "40abc"}, atForty},
      {{"-threshold", "296"}, atForty},
      {{"-threshold", "41"}, report(10, 10, 1, 1, 16, 16)},
      {{"-threshold", "39"}, atZero},
      {{"-threshold", "abc"}, atZero},
      {{"-threshold"}, atZero},
      {{"-threshold", "-40"}, atZero, unknownOption("-40")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.option));
    ScopedTempDir dir;
    ASSERT_TRUE(testing_support::writeRgbaPng(dir.file("f.png"), 32, 32, frame));
    Strings args = {"-i", dir.path()};
    args.insert(args.end(), row.option.begin(), row.option.end());
    EXPECT_RUN(runTool(args, "\n"), 0,
               kBanner + row.warning + countLine(1) + scanLines(1) + row.report + loopLines(1) +
                   kDone);
  }
}

TEST(ToolRun, ForcedRectIsCutFromEveryFrameAndFilledBeyondItsEdges) {
  const std::map<std::string, Pattern> frames = {{"p.png", solid(1, 20, 10)},
                                                 {"q.png", Pattern{2, 20, 10, 0, 0, 0, 0}}};
  struct Row {
    std::string text;
    int minX, minY, width, height, wideWidth, wideHeight;
  };
  const std::vector<Row> rows = {
      // Grows to 32x16 and reaches 24 columns and 10 rows past the frames.
      {"12,4,30,9", 12, 4, 18, 5, 32, 16},
      // A negative top adds three black rows above the frames.
      {"0,-3,16,13", 0, -3, 16, 16, 16, 16},
      // A value cannot begin with "-"; a leading blank lets a negative left
      // edge through.
      {" -2,-5,3,1", -2, -5, 5, 6, 16, 16},
      // Wholly outside the frames: pure fill.
      {"25,12,30,20", 25, 12, 5, 8, 16, 16},
      {"10,5,30px,9", 10, 5, 20, 4, 32, 16},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    ScopedTempDir dir;
    writeFrames(dir.path(), frames);
    EXPECT_RUN(runTool({"-i", dir.path(), "-forcecrop", row.text}, "\n"), 0,
               kBanner + countLine(2) + customRect(row.text) +
                   report(row.minX, row.minY, row.width, row.height, row.wideWidth,
                          row.wideHeight) +
                   loopLines(2) + kDone);
    const Strings listed = pngNamesInFrameOrder(dir.path());
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(folderNames(dir.file("autocropped")), outNames(2));
    for (int i = 0; i < 2; ++i) {
      expectCroppedFrame(dir.file("autocropped/" + outName(i + 1)), frames.at(listed[i]),
                         row.minX, row.minY, row.wideWidth, row.wideHeight);
    }
  }
}

TEST(ToolRun, OptimizedFramesHoldTheDefaultPixelsOnOneAndThreeThreads) {
  namespace pb = png_bytes;
  ScopedTempDir dir;
  // Frames that take different forms: many colours with alpha, two colours,
  // 16-bit samples that are 8-bit values, and grey with alpha and a gamma.
  writePattern(dir.file("a.png"), Pattern{1, 24, 20, 2, 3, 21, 17});
  ASSERT_TRUE(testing_support::writeRgbaPngWithPixels(dir.file("b.png"), 24, 20,
                                                      {{4, 5}, {9, 9}, {12, 14}}));
  pb::Image wide = pb::patterned(24, 20, pb::kRgba, 8, false);
  wide.depth = 16;
  for (uint16_t& sample : wide.samples) sample = uint16_t(sample * 257);
  // c states its resolution, and d does not.
  const std::string stated = pb::chunk("pHYs", pb::bigEndian32(3780) + pb::bigEndian32(3780) + '\1');
  writeFile(dir.file("c.png"), pb::encode(wide).insert(33, stated));
  std::string grey = pb::encode(pb::patterned(24, 20, pb::kGreyAlpha, 8, false));
  writeFile(dir.file("d.png"), grey.insert(33, pb::chunk("gAMA", pb::bigEndian32(100000))));

  struct Run {
    Strings options;
    ScopedTempDir out;
    RunResult result;
  };
  Run runs[4] = {{{}, {}, {}}, {{"-jobs", "3"}, {}, {}}, {{"-optimize"}, {}, {}},
                 {{"-optimize", "-jobs", "3"}, {}, {}}};
  for (Run& run : runs) {
    Strings args = {"-i", dir.path(), "-o", run.out.path()};
    args.insert(args.end(), run.options.begin(), run.options.end());
    run.result = runTool(args, "\n");
    SCOPED_TRACE(::testing::PrintToString(run.options));
    EXPECT_EQ(run.result.exitCode, 0);
    EXPECT_EQ(folderNames(run.out.file("autocropped")), outNames(4));
    std::string console = run.result.output;
    console.replace(console.find(run.out.path()), run.out.path().size(), runs[0].out.path());
    EXPECT_EQ(console, runs[0].result.output);
  }
  size_t defaultBytes = 0, optimizedBytes = 0;
  for (int n = 1; n <= 4; ++n) {
    SCOPED_TRACE(outName(n));
    const auto frame = [&](const Run& run) {
      return readFile(run.out.file("autocropped/" + outName(n)));
    };
    const std::string plain = frame(runs[0]), optimized = frame(runs[2]);
    EXPECT_TRUE(frame(runs[1]) == plain) << "-jobs 3 wrote other bytes";
    EXPECT_TRUE(frame(runs[3]) == optimized) << "-optimize -jobs 3 wrote other bytes";
    EXPECT_LE(optimized.size(), plain.size());
    const std::vector<uint16_t> pixels = testing_support::decodedRgba16(plain);
    EXPECT_EQ(pixels.size(), 32u * 32u * 4u);
    EXPECT_TRUE(testing_support::decodedRgba16(optimized) == pixels) << "decoded pixels differ";
    // The decoder gives a frame that states no resolution 72 dpi, which the
    // default encoding writes and an optimized frame leaves out.
    const auto phys = [](const std::string& png) {
      for (const pb::Chunk& chunk : pb::chunksOf(png)) {
        if (chunk.type == "pHYs") return png.substr(chunk.offset, chunk.length + 12);
      }
      return std::string();
    };
    const std::string invented =
        pb::chunk("pHYs", pb::bigEndian32(2835) + pb::bigEndian32(2835) + '\1');
    const std::string own = phys(readFile(dir.file(std::string(1, char('a' + n - 1)) + ".png")));
    EXPECT_EQ(phys(plain), own.empty() ? invented : own);
    EXPECT_EQ(phys(optimized), own);
    defaultBytes += plain.size();
    optimizedBytes += optimized.size();
  }
  EXPECT_LT(optimizedBytes, defaultBytes);
}
