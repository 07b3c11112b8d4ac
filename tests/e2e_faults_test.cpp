// The built tool end to end where a run would lose data or report failure as
// success: frames that fail in the loop, an output folder that cannot be
// made or is the source folder, rectangles at the limits of 32-bit numbers,
// and absolute paths as option values.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "e2e_support.h"
#include "failing_env.h"
#include "host/host.h"
#include "png_bytes.h"
#include "test_support.h"

using namespace e2e;
using testing_support::contents;
using testing_support::exists;
using testing_support::readFile;
using testing_support::runTool;
using testing_support::ScopedTempDir;
using testing_support::toolIsWindows;
using testing_support::writeFile;

namespace {

using Strings = std::vector<std::string>;

// Name and bytes of every entry of a folder that is a file.
std::map<std::string, std::string> snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const std::string& name : folderNames(folder)) {
    struct stat info;
    if (stat((folder + "/" + name).c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      files[name] = readFile(folder + "/" + name);
    }
  }
  return files;
}

// No temporary ".part" file and no empty file stands in the folder.
void expectNoLeftovers(const std::string& folder) {
  for (const std::string& name : folderNames(folder)) {
    EXPECT_FALSE(name.size() >= 5 && name.compare(name.size() - 5, 5, ".part") == 0) << name;
    struct stat info;
    if (stat((folder + "/" + name).c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      EXPECT_GT(info.st_size, 0) << name;
    }
  }
}

using Json = nlohmann::json;

Json rectJson(int x, int y, int w, int h) { return Json{{"x", x}, {"y", y}, {"w", w}, {"h", h}}; }

// The system's words for a write past the file size limit, and for a file
// renamed onto a folder, as each build of the tool gets them.
const std::string kTooLarge = systemWords("File too large", "General failure.");
const char* const kWineDirectory = "Access denied.";

}  // namespace

TEST(ToolFaults, FrameThatCannotBeLoadedIsReportedAndItsNumberSkipped) {
  struct Row {
    std::string what;
    std::function<void(const std::string&)> make;
    std::string why;
  };
  const std::vector<Row> rows = {
      {"empty file", [](const std::string& p) { writeFile(p, ""); }, "empty file"},
      {"text file", [](const std::string& p) { writeFile(p, "not a picture\n"); }, "not a PNG file"},
      {"sub-folder", [](const std::string& p) { makeFolder(p); }, "not a regular file"},
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
                   loopLines(4, {{bad, frameWarning("x.png", because(kNotLoaded, row.why),
                                                    int(bad))}}) +
                   failedEnd(1, 4));
    const std::string out = dir.file("autocropped");
    Strings written = outNames(4);
    written.erase(written.begin() + (bad - 1));
    EXPECT_EQ(folderNames(out), written);
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
                 loopLines(3, {{2, frameWarning(listed[1],
                                                because(kNotSaved, systemWords("Is a directory",
                                                                               kWineDirectory)),
                                                2)}}) +
                 failedEnd(1, 3));
  const std::string out = dir.file("autocropped");
  EXPECT_EQ(folderNames(out), outNames(3));
  EXPECT_TRUE(folderNames(out + "/out_00002.png").empty());
  expectCroppedFrame(out + "/out_00001.png", frames.at(listed[0]), 3, 2, 16, 16);
  expectCroppedFrame(out + "/out_00003.png", frames.at(listed[2]), 3, 2, 16, 16);
  expectNoLeftovers(out);
}

// A frame of noise, which does not compress: its PNG file holds a little more
// than 4 * size * size bytes. Every pixel is visible.
void writeNoiseFrame(const std::string& path, int size) {
  ASSERT_TRUE(testing_support::writeRgbaPng(path, size, size, [](int x, int y) {
    uint32_t h = uint32_t(x) * 0x9E3779B1u + uint32_t(y) * 0x85EBCA77u;
    h = (h ^ (h >> 15)) * 0x2C1B3C6Du;
    h = (h ^ (h >> 12)) * 0x297A2D39u;
    h ^= h >> 15;
    return Rgba{uint8_t(h), uint8_t(h >> 8), uint8_t(h >> 16), uint8_t(1 + (h >> 24) % 255)};
  }));
}

// A tmpfs of the given size at path, seen by this process and its children
// only, for as long as the object lives. mounted() is false where mounting is
// not allowed (not root, or no mount namespace).
class ScopedSmallDisk {
 public:
  ScopedSmallDisk(const std::string& path, const std::string& size) : path_(path) {
    mounted_ = geteuid() == 0 && unshare(CLONE_NEWNS) == 0 &&
               mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
               mount("tmpfs", path.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
  }
  ~ScopedSmallDisk() {
    if (mounted_) umount(path_.c_str());
  }
  bool mounted() const { return mounted_; }

 private:
  std::string path_;
  bool mounted_ = false;
};

TEST(ToolFaults, FullDiskIsReportedAndKeepsTheEarlierFrame) {
  ScopedTempDir dir, out;
  // Wine opens files through its server, which runs outside the test's mount
  // namespace and so never sees the small disk.
  if (toolIsWindows()) GTEST_SKIP() << "the tmpfs is not seen by Wine's server";
  ScopedSmallDisk disk(out.path(), "250k");
  if (!disk.mounted()) GTEST_SKIP() << "mounting a tmpfs needs root and a mount namespace";
  // Two frames of about 160 KB each: the second does not fit any more.
  writeNoiseFrame(dir.file("a.png"), 200);
  writeNoiseFrame(dir.file("b.png"), 200);
  makeFolder(out.file("autocropped"));
  writeFile(out.file("autocropped/out_00002.png"), "earlier good frame");

  const RunResult run = runTool({"-i", dir.path(), "-o", out.path()}, "\n\n");

  EXPECT_RUN(run, 1,
             kBanner + countLine(2) + usingOutput(out.path()) + kAutocroppedExists +
                 scanLines(2) + report(0, 0, 200, 200, 208, 208) +
                 loopLines(2, {{2, frameWarning("b.png", because(kNotSaved, "No space left on device"),
                                                2)}}) +
                 failedEnd(1, 2));
  EXPECT_EQ(readFile(out.file("autocropped/out_00002.png")), "earlier good frame");
  EXPECT_EQ(folderNames(out.file("autocropped")), (Strings{"out_00001.png", "out_00002.png"}));
  expectNoLeftovers(out.file("autocropped"));
}

TEST(ToolFaults, WritesThatFailAreReportedAndKeepTheEarlierFrames) {
  ScopedTempDir dir;
  // Every frame is far above the write limit below, the console output far
  // beneath it.
  writeNoiseFrame(dir.file("a.png"), 128);
  writeNoiseFrame(dir.file("b.png"), 128);
  ASSERT_EQ(runTool({"-i", dir.path()}, "\n").exitCode, 0);
  const std::string out = dir.file("autocropped");
  const auto earlier = snapshot(out);
  ASSERT_EQ(earlier.size(), 2u);

  ScopedTempDir reportDir;
  const std::string reportFile = reportDir.file("run.json");
  const RunResult run =
      runTool({"-i", dir.path(), "-report", reportFile}, "\n\n", "", 16384);

  EXPECT_RUN(run, 1,
             kBanner + countLine(2) + kAutocroppedExists + scanLines(2) +
                 report(0, 0, 128, 128, 128, 128) +
                 loopLines(2, {{1, frameWarning("a.png", because(kNotSaved, kTooLarge), 1)},
                               {2, frameWarning("b.png", because(kNotSaved, kTooLarge), 2)}}) +
                 failedEnd(2, 2));
  EXPECT_EQ(snapshot(out), earlier);
  expectNoLeftovers(out);
  // The report quotes the system's words for the failed write.
  const Json got = Json::parse(readFile(reportFile));
  for (const Json& frame : got["frames"]) {
    EXPECT_EQ(frame["problem"], kNotSaved);
    EXPECT_EQ(frame["reason"], kTooLarge) << frame.dump();
  }
}

TEST(ToolFaults, ReportNamesEveryFrameAsTheConsoleAndTheFilesShowIt) {
  ScopedTempDir dir, outDir, reportDir;
  const std::map<std::string, Pattern> frames = threeWalkFrames();
  writeFrames(dir.path(), frames);
  writeFile(dir.file("x.png"), "not a picture\n");
  const Strings listed = pngNamesInFrameOrder(dir.path());
  ASSERT_EQ(listed.size(), 4u);
  const unsigned bad =
      unsigned(std::find(listed.begin(), listed.end(), "x.png") - listed.begin()) + 1;
  const std::string reportFile = reportDir.file("run.json");

  // 300 leaves 44 in its low 8 bits.
  const RunResult run = runTool({"-i", dir.path(), "-o", outDir.path(), "-threshold", "300",
                                 "-forcecrop", "1,2,13,9", "-report", reportFile},
                                "\n");

  EXPECT_RUN(run, 1,
             kBanner + countLine(4) + usingOutput(outDir.path()) + customRect("1,2,13,9") +
                 report(1, 2, 12, 7, 16, 16) +
                 loopLines(4, {{bad, frameWarning("x.png", because(kNotLoaded, "not a PNG file"),
                                                  int(bad))}}) +
                 failedEnd(1, 4));
  EXPECT_EQ(folderNames(reportDir.path()), Strings{"run.json"});
  const Json got = Json::parse(readFile(reportFile));
  const Json crop = rectJson(1, 2, 16, 16);
  Json want = {{"source", dir.path()},
               {"output", outDir.file("autocropped")},
               {"threshold", 44},
               {"order", "name"},
               {"forced", true},
               {"optimized", false},
               {"fill", "black"},
               {"anchor", "topleft"},
               {"align", 16},
               {"area", rectJson(1, 2, 12, 7)},
               {"crop", crop},
               {"frames", Json::array()}};
  const std::string out = outDir.file("autocropped");
  for (unsigned number = 1; number <= 4; ++number) {
    const std::string& name = listed[number - 1];
    const bool written = number != bad;
    Json frame = {{"source", name},
                  {"output", outName(int(number))},
                  {"sourceSize", written ? Json{{"w", 16}, {"h", 12}} : Json(nullptr)},
                  {"spriteSourceSize", crop},
                  {"written", written}};
    if (written) {
      expectCroppedFrame(out + "/" + outName(int(number)), frames.at(name), 1, 2, 16, 16);
    } else {
      frame["problem"] = kNotLoaded;
      frame["reason"] = "not a PNG file";
      EXPECT_FALSE(exists(out + "/" + outName(int(number))));
    }
    want["frames"].push_back(frame);
  }
  EXPECT_EQ(got, want) << got.dump(2);
  // A reader meets the keys in the order of the console.
  const nlohmann::ordered_json ordered = nlohmann::ordered_json::parse(readFile(reportFile));
  Strings keys;
  for (const auto& item : ordered.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (Strings{"source", "output", "threshold", "order", "forced", "optimized", "fill",
                           "anchor", "align", "area",
                           "crop", "frames"}));
}

TEST(ToolFaults, ReportThatCannotBeWrittenStopsAfterTheFramesAndKeepsTheEarlierOne) {
  ScopedTempDir dir;
  std::map<std::string, Pattern> frames;
  for (int id = 1; id <= 8; ++id) frames["f" + std::to_string(id) + ".png"] = solid(id, 2, 2);
  writeFrames(dir.path(), frames);
  const std::string reportFile = dir.file("run.json");
  const std::string out = dir.file("autocropped");
  const std::string frameLines = scanLines(8) + report(0, 0, 2, 2, 16, 16) + loopLines(8);

  EXPECT_RUN(runTool({"-i", dir.path(), "-report", reportFile}, "\n"), 0,
             kBanner + countLine(8) + frameLines + kDone);
  const std::string earlier = readFile(reportFile);
  const Json first = Json::parse(earlier);
  EXPECT_EQ(first["forced"], false);
  EXPECT_EQ(first["frames"][7]["written"], true);
  const auto written = snapshot(out);
  ASSERT_EQ(written.size(), 8u);
  // Every frame and the console output fit under the limit, the report does not.
  const long limit = 1700;
  ASSERT_GT(long(earlier.size()), limit);
  for (const auto& [name, bytes] : written) ASSERT_LT(long(bytes.size()), limit) << name;

  EXPECT_RUN(runTool({"-i", dir.path(), "-report", reportFile}, "\n\n", "", limit), 1,
             kBanner + countLine(8) + kAutocroppedExists + frameLines +
                 fileNotWritten("Report", reportFile, kTooLarge) + kExitPause);
  EXPECT_EQ(readFile(reportFile), earlier);
  EXPECT_EQ(snapshot(out), written);
  expectNoLeftovers(dir.path());
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
  EXPECT_EQ(folderNames(out), (Strings{"out_00001.png", "out_00001.png.part", "out_00002.png",
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
  EXPECT_EQ(folderNames(outDir.path()), Strings{"autocropped"});
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
    EXPECT_EQ(folderNames(frames), (Strings{"walk_a.png", "walk_b.png", "walk_c.png"}));
    EXPECT_EQ(snapshot(loop), loopBefore);
  }
  EXPECT_EQ(folderNames(shots), Strings{"autocropped"});
}

TEST(ToolFaults, OutputFolderThatAnotherRunHoldsStopsBeforeAnythingIsWritten) {
  // The Windows tool's lock is Wine's, which a POSIX lock of this process does not meet.
  if (toolIsWindows()) GTEST_SKIP() << "the other run holds a POSIX lock";
  ScopedTempDir dir;
  writeFrames(dir.path(), threeWalkFrames());
  makeFolder(dir.file("autocropped"));
  writeFile(dir.file("autocropped/notes.txt"), "the user's");
  const std::string busy = "STOP: Another run is writing into \"" + dir.file("autocropped") + "\".\n";
  struct Row {
    Strings args;
    std::string output;
  };
  const std::vector<Row> rows = {
      {{"-i", dir.path()}, kBanner + countLine(3) + kAutocroppedExists + busy},
      {{"-i", dir.path(), "-forcecrop", "0,0,16,16"}, kBanner + countLine(3) + kAutocroppedExists + busy},
      {{"-i", dir.path(), "-tree"}, kBanner + animationsLine(1, 3) + busy},
      {{"-i", dir.path(), "-sheet", "-incremental"}, kBanner + animationsLine(1, 3) + busy},
  };
  const auto before = contents(dir.path());
  {
    velmora::host::FolderLock other;
    ASSERT_TRUE(velmora::host::lockFolder(dir.file("autocropped").c_str(), other).ok());
    const auto held = contents(dir.path());
    for (const Row& row : rows) {
      SCOPED_TRACE(::testing::PrintToString(row.args));
      EXPECT_RUN(runTool(row.args, "\n\n"), 1, row.output);
      EXPECT_EQ(contents(dir.path()), held);
    }
  }
  // Let go, the folder takes a run, which leaves no lock behind.
  EXPECT_EQ(contents(dir.path()), before);
  EXPECT_EQ(runTool({"-i", dir.path(), "-tree"}).exitCode, 0);
  EXPECT_FALSE(exists(dir.file("autocropped.velmoraReelCut-lock")));
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
  EXPECT_TRUE(folderNames(dir.file("autocropped")).empty());
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

TEST(ToolFaults, ThreeThreadsPrintAndWriteExactlyWhatOneDoes) {
  ScopedTempDir dir;
  for (int i = 0; i < 9; ++i) {
    writePattern(dir.file("f" + std::to_string(i) + ".png"),
                 Pattern{i, 40, 30, i, 2 * i, 20 + i, 25});
  }
  writeFile(dir.file("f3x.png"), "not a picture");
  writeFile(dir.file("f5x.png"), png_bytes::hugeHeader(100000, 100000));
  ASSERT_TRUE(testing_support::writeRgbPng(dir.file("f7x.png"), 40, 30));
  const std::vector<Strings> runs = {{}, {"-forcecrop", "2,1,38,29"}};
  for (const Strings& extra : runs) {
    SCOPED_TRACE(extra.empty() ? "scan" : "-forcecrop");
    std::map<std::string, std::string> files[2];
    RunResult results[2];
    for (int pass = 0; pass < 2; ++pass) {
      // The same text for the output folder in both runs: "." in a folder of its own.
      ScopedTempDir out;
      Strings args = {"-i", dir.path(), "-o", ".", "-jobs", pass == 0 ? "1" : "3",
                      "-preview", "p.png", "-report", "r.json"};
      args.insert(args.end(), extra.begin(), extra.end());
      results[pass] = runTool(args, "\n\n", out.path());
      files[pass] = snapshot(out.file("autocropped"));
      // The picture and the report of the forced run, whose loop counts the
      // frames on three threads.
      for (const char* name : {"p.png", "r.json"}) {
        if (exists(out.file(name))) files[pass][name] = readFile(out.file(name));
      }
    }
    EXPECT_EQ(results[1].output, results[0].output);
    EXPECT_EQ(results[1].exitCode, results[0].exitCode);
    EXPECT_EQ(results[1].errors, "");
    EXPECT_TRUE(files[1] == files[0]) << files[1].size() << " files against " << files[0].size();
    EXPECT_EQ(files[0].size(), extra.empty() ? 0u : 12u);
  }
}

namespace {

// The coverage picture's pixel (x, y), y from the top, as (r, g, b, 255).
Rgba pictureAt(const std::string& path, int x, int y) {
  FIBITMAP* loaded = FreeImage_Load(FIF_PNG, path.c_str(), PNG_DEFAULT);
  FIBITMAP* image = loaded != nullptr ? FreeImage_ConvertTo32Bits(loaded) : nullptr;
  FreeImage_Unload(loaded);
  if (image == nullptr) return Rgba{1, 2, 3, 4};
  const Rgba pixel = testing_support::pixelAt(image, x, y);
  FreeImage_Unload(image);
  return pixel;
}

struct PictureCheck {
  int x, y;
  Rgba want;
  const char* why;
};

void expectPicture(const std::string& path, unsigned width, unsigned height,
                   const std::vector<PictureCheck>& checks) {
  SCOPED_TRACE(path);
  FIBITMAP* image = FreeImage_Load(FIF_PNG, path.c_str(), PNG_DEFAULT);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(FreeImage_GetWidth(image), width);
  EXPECT_EQ(FreeImage_GetHeight(image), height);
  EXPECT_EQ(FreeImage_GetBPP(image), 24u);
  FreeImage_Unload(image);
  for (const PictureCheck& check : checks) {
    const Rgba got = pictureAt(path, check.x, check.y);
    EXPECT_TRUE(sameRgba(got, check.want))
        << "(" << check.x << ", " << check.y << ") " << check.why << ": " << describe(got)
        << ", want " << describe(check.want);
  }
}

const Rgba kNoFrame = {24, 24, 24, 255};
const Rgba kOneFrame = {255, 0, 255, 255};
const Rgba kEveryFrame = {255, 255, 255, 255};
const Rgba kCutOff = {255, 0, 0, 255};
const Rgba kCropLine = {0, 160, 255, 255};
const Rgba kAreaLine = {0, 255, 0, 255};

// Five 40x30 frames f0..f4: frame k shows x 10+k..20+k, y 8..18 (inclusive);
// f2 also shows one stray pixel at (3, 25).
void writeStrayPixelFrames(const std::string& folder) {
  for (int k = 0; k < 5; ++k) {
    ASSERT_TRUE(testing_support::writeRgbaPng(
        folder + "/f" + std::to_string(k) + ".png", 40, 30, [k](int x, int y) {
          const bool sprite = x >= 10 + k && x <= 20 + k && y >= 8 && y <= 18;
          const bool stray = k == 2 && x == 3 && y == 25;
          return Rgba{uint8_t(x), uint8_t(y), uint8_t(k), uint8_t(sprite || stray ? 200 : 0)};
        }));
  }
}

}  // namespace

TEST(ToolRun, StrayPixelIsNamedInTheReportAndShownInThePictureForAnyJobs) {
  ScopedTempDir dir;
  writeStrayPixelFrames(dir.path());
  std::string bytes[2][2];  // per -jobs: picture, report
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass == 0 ? "one thread" : "-jobs 3");
    // The same texts in both runs: relative paths in a folder of their own.
    ScopedTempDir out;
    const RunResult run = runTool({"-i", dir.path(), "-o", ".", "-jobs", pass == 0 ? "1" : "3",
                                   "-preview", "p.png", "-report", "r.json"},
                                  "\n", out.path());
    EXPECT_RUN(run, 0,
               kBanner + countLine(5) + usingOutput(".") + scanLines(5) +
                   report(3, 8, 22, 18, 32, 32) + loopLines(5) + kDone);
    bytes[pass][0] = readFile(out.file("p.png"));
    bytes[pass][1] = readFile(out.file("r.json"));
    // Canvas: the frames' 40 x 30 and the crop (3, 8)-(35, 40).
    expectPicture(out.file("p.png"), 40, 40,
                  {{14, 12, kEveryFrame, "all five frames"},
                   {10, 12, kOneFrame, "f0 alone"},
                   {11, 12, Rgba{111, 111, 111, 255}, "two of five: 64 + 191 / 4"},
                   {0, 0, kNoFrame, "outside the crop, nothing visible"},
                   {30, 35, kNoFrame, "inside the crop, beyond the frames"},
                   {3, 25, kOneFrame, "the stray pixel: a gap in the area's left edge"},
                   {3, 20, kAreaLine, "the area's left edge, where no frame shows"},
                   {24, 8, kOneFrame, "the area's top right corner, which f4 shows"},
                   {24, 25, kAreaLine, "the area's right edge, where no frame shows"},
                   {34, 20, kCropLine, "the crop's right edge"},
                   {20, 39, kCropLine, "the crop's bottom edge, past the frames"}});
  }
  EXPECT_EQ(bytes[1][0], bytes[0][0]);
  EXPECT_EQ(bytes[1][1], bytes[0][1]);

  const Json got = Json::parse(bytes[0][1]);
  EXPECT_EQ(got["preview"], "p.png");
  const Json edges = {
      {"left", {{"at", 3}, {"count", 1}, {"frames", {"f2.png"}}, {"without", 10}}},
      {"top",
       {{"at", 8},
        {"count", 5},
        {"frames", {"f0.png", "f1.png", "f2.png", "f3.png", "f4.png"}},
        {"without", nullptr}}},
      {"right", {{"at", 25}, {"count", 1}, {"frames", {"f4.png"}}, {"without", 24}}},
      {"bottom", {{"at", 26}, {"count", 1}, {"frames", {"f2.png"}}, {"without", 19}}}};
  EXPECT_EQ(got["edges"], edges);
  for (int k = 0; k < 5; ++k) {
    const Json want = k == 2 ? rectJson(3, 8, 20, 18) : rectJson(10 + k, 8, 11, 11);
    EXPECT_EQ(got["frames"][k]["visible"], want) << "f" << k;
  }
  const nlohmann::ordered_json ordered = nlohmann::ordered_json::parse(bytes[0][1]);
  Strings keys;
  for (const auto& item : ordered.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (Strings{"source", "output", "preview", "threshold", "order", "forced",
                           "optimized", "fill", "anchor", "align", "area",
                           "crop", "edges", "frames"}));
}

TEST(ToolRun, ForcedRectThatCutsVisiblePixelsShowsThemRed) {
  ScopedTempDir dir, out;
  writeStrayPixelFrames(dir.path());
  writeFile(dir.file("x.png"), "not a picture\n");
  const RunResult run = runTool({"-i", dir.path(), "-o", out.path(), "-forcecrop", "5,-2,30,20",
                                 "-preview", out.file("p.png"), "-report", out.file("r.json")},
                                "\n");
  EXPECT_RUN(run, 1,
             kBanner + countLine(6) + usingOutput(out.path()) + customRect("5,-2,30,20") +
                 report(5, -2, 25, 22, 32, 32) +
                 loopLines(6, {{6, frameWarning("x.png", because(kNotLoaded, "not a PNG file"), 6)}}) +
                 failedEnd(1, 6));
  // Canvas from (0, -2): the frames' 40 and the crop's bottom at 30. The
  // frame that could not be read counts nowhere: two of five is still 111.
  const int dy = 2;
  expectPicture(out.file("p.png"), 40, 32,
                {{3, 25 + dy, kCutOff, "the stray pixel, left of the crop"},
                 {10, 12 + dy, kOneFrame, "f0 alone"},
                 {11, 12 + dy, Rgba{111, 111, 111, 255}, "two of five"},
                 {5, 12 + dy, kCropLine, "the crop's left edge"},
                 {36, 12 + dy, kCropLine, "the crop's right edge"},
                 {0, 0, kNoFrame, "above the frames"}});
  const Json got = Json::parse(readFile(out.file("r.json")));
  EXPECT_FALSE(got.contains("edges"));
  EXPECT_FALSE(got["frames"][0].contains("visible"));
}

TEST(ToolRun, CanvasWiderThan4096IsPicturedInBlocks) {
  ScopedTempDir dir, out;
  // Two equal frames: a block that holds several of a frame's pixels counts
  // the frame once, so every visible block shows both frames: white.
  for (const char* name : {"a.png", "b.png"}) {
    ASSERT_TRUE(testing_support::writeRgbaPng(dir.file(name), 4100, 40, [](int x, int y) {
      const bool shown = x >= 100 && x <= 4000 && y >= 10 && y <= 30;
      return Rgba{0, 0, 0, uint8_t(shown ? 255 : 0)};
    }));
  }
  const RunResult run = runTool({"-i", dir.path(), "-o", out.path(), "-preview", "p.png"}, "\n",
                                out.path());
  EXPECT_RUN(run, 0,
             kBanner + countLine(2) + usingOutput(out.path()) + scanLines(2) +
                 report(100, 10, 3901, 21, 3904, 32) + loopLines(2) + kDone);
  // Canvas 4100 x 42 (the crop ends at 4004, 42): blocks of 2 x 2.
  expectPicture(out.file("p.png"), 2050, 21,
                {{51, 10, kEveryFrame, "block (102, 20)"},
                 {1999, 10, kEveryFrame, "block (3998, 20), both frames once each"},
                 {50, 10, kEveryFrame, "the area's left edge, x 100 in block 50, shown"},
                 {2000, 10, kEveryFrame, "the area's right edge, x 4000 in block 2000, shown"},
                 {2001, 10, kCropLine, "the crop's right edge, x 4003 in block 2001"},
                 {2001, 5, kCropLine, "the crop's top edge past the area"},
                 {10, 10, kNoFrame, "left of the frames' pixels"}});

  // A widening to -align 256 takes a canvas of 4081 past 4096: blocks of 2 x 2.
  ScopedTempDir wide, wideOut;
  ASSERT_TRUE(testing_support::writeRgbaPng(wide.file("a.png"), 4081, 4, [](int x, int) {
    return Rgba{0, 0, 0, uint8_t(x >= 10 ? 255 : 0)};
  }));
  const RunResult widened = runTool(
      {"-i", wide.path(), "-o", wideOut.path(), "-align", "256", "-preview", "p.png"}, "\n",
      wideOut.path());
  EXPECT_RUN(widened, 0,
             kBanner + countLine(1) + usingOutput(wideOut.path()) + scanLines(1) +
                 report(10, 0, 4071, 4, 4096, 256) + loopLines(1) + kDone);
  // Canvas 4106 x 256 (the crop ends at 4106, 256).
  expectPicture(wideOut.file("p.png"), 2053, 128,
                {{1000, 1, kOneFrame, "the frame's pixels"},
                 {2052, 1, kCropLine, "the crop's right edge, x 4105 in block 2052"}});
}

TEST(ToolFaults, PictureThatCannotBeWrittenStopsAfterTheFramesAndKeepsTheEarlierOne) {
  ScopedTempDir dir, files;
  // A large canvas and a tiny crop: the frames and the report fit under the
  // limit below, the picture of 2000 x 2000 pixels does not.
  ASSERT_TRUE(testing_support::writeRgbaPngWithPixels(dir.file("a.png"), 2000, 2000, {{5, 5}}));
  const std::string picture = files.file("p.png");
  const std::string reportFile = files.file("r.json");
  writeFile(picture, "earlier picture");
  const RunResult run =
      runTool({"-i", dir.path(), "-preview", picture, "-report", reportFile}, "\n", "", 4096);
  EXPECT_RUN(run, 1,
             kBanner + countLine(1) + scanLines(1) + report(5, 5, 1, 1, 16, 16) + loopLines(1) +
                 fileNotWritten("Preview", picture, kTooLarge) + kExitPause);
  EXPECT_EQ(readFile(picture), "earlier picture");
  const Json got = Json::parse(readFile(reportFile));
  EXPECT_EQ(got["preview"], nullptr);
  EXPECT_EQ(got["frames"][0]["written"], true);
  EXPECT_EQ(folderNames(files.path()), (Strings{"p.png", "r.json"}));
}
