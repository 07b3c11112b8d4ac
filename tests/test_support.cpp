#include "test_support.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <random>
#else
#include <fcntl.h>
#include <limits.h>
#include <stdio_ext.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {

namespace fs = std::filesystem;

#ifdef _WIN32

// Windows: the same helpers over std::filesystem, with every path taken as
// UTF-8 (u8path), as the tool takes it. Running the tool as a child process
// is POSIX only: the end-to-end tests drive the Windows tool from Linux.
namespace {

std::string utf8(const fs::path& path) { return path.generic_u8string(); }

// A new, empty name below folder that no one else has taken: an exclusive
// create decides.
std::string uniqueName(const std::string& folder, const char* stem) {
  static std::mt19937 random{std::random_device{}()};
  return folder + "/" + stem + std::to_string(random());
}

// A temporary file holding text, open for reading at its start, deleted by
// Windows when it is closed.
int textFile(const std::string& text) {
  std::string folder = utf8(fs::temp_directory_path());
  while (!folder.empty() && folder.back() == '/') folder.pop_back();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring name = fs::u8path(uniqueName(folder, "velmora-stdin-")).wstring();
    const int fd = _wopen(name.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_TEMPORARY,
                          _S_IREAD | _S_IWRITE);
    if (fd < 0) continue;
    if (_write(fd, text.data(), unsigned(text.size())) != int(text.size())) {
      throw std::runtime_error("could not write the standard input text");
    }
    _lseek(fd, 0, SEEK_SET);
    return fd;
  }
  throw std::runtime_error("no temporary file could be made");
}

}  // namespace

ScopedTempDir::ScopedTempDir() {
  std::string base = utf8(fs::temp_directory_path());
  while (!base.empty() && base.back() == '/') base.pop_back();
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const std::string candidate = uniqueName(base, "velmora-test-");
    std::error_code error;
    if (fs::create_directory(fs::u8path(candidate), error)) path_ = candidate;
  }
  if (path_.empty()) throw std::runtime_error("no temporary folder could be made");
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code error;
  fs::remove_all(fs::u8path(path_), error);
}

ScopedWorkingDir::ScopedWorkingDir(const std::string& path) {
  previous_ = utf8(fs::current_path());
  std::error_code error;
  fs::current_path(fs::u8path(path), error);
  if (error) throw std::runtime_error("chdir failed: " + path);
}

ScopedWorkingDir::~ScopedWorkingDir() {
  std::error_code error;
  fs::current_path(fs::u8path(previous_), error);
  if (error) std::abort();
}

ScopedStdin::ScopedStdin(const std::string& text) {
  const int fd = textFile(text);
  // The Windows C runtime drops what an input stream has buffered on fflush.
  std::fflush(stdin);
  clearerr(stdin);
  saved_ = _dup(0);
  _dup2(fd, 0);
  _close(fd);
}

ScopedStdin::~ScopedStdin() {
  std::fflush(stdin);
  clearerr(stdin);
  _dup2(saved_, 0);
  _close(saved_);
}

#else

void removeTree(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return;
  if (S_ISDIR(info.st_mode)) {
    // Tests may leave folders without permissions behind.
    chmod(path.c_str(), 0700);
    for (const std::string& name : folderNames(path)) removeTree(path + "/" + name);
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

namespace {

std::string slurp(int fd) {
  std::string out;
  lseek(fd, 0, SEEK_SET);
  char buffer[65536];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) out.append(buffer, size_t(n));
  return out;
}

// The tool to run: $VELMORA_TOOL when set (a wrapper that runs the Windows
// build under Wine, for one), else the tool of this build.
std::string toolPath() {
  const char* chosen = std::getenv("VELMORA_TOOL");
  return chosen != nullptr && *chosen != '\0' ? chosen : VELMORA_BINARY;
}

// The tool's argument vector: the binary, then args, then the closing null.
struct ToolArgv {
  explicit ToolArgv(const std::vector<std::string>& args) : ToolArgv(toolPath(), args) {}
  ToolArgv(const std::string& program, const std::vector<std::string>& args) : texts{program} {
    texts.insert(texts.end(), args.begin(), args.end());
    for (std::string& text : texts) pointers.push_back(&text[0]);
    pointers.push_back(nullptr);
  }
  std::vector<std::string> texts;
  std::vector<char*> pointers;
};

int tempFile(const std::string& folder, const char* stem) {
  std::string pattern = folder + "/" + stem + "XXXXXX";
  int fd = mkstemp(&pattern[0]);
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  unlink(pattern.c_str());
  return fd;
}

}  // namespace

ScopedTempDir::ScopedTempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                        "/velmora-test-XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) throw std::runtime_error("mkdtemp failed");
  char resolved[PATH_MAX];
  path_ = realpath(pattern.c_str(), resolved) != nullptr ? resolved : pattern;
}

ScopedTempDir::~ScopedTempDir() { removeTree(path_); }


ScopedWorkingDir::ScopedWorkingDir(const std::string& path) {
  char current[PATH_MAX];
  if (getcwd(current, sizeof current) == nullptr) throw std::runtime_error("getcwd failed");
  previous_ = current;
  if (chdir(path.c_str()) != 0) throw std::runtime_error("chdir failed: " + path);
}

ScopedWorkingDir::~ScopedWorkingDir() {
  if (chdir(previous_.c_str()) != 0) std::abort();
}

#endif  // _WIN32

std::string ScopedTempDir::file(const std::string& relative) const { return path_ + "/" + relative; }

FIBITMAP* makeRgbaImage(int width, int height, const std::function<Rgba(int, int)>& pixel) {
  FIBITMAP* image = FreeImage_Allocate(width, height, 32);
  if (image == nullptr) return nullptr;
  for (int y = 0; y < height; ++y) {
    BYTE* row = FreeImage_GetScanLine(image, height - 1 - y);
    for (int x = 0; x < width; ++x) {
      const Rgba p = pixel(x, y);
      row[4 * x + FI_RGBA_RED] = p.r;
      row[4 * x + FI_RGBA_GREEN] = p.g;
      row[4 * x + FI_RGBA_BLUE] = p.b;
      row[4 * x + FI_RGBA_ALPHA] = p.a;
    }
  }
  return image;
}

bool writeRgbaPng(const std::string& path, int width, int height,
                  const std::function<Rgba(int, int)>& pixel) {
  FIBITMAP* image = makeRgbaImage(width, height, pixel);
  if (image == nullptr) return false;
  const bool saved = FreeImage_Save(FIF_PNG, image, path.c_str(), PNG_DEFAULT) != 0;
  FreeImage_Unload(image);
  return saved;
}

bool writeRgbaPngWithPixels(const std::string& path, int width, int height,
                            const std::vector<std::pair<int, int>>& opaque) {
  return writeRgbaPng(path, width, height, [&](int x, int y) {
    const bool on = std::find(opaque.begin(), opaque.end(), std::make_pair(x, y)) != opaque.end();
    return on ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 0, 0};
  });
}

bool writeRgbPng(const std::string& path, int width, int height) {
  FIBITMAP* image = FreeImage_Allocate(width, height, 24);
  if (image == nullptr) return false;
  const bool saved = FreeImage_Save(FIF_PNG, image, path.c_str(), PNG_DEFAULT) != 0;
  FreeImage_Unload(image);
  return saved;
}

std::vector<uint16_t> decodedRgba16(const std::string& png) {
  std::vector<uint16_t> samples;
  FIMEMORY* memory =
      FreeImage_OpenMemory(reinterpret_cast<BYTE*>(const_cast<char*>(png.data())), DWORD(png.size()));
  FIBITMAP* image = FreeImage_LoadFromMemory(FIF_PNG, memory, PNG_IGNOREGAMMA);
  FreeImage_CloseMemory(memory);
  if (image == nullptr) return samples;
  const unsigned width = FreeImage_GetWidth(image), height = FreeImage_GetHeight(image);
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(image);
  FIBITMAP* wide = nullptr;
  if (type == FIT_BITMAP) wide = FreeImage_ConvertTo32Bits(image);
  for (unsigned y = 0; y < height; ++y) {
    for (unsigned x = 0; x < width; ++x) {
      if (wide != nullptr) {
        const BYTE* p = FreeImage_GetScanLine(wide, height - 1 - y) + 4 * x;
        for (int c : {FI_RGBA_RED, FI_RGBA_GREEN, FI_RGBA_BLUE, FI_RGBA_ALPHA}) {
          samples.push_back(uint16_t(p[c] * 257));
        }
      } else if (type == FIT_RGBA16) {
        const FIRGBA16 p = reinterpret_cast<const FIRGBA16*>(FreeImage_GetScanLine(image, height - 1 - y))[x];
        samples.insert(samples.end(), {p.red, p.green, p.blue, p.alpha});
      } else if (type == FIT_RGB16) {
        const FIRGB16 p = reinterpret_cast<const FIRGB16*>(FreeImage_GetScanLine(image, height - 1 - y))[x];
        samples.insert(samples.end(), {p.red, p.green, p.blue, 65535});
      } else if (type == FIT_UINT16) {
        const WORD v = reinterpret_cast<const WORD*>(FreeImage_GetScanLine(image, height - 1 - y))[x];
        samples.insert(samples.end(), {v, v, v, 65535});
      }
    }
  }
  FreeImage_Unload(wide);
  FreeImage_Unload(image);
  return samples;
}
Rgba pixelAt(FIBITMAP* image, int x, int y) {

  const int height = int(FreeImage_GetHeight(image));
  const BYTE* p = FreeImage_GetScanLine(image, height - 1 - y) + 4 * x;
  return Rgba{p[FI_RGBA_RED], p[FI_RGBA_GREEN], p[FI_RGBA_BLUE], p[FI_RGBA_ALPHA]};
}

// One copy for both builds: std::filesystem takes the path as UTF-8
// (u8path) on Windows, as the tool does, and as the bytes it is on POSIX.
void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(fs::u8path(path), std::ios::binary);
  out << bytes;
}

std::string readFile(const std::string& path) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool exists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(fs::u8path(path), error));
}

std::vector<std::string> folderNames(const std::string& path) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(fs::u8path(path), error), end; !error && it != end;
       it.increment(error)) {
    names.push_back(it->path().filename().u8string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string str(const velmora::CropRect& r) {
  return "(" + std::to_string(r.minX) + ", " + std::to_string(r.minY) + ", " +
         std::to_string(r.maxX) + ", " + std::to_string(r.maxY) + ")";
}

std::vector<std::string> items(const corvane::hlist<corvane::htext>& list) {
  return std::vector<std::string>(list.begin(), list.end());
}

#ifndef _WIN32

namespace {

RunResult runProgram(const ToolArgv& argv, const std::string& stdinText,
                     const std::string& workingDir, long maxFileBytes, bool killAtLimit) {
  const std::string scratch = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp";
  const int in = tempFile(scratch, "velmora-in-");
  const int out = tempFile(scratch, "velmora-out-");
  const int err = tempFile(scratch, "velmora-err-");
  if (write(in, stdinText.data(), stdinText.size()) != ssize_t(stdinText.size())) {
    throw std::runtime_error("could not write the tool's input");
  }
  lseek(in, 0, SEEK_SET);

  const pid_t child = fork();
  if (child == 0) {
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (!workingDir.empty() && chdir(workingDir.c_str()) != 0) _exit(126);
    if (maxFileBytes >= 0) {
      // Ignored, SIGXFSZ stays ignored across exec, and the write fails instead.
      signal(SIGXFSZ, killAtLimit ? SIG_DFL : SIG_IGN);
      const rlimit limit = {rlim_t(maxFileBytes), rlim_t(maxFileBytes)};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(125);
    }
    alarm(kChildSeconds);
    execv(argv.pointers[0], argv.pointers.data());
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  RunResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.output = slurp(out);
  result.errors = slurp(err);
  close(in);
  close(out);
  close(err);
  return result;
}

}  // namespace

RunResult runTool(const std::vector<std::string>& args, const std::string& stdinText,
                  const std::string& workingDir, long maxFileBytes, bool killAtLimit) {
  return runProgram(ToolArgv(args), stdinText, workingDir, maxFileBytes, killAtLimit);
}

RunResult runShell(const std::string& script, const std::string& workingDir) {
  return runProgram(ToolArgv("/bin/sh", {"-c", script, "sh", toolPath()}), "", workingDir, -1,
                    false);
}

ScopedStdin::ScopedStdin(const std::string& text) {
  const char* base = std::getenv("TMPDIR");
  const int fd = tempFile(base != nullptr && *base != '\0' ? base : "/tmp", "velmora-stdin-");
  if (write(fd, text.data(), text.size()) != ssize_t(text.size())) {
    throw std::runtime_error("could not write the standard input text");
  }
  lseek(fd, 0, SEEK_SET);
  // Bytes the stream buffered from the old input must not be read from the new.
  __fpurge(stdin);
  clearerr(stdin);
  saved_ = dup(0);
  dup2(fd, 0);
  close(fd);
}

ScopedStdin::~ScopedStdin() {
  __fpurge(stdin);
  clearerr(stdin);
  dup2(saved_, 0);
  close(saved_);
}

namespace {

long highWaterKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

}  // namespace

bool toolIsWindows() {
  const char* windows = std::getenv("VELMORA_TOOL_WINDOWS");
  return windows != nullptr && std::string(windows) == "1";
}

RunResult runToolToClosingPause(const std::vector<std::string>& args) {
  const std::string scratch = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp";
  const int err = tempFile(scratch, "velmora-err-");
  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe failed");
  const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
  if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0) {
    throw std::runtime_error("no pseudo-terminal");
  }
  const std::string side = ptsname(terminal);

  ToolArgv argv(args);

  const pid_t child = fork();
  if (child == 0) {
    const int in = open(side.c_str(), O_RDWR | O_NOCTTY);
    if (in < 0) _exit(126);
    dup2(in, 0);
    dup2(out[1], 1);
    dup2(err, 2);
    close(in);
    close(terminal);
    close(out[0]);
    close(out[1]);
    alarm(kChildSeconds);
    execv(argv.pointers[0], argv.pointers.data());
    _exit(127);
  }
  close(out[1]);
  RunResult result;
  const std::string& pause = kExitPrompt;
  bool pressed = false;
  char buffer[65536];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) {
    result.output.append(buffer, size_t(n));
    const bool paused = result.output.size() >= pause.size() &&
                        result.output.compare(result.output.size() - pause.size(), pause.size(), pause) == 0;
    if (paused && !pressed) {
      result.peakRssKb = highWaterKb(child);
      if (write(terminal, "\n", 1) != 1) throw std::runtime_error("could not press Enter");
      pressed = true;
    }
  }
  close(terminal);
  close(out[0]);
  int status = 0;
  waitpid(child, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.errors = slurp(err);
  close(err);
  return result;
}

#endif  // _WIN32

}  // namespace testing_support
