// Shared test helpers: a scoped temporary folder, PNG writing through the real
// FreeImage, and running the built tool as a child process.
#ifndef VELMORA_TEST_SUPPORT_H
#define VELMORA_TEST_SUPPORT_H

#include <FreeImage.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/crop_rect.h"
#include "console/options.h"
#include "corvane/hcontainer.h"
#include "corvane/htext.h"

#ifdef _WIN32
#include <direct.h>
// The tests make folders with the POSIX call; Windows has no mode to give.
inline int mkdir(const char* path, int /*mode*/) { return _mkdir(path); }
#endif

namespace testing_support {

// The help as the tool prints it after its banner for -?, from the option
// table itself (the package test compares the packaged tool's with the
// build's; tests/options_test.cpp pins the lines that never change).
inline const std::string kHelp = velmora::helpText();

// A fresh folder under $TMPDIR (or /tmp) made with mkdtemp, removed with all
// its contents when the object goes out of scope. path() is absolute. On
// Windows it is made under the user's temporary folder, with '/' separators.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + relative
  std::string file(const std::string& relative) const;

 private:
  std::string path_;
};

// Makes path the working directory; the previous one is restored on scope exit.
class ScopedWorkingDir {
 public:
  explicit ScopedWorkingDir(const std::string& path);
  ~ScopedWorkingDir();
  ScopedWorkingDir(const ScopedWorkingDir&) = delete;
  ScopedWorkingDir& operator=(const ScopedWorkingDir&) = delete;

 private:
  std::string previous_;
};

struct Rgba {
  uint8_t r, g, b, a;
};

// A 32-bit RGBA image in memory (release it with FreeImage_Unload); pixel(x, y)
// gives each pixel, y counted from the top.
FIBITMAP* makeRgbaImage(int width, int height, const std::function<Rgba(int x, int y)>& pixel);

// Writes a 32-bit RGBA PNG; pixel(x, y) gives each pixel, y counted from the
// top. Returns false when FreeImage could not save it.
bool writeRgbaPng(const std::string& path, int width, int height,
                  const std::function<Rgba(int x, int y)>& pixel);
// A fully transparent RGBA frame with the listed pixels set opaque white.
bool writeRgbaPngWithPixels(const std::string& path, int width, int height,
                            const std::vector<std::pair<int, int>>& opaque);
// A 24-bit RGB PNG, which has no alpha channel.
bool writeRgbPng(const std::string& path, int width, int height);

// Every pixel of PNG bytes as FreeImage decodes them, row by row from the
// top, as 16-bit RGBA samples (an 8-bit value v read as 257 v, alpha 65535
// where there is none): PNGs of different forms and depths that hold the
// same pixels give the same samples. Empty when they cannot be decoded.
std::vector<uint16_t> decodedRgba16(const std::string& png);

// Reads pixel (x, y), y from the top, of a loaded 32-bit image.
Rgba pixelAt(FIBITMAP* image, int x, int y);

// Writes bytes to a file as they are.
void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);
bool exists(const std::string& path);
// The names in a folder, sorted, without "." and "..".
std::vector<std::string> folderNames(const std::string& path);

// "(minX, minY, maxX, maxY)", for assertions that name a rectangle.
std::string str(const velmora::CropRect& rect);

// The texts of a list as standard strings, for assertions that print them.
std::vector<std::string> items(const corvane::hlist<corvane::htext>& list);

// The interactive prompt's question and its warning after a line that names
// no folder, and the closing pause's prompt: the one copy the tests hold.
inline const std::string kPrompt = "Enter the source frames path: ";
inline const std::string kPromptWarning =
    "\n  Warning: path appears to be invalid or inaccessible.\n"
    "  Try again or press CTRL+C to terminate.\n\n";
inline const std::string kExitPrompt = "Press Enter to exit...";

struct RunResult {
  int exitCode = -1;      // the exit status, or 128 + signal when it was killed
  std::string output;     // all of standard output
  std::string errors;     // all of standard error
  long peakRssKb = -1;    // see runToolToClosingPause
};

// Removes path and everything below it, links not followed (POSIX only).
void removeTree(const std::string& path);

// The tool runners below are POSIX only (fork and exec). They run the tool
// named by the environment variable VELMORA_TOOL when it is set, else the one
// of this build.
//
// Runs the built velmoraReelCut with args (argument 0 is added), standard
// input read from stdinText, in workingDir when not empty. With maxFileBytes
// set, no file the tool writes may grow past that many bytes (a write beyond
// fails with EFBIG, as on a full disk; with killAtLimit the tool is killed
// there instead, by SIGXFSZ, as a run stopped in the middle). Every child
// gets kChildSeconds to finish; one that hangs (a pause that waits, say) is
// killed by SIGALRM and shows as exit code 142.
RunResult runTool(const std::vector<std::string>& args, const std::string& stdinText = "",
                  const std::string& workingDir = "", long maxFileBytes = -1,
                  bool killAtLimit = false);
constexpr unsigned kChildSeconds = 120;

// Standard input (file descriptor 0 and the C stream stdin) reads text for the
// lifetime of the object, then what it read before. Code under test that
// pauses with getchar thus never waits on a terminal.
class ScopedStdin {
 public:
  explicit ScopedStdin(const std::string& text);
  ~ScopedStdin();
  ScopedStdin(const ScopedStdin&) = delete;
  ScopedStdin& operator=(const ScopedStdin&) = delete;

 private:
  int saved_;
};

// Runs script with /bin/sh in workingDir, standard input empty; the tool's
// path is $1 there.
RunResult runShell(const std::string& script, const std::string& workingDir);

// Like runTool, but standard input is a terminal (a pseudo-terminal), so the
// tool's closing pause "Press Enter to exit..." waits there; peakRssKb is the
// tool's peak resident set size read while it waits (VmHWM of its own address
// space: the rusage of a forked child would include the test's own memory),
// and then Enter is pressed.
RunResult runToolToClosingPause(const std::vector<std::string>& args);

// True when the tool that runs is a Windows build (VELMORA_TOOL_WINDOWS=1 beside
// VELMORA_TOOL): the few inputs that cannot exist for a Windows program, such
// as a name with a line feed, are then left out.
bool toolIsWindows();

}  // namespace testing_support

#endif  // VELMORA_TEST_SUPPORT_H
