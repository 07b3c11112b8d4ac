#include "corvane/hcontainer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

using corvane::_ContainerElementNotFoundException;
using corvane::_ContainerIndexException;
using corvane::hlist;
using corvane::htable;
using corvane::htext;
using testing_support::items;

namespace {

hlist<htext> abc() { return hlist<htext>{"a", "b", "c"}; }

// The "index '<n>' out of range" tail of the index exception that action throws.
std::string indexFailure(const std::function<void()>& action) {
  try {
    action();
  } catch (const _ContainerIndexException& e) {
    const std::string message = e.messageText();
    return message.substr(message.find("] ") + 2);
  }
  return "nothing thrown";
}

}  // namespace

TEST(Hlist, IndexOperator) {
  struct Row {
    int size;
    int index;
    const char* outcome;  // the element, or the failure text
  };
  const Row rows[] = {
      {3, 0, "a"},
      {3, 2, "c"},
      {3, -1, "c"},
      {3, -3, "a"},
      {3, 3, "index '3' out of range"},
      {3, -4, "index '-1' out of range"},
      {0, -1, "index '-1' out of range"},
      {0, 0, "index '0' out of range"},
      {2, -5, "index '-3' out of range"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "size " << row.size << ", index " << row.index);
    hlist<htext> list = abc();
    list.resize(row.size);
    const hlist<htext>& constList = list;
    std::string got;
    std::string gotConst;
    const std::string failure = indexFailure([&] { got = list[row.index]; });
    const std::string constFailure = indexFailure([&] { gotConst = constList[row.index]; });
    EXPECT_EQ(failure == "nothing thrown" ? got : failure, row.outcome);
    EXPECT_EQ(constFailure == "nothing thrown" ? gotConst : constFailure, row.outcome);
  }
}

TEST(Hlist, IndexOperatorWritesThroughNegativeIndex) {
  hlist<htext> list = abc();
  list[-1] = "z";
  EXPECT_EQ(items(list), (std::vector<std::string>{"a", "b", "z"}));
}

TEST(Hlist, PopFirstAndPopLast) {
  hlist<htext> one{"x"};
  EXPECT_EQ(one.popFirst(), "x");
  EXPECT_TRUE(one.empty());
  EXPECT_EQ(indexFailure([&] { one.popFirst(); }), "index '0' out of range");

  one.push_back("y");
  EXPECT_EQ(one.popLast(), "y");
  EXPECT_TRUE(one.empty());
  EXPECT_EQ(indexFailure([&] { one.popLast(); }), "index '0' out of range");

  hlist<htext> list = abc();
  EXPECT_EQ(list.popFirst(), "a");
  EXPECT_EQ(items(list), (std::vector<std::string>{"b", "c"}));
  EXPECT_EQ(list.popLast(), "c");
  EXPECT_EQ(items(list), (std::vector<std::string>{"b"}));
}

TEST(Hlist, IndexOf) {
  const hlist<htext> list{"a", "b", "a"};
  EXPECT_EQ(list.indexOf("a"), 0);
  EXPECT_EQ(list.indexOf("b"), 1);
  EXPECT_EQ(list.indexOf("A"), -1);
  EXPECT_EQ(hlist<htext>().indexOf("a"), -1);
}

TEST(Hlist, RemoveTakesOnlyTheFirstEqualElement) {
  hlist<htext> list{"a", "b", "a", "c"};
  list.remove("a");
  EXPECT_EQ(items(list), (std::vector<std::string>{"b", "a", "c"}));
  EXPECT_THROW(list.remove("x"), _ContainerElementNotFoundException);
  EXPECT_EQ(items(list), (std::vector<std::string>{"b", "a", "c"}));
}

TEST(Hlist, TextsDifferingAfterANulAreEqualInSearch) {
  hlist<htext> list{"p", htext(std::string("x\0y", 3))};
  const htext other(std::string("x\0z", 3));
  EXPECT_EQ(list.indexOf(other), 1);
  EXPECT_EQ(list.indexOf("x"), 1);
  list.remove(other);
  EXPECT_EQ(items(list), (std::vector<std::string>{"p"}));
}

TEST(Htable, ReadingAMissingKeyInsertsAnEmptyValue) {
  htable<htext, htext> table;
  table["i"] = "frames";
  EXPECT_EQ(table["o"], "");
  EXPECT_EQ(table.size(), 2u);
  EXPECT_EQ(table.count("o"), 1u);
  EXPECT_EQ(table["i"], "frames");
  EXPECT_EQ(table.size(), 2u);
}

TEST(Htable, TextKeysIterateInUnsignedByteOrder) {
  htable<htext, htext> table;
  for (const char* key : {"b", "\xC3\xA9", "ab", "B", "a", "A", "abc"}) table[key] = key;
  std::vector<std::string> keys;
  for (const auto& entry : table) keys.push_back(entry.first);
  EXPECT_EQ(keys, (std::vector<std::string>{"A", "B", "a", "ab", "abc", "b", "\xC3\xA9"}));
}
