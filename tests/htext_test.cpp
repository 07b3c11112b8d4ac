#include "corvane/htext.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "corvane/hcontainer.h"
#include "test_support.h"

using corvane::hsprintf;
using corvane::htext;
using testing_support::items;

namespace {

// A text of every byte of the literal, embedded NULs included.
template <size_t N>
htext bytes(const char (&literal)[N]) {
  return htext(std::string(literal, N - 1));
}

}  // namespace

TEST(HtextNul, CopyConcatenationAndEmptyReplaceKeepEveryByte) {
  const htext withNul = bytes("ab\0cd");
  EXPECT_EQ(std::string(htext(withNul)), std::string("ab\0cd", 5));
  EXPECT_EQ(std::string(withNul + bytes("\0x")), std::string("ab\0cd\0x", 7));
  EXPECT_EQ(std::string(withNul + "yz"), std::string("ab\0cdyz", 7));
  EXPECT_EQ(std::string(withNul.replace("", "q")), std::string("ab\0cd", 5));
  EXPECT_EQ(std::string(withNul.replace(htext(), htext("q"))), std::string("ab\0cd", 5));
}

TEST(HtextNul, ViewOperationsEndAtTheFirstNul) {
  const htext withNul = bytes("ab\0b,b");

  htext assigned;
  assigned = withNul;
  EXPECT_EQ(std::string(assigned), "ab");
  htext source = withNul;  // copy construction: all bytes
  htext moved;
  moved = std::move(source);
  EXPECT_EQ(std::string(moved), "ab");

  EXPECT_EQ(std::string(withNul.replace("b", "X")), "aX");
  EXPECT_EQ(items(withNul.split(",")), (std::vector<std::string>{"ab"}));
  EXPECT_EQ(std::string(bytes("abb\0bb").trimRight('b')), "a");
  EXPECT_EQ(std::string(withNul.subString(0, 6)), "ab");
  EXPECT_EQ(std::string(withNul.subString(1, 6)), "b");
  EXPECT_TRUE(withNul == "ab");
}

TEST(Htext, FromInteger) {
  EXPECT_EQ(htext(0), "0");
  EXPECT_EQ(htext(-15), "-15");
  EXPECT_EQ(htext(INT_MAX), "2147483647");
  EXPECT_EQ(htext(INT_MIN), "-2147483648");
}

TEST(Htext, EndsWith) {
  EXPECT_TRUE(htext("frame.png").endsWith(".png"));
  EXPECT_FALSE(htext("frame.PNG").endsWith(".png"));
  EXPECT_FALSE(htext("png").endsWith(".png"));
  EXPECT_TRUE(htext("x").endsWith(""));
  EXPECT_TRUE(htext("").endsWith(""));
  EXPECT_FALSE(htext("").endsWith("/"));
  EXPECT_TRUE(htext("a/").endsWith("/"));
}

TEST(Htext, SubString) {
  EXPECT_EQ(htext("abcdef").subString(2, 3), "cde");
  EXPECT_EQ(htext("abc").subString(1, 99), "bc");
  EXPECT_EQ(htext("abc").subString(3, 1), "");
  EXPECT_EQ(htext("abc").subString(0, 2), "ab");
  EXPECT_EQ(htext("abc").subString(0, 0), "");
}

TEST(Htext, CountOf) {
  EXPECT_EQ(htext("1,2,3,4").countOf(","), 3);
  EXPECT_EQ(htext("").countOf(","), 0);
  EXPECT_EQ(htext("aaa").countOf("aa"), 2);
  EXPECT_EQ(htext("xab").countOf("abc"), 0);
  EXPECT_EQ(htext(",").countOf(","), 1);
}

TEST(Htext, Replace) {
  struct Row {
    const char* text;
    const char* what;
    const char* with;
    const char* result;
  };
  const Row rows[] = {
      {"aaa", "aa", "b", "ba"},      {"a/b", "/", "//", "a//b"}, {"abc", "x", "y", "abc"},
      {"abc", "", "y", "abc"},       {"a\\b\\c", "\\", "/", "a/b/c"},
      {"a--b--", "--", "", "ab"},    {"", "a", "b", ""},         {"xx", "x", "xx", "xxxx"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string("'") + row.text + "' replace '" + row.what + "' with '" + row.with + "'");
    EXPECT_EQ(htext(row.text).replace(row.what, row.with), row.result);
    EXPECT_EQ(htext(row.text).replace(htext(row.what), htext(row.with)), row.result);
  }
}

TEST(Htext, TrimRight) {
  EXPECT_EQ(htext("C:\\frames\\\\").trimRight('\\'), "C:\\frames");
  EXPECT_EQ(htext("\\\\\\").trimRight('\\'), "");
  EXPECT_EQ(htext("").trimRight('\\'), "");
  EXPECT_EQ(htext("\\a\\b").trimRight('\\'), "\\a\\b");
  EXPECT_EQ(htext("a//").trimRight('/'), "a");
}

TEST(Htext, Split) {
  struct Row {
    const char* text;
    const char* delimiter;
    std::vector<std::string> result;
  };
  const Row rows[] = {
      {"", ",", {""}},
      {"a,b", ",", {"a", "b"}},
      {",a,", ",", {"", "a", ""}},
      {"a,,b", ",", {"a", "", "b"}},
      {"abc", ",", {"abc"}},
      {",", ",", {"", ""}},
      {"a::b:c", "::", {"a", "b:c"}},
      {"/a/b", "/", {"", "a", "b"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string("'") + row.text + "' split at '" + row.delimiter + "'");
    EXPECT_EQ(items(htext(row.text).split(row.delimiter)), row.result);
    if (row.delimiter[1] == '\0') {
      EXPECT_EQ(items(htext(row.text).split(row.delimiter[0])), row.result);
    }
  }
}

TEST(Htext, SplitWithEmptyDelimiterEnds) {
  EXPECT_FALSE(htext("abc").split("").empty());
}

TEST(Htext, WideConversionBothWays) {
  struct Row {
    const char* utf8;
    std::u16string wide;
  };
  const Row rows[] = {
      {"A", u"\x0041"},
      {"\xC3\xA9", u"\x00E9"},
      {"\xE2\x82\xAC", u"\x20AC"},
      {"a\xC3\xA9\xE2\x82\xAC", u"a\x00E9\x20AC"},
      {"\xDF\xBF", u"\x07FF"},
      {"\xE0\xA0\x80", u"\x0800"},
      {"\xEF\xBF\xBF", u"\xFFFF"},
      {"", u""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(std::string(row.utf8)));
    EXPECT_EQ(htext(row.utf8).toWide(), row.wide);
    EXPECT_EQ(htext::fromWide(row.wide.c_str()), row.utf8);
  }
}

TEST(Htext, FourByteSequenceKeepsItsLow16Bits) {
  EXPECT_EQ(htext("\xF0\x9F\x98\x80").toWide(), u"\xF600");
  EXPECT_EQ(htext("x\xF0\x9F\x98\x80y").toWide(), u"x\xF600y");
}

TEST(Htext, ContinuationBytesAreNotChecked) {
  // A stray continuation byte leads a four-byte sequence; C1 81 is an overlong 'A'.
  EXPECT_EQ(htext("\x80" "abcd").toWide(), u"\x18A3" u"d");
  EXPECT_EQ(htext("\xC1\x81").toWide(), u"\x0041");
}

TEST(Htext, SurrogatePairRoundTripsAsTwoThreeByteSequences) {
  const char16_t pair[] = {0xD83D, 0xDE00, 0};
  const htext utf8 = htext::fromWide(pair);
  EXPECT_EQ(utf8, "\xED\xA0\xBD\xED\xB8\x80");
  EXPECT_EQ(utf8.toWide(), std::u16string(pair));
}

TEST(Htext, FromAbsentWideIsEmpty) { EXPECT_EQ(htext::fromWide(nullptr), ""); }

TEST(Htext, CutShortSequenceAtTheEndStopsAtTheNul) {
  // Long enough to live on the heap, so a read past the NUL is an overflow.
  const std::string head(40, 'a');
  for (const char* tail : {"\xC3", "\xE2", "\xE2\x82", "\xF0", "\xF0\x9F", "\xF0\x9F\x98"}) {
    SCOPED_TRACE(testing::PrintToString(std::string(tail)));
    const htext cut(head + tail);
    const std::u16string wide = cut.toWide();
    ASSERT_GE(wide.size(), head.size());
    EXPECT_LE(wide.size(), head.size() + 1);
    EXPECT_EQ(wide.substr(0, head.size()), std::u16string(head.size(), u'a'));
  }
}

TEST(Htext, HsprintfLengthLimit) {
  for (size_t length : {size_t(0), size_t(255), size_t(256), size_t(511), size_t(512),
                        size_t(32767)}) {
    SCOPED_TRACE(length);
    const std::string out = hsprintf("%s", std::string(length, 'x').c_str());
    EXPECT_EQ(out.size(), length);
    EXPECT_EQ(out.find_first_not_of('x'), std::string::npos);
  }
  EXPECT_EQ(hsprintf("%s", std::string(32768, 'x').c_str()), "");
  EXPECT_EQ(hsprintf("%s%d", std::string(32766, 'x').c_str(), 12), "");
  EXPECT_EQ(hsprintf("[%s:%d] %s", "f.h", -7, "t"), "[f.h:-7] t");
  // A field as wide as the fuzzer no longer asks for (it stops at 4 KiB).
  EXPECT_EQ(hsprintf("%*s|%.3s", 32763, "", "abcdef").size(), size_t(32767));
  EXPECT_EQ(hsprintf("%*s|%.3s", 32764, "", "abcdef"), "");
  EXPECT_EQ(hsprintf("%*s|%.3s", 65535, "", "abcdef"), "");
}

TEST(Htext, LessThanIsUnsignedStrcmpOrder) {
  EXPECT_TRUE(htext("B") < htext("a"));
  EXPECT_TRUE(htext("ab") < htext("abc"));
  EXPECT_FALSE(htext("abc") < htext("ab"));
  EXPECT_TRUE(htext("") < htext("a"));
  EXPECT_FALSE(htext("a") < htext("a"));
  EXPECT_TRUE(htext("z") < htext("\x80"));
  EXPECT_TRUE(htext("\x7F") < htext("\xFF"));
  EXPECT_FALSE(bytes("ab\0z") < htext("ab"));
  EXPECT_FALSE(htext("ab") < bytes("ab\0z"));
}

TEST(Htext, EqualityIsCaseSensitive) {
  EXPECT_TRUE(htext("Frames") == "Frames");
  EXPECT_FALSE(htext("Frames") == "frames");
  EXPECT_FALSE(htext("Frame") == "Frames");
  EXPECT_TRUE(htext("a") != htext("b"));
}

TEST(Htext, EqualityReadsTheZeroTerminatedViewOnEitherSide) {
  EXPECT_TRUE(bytes("ab\0z") == "ab");
  EXPECT_TRUE("ab" == bytes("ab\0z"));
  EXPECT_FALSE("ab" != bytes("ab\0z"));
  EXPECT_TRUE("ab" != htext("abc"));
}
