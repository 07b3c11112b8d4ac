// Pieces of the tool's console output and checks of the frames it writes, for
// the tests that run the built binary. Expected outputs are assembled from
// these named pieces so that a failing comparison points at the piece whose
// bytes differ.
#ifndef VELMORA_E2E_SUPPORT_H
#define VELMORA_E2E_SUPPORT_H

#include <FreeImage.h>
#include <sys/stat.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "test_support.h"

namespace e2e {

using testing_support::folderNames;
using testing_support::kHelp;
using testing_support::kPrompt;
using testing_support::kPromptWarning;
using testing_support::Rgba;
using testing_support::RunResult;

// The whole standard output, the exit code, and nothing on standard error.
#define EXPECT_RUN(run, code, text)        \
  do {                                     \
    const RunResult& run_ = (run);         \
    EXPECT_EQ(run_.output, (text));        \
    EXPECT_EQ(run_.exitCode, (code));      \
    EXPECT_EQ(run_.errors, std::string()); \
  } while (false)

// ---- console output -------------------------------------------------------

inline const std::string kBanner =
    "velmoraReelCut v0.1 (standalone)\n"
    "--------------------------------\n";
inline const std::string kNoSource = "STOP: Source path not defined.\n";
inline const std::string kHint = "Run this program with -? parameter to display help & options.\n\n";
inline const std::string kContinuePause = "\nPress Enter to continue...\n";
inline const std::string kExitPause = "\n" + testing_support::kExitPrompt + "\n";
inline const std::string kDone = "\nAll done!\n" + kExitPause;
inline const std::string kMalformedRect =
    "STOP: Custom crop-rect definition is malformed.\n"
    "You need to pass the crop rect as: left,top,right,bottom (no spaces).\n";
inline const std::string kAutocroppedExists =
    "Warning, directory \"autocropped\" already exists!\n"
    "You might want to clear it before continuing.\n" +
    kContinuePause;
inline const std::string kAreaStop =
    "STOP: The corrected crop-rect holds more than 268435456 pixels; no frame is written.\n" +
    kContinuePause;
inline const std::string kBadJobs =
    "STOP: -jobs takes a whole number of threads, 0 or more (0: one per processor core).\n";
inline const std::string kBadOrder = "STOP: -order takes name or natural.\n";
inline const std::string kNotLoaded = "could not be loaded as PNG";
inline const std::string kNotSaved = "could not be saved";

// A failure's wording with the reason after it, as the console prints it.
inline std::string because(const std::string& failure, const std::string& why) {
  return failure + " (" + why + ")";
}

// The system's words for an error, which differ between the POSIX and the
// Windows build of the tool.
inline std::string systemWords(const std::string& posix, const std::string& windows) {
  return testing_support::toolIsWindows() ? windows : posix;
}

inline std::string countLine(int frames) {
  return "Checking source dir...\r" + std::to_string(frames) + " png files to process.\n\n";
}

inline std::string missingSource(const std::string& path) {
  return "Checking source dir...\rSTOP: Source folder \"" + path +
         "\" does not exist or cannot be read.\n";
}

inline std::string usingOutput(const std::string& typed) {
  return "Using specified output path: " + typed + "\n\n";
}

inline std::string badOutput(const std::string& typed) {
  return "Warning, specified output path \"" + typed +
         "\" appears to be invalid or inaccessible. Using \"autocropped\" subfolder in source "
         "path instead.\n\n";
}

inline std::string notCreated(const std::string& folder) {
  return "STOP: Output folder \"" + folder + "\" could not be created.\n";
}

inline std::string sameFolder(const std::string& folder) {
  return "STOP: Output folder \"" + folder +
         "\" is the source folder; its frames would be overwritten.\n";
}

// The stops of the files a run writes beside its frames: what is "Report" or
// "Preview".
inline std::string fileRejected(const std::string& what, const std::string& typed) {
  return "STOP: " + what + " file \"" + typed +
         "\" cannot be written: it names no file in an existing folder.\n";
}
inline std::string reportRejected(const std::string& typed) { return fileRejected("Report", typed); }
inline std::string previewRejected(const std::string& typed) {
  return fileRejected("Preview", typed);
}

// Without the closing pause, which follows the last of them.
inline std::string fileNotWritten(const std::string& what, const std::string& typed,
                                  const std::string& why) {
  return "\nSTOP: " + what + " file \"" + typed + "\" " + because("could not be written", why) +
         ".\n";
}

// done out of total in single precision, as the progress lines show it.
inline unsigned percent(unsigned done, unsigned total) {
  return static_cast<unsigned>(static_cast<float>(done) / static_cast<float>(total) * 100.0f);
}

inline std::string scanStep(unsigned done, unsigned total) {
  return "\r>> Determining bounds... " + std::to_string(percent(done, total)) + "%";
}

// The per-frame scan lines up to and including the one of frame number
// reached (0-based), as printed before a frame that stops the scan.
inline std::string scanStepsThrough(unsigned reached, unsigned total) {
  std::string text;
  for (unsigned k = 0; k <= reached; ++k) text += scanStep(k, total);
  return text;
}

inline std::string scanLines(unsigned total) {
  return scanStepsThrough(total - 1, total) + "\r>> Determining bounds... 100%\n";
}

inline std::string alphaStop(const std::string& name) {
  return "\nSTOP: alpha is not 8 BPP (" + name + ").\n" + kContinuePause +
         "\nFATAL ERROR: alpha not 8bpp\n";
}

// The STOP of a frame that cannot be loaded, with its pause and fatal error.
inline std::string loadStop(const std::string& name, const std::string& why) {
  return "\nSTOP: Frame \"" + name + "\" " + because(kNotLoaded, why) + ".\n" + kContinuePause +
         "\nFATAL ERROR: frame could not be loaded\n";
}

inline std::string unknownOption(const std::string& argument) {
  return "Warning, unknown option \"" + argument + "\" is ignored.\n";
}

inline std::string numbersWarning(const std::string& before, const std::string& after) {
  return "Warning, frame names hold numbers without leading zeros: \"" + before +
         "\" comes before \"" + after + "\". Give -order natural to number them by value.\n\n";
}

inline std::string customRect(const std::string& text) {
  return ">> Custom crop-rect: " + text + "\n";
}

inline std::string report(int x, int y, int width, int height, int wideWidth, int wideHeight) {
  return "   - Cropped position: " + std::to_string(x) + ", " + std::to_string(y) + "\n" +
         "   - Animation area: " + std::to_string(width) + "x" + std::to_string(height) + "\n" +
         "   - Corrected size: " + std::to_string(wideWidth) + "x" + std::to_string(wideHeight) +
         "\n";
}

inline std::string invalidRect(int minX, int minY, int maxX, int maxY) {
  return "STOP: Crop-rect is mathematically incorrect, please check source frames (and custom "
         "crop rect if specified).\n"
         "Invalid rect: min xy: " +
         std::to_string(minX) + ", " + std::to_string(minY) + " | max xy: " +
         std::to_string(maxX) + ", " + std::to_string(maxY) + "\n" + kContinuePause;
}

inline std::string outName(int number) {
  char text[32];
  std::snprintf(text, sizeof text, "out_%05d.png", number);
  return text;
}

inline std::string loopStep(unsigned done, unsigned total) {
  return "\r>> Cropping and saving new frames to disk... " + std::to_string(percent(done, total)) +
         "%";
}

// The frame loop: its leading blank line, one step per frame with the warning
// of a frame that failed (by 1-based number) right after its step, and the
// 100% step.
inline std::string loopLines(unsigned total, const std::map<unsigned, std::string>& warnings = {}) {
  std::string text = "\n";
  for (unsigned number = 1; number <= total; ++number) {
    text += loopStep(number - 1, total);
    const auto found = warnings.find(number);
    if (found != warnings.end()) text += found->second;
  }
  return text + loopStep(total, total);
}

inline std::string frameWarning(const std::string& name, const std::string& failure,
                                int number) {
  return "\nWarning, frame \"" + name + "\" " + failure + "; \"" + outName(number) +
         "\" was not written.\n";
}

inline std::string failedEnd(int failed, int total) {
  return "\nSTOP: " + std::to_string(failed) + " of " + std::to_string(total) +
         " frames could not be written.\n" + kExitPause;
}

// ---- folders and frames ---------------------------------------------------

// The names of a folder ending in ".png", in the order the tool numbers its
// frames: byte order with a-z read as A-Z, ties in plain byte order.
inline std::vector<std::string> pngNamesInFrameOrder(const std::string& folder) {
  std::vector<std::string> names;
  for (const std::string& name : testing_support::folderNames(folder)) {
    if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".png") == 0) names.push_back(name);
  }
  const auto upper = [](std::string text) {
    for (char& c : text) c = (c >= 'a' && c <= 'z') ? char(c - 32) : c;
    return text;
  };
  std::stable_sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
    return upper(a) < upper(b);
  });
  return names;
}

// A test frame: every pixel has its own colour, tagged by id, and alpha is
// non-zero only inside the visible box (inclusive bounds).
struct Pattern {
  int id;
  int width, height;
  int left, top, right, bottom;

  Rgba at(int x, int y) const {
    const bool visible = x >= left && x <= right && y >= top && y <= bottom;
    return Rgba{uint8_t(10 * x + id), uint8_t(10 * y + 3 * id), uint8_t(40 * id),
                uint8_t(visible ? 100 + id : 0)};
  }
};

// A pattern visible over its whole area.
inline Pattern solid(int id, int width, int height) {
  return Pattern{id, width, height, 0, 0, width - 1, height - 1};
}

inline void writePattern(const std::string& path, const Pattern& p) {
  ASSERT_TRUE(testing_support::writeRgbaPng(path, p.width, p.height,
                                            [&](int x, int y) { return p.at(x, y); }))
      << path;
}

inline bool sameRgba(const Rgba& a, const Rgba& b) {
  return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

inline std::string describe(const Rgba& p) {
  return "(" + std::to_string(p.r) + "," + std::to_string(p.g) + "," + std::to_string(p.b) + "," +
         std::to_string(p.a) + ")";
}

// The written frame at path is width x height and its pixel (x, y) is the
// source's pixel (x + minX, y + minY) inside the source, opaque black outside.
inline void expectCroppedFrame(const std::string& path, const Pattern& source, int minX, int minY,
                               int width, int height) {
  SCOPED_TRACE(path);
  FIBITMAP* image = FreeImage_Load(FIF_PNG, path.c_str(), PNG_DEFAULT);
  ASSERT_NE(image, nullptr);
  if (FreeImage_GetBPP(image) == 24) {
    // The PNG writer drops the alpha channel of an image that is opaque
    // everywhere; read back, every such pixel has alpha 255.
    FIBITMAP* full = FreeImage_ConvertTo32Bits(image);
    FreeImage_Unload(image);
    image = full;
    ASSERT_NE(image, nullptr);
  }
  EXPECT_EQ(FreeImage_GetBPP(image), 32u);
  EXPECT_EQ(int(FreeImage_GetWidth(image)), width);
  EXPECT_EQ(int(FreeImage_GetHeight(image)), height);
  if (FreeImage_GetBPP(image) == 32 && int(FreeImage_GetWidth(image)) == width &&
      int(FreeImage_GetHeight(image)) == height) {
    int wrong = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const int sx = x + minX, sy = y + minY;
        const bool inside = sx >= 0 && sx < source.width && sy >= 0 && sy < source.height;
        const Rgba want = inside ? source.at(sx, sy) : Rgba{0, 0, 0, 255};
        const Rgba got = testing_support::pixelAt(image, x, y);
        if (!sameRgba(got, want) && ++wrong <= 3) {
          ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << describe(got) << ", want "
                        << describe(want) << (inside ? " from the source" : " (fill)");
        }
      }
    }
    EXPECT_EQ(wrong, 0);
  }
  FreeImage_Unload(image);
}

inline std::vector<std::string> outNames(int count) {
  std::vector<std::string> names;
  for (int i = 1; i <= count; ++i) names.push_back(outName(i));
  return names;
}


inline void makeFolder(const std::string& path) {
  ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << path;
}
inline void makeLink(const std::string& target, const std::string& path) {
  ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0) << path;
}

// Every entry below folder by its path from there: a file's bytes, "/" for a
// folder, "-> target" for a symbolic link (never followed).
inline std::map<std::string, std::string> treeSnapshot(const std::string& folder,
                                                       const std::string& prefix = "") {
  std::map<std::string, std::string> found;
  for (const std::string& name : testing_support::folderNames(folder)) {
    const std::string path = folder + "/" + name;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) continue;
    if (S_ISLNK(info.st_mode)) {
      char target[4096];
      const ssize_t n = readlink(path.c_str(), target, sizeof target);
      found[prefix + name] = "-> " + std::string(target, n > 0 ? size_t(n) : 0);
    } else if (S_ISDIR(info.st_mode)) {
      found[prefix + name] = "/";
      for (auto& entry : treeSnapshot(path, prefix + name + "/")) found.insert(entry);
    } else {
      found[prefix + name] = testing_support::readFile(path);
    }
  }
  return found;
}

// The paths of a snapshot alone.
inline std::vector<std::string> pathsOf(const std::map<std::string, std::string>& snapshot) {
  std::vector<std::string> paths;
  for (const auto& entry : snapshot) paths.push_back(entry.first);
  return paths;
}

// ---- the console of -tree and -split ---------------------------------------

// "1 frame", "2 frames".
inline std::string counted(uint64_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

inline std::string animationsLine(unsigned animations, unsigned frames) {
  return "Checking source dir...\r" + counted(animations, "animation") + " (" +
         counted(frames, "frame") + ") to process.\n\n";
}

// The progress line over animations of the given frame counts, with the line
// of an animation (by its place) right after its step.
inline std::string animationSteps(const std::vector<unsigned>& frames,
                                  const std::map<unsigned, std::string>& lines = {}) {
  unsigned total = 0, done = 0;
  for (unsigned count : frames) total += count;
  std::string text = "\r>> Cropping animations... 0%";
  for (unsigned k = 0; k < frames.size(); ++k) {
    const auto found = lines.find(k);
    if (found != lines.end()) text += found->second;
    done += frames[k];
    text += "\r>> Cropping animations... " + std::to_string(percent(done, total)) + "%";
  }
  return text;
}

inline std::string croppedLine(unsigned animations, unsigned frames, uint64_t in, uint64_t out) {
  return "\nCropped " + counted(animations, "animation") + " (" + counted(frames, "frame") +
         "): " + std::to_string(in) + " bytes in, " + std::to_string(out) + " bytes out.\n";
}

inline std::string animationFailed(const std::string& label, const std::string& why) {
  return "\nWarning, animation \"" + label + "\" was not written: " + why + ".\n";
}

// Three 16x12 frames whose visible boxes together span (3, 2) to (12, 8).
inline std::map<std::string, Pattern> threeWalkFrames() {
  return {{"walk_c.png", Pattern{1, 16, 12, 3, 4, 6, 6}},
          {"walk_a.png", Pattern{2, 16, 12, 8, 2, 12, 5}},
          {"walk_b.png", Pattern{3, 16, 12, 5, 7, 9, 8}}};
}

inline void writeFrames(const std::string& folder, const std::map<std::string, Pattern>& frames) {
  for (const auto& [name, pattern] : frames) writePattern(folder + "/" + name, pattern);
}

}  // namespace e2e

#endif  // VELMORA_E2E_SUPPORT_H
