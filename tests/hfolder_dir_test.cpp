#include <gtest/gtest.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "corvane/hfolder.h"
#include "test_support.h"

using corvane::FolderScan;
using corvane::hfolder;
using corvane::hlist;
using corvane::htext;
using namespace testing_support;

namespace {

// A folder itself, not a link to one (lstat's view).
bool isRealFolder(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(
      std::filesystem::symlink_status(std::filesystem::u8path(path), error));
}

void makeDir(const std::string& path) { ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << path; }

// Every path below root, relative to it, folders marked with a trailing slash.
std::vector<std::string> tree(const std::string& root, const std::string& prefix = "") {
  std::vector<std::string> all;
  for (const std::string& name : folderNames(root + "/" + prefix)) {
    const std::string relative = prefix + name;
    if (isRealFolder(root + "/" + relative)) {
      all.push_back(relative + "/");
      for (const std::string& below : tree(root, relative + "/")) all.push_back(below);
    } else {
      all.push_back(relative);
    }
  }
  return all;
}

std::multiset<std::string> asSet(const hlist<htext>& list) {
  return std::multiset<std::string>(list.begin(), list.end());
}

#ifndef _WIN32
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : previous_(umask(mask)) {}
  ~ScopedUmask() { umask(previous_); }

 private:
  mode_t previous_;
};
#endif

}  // namespace

TEST(HfolderDir, IsFolder) {
  ScopedTempDir tmp;
  makeDir(tmp.file("x"));
  writeFile(tmp.file("file.txt"), "text");
  struct Row {
    std::string path;
    bool folder;
  };
  const Row rows[] = {
      {tmp.file("x"), true},
      {tmp.file("x/"), true},
      {tmp.file("x\\"), true},
      {tmp.file("x//"), true},
      {tmp.path() + "\\x", true},
      {tmp.file("./x/."), true},
      {tmp.file("missing/../x"), true},
      {tmp.file("x/../x"), true},
      {tmp.file("missing"), false},
      {tmp.file("missing/"), false},
      {tmp.file("file.txt"), false},
      {tmp.file("file.txt/"), false},
      {tmp.file("x/missing/.."), true},
      {"", false},
      {"/", false},
      {"//", false},
      {"/..", false},
      {"\\..", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.path));
    EXPECT_EQ(hfolder::isFolder(row.path), row.folder);
  }
}

TEST(HfolderDir, IsFolderOnRelativePaths) {
  ScopedTempDir tmp;
  makeDir(tmp.file("x"));
  writeFile(tmp.file("file.txt"), "text");
  ScopedWorkingDir inTmp(tmp.path());
  // missing/.. simplifies to "." and so names the current folder.
  for (const char* path : {".", "./", "x", "x/", "x\\", "missing/../x", "./missing/../x/.",
                           "missing/.."}) {
    SCOPED_TRACE(path);
    EXPECT_TRUE(hfolder::isFolder(path));
  }
  for (const char* path : {"missing", "file.txt", "x/missing"}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(hfolder::isFolder(path));
  }
}

#ifndef _WIN32
// Root reads a folder of mode 000 anyway, so as root the check runs in a child
// that has given up root for the unprivileged "nobody" (uid and gid 65534).
TEST(HfolderDir, UnreadableFolderIsNotAFolder) {
  ScopedTempDir tmp;
  ASSERT_EQ(chmod(tmp.path().c_str(), 0711), 0);
  makeDir(tmp.file("locked"));
  writeFile(tmp.file("locked/a.png"), "");
  ASSERT_EQ(chmod(tmp.file("locked").c_str(), 0), 0);
  const std::string locked = tmp.file("locked");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(60);
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    if (hfolder::isFolder(locked)) _exit(1);
    _exit(hfolder::listEntries(locked).empty() ? 0 : 2);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: isFolder was true, 2: entries were listed, "
                                       "3: could not leave root";
}
#endif

TEST(HfolderDir, ListEntries) {
  ScopedTempDir tmp;
  makeDir(tmp.file("empty"));
  makeDir(tmp.file("frames"));
  writeFile(tmp.file("frames/b.png"), "");
  writeFile(tmp.file("frames/a.png"), "");
  writeFile(tmp.file("frames/.h"), "");
  writeFile(tmp.file("frames/\xC3\xA9.png"), "");
  makeDir(tmp.file("frames/x"));
  writeFile(tmp.file("frames/x/inner.png"), "");

  EXPECT_TRUE(hfolder::listEntries(tmp.file("empty")).empty());
  const std::multiset<std::string> expected = {"a.png", "b.png", ".h", "\xC3\xA9.png", "x"};
  for (const std::string& path : {tmp.file("frames"), tmp.file("frames/"), tmp.file("frames\\"),
                                  tmp.file("empty/../frames")}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(asSet(hfolder::listEntries(path)), expected);
  }
  EXPECT_TRUE(hfolder::listEntries(tmp.file("missing")).empty());
  EXPECT_TRUE(hfolder::listEntries(tmp.file("frames/a.png")).empty());
  EXPECT_TRUE(hfolder::listEntries("").empty());
  EXPECT_TRUE(hfolder::listEntries("/").empty());
}

TEST(HfolderDir, ListEntriesOfTheCurrentFolder) {
  ScopedTempDir tmp;
  writeFile(tmp.file("a.png"), "");
  ScopedWorkingDir inTmp(tmp.path());
  EXPECT_EQ(asSet(hfolder::listEntries(".")), std::multiset<std::string>{"a.png"});
}

TEST(HfolderDir, ScanEndsAndStaysEnded) {
  ScopedTempDir tmp;
  writeFile(tmp.file("only"), "");
  EXPECT_EQ(hfolder::openScan(""), nullptr);
  EXPECT_EQ(hfolder::openScan(tmp.file("missing")), nullptr);
  htext name;
  EXPECT_FALSE(hfolder::nextEntry(nullptr, name));

  FolderScan* scan = hfolder::openScan(tmp.path());
  ASSERT_NE(scan, nullptr);
  std::multiset<std::string> names;
  while (hfolder::nextEntry(scan, name)) names.insert(name);
  EXPECT_EQ(names.count("only"), 1u);
  EXPECT_FALSE(hfolder::nextEntry(scan, name));
  EXPECT_FALSE(hfolder::nextEntry(scan, name));
  hfolder::closeScan(scan);
}

TEST(HfolderDir, FolderPathLongerThan260Bytes) {
  ScopedTempDir tmp;
  std::string deep = tmp.path();
  while (deep.size() <= 300) deep += "/" + std::string(40, 'd');
#ifdef _WIN32
  // 260 bytes is the Win32 path limit: such a folder is never enumerated,
  // whether or not the file system could create it.
  EXPECT_FALSE(hfolder::makeFolderPath(deep));
  EXPECT_FALSE(hfolder::isFolder(deep));
  EXPECT_TRUE(hfolder::listEntries(deep).empty());
  // The limit is on the path that reaches the host, after simplifying.
  std::string roundabout = tmp.path();
  while (roundabout.size() <= 300) roundabout += "/" + std::string(40, 'r') + "/..";
  EXPECT_TRUE(hfolder::isFolder(roundabout));
#else
  ASSERT_TRUE(hfolder::makeFolderPath(deep));
  EXPECT_TRUE(isRealFolder(deep));
  writeFile(deep + "/f.png", "");
  EXPECT_TRUE(hfolder::isFolder(deep));
  EXPECT_EQ(asSet(hfolder::listEntries(deep)), std::multiset<std::string>{"f.png"});
#endif
}

TEST(HfolderDir, MakeFolderPathCreatesEveryMissingFolder) {
  ScopedTempDir tmp;
  EXPECT_TRUE(hfolder::makeFolderPath(tmp.file("out/a/b")));
  const std::vector<std::string> made = {"out/", "out/a/", "out/a/b/"};
  EXPECT_EQ(tree(tmp.path()), made);

  writeFile(tmp.file("out/a/b/keep"), "kept");
  EXPECT_FALSE(hfolder::makeFolderPath(tmp.file("out/a/b")));
  EXPECT_FALSE(hfolder::makeFolderPath(tmp.file("out/a/b/")));
  EXPECT_EQ(tree(tmp.path()), (std::vector<std::string>{"out/", "out/a/", "out/a/b/", "out/a/b/keep"}));
  EXPECT_EQ(readFile(tmp.file("out/a/b/keep")), "kept");
}

TEST(HfolderDir, MakeFolderPathStopsAtAFile) {
  ScopedTempDir tmp;
  makeDir(tmp.file("out"));
  writeFile(tmp.file("out/f"), "file");
  EXPECT_FALSE(hfolder::makeFolderPath(tmp.file("out/f/a/b")));
  EXPECT_EQ(tree(tmp.path()), (std::vector<std::string>{"out/", "out/f"}));
  EXPECT_EQ(readFile(tmp.file("out/f")), "file");
}

TEST(HfolderDir, MakeFolderPathOfNothing) {
  ScopedTempDir tmp;
  ScopedWorkingDir inTmp(tmp.path());
  for (const char* path : {"", "/", "//", "\\", ".", "a/.."}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(hfolder::makeFolderPath(path));
  }
  EXPECT_TRUE(tree(tmp.path()).empty());
}

TEST(HfolderDir, MakeFolderPathCleansThePathFirst) {
  const std::vector<std::string> made = {"out/", "out/a/", "out/a/b/"};
  for (const bool relative : {false, true}) {
    for (const char* path : {"out\\a\\b", "out//a///b//", "out/a/b/", "./out/./a/b/.",
                             "out/x/../a/b", "out\\a/./b\\", "y/../out/a/b"}) {
      SCOPED_TRACE(testing::Message() << (relative ? "relative " : "absolute ") << path);
      ScopedTempDir tmp;
      if (relative) {
        ScopedWorkingDir inTmp(tmp.path());
        EXPECT_TRUE(hfolder::makeFolderPath(path));
      } else {
        EXPECT_TRUE(hfolder::makeFolderPath(tmp.path() + "/" + path));
      }
      EXPECT_EQ(tree(tmp.path()), made);
    }
  }
}

TEST(HfolderDir, MakeFolder) {
  ScopedTempDir tmp;
  EXPECT_TRUE(hfolder::makeFolder(tmp.file("new")));
  EXPECT_TRUE(isRealFolder(tmp.file("new")));
  EXPECT_FALSE(hfolder::makeFolder(tmp.file("new")));
  EXPECT_FALSE(hfolder::makeOpenFolder(tmp.file("new")));
  EXPECT_FALSE(hfolder::makeFolder(tmp.file("missing/child")));
  writeFile(tmp.file("file"), "");
  EXPECT_FALSE(hfolder::makeFolder(tmp.file("file")));
  unsigned long error = 0;
  EXPECT_FALSE(hfolder::makeFolder(tmp.file("new"), error));
#ifdef _WIN32
  EXPECT_EQ(error, static_cast<unsigned long>(ERROR_ALREADY_EXISTS));
#else
  EXPECT_EQ(error, static_cast<unsigned long>(EEXIST));
#endif
  EXPECT_EQ(tree(tmp.path()), (std::vector<std::string>{"file", "new/"}));
}

#ifdef _WIN32
// Windows: the open folder gets an "Everyone: full access" list (or the
// default one when that list cannot be built). Wine does not enforce access
// lists as Windows does, so only the outcome of the calls is checked here.
TEST(HfolderDir, NewFoldersAreMadeWithOpenOrDefaultAccess) {
  ScopedTempDir tmp;
  EXPECT_TRUE(hfolder::makeOpenFolder(tmp.file("open")));
  EXPECT_TRUE(hfolder::makeFolderPath(tmp.file("open/p/q")));
  EXPECT_FALSE(hfolder::makeOpenFolder(tmp.file("open")));
  EXPECT_FALSE(hfolder::makeOpenFolder(tmp.file("missing/child")));
  EXPECT_EQ(tree(tmp.path()), (std::vector<std::string>{"open/", "open/p/", "open/p/q/"}));
}
#else
TEST(HfolderDir, NewFoldersGetAllPermissionsTheUmaskAllows) {
  for (const mode_t mask : {mode_t(022), mode_t(0), mode_t(077), mode_t(027)}) {
    SCOPED_TRACE(testing::Message() << "umask 0" << std::oct << mask);
    ScopedTempDir tmp;
    {
      ScopedUmask scoped(mask);
      ASSERT_TRUE(hfolder::makeFolderPath(tmp.file("p/q")));
      ASSERT_TRUE(hfolder::makeFolder(tmp.file("single")));
      ASSERT_TRUE(hfolder::makeOpenFolder(tmp.file("open")));
    }
    for (const char* name : {"p", "p/q", "single", "open"}) {
      SCOPED_TRACE(name);
      struct stat info;
      ASSERT_EQ(stat(tmp.file(name).c_str(), &info), 0);
      EXPECT_EQ(info.st_mode & 07777, 0777 & ~mask);
    }
  }
}
#endif

TEST(HfolderDir, IsSameFolder) {
  ScopedTempDir tmp;
  makeDir(tmp.file("real"));
  makeDir(tmp.file("other"));
  writeFile(tmp.file("file"), "");
#ifndef _WIN32
  ASSERT_EQ(symlink(tmp.file("real").c_str(), tmp.file("link").c_str()), 0);
  EXPECT_TRUE(hfolder::isSameFolder(tmp.file("real"), tmp.file("link")));
  EXPECT_TRUE(hfolder::isSameFolder(tmp.file("link/"), tmp.file("real")));
#endif
  EXPECT_TRUE(hfolder::isSameFolder(tmp.file("real/"), tmp.file("real")));
  EXPECT_TRUE(hfolder::isSameFolder(tmp.file("real"), tmp.file("other/../real")));
  EXPECT_FALSE(hfolder::isSameFolder(tmp.file("real"), tmp.file("other")));
  EXPECT_FALSE(hfolder::isSameFolder(tmp.file("real"), tmp.file("missing")));
  EXPECT_FALSE(hfolder::isSameFolder(tmp.file("missing"), tmp.file("missing")));
  EXPECT_FALSE(hfolder::isSameFolder(tmp.file("file"), tmp.file("file")));
}
