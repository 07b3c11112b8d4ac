#include "run/frame_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using Names = std::vector<std::string>;

Names select(const Names& listed, velmora::FrameOrder order = velmora::FrameOrder::name) {
  corvane::hlist<corvane::htext> listing;
  for (const std::string& name : listed) listing.push_back(name);
  Names selected;
  for (const char* name : velmora::selectFrames(listing, order)) selected.push_back(name);
  return selected;
}

std::string show(const Names& names) {
  std::string text;
  for (const std::string& name : names) text += "[" + name + "]";
  return text;
}

TEST(SelectFrames, TakesLowerCasePngNamesInFoldedNameOrder) {
  const struct {
    Names listed;
    Names frames;
  } cases[] = {
      {{"c.png", "B.png", "a.png"}, {"a.png", "B.png", "c.png"}},
      // '_' lies above the letters, '-' and digits below them.
      {{"walk_b.png", "walkA.png", "walk-c.png", "walk1.png"},
       {"walk-c.png", "walk1.png", "walkA.png", "walk_b.png"}},
      {{"frame_2.png", "frame_10.png", "frame_01.png"},
       {"frame_01.png", "frame_10.png", "frame_2.png"}},
      // Equal but for case: plain byte order, upper case first.
      {{"a.png", "A.png", "ab.png", "AB.png", "aB.png"},
       {"A.png", "a.png", "AB.png", "aB.png", "ab.png"}},
      {{"x.PNG", ".png", "y.png.bak", "z.Png"}, {".png"}},
      // Bytes above 127 are compared unsigned and never folded.
      {{"\xc3\xa9.png", "z.png", "Z.png"}, {"Z.png", "z.png", "\xc3\xa9.png"}},
      {{}, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(show(select(c.listed)), show(c.frames)) << "listing " << show(c.listed);
  }
}

// Each row is in natural order; the listing is the row reversed.
const Names kNaturalRows[] = {
    {"a.png", "a1.png", "a2.png", "a10.png"},
    {"walk9.png", "Walk10.png", "walk11.png"},
    {"f01.png", "f1.png", "f2.png"},
    // Past 64 bits, and longer by its leading zeros alone.
    {"x9.png", "x18446744073709551615.png", "x18446744073709551616.png",
     "x0018446744073709551617.png", "x100000000000000000000.png"},
    // Equal tokens: name order decides.
    {"f001.png", "F01.png", "f01.png", "F1.png", "f1.png"},
    // Bytes below the digits, zero, and bytes above them; letters read as
    // upper case.
    {"a.png", "a0.png", "a00.png", "a1.png", "aB.png", "ab1.png", "a_.png"},
    {"a1.png", "a1b.png", "a1_.png"},
    {"s2f9.png", "s2f10.png", "s10f1.png"},
    {"z10.png", "\xc3\xa9" "2.png"},
};

// An unreadable folder must not pass for an empty one: a one-folder run
// would end "0 png files" and "All done!" over a folder it never read.
TEST(ListFolderNames, GivesEveryEntryOrWhyTheFolderCannotBeRead) {
  testing_support::ScopedTempDir dir;
  testing_support::writeFile(dir.file("b.png"), "x");
  testing_support::writeFile(dir.file(".hidden"), "");
  corvane::hlist<corvane::htext> names;
  ASSERT_TRUE(velmora::listFolderNames(dir.path().c_str(), names).ok());
  Names listed;
  for (const corvane::htext& name : names) listed.push_back(name.c_str());
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(show(listed), "[.hidden][b.png]");

  corvane::hlist<corvane::htext> none;
  const velmora::Status missing = velmora::listFolderNames(dir.file("gone").c_str(), none);
  EXPECT_EQ(missing.code(), velmora::Status::Code::failed);
  EXPECT_FALSE(missing.reason().empty());
  EXPECT_TRUE(none.empty());
}

TEST(SelectFrames, NaturalOrderReadsDigitRunsAsNumbers) {
  for (const Names& row : kNaturalRows) {
    const Names listed(row.rbegin(), row.rend());
    EXPECT_EQ(show(select(listed, velmora::FrameOrder::natural)), show(row));
  }
  EXPECT_EQ(show(select({"frame_10.png", "frame_2.png", "x.PNG"}, velmora::FrameOrder::natural)),
            show({"frame_2.png", "frame_10.png"}));
}

TEST(SelectFrames, NaturalOrderIsAStrictTotalOrder) {
  Names names;
  for (const Names& row : kNaturalRows) names.insert(names.end(), row.begin(), row.end());
  const auto before = [](const std::string& a, const std::string& b) {
    return velmora::naturallyPrecedes(a.c_str(), b.c_str());
  };
  for (const std::string& a : names) {
    EXPECT_FALSE(before(a, a)) << a;
    for (const std::string& b : names) {
      EXPECT_TRUE(a == b || before(a, b) != before(b, a)) << a << " " << b;
      for (const std::string& c : names) {
        EXPECT_TRUE(!before(a, b) || !before(b, c) || before(a, c)) << a << " " << b << " " << c;
      }
    }
  }
}

TEST(ProgressPercent, SinglePrecisionRatioTimes100Truncated) {
  // Worked out apart from the code: done / total rounded to binary32, times
  // 100 rounded to binary32, truncated. 53 and 59 of 100 land just below.
  const std::vector<std::pair<unsigned, std::vector<unsigned>>> tables = {
      {3, {0, 33, 66, 100}},
      {7, {0, 14, 28, 42, 57, 71, 85, 100}},
      {100, {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
             21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41,
             42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 52, 54, 55, 56, 57, 58, 58, 60, 61, 62,
             63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75, 76, 77, 78, 79, 80, 81, 82, 83,
             84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 96, 97, 98, 99, 100}},
  };
  for (const auto& table : tables) {
    ASSERT_EQ(table.second.size(), table.first + 1);
    for (unsigned k = 0; k <= table.first; ++k) {
      EXPECT_EQ(velmora::progressPercent(k, table.first), table.second[k]) << k << " of " << table.first;
    }
  }
  EXPECT_EQ(velmora::progressPercent(0, 0), 100u);
}

TEST(ZeroPad, FillsToTheWidthButNeverCuts) {
  const std::pair<const char*, const char*> rows[] = {
      {"7", "00007"}, {"12345", "12345"}, {"123456", "123456"}, {"", "00000"}, {"42", "00042"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(velmora::zeroPad(row.first, 5), row.second) << "\"" << row.first << "\"";
  }
}

}  // namespace
