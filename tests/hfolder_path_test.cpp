#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corvane/hfolder.h"
#include "test_support.h"

using corvane::hfolder;
using corvane::hlist;
using corvane::htext;
using testing_support::items;

namespace {

struct JoinRow {
  const char* first;
  const char* second;
  const char* result;
};
const JoinRow kJoinRows[] = {
    {"a", "b", "a/b"},
    {"a/", "b", "a/b"},
    {"a", "/b", "a/b"},
    {"a/", "/b", "a/b"},
    {"a//", "b", "a//b"},
    {"a", "//b", "a//b"},
    {"a\\", "b", "a\\/b"},
    {"", "b", "/b"},
    {"", "/b", "/b"},
    {"a", "", "a/"},
    {"a/", "", "a/"},
    {"", "", "/"},
    {"C:/frames", "/autocropped", "C:/frames/autocropped"},
    {"C:/frames/", "autocropped", "C:/frames/autocropped"},
    {"C:\\frames\\", "/autocropped", "C:\\frames\\/autocropped"},
};

struct LeafRow {
  const char* path;
  const char* leaf;
};
const LeafRow kLeafRows[] = {
    {"", ""},
    {"/", ""},
    {"//", ""},
    {".", "."},
    {"..", ".."},
    {"a/", "a"},
    {"a//b", "b"},
    {"/a/b/", "b"},
    {"C:\\Frames\\", "Frames"},
    {"C:/", "C:"},
    {"a/./b", "b"},
    {"a/..", ".."},
    {"./", "."},
    {"..\\x\\.\\y", "y"},
    {"a/.../b", "b"},
    {"d:\\src\\frames\\walk.png", "walk.png"},
    {"\\\\", ""},
};

struct CleanRow {
  const char* path;
  const char* clean;
  const char* simple;
};
const CleanRow kCleanRows[] = {
    {"", "", ""},
    {".", ".", "."},
    {"..", "..", ".."},
    {"/", "/", ""},
    {"//", "/", ""},
    {"a/", "a/", "a"},
    {"a//b", "a/b", "a/b"},
    {"/a/b/", "/a/b/", "/a/b"},
    {"//a/b", "/a/b", "/a/b"},
    {"C:\\Frames\\", "C:/Frames/", "C:/Frames"},
    {"C:/", "C:/", "C:"},
    {"a/./b", "a/./b", "a/b"},
    {"a/../b", "a/../b", "b"},
    {"a/..", "a/..", "."},
    {"../../a", "../../a", "../../a"},
    {"a/../..", "a/../..", ".."},
    // The root has no parent.
    {"/..", "/..", ""},
    {"/a/../..", "/a/../..", ""},
    {"\\..\\..\\x", "/../../x", "/x"},
    {"C:\\a\\..", "C:/a/..", "C:"},
    {"./", "./", "."},
    {"..\\x\\.\\y", "../x/./y", "../x/y"},
    {"a/.../b", "a/.../b", "a/.../b"},
    {"a///////b\\\\\\c", "a/b/c", "a/b/c"},
    {"a/b/../../../c/./..", "a/b/../../../c/./..", ".."},
    {"/x/../y", "/x/../y", "/y"},
};

std::string shown(const char* text) { return testing::PrintToString(std::string(text)); }

}  // namespace

TEST(HfolderPath, Join) {
  for (const JoinRow& row : kJoinRows) {
    SCOPED_TRACE("join(" + shown(row.first) + ", " + shown(row.second) + ")");
    EXPECT_EQ(std::string(hfolder::join(row.first, row.second)), row.result);
  }
}

TEST(HfolderPath, LeafOf) {
  for (const LeafRow& row : kLeafRows) {
    SCOPED_TRACE("leafOf(" + shown(row.path) + ")");
    EXPECT_EQ(std::string(hfolder::leafOf(row.path)), row.leaf);
  }
}

TEST(HfolderPath, CleanSeparatorsAndSimplify) {
  for (const CleanRow& row : kCleanRows) {
    SCOPED_TRACE(shown(row.path));
    EXPECT_EQ(std::string(hfolder::cleanSeparators(row.path)), row.clean);
    EXPECT_EQ(std::string(hfolder::simplify(row.path)), row.simple);
  }
}

TEST(HfolderPath, SplitSegments) {
  struct Row {
    const char* path;
    std::vector<std::string> segments;
  };
  const Row rows[] = {
      {"", {""}},
      {"/", {""}},
      {"a", {"a"}},
      {"/a/b/", {"", "a", "b"}},
      {"a\\\\b//", {"a", "b"}},
      {"./..", {".", ".."}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(shown(row.path));
    EXPECT_EQ(items(hfolder::splitSegments(row.path)), row.segments);
  }
}

TEST(HfolderPath, JoinAll) {
  struct Row {
    std::vector<const char*> segments;
    const char* result;
  };
  const Row rows[] = {
      {{}, ""},
      {{""}, ""},
      {{"a"}, "a"},
      {{"..", "..", "x"}, "../../x"},
      {{"", "a", "b"}, "/a/b"},
      {{"C:", "frames", "autocropped"}, "C:/frames/autocropped"},
      {{"a/", "/b", "c"}, "a/b/c"},
  };
  for (const Row& row : rows) {
    hlist<htext> segments(row.segments.begin(), row.segments.end());
    SCOPED_TRACE(testing::PrintToString(items(segments)));
    EXPECT_EQ(std::string(hfolder::joinAll(segments)), row.result);
  }
}

TEST(HfolderPath, LeafIsTheLastSegment) {
  std::vector<const char*> paths;
  for (const JoinRow& row : kJoinRows) paths.insert(paths.end(), {row.first, row.second, row.result});
  for (const LeafRow& row : kLeafRows) paths.push_back(row.path);
  for (const CleanRow& row : kCleanRows) paths.insert(paths.end(), {row.path, row.clean, row.simple});
  for (const char* path : paths) {
    SCOPED_TRACE(shown(path));
    EXPECT_EQ(std::string(hfolder::leafOf(path)), std::string(hfolder::splitSegments(path).back()));
  }
}
