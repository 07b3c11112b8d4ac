#include "test_support.h"

#include <dirent.h>
#include <stdio_ext.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {

namespace {

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

std::string slurp(int fd) {
  std::string out;
  lseek(fd, 0, SEEK_SET);
  char buffer[65536];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) out.append(buffer, size_t(n));
  return out;
}

// The tool's argument vector: the binary, then args, then the closing null.
struct ToolArgv {
  explicit ToolArgv(const std::vector<std::string>& args) : texts{VELMORA_BINARY} {
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

std::string ScopedTempDir::file(const std::string& relative) const { return path_ + "/" + relative; }

ScopedWorkingDir::ScopedWorkingDir(const std::string& path) {
  char current[PATH_MAX];
  if (getcwd(current, sizeof current) == nullptr) throw std::runtime_error("getcwd failed");
  previous_ = current;
  if (chdir(path.c_str()) != 0) throw std::runtime_error("chdir failed: " + path);
}

ScopedWorkingDir::~ScopedWorkingDir() {
  if (chdir(previous_.c_str()) != 0) std::abort();
}

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

Rgba pixelAt(FIBITMAP* image, int x, int y) {
  const int height = int(FreeImage_GetHeight(image));
  const BYTE* p = FreeImage_GetScanLine(image, height - 1 - y) + 4 * x;
  return Rgba{p[FI_RGBA_RED], p[FI_RGBA_GREEN], p[FI_RGBA_BLUE], p[FI_RGBA_ALPHA]};
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> folderNames(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::string str(const velmora::CropRect& r) {
  return "(" + std::to_string(r.minX) + ", " + std::to_string(r.minY) + ", " +
         std::to_string(r.maxX) + ", " + std::to_string(r.maxY) + ")";
}

RunResult runTool(const std::vector<std::string>& args, const std::string& stdinText,
                  const std::string& workingDir, long maxFileBytes) {
  const std::string scratch = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp";
  const int in = tempFile(scratch, "velmora-in-");
  const int out = tempFile(scratch, "velmora-out-");
  const int err = tempFile(scratch, "velmora-err-");
  if (write(in, stdinText.data(), stdinText.size()) != ssize_t(stdinText.size())) {
    throw std::runtime_error("could not write the tool's input");
  }
  lseek(in, 0, SEEK_SET);

  ToolArgv argv(args);

  const pid_t child = fork();
  if (child == 0) {
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (!workingDir.empty() && chdir(workingDir.c_str()) != 0) _exit(126);
    if (maxFileBytes >= 0) {
      // Ignored, SIGXFSZ stays ignored across exec, and the write fails instead.
      signal(SIGXFSZ, SIG_IGN);
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

RunResult runToolToClosingPause(const std::vector<std::string>& args) {
  const std::string scratch = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp";
  const int err = tempFile(scratch, "velmora-err-");
  int in[2];
  int out[2];
  if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe failed");

  ToolArgv argv(args);

  const pid_t child = fork();
  if (child == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err, 2);
    close(in[0]);
    close(in[1]);
    close(out[0]);
    close(out[1]);
    alarm(kChildSeconds);
    execv(argv.pointers[0], argv.pointers.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  RunResult result;
  const std::string pause = "Press Enter to exit...";
  char buffer[65536];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) {
    result.output.append(buffer, size_t(n));
    const bool paused = result.output.size() >= pause.size() &&
                        result.output.compare(result.output.size() - pause.size(), pause.size(), pause) == 0;
    if (paused && in[1] >= 0) {
      result.peakRssKb = highWaterKb(child);
      close(in[1]);
      in[1] = -1;
    }
  }
  if (in[1] >= 0) close(in[1]);
  close(out[0]);
  int status = 0;
  waitpid(child, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.errors = slurp(err);
  close(err);
  return result;
}

}  // namespace testing_support
