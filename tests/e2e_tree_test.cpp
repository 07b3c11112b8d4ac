// The built tool end to end over folder trees (-tree, -split): which folders
// and stems are animations, where their frames go and how an animation's
// folder is replaced, one animation failing among good ones, a run killed in
// the middle, threads, -incremental, and frames of different sizes.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

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

namespace {

using Strings = std::vector<std::string>;
using Snapshot = std::map<std::string, std::string>;
using Json = nlohmann::json;
using velmora::CropRect;

// The bytes of the files of a snapshot, folders and links left out.
uint64_t bytesOf(const Snapshot& files) {
  uint64_t total = 0;
  for (const auto& [path, bytes] : files) {
    if (bytes != "/" && bytes.rfind("-> ", 0) != 0) total += bytes.size();
  }
  return total;
}

// Only the entries of a snapshot whose path begins with prefix.
Snapshot below(const Snapshot& files, const std::string& prefix) {
  Snapshot found;
  for (const auto& entry : files) {
    if (entry.first.rfind(prefix, 0) == 0) found.insert(entry);
  }
  return found;
}

// A source tree of four animations by folder and stem, beside an
// autocropped folder and a linked folder that are not animations:
//   idle.png                    => idle/
//   walk_1.png .. walk_3.png    => walk/
//   units/knight-1.png, -2      => units/knight/
//   units/knight/ne-1.png, -2   => units/knight/ne/ (inside the one above)
struct GameTree {
  explicit GameTree(const std::string& root) : src(root + "/src"), out(root + "/out") {
    makeFolder(src);
    makeFolder(out);
    for (const char* folder : {"/units", "/units/knight", "/autocropped"}) makeFolder(src + folder);
    const std::map<std::string, Pattern> walk = threeWalkFrames();
    writePattern(src + "/walk_1.png", walk.at("walk_c.png"));
    writePattern(src + "/walk_2.png", walk.at("walk_a.png"));
    writePattern(src + "/walk_3.png", walk.at("walk_b.png"));
    writePattern(src + "/idle.png", Pattern{4, 8, 8, 2, 2, 5, 5});
    writePattern(src + "/units/knight-1.png", Pattern{5, 20, 10, 1, 1, 3, 3});
    writePattern(src + "/units/knight-2.png", Pattern{6, 20, 10, 15, 6, 17, 8});
    writePattern(src + "/units/knight/ne-1.png", solid(7, 4, 4));
    writePattern(src + "/units/knight/ne-2.png", solid(8, 4, 4));
    writePattern(src + "/autocropped/x.png", solid(9, 4, 4));
    writePattern(linked.file("e.png"), solid(10, 4, 4));
    makeLink(linked.path(), src + "/linked");
  }

  std::string src, out;
  ScopedTempDir linked;
};

const Strings kGameLayout = {"autocropped",
                             "autocropped/idle",
                             "autocropped/idle/out_00001.png",
                             "autocropped/units",
                             "autocropped/units/knight",
                             "autocropped/units/knight/ne",
                             "autocropped/units/knight/ne/out_00001.png",
                             "autocropped/units/knight/ne/out_00002.png",
                             "autocropped/units/knight/out_00001.png",
                             "autocropped/units/knight/out_00002.png",
                             "autocropped/walk",
                             "autocropped/walk/out_00001.png",
                             "autocropped/walk/out_00002.png",
                             "autocropped/walk/out_00003.png"};

}  // namespace

TEST(ToolTree, EveryFolderAndStemIsAnAnimationAndItsFolderIsReplacedWhole) {
  ScopedTempDir dir;
  GameTree game(dir.path());
  const Strings args = {"-i", game.src, "-o", game.out, "-tree", "-split", "stem"};
  const uint64_t in = bytesOf(treeSnapshot(game.src)) - readFile(game.src + "/autocropped/x.png").size();

  const RunResult first = runTool(args);
  const Snapshot written = treeSnapshot(game.out);
  EXPECT_RUN(first, 0,
             kBanner + animationsLine(4, 8) + usingOutput(game.out) + animationSteps({1, 3, 2, 2}) +
                 croppedLine(4, 8, in, bytesOf(written)) + kDone);
  EXPECT_EQ(pathsOf(written), kGameLayout);
  const std::map<std::string, Pattern> walk = threeWalkFrames();
  expectCroppedFrame(game.out + "/autocropped/walk/out_00003.png", walk.at("walk_b.png"), 3, 2, 16, 16);
  expectCroppedFrame(game.out + "/autocropped/units/knight/out_00002.png", Pattern{6, 20, 10, 15, 6, 17, 8}, 1, 1,
                     32, 16);

  // A shorter animation, a file of the user's in an animation's folder, and a
  // link planted where another animation's folder goes.
  ASSERT_EQ(unlink((game.src + "/walk_3.png").c_str()), 0);
  writeFile(game.out + "/autocropped/units/knight/notes.txt", "mine");
  ScopedTempDir victim;
  writeFile(victim.file("keep.txt"), "not yours");
  testing_support::removeTree(game.out + "/autocropped/idle");
  makeLink(victim.path(), game.out + "/autocropped/idle");
  // What a run stopped between the two renames of a replacement leaves
  // beside a folder, where a system cannot exchange two names.
  makeFolder(game.out + "/autocropped/walk.velmoraReelCut-old");
  writeFile(game.out + "/autocropped/walk.velmoraReelCut-old/out_00001.png", "old");

  const RunResult second = runTool(args);
  const Snapshot again = treeSnapshot(game.out);
  Strings layout = kGameLayout;
  layout.erase(std::find(layout.begin(), layout.end(), "autocropped/walk/out_00003.png"));
  layout.push_back("autocropped/units/knight/notes.txt");
  EXPECT_EQ(again.at("autocropped/units/knight/notes.txt"), "mine");
  EXPECT_EQ(below(again, "autocropped/units/knight/ne/"), below(written, "autocropped/units/knight/ne/"));
  EXPECT_EQ(treeSnapshot(victim.path()), (Snapshot{{"keep.txt", "not yours"}}));
  if (testing_support::toolIsWindows()) {
    // Wine moves what a host link points to, so the Windows build leaves a
    // link in the output tree alone, and the animation behind it. Its
    // replacements go through the name beside the folder, which they clear.
    layout.erase(std::find(layout.begin(), layout.end(), "autocropped/idle/out_00001.png"));
    EXPECT_EQ(again.at("autocropped/idle"), "-> " + victim.path());
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.output.find(animationFailed("idle", "its folder could not be put in place (a link to a "
                                                          "folder stands where its folder goes)")),
              std::string::npos)
        << second.output;
  } else {
    EXPECT_EQ(again.at("autocropped/idle/out_00001.png"), written.at("autocropped/idle/out_00001.png"));
    EXPECT_EQ(second.exitCode, 0) << second.output;
    // Linux exchanges the two names at once and never goes through it.
    layout.push_back("autocropped/walk.velmoraReelCut-old");
    layout.push_back("autocropped/walk.velmoraReelCut-old/out_00001.png");
  }
  std::sort(layout.begin(), layout.end());
  EXPECT_EQ(pathsOf(again), layout);
}

TEST(ToolTree, WholeRunStopsAndAnUnreadableFolder) {
  ScopedTempDir dir;
  GameTree game(dir.path());
  struct Row {
    Strings extra;
    std::string ending;
    int code;
  };
  const Row rows[] = {
      {{"-preview", game.src}, "STOP: Preview folder \"" + game.src + "\" is the source folder; its pictures "
                                                                     "would be taken for frames.\n",
       1},
      {{"-forcecrop", "5,5,5,5"},
       customRect("5,5,5,5") + invalidRect(5, 5, 5, 5), 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.extra));
    Strings args = {"-i", game.src, "-o", game.out, "-tree", "-split", "stem"};
    args.insert(args.end(), row.extra.begin(), row.extra.end());
    EXPECT_RUN(runTool(args), row.code, kBanner + animationsLine(4, 8) + usingOutput(game.out) + row.ending);
    EXPECT_FALSE(exists(game.out + "/autocropped/walk"));
  }
#ifndef _WIN32
  if (geteuid() != 0 && !testing_support::toolIsWindows()) {
    // A folder that cannot be read leaves frames out: the run says so and ends with 1.
    ASSERT_EQ(chmod((game.src + "/units").c_str(), 0), 0);
    const RunResult run = runTool({"-i", game.src, "-o", game.out, "-tree", "-split", "stem"});
    chmod((game.src + "/units").c_str(), 0755);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("Warning, folder \"units\" could not be read (Permission denied); its frames are "
                              "left out.\n"),
              std::string::npos)
        << run.output;
  }
#endif
}

TEST(ToolTree, RunKilledInTheMiddleLeavesEachFolderOldOrNew) {
  ScopedTempDir dir;
  const std::string src = dir.file("src"), out = dir.file("out");
  makeFolder(src);
  makeFolder(out);
  // b's frames are far larger than a's and c's.
  for (int k = 1; k <= 2; ++k) {
    writePattern(src + "/a-" + std::to_string(k) + ".png", solid(k, 8, 8));
    writePattern(src + "/c-" + std::to_string(k) + ".png", solid(10 + k, 8, 8));
    ASSERT_TRUE(testing_support::writeRgbaPng(src + "/b-" + std::to_string(k) + ".png", 200, 200, [k](int x, int y) {
      return Rgba{uint8_t(x * 7 + y * 13 + k), uint8_t(x * y + k), uint8_t(y * 3), 200};
    }));
  }
  const Strings args = {"-i", src, "-o", out, "-split", "stem"};
  ASSERT_EQ(runTool(args).exitCode, 0);
  const Snapshot before = treeSnapshot(out);

  // Every frame changes; the run is killed when it writes b's first frame.
  for (int k = 1; k <= 2; ++k) {
    writePattern(src + "/a-" + std::to_string(k) + ".png", solid(20 + k, 8, 8));
    writePattern(src + "/c-" + std::to_string(k) + ".png", solid(30 + k, 8, 8));
  }
  const RunResult killed = runTool(args, "", "", 4096, true);
  EXPECT_EQ(killed.exitCode, 128 + SIGXFSZ);
  const Snapshot during = treeSnapshot(out + "/autocropped");
  Strings layout;
  for (const std::string& path : pathsOf(below(before, "autocropped/"))) layout.push_back(path.substr(12));
  EXPECT_EQ(pathsOf(during), layout);
  EXPECT_NE(during.at("a/out_00001.png"), before.at("autocropped/a/out_00001.png")) << "a is new";
  for (const char* kept : {"b/out_00001.png", "b/out_00002.png", "c/out_00001.png", "c/out_00002.png"}) {
    EXPECT_EQ(during.at(kept), before.at(std::string("autocropped/") + kept)) << kept << " is old";
  }

  // The next run puts every folder right and clears what the killed one left.
  ASSERT_EQ(runTool(args).exitCode, 0);
  EXPECT_EQ(pathsOf(treeSnapshot(out)), pathsOf(before));
}

TEST(ToolTree, FailedAnimationKeepsItsOutputAndThreadsChangeNoByte) {
  ScopedTempDir dir;
  const std::string src = dir.file("src");
  makeFolder(src);
  for (const char* folder : {"/a", "/b", "/c"}) makeFolder(src + folder);
  for (int k = 1; k <= 3; ++k) {
    writePattern(src + "/a/f" + std::to_string(k) + ".png", Pattern{k, 12, 12, k, 1, k + 4, 6});
    writePattern(src + "/b/f" + std::to_string(k) + ".png", solid(10 + k, 6, 6));
    writePattern(src + "/c/f" + std::to_string(k) + ".png", Pattern{20 + k, 9, 30, 2, k, 3, 20});
  }
  // Each pass has an earlier, good run's output, which b's must keep.
  ScopedTempDir outs[2];
  for (const ScopedTempDir& out : outs) ASSERT_EQ(runTool({"-i", src, "-tree", "-o", out.path()}).exitCode, 0);
  const Snapshot good = below(treeSnapshot(outs[0].path() + "/autocropped"), "b/");
  writeFile(src + "/b/f2.png", png_bytes::cutInPixelData(readFile(src + "/b/f2.png")));

  std::string outputs[2], reports[2];
  Snapshot trees[2];
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass == 0 ? "one thread" : "-jobs 3");
    const ScopedTempDir& out = outs[pass];
    makeFolder(out.file("pics"));
    const RunResult run = runTool({"-i", src, "-tree", "-o", out.path(), "-jobs", pass == 0 ? "1" : "3",
                                   "-report", out.file("r.json"), "-preview", out.file("pics")});
    const Snapshot written = treeSnapshot(out.path() + "/autocropped");
    const uint64_t in = bytesOf(treeSnapshot(src + "/a")) + bytesOf(treeSnapshot(src + "/c"));
    const uint64_t bytes = bytesOf(below(written, "a/")) + bytesOf(below(written, "c/"));
    EXPECT_RUN(run, 1,
               kBanner + animationsLine(3, 9) + usingOutput(out.path()) +
                   animationSteps({3, 3, 3}, {{1, animationFailed("b", "frame \"f2.png\" could not be loaded as PNG "
                                                                       "(truncated file)")}}) +
                   croppedLine(2, 6, in, bytes) + "1 animation failed.\n" + kExitPause);
    outputs[pass] = run.output;
    reports[pass] = readFile(out.file("r.json"));
    trees[pass] = written;
    EXPECT_EQ(below(written, "b/"), good) << "b's folder is that of the run before";
    const Json report = Json::parse(reports[pass]);
    EXPECT_EQ(report["split"], nullptr);
    EXPECT_EQ(report["animations"][1],
              (Json{{"folder", "b"},
                    {"stem", nullptr},
                    {"output", out.path() + "/autocropped/b"},
                    {"problem", "frame \"f2.png\" could not be loaded as PNG"},
                    {"reason", "truncated file"}}));
    EXPECT_EQ(report["animations"][2]["area"], (Json{{"x", 2}, {"y", 1}, {"w", 2}, {"h", 20}}));
    EXPECT_EQ(report["animations"][2]["preview"], out.file("pics/c/coverage.png"));
    EXPECT_EQ(pathsOf(treeSnapshot(out.file("pics"))), (Strings{"a", "a/coverage.png", "c", "c/coverage.png"}));
  }
  const auto samePaths = [&](std::string text, const std::string& path) {
    for (size_t at; (at = text.find(path)) != std::string::npos;) text.replace(at, path.size(), "OUT");
    return text;
  };
  EXPECT_EQ(samePaths(outputs[1], outs[1].path()), samePaths(outputs[0], outs[0].path()));
  EXPECT_EQ(samePaths(reports[1], outs[1].path()), samePaths(reports[0], outs[0].path()));
  EXPECT_EQ(trees[1], trees[0]);
}
TEST(ToolTree, IncrementalRunSkipsWhatDidNotChangeAndRedoesWhatDid) {
  ScopedTempDir dir;
  GameTree game(dir.path());
  const Strings args = {"-i", game.src, "-o", game.out, "-tree", "-split", "stem", "-incremental"};
  ASSERT_EQ(runTool(args).exitCode, 0);
  const auto stamps = [&] {
    std::map<std::string, std::string> found;
    for (const auto& entry : treeSnapshot(game.out)) {
      struct stat info;
      lstat((game.out + "/" + entry.first).c_str(), &info);
      found[entry.first] = std::to_string(info.st_ino) + " " + std::to_string(info.st_mtim.tv_nsec) + " " +
                           std::to_string(info.st_mtim.tv_sec);
    }
    return found;
  };
  const auto first = stamps();
  EXPECT_TRUE(exists(game.out + "/autocropped/.velmoraReelCut-manifest.json"));

  EXPECT_RUN(runTool(args), 0,
             kBanner + animationsLine(4, 8) + usingOutput(game.out) + animationSteps({1, 3, 2, 2}) +
                 croppedLine(0, 0, 0, 0) + "4 animations were unchanged and skipped.\n" + kDone);
  EXPECT_EQ(stamps(), first) << "nothing written, the manifest included";

  // One frame's bytes change (its pixels stay): exactly its animation is redone.
  const std::string knight = game.src + "/units/knight-2.png";
  const std::string bytes = readFile(knight);
  writeFile(knight, bytes.substr(0, 33) + png_bytes::chunk("tEXt", std::string("Comment") + '\0' + "v2") +
                        bytes.substr(33));
  const RunResult redone = runTool(args);
  EXPECT_NE(redone.output.find("Cropped 1 animation (2 frames)"), std::string::npos) << redone.output;
  EXPECT_NE(redone.output.find("3 animations were unchanged and skipped.\n"), std::string::npos);
  const auto after = stamps();
  for (const auto& [path, stamp] : first) {
    const bool knightFrame = path == "autocropped/units/knight/out_00001.png" ||
                             path == "autocropped/units/knight/out_00002.png";
    // Folders whose entries moved, and the manifest, which names the new frames.
    const bool moved = path == "autocropped" || path == "autocropped/units" || path == "autocropped/units/knight" ||
                       path == "autocropped/units/knight/ne" || path == "autocropped/.velmoraReelCut-manifest.json";
    if (knightFrame || moved) continue;
    EXPECT_EQ(after.at(path), stamp) << path << " was left alone";
  }
  EXPECT_NE(after.at("autocropped/units/knight/out_00001.png"), first.at("autocropped/units/knight/out_00001.png"));

  // A manifest that does not read as one of this tool's counts as empty: all
  // is cropped again, and the report is whole.
  const std::string manifest = game.out + "/autocropped/.velmoraReelCut-manifest.json";
  const Json good = Json::parse(readFile(manifest));
  Json layoutAsText = good;
  layoutAsText["layout"] = "2";
  Json reportNotJson = good;
  for (auto& entry : reportNotJson["animations"]) entry["report"] = "garbage";
  for (const std::string& damaged : {layoutAsText.dump(), reportNotJson.dump(), good.dump().substr(0, 40)}) {
    writeFile(manifest, damaged);
    Strings reported = args;
    reported.insert(reported.end(), {"-report", dir.path() + "/r.json"});
    const RunResult again = runTool(reported);
    EXPECT_EQ(again.exitCode, 0) << damaged;
    EXPECT_NE(again.output.find("Cropped 4 animations (8 frames)"), std::string::npos) << again.output;
    EXPECT_EQ(Json::parse(readFile(dir.path() + "/r.json"))["animations"].size(), 4u) << damaged;
  }
}

TEST(ToolRun, FramesOfDifferentSizesLieInTheCanvasByTheAnchor) {
  // A 10x10 frame visible at (1, 1)-(2, 2) and a 4x2 frame visible all over:
  // the canvas is 10x10, and the small frame lies where the anchor puts it.
  struct Row {
    const char* anchor;
    int smallX, smallY;  // the 4x2 frame's place in the canvas
    CropRect area;
  };
  const Row rows[] = {{"topleft", 0, 0, {0, 0, 4, 3}},
                      {"center", 3, 4, {1, 1, 7, 6}},
                      {"bottom", 3, 8, {1, 1, 7, 10}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.anchor);
    ScopedTempDir dir;
    const Pattern large{1, 10, 10, 1, 1, 2, 2};
    const Pattern small = solid(2, 4, 2);
    writePattern(dir.file("a.png"), large);
    writePattern(dir.file("b.png"), small);
    const int width = row.area.maxX - row.area.minX, height = row.area.maxY - row.area.minY;
    EXPECT_RUN(runTool({"-i", dir.path(), "-anchor", row.anchor, "-align", "1", "-fill", "transparent",
                        "-report", dir.file("r.json")}),
               0,
               kBanner + countLine(2) + scanLines(2) +
                   report(row.area.minX, row.area.minY, width, height, width, height) + loopLines(2) + kDone);
    // Each output pixel is the frame's where the frame lies, transparent elsewhere.
    const Json got = Json::parse(readFile(dir.file("r.json")));
    EXPECT_EQ(got["anchor"], row.anchor);
    EXPECT_EQ(got["frames"][1]["spriteSourceSize"],
              (Json{{"x", row.area.minX - row.smallX}, {"y", row.area.minY - row.smallY}, {"w", width}, {"h", height}}));
    FIBITMAP* image = FreeImage_Load(FIF_PNG, dir.file("autocropped/out_00002.png").c_str(), PNG_DEFAULT);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(int(FreeImage_GetWidth(image)), width);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const int sx = x + row.area.minX - row.smallX, sy = y + row.area.minY - row.smallY;
        const bool inside = sx >= 0 && sx < 4 && sy >= 0 && sy < 2;
        const Rgba want = inside ? small.at(sx, sy) : Rgba{0, 0, 0, 0};
        EXPECT_TRUE(sameRgba(testing_support::pixelAt(image, x, y), want)) << x << "," << y;
      }
    }
    FreeImage_Unload(image);
  }
}

TEST(ToolSheet, FramesAreCellsOfOnePageWithDuplicatesStoredOnce) {
  ScopedTempDir dir;
  const std::string walk = dir.file("walk");
  makeFolder(walk);
  // a and b are the same frame; the area of all three is (2, 1) to (6, 5).
  const Pattern a{1, 8, 6, 2, 1, 4, 3}, c{2, 8, 6, 3, 2, 5, 4};
  writePattern(walk + "/a.png", a);
  writePattern(walk + "/b.png", a);
  writePattern(walk + "/c.png", c);
  const uint64_t in = bytesOf(treeSnapshot(walk));
  // Two cells of 4 x 4, two columns, two pixels apart and around the page.
  const std::string frame = R"("rotated":false,"trimmed":true,"spriteSourceSize":{"x":2,"y":1,"w":4,"h":4},)"
                            R"("sourceSize":{"w":8,"h":6},"pivot":{"x":0.5,"y":0.5},"anchor":{"x":0.5,"y":0.5}})";
  const std::string expected =
      R"({"frames":{"a.png":{"frame":{"x":2,"y":2,"w":4,"h":4},)" + frame +
      R"(,"b.png":{"frame":{"x":2,"y":2,"w":4,"h":4},)" + frame +
      R"(,"c.png":{"frame":{"x":8,"y":2,"w":4,"h":4},)" + frame +
      R"(},"animations":{"walk":["a.png","b.png","c.png"]},"meta":{"app":"velmoraReelCut","version":"0.1",)"
      R"("image":"sheet.png","format":"RGBA8888","size":{"w":14,"h":8},"scale":"1"}})" + "\n";

  const RunResult run = runTool({"-i", walk, "-sheet", "-report", dir.file("r.json")});
  const Snapshot written = treeSnapshot(walk + "/autocropped");
  EXPECT_RUN(run, 0,
             kBanner + animationsLine(1, 3) + animationSteps({3}) + croppedLine(1, 3, in, bytesOf(written)) +
                 "2 frames stored in 1 sheet page; 1 frame shares a cell.\n" + kDone);
  EXPECT_EQ(pathsOf(written), (Strings{"sheet.json", "sheet.png"}));
  EXPECT_EQ(written.at("sheet.json"), expected);
  FIBITMAP* page = FreeImage_Load(FIF_PNG, (walk + "/autocropped/sheet.png").c_str(), PNG_DEFAULT);
  ASSERT_NE(page, nullptr);
  ASSERT_EQ(FreeImage_GetWidth(page), 14u);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 14; ++x) {
      // Cell a from (2, 2), cell c from (8, 2): the canvas's pixels from (2, 1).
      const bool inA = x >= 2 && x < 6 && y >= 2 && y < 6, inC = x >= 8 && x < 12 && y >= 2 && y < 6;
      const Rgba want = inA ? a.at(x, y - 1) : inC ? c.at(x - 6, y - 1) : Rgba{0, 0, 0, 0};
      const Rgba got = testing_support::pixelAt(page, x, y);
      EXPECT_TRUE(sameRgba(got, want) || (want.a == 0 && got.a == 0)) << x << "," << y << " " << describe(got);
    }
  }
  FreeImage_Unload(page);
  const Json report = Json::parse(readFile(dir.file("r.json")));
  const Json& entry = report["animations"][0];
  EXPECT_EQ(entry["stored"], 2);
  EXPECT_EQ(entry["shared"], 1);
  EXPECT_EQ(entry["frames"][1]["sheet"], "sheet.png");
  EXPECT_EQ(entry["frames"][1]["cell"], (Json{{"x", 2}, {"y", 2}, {"w", 4}, {"h", 4}}));
  EXPECT_EQ(entry["frames"][2]["cell"], (Json{{"x", 8}, {"y", 2}, {"w", 4}, {"h", 4}}));

  // Threads change no byte of a sheet: two folders, sheets made on one
  // thread and on three.
  makeFolder(walk + "/run");
  writePattern(walk + "/run/r1.png", c);
  writePattern(walk + "/run/r2.png", Pattern{3, 8, 6, 0, 0, 7, 5});
  Snapshot sheets[2];
  for (int pass = 0; pass < 2; ++pass) {
    ScopedTempDir out;
    ASSERT_EQ(runTool({"-i", walk, "-o", out.path(), "-tree", "-sheet", "-jobs", pass == 0 ? "1" : "3"}).exitCode, 0);
    sheets[pass] = treeSnapshot(out.path());
  }
  EXPECT_EQ(pathsOf(sheets[0]), (Strings{"autocropped", "autocropped/run", "autocropped/run/sheet.json",
                                         "autocropped/run/sheet.png", "autocropped/sheet.json",
                                         "autocropped/sheet.png"}));
  EXPECT_EQ(sheets[1], sheets[0]);
  testing_support::removeTree(walk + "/run");

  // The pivot is the anchor's point of the canvas, as a fraction of it.
  const std::pair<const char*, Json> pivots[] = {{"topleft", {{"x", 0.5}, {"y", 0.5}}},
                                                 {"center", {{"x", 0.5}, {"y", 0.5}}},
                                                 {"bottom", {{"x", 0.5}, {"y", 1.0}}}};
  for (const auto& [anchor, pivot] : pivots) {
    ASSERT_EQ(runTool({"-i", walk, "-sheet", "-anchor", anchor}).exitCode, 0);
    const Json sheet = Json::parse(readFile(walk + "/autocropped/sheet.json"));
    EXPECT_EQ(sheet["frames"]["c.png"]["pivot"], pivot) << anchor;
    EXPECT_EQ(sheet["frames"]["c.png"]["anchor"], pivot) << anchor;
  }
}
