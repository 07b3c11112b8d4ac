// The built tool end to end where a run would lose data or report failure as
// success: frames that fail in the loop, an output folder that cannot be
// made or is the source folder, rectangles at the limits of 32-bit numbers,
// and absolute paths as option values.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "test_support.h"

using namespace e2e;
using testing_support::exists;
using testing_support::readFile;
using testing_support::runTool;
using testing_support::ScopedTempDir;
using testing_support::writeFile;

namespace {

using Strings = std::vector<std::string>;

// Name and bytes of every entry of a folder that is a file.
std::map<std::string, std::string> snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const std::string& name : namesIn(folder)) {
    struct stat info;
    if (stat((folder + "/" + name).c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      files[name] = readFile(folder + "/" + name);
    }
  }
  return files;
}

// No temporary ".part" file and no empty file stands in the folder.
void expectNoLeftovers(const std::string& folder) {
  for (const std::string& name : namesIn(folder)) {
    EXPECT_FALSE(name.size() >= 5 && name.compare(name.size() - 5, 5, ".part") == 0) << name;
    struct stat info;
    if (stat((folder + "/" + name).c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      EXPECT_GT(info.st_size, 0) << name;
    }
  }
}

}  // namespace

TEST(ToolFaults, FrameThatCannotBeLoadedIsReportedAndItsNumberSkipped) {
  struct Row {
    std::string what;
    std::function<void(const std::string&)> make;
  };
  const std::vector<Row> rows = {
      {"empty file", [](const std::string& p) { writeFile(p, ""); }},
      {"text file", [](const std::string& p) { writeFile(p, "not a picture\n"); }},
      {"sub-folder", [](const std::string& p) { makeFolder(p); }},
  };
  const std::map<std::string, Pattern> frames = threeWalkFrames();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ScopedTempDir dir;
    writeFrames(dir.path(), frames);
    row.make(dir.file("x.png"));
    const Strings listed = pngNamesInFrameOrder(dir.path());
    ASSERT_EQ(listed.size(), 4u);
    const unsigned bad =
        unsigned(std::find(listed.begin(), listed.end(), "x.png") - listed.begin()) + 1;

    const RunResult run = runTool({"-i", dir.path(), "-forcecrop", "0,0,16,16"}, "\n");

    EXPECT_RUN(run, 1,
               kBanner + countLine(4) + customRect("0,0,16,16") + report(0, 0, 16, 16, 16, 16) +
                   loopLines(4, {{bad, frameWarning("x.png", kNotLoaded, int(bad))}}) +
                   failedEnd(1, 4));
    const std::string out = dir.file("autocropped");
    Strings written = outNames(4);
    written.erase(written.begin() + (bad - 1));
    EXPECT_EQ(namesIn(out), written);
    for (unsigned number = 1; number <= 4; ++number) {
      if (number == bad) continue;
      expectCroppedFrame(out + "/" + outName(int(number)), frames.at(listed[number - 1]), 0, 0, 16,
                         16);
    }
    expectNoLeftovers(out);
  }
}

TEST(ToolFaults, FrameThatCannotBeSavedIsReportedAndTheOthersWritten) {
  ScopedTempDir dir;
  const std::map<std::string, Pattern> frames = threeWalkFrames();
  writeFrames(dir.path(), frames);
  // A folder under the second output name cannot be replaced by a file.
  makeFolder(dir.file("autocropped"));
  makeFolder(dir.file("autocropped/out_00002.png"));
  const Strings listed = pngNamesInFrameOrder(dir.path());
  ASSERT_EQ(listed.size(), 3u);

  const RunResult run = runTool({"-i", dir.path()}, "\n\n");

  EXPECT_RUN(run, 1,
             kBanner + countLine(3) + kAutocroppedExists + scanLines(3) +
                 report(3, 2, 10, 7, 16, 16) +
                 loopLines(3, {{2, frameWarning(listed[1], kNotSaved, 2)}}) + failedEnd(1, 3));
  const std::string out = dir.file("autocropped");
  EXPECT_EQ(namesIn(out), outNames(3));
  EXPECT_TRUE(namesIn(out + "/out_00002.png").empty());
  expectCroppedFrame(out + "/out_00001.png", frames.at(listed[0]), 3, 2, 16, 16);
  expectCroppedFrame(out + "/out_00003.png", frames.at(listed[2]), 3, 2, 16, 16);
  expectNoLeftovers(out);
}

TEST(ToolFaults, WritesThatFailAreReportedAndKeepTheEarlierFrames) {
  ScopedTempDir dir;
  // Noise does not compress: every frame is far above the write limit below,
  // the console output far beneath it.
  const auto noise = [](int x, int y) {
    const uint32_t h = uint32_t(x * 73856093) ^ uint32_t(y * 19349663);
    return Rgba{uint8_t(h), uint8_t(h >> 8), uint8_t(h >> 16), uint8_t(1 + (h >> 24) % 255)};
  };
  for (const char* name : {"a.png", "b.png"}) {
    ASSERT_TRUE(testing_support::writeRgbaPng(dir.file(name), 128, 128, noise));
  }
  ASSERT_EQ(runTool({"-i", dir.path()}, "\n").exitCode, 0);
  const std::string out = dir.file("autocropped");
  const auto earlier = snapshot(out);
  ASSERT_EQ(earlier.size(), 2u);

  const RunResult run = runTool({"-i", dir.path()}, "\n\n", "", 16384);

  EXPECT_RUN(run, 1,
             kBanner + countLine(2) + kAutocroppedExists + scanLines(2) +
                 report(0, 0, 128, 128, 128, 128) +
                 loopLines(2, {{1, frameWarning("a.png", kNotSaved, 1)},
                               {2, frameWarning("b.png", kNotSaved, 2)}}) +
                 failedEnd(2, 2));
  EXPECT_EQ(snapshot(out), earlier);
  expectNoLeftovers(out);
}

TEST(ToolFaults, LinksPlantedInTheOutputFolderAreNeverWrittenThrough) {
  ScopedTempDir dir, elsewhere;
  writeFrames(dir.path(), threeWalkFrames());
  const std::string out = dir.file("autocropped");
  makeFolder(out);
  const std::string victim = elsewhere.file("victim.txt");
  writeFile(victim, "not yours");
  for (const char* name : {"out_00001.png", "out_00001.png.part", "out_00002.png.part"}) {
    makeLink(victim, out + "/" + name);
  }

  const RunResult run = runTool({"-i", dir.path()}, "\n\n");

  EXPECT_RUN(run, 0,
             kBanner + countLine(3) + kAutocroppedExists + scanLines(3) +
                 report(3, 2, 10, 7, 16, 16) + loopLines(3) + kDone);
  EXPECT_EQ(readFile(victim), "not yours");
  EXPECT_EQ(namesIn(out), (Strings{"out_00001.png", "out_00001.png.part", "out_00002.png",
                                   "out_00002.png.part", "out_00003.png"}));
  struct stat info;
  ASSERT_EQ(lstat((out + "/out_00001.png").c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
}

TEST(ToolFaults, OutputFolderBlockedByAFileStopsBeforeAnyFrameIsRead) {
  ScopedTempDir dir;
  ScopedTempDir outDir;
  writeFrames(dir.path(), threeWalkFrames());
  writeFile(dir.file("autocropped"), "in the way");
  writeFile(outDir.file("autocropped"), "also in the way");
  struct Row {
    Strings args;
    std::string output;
  };
  const std::vector<Row> rows = {
      {{"-i", dir.path()}, kBanner + countLine(3) + notCreated(dir.file("autocropped"))},
      {{"-i", dir.path(), "-o", outDir.path()},
       kBanner + countLine(3) + usingOutput(outDir.path()) +
           notCreated(outDir.file("autocropped"))},
      {{"-i", dir.path(), "-forcecrop", "0,0,16,16"},
       kBanner + countLine(3) + notCreated(dir.file("autocropped"))},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.args));
    EXPECT_RUN(runTool(row.args, "\n\n"), 1, row.output);
  }
  EXPECT_EQ(readFile(dir.file("autocropped")), "in the way");
  EXPECT_EQ(readFile(outDir.file("autocropped")), "also in the way");
  EXPECT_EQ(namesIn(outDir.path()), Strings{"autocropped"});
}

TEST(ToolFaults, OutputFolderThatIsTheSourceFolderStopsBeforeAnythingIsWritten) {
  ScopedTempDir dir;
  const std::string shots = dir.file("shots");
  const std::string frames = shots + "/autocropped";
  const std::string link = dir.file("link");
  const std::string loop = dir.file("loop");
  makeFolder(shots);
  makeFolder(frames);
  writeFrames(frames, threeWalkFrames());
  makeLink(shots, link);
  // A folder whose "autocropped" entry leads back to the folder itself.
  makeFolder(loop);
  writeFrames(loop, threeWalkFrames());
  makeLink(".", loop + "/autocropped");

  struct Row {
    Strings args;
    std::string output;
  };
  const std::vector<Row> rows = {
      {{"-i", frames, "-o", shots},
       kBanner + countLine(3) + usingOutput(shots) + sameFolder(shots + "/autocropped")},
      {{"-i", frames, "-o", shots + "/"},
       kBanner + countLine(3) + usingOutput(shots + "/") + sameFolder(shots + "/autocropped")},
      {{"-i", link + "/autocropped", "-o", shots},
       kBanner + countLine(3) + usingOutput(shots) + sameFolder(shots + "/autocropped")},
      {{"-i", frames, "-o", link},
       kBanner + countLine(3) + usingOutput(link) + sameFolder(link + "/autocropped")},
      {{"-i", frames + "\\", "-o", link + "\\"},
       kBanner + countLine(3) + usingOutput(link + "\\") + sameFolder(link + "/autocropped")},
      {{"-i", loop, "-forcecrop", "0,0,16,16"},
       kBanner + countLine(3) + sameFolder(loop + "/autocropped")},
  };
  const auto framesBefore = snapshot(frames);
  const auto loopBefore = snapshot(loop);
  ASSERT_EQ(framesBefore.size(), 3u);
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.args));
    EXPECT_RUN(runTool(row.args, "\n\n"), 1, row.output);
    EXPECT_EQ(snapshot(frames), framesBefore);
    EXPECT_EQ(namesIn(frames), (Strings{"walk_a.png", "walk_b.png", "walk_c.png"}));
    EXPECT_EQ(snapshot(loop), loopBefore);
  }
  EXPECT_EQ(namesIn(shots), Strings{"autocropped"});
}

TEST(ToolFaults, ForcedRectTooLargeToAllocateStopsBeforeAnyFrameIsWritten) {
  ScopedTempDir dir;
  writeFrames(dir.path(), threeWalkFrames());
  makeFolder(dir.file("autocropped"));
  struct Row {
    std::string text;
    std::string report;
  };
  const std::vector<Row> rows = {
      {"0,0,40000,40000", report(0, 0, 40000, 40000, 40000, 40000)},
      // 16384 x 16385 is just within the limit until its height is widened.
      {"0,0,16384,16385", report(0, 0, 16384, 16385, 16384, 16400)},
      {" -1000000,-1000000,1000000,1000000",
       report(-1000000, -1000000, 2000000, 2000000, 2000000, 2000000)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_RUN(runTool({"-i", dir.path(), "-forcecrop", row.text}, "\n\n"), 1,
               kBanner + countLine(3) + kAutocroppedExists + customRect(row.text) + row.report +
                   kAreaStop);
  }
  EXPECT_TRUE(namesIn(dir.file("autocropped")).empty());
}

TEST(ToolFaults, AbsolutePathsAreOptionValues) {
  ScopedTempDir dir;
  ScopedTempDir outDir;
  const std::map<std::string, Pattern> frames = {{"f.png", solid(1, 16, 16)}};
  writeFrames(dir.path(), frames);

  // -o before -i, both absolute.
  EXPECT_RUN(runTool({"-o", outDir.path(), "-i", dir.path()}, "\n"), 0,
             kBanner + countLine(1) + usingOutput(outDir.path()) + scanLines(1) +
                 report(0, 0, 16, 16, 16, 16) + loopLines(1) + kDone);
  expectCroppedFrame(outDir.file("autocropped/out_00001.png"), frames.at("f.png"), 0, 0, 16, 16);
  EXPECT_FALSE(exists(dir.file("autocropped")));

  // The slash switches still ask for help, after a path or before one.
  EXPECT_RUN(runTool({"-i", dir.path(), "/?"}, "\n"), 0, kBanner + kHelp);
  EXPECT_RUN(runTool({"/help", "-i", dir.path()}, "\n"), 0, kBanner + kHelp);
  // "/?" cannot be a value, so it leaves "-i" without one; given a value of
  // its own it asks for no help.
  ScopedTempDir cwd;
  EXPECT_RUN(runTool({"-i", "/?", "x"}, "\n", cwd.path()), 1, kBanner + missingSource("noparam"));
}
