#include "corvane/hexception.h"

#include <gtest/gtest.h>

#include <cctype>
#include <exception>
#include <functional>
#include <string>

#include "corvane/hcontainer.h"

using corvane::_ContainerElementNotFoundException;
using corvane::_ContainerIndexException;
using corvane::_Exception;
using corvane::hlist;
using corvane::htext;

namespace {

// The text after a "[hcontainer.h:<line>] " prefix; fails the test when the
// message does not start with one.
std::string textAfterContainerPrefix(const std::string& message) {
  const std::string head = "[hcontainer.h:";
  size_t i = head.size();
  if (message.compare(0, head.size(), head) != 0) {
    ADD_FAILURE() << "message lacks the hcontainer.h prefix: " << message;
    return message;
  }
  while (i < message.size() && std::isdigit(static_cast<unsigned char>(message[i]))) ++i;
  if (i == head.size() || message.compare(i, 2, "] ") != 0) {
    ADD_FAILURE() << "message lacks \"<digits>] \" after the file name: " << message;
    return message;
  }
  return message.substr(i + 2);
}

// Runs action, which must throw a family member; gives its message and type name.
struct Caught {
  std::string message;
  std::string typeName;
};
Caught caught(const std::function<void()>& action) {
  try {
    action();
  } catch (const _Exception& e) {
    return Caught{e.messageText(), e.typeName()};
  }
  ADD_FAILURE() << "nothing was thrown";
  return Caught{};
}

hlist<htext> listOf(int n) {
  hlist<htext> list;
  for (int i = 0; i < n; ++i) list.push_back(htext(i));
  return list;
}

}  // namespace

TEST(Hexception, IndexFailureMessageAndType) {
  const Caught c = caught([] { listOf(3)[3]; });
  EXPECT_EQ(textAfterContainerPrefix(c.message), "index '3' out of range");
  EXPECT_EQ(c.typeName, "ContainerIndexException");
}

TEST(Hexception, ReportedIndexIsTheAdjustedOne) {
  EXPECT_EQ(textAfterContainerPrefix(caught([] { listOf(2)[-5]; }).message),
            "index '-3' out of range");
  EXPECT_EQ(textAfterContainerPrefix(caught([] { listOf(0).popFirst(); }).message),
            "index '0' out of range");
  EXPECT_EQ(textAfterContainerPrefix(caught([] { listOf(0).popLast(); }).message),
            "index '0' out of range");
}

TEST(Hexception, RemoveOfAbsentElement) {
  const Caught c = caught([] { listOf(2).remove("x"); });
  EXPECT_EQ(textAfterContainerPrefix(c.message), "element not found in container ");
  EXPECT_EQ(c.typeName, "ContainerElementNotFoundException");
}

TEST(Hexception, MessageNamesOnlyTheLeafOfTheSourcePath) {
  struct Row {
    const char* sourceFile;
    const char* message;
  };
  const Row rows[] = {
      {"d:\\src\\corvane\\hcontainer.h", "[hcontainer.h:41] boom"},
      {"/home/b/corvane/include/corvane/hcontainer.h", "[hcontainer.h:41] boom"},
      {"hcontainer.h", "[hcontainer.h:41] boom"},
      {"", "[:41] boom"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sourceFile);
    const _Exception e("boom", row.sourceFile, 41);
    EXPECT_EQ(std::string(e.messageText()), row.message);
    EXPECT_EQ(e.typeName(), "Exception");
  }
  EXPECT_EQ(std::string(_ContainerIndexException(-2, "C:\\b\\x.h", 7).messageText()),
            "[x.h:7] index '-2' out of range");
  EXPECT_EQ(std::string(_ContainerElementNotFoundException("a\\b/y.h", 9).messageText()),
            "[y.h:9] element not found in container ");
}

TEST(Hexception, OverlongMessageIsEmpty) {
  const _Exception e(htext(std::string(40000, 'x')), "f.h", 1);
  EXPECT_EQ(std::string(e.messageText()), "");
}

TEST(Hexception, ConstructingPrintsNothing) {
  testing::internal::CaptureStdout();
  {
    const _Exception base("text", "f.h", 1);
    const _ContainerIndexException index(3, "f.h", 2);
    const _ContainerElementNotFoundException missing("f.h", 3);
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(Hexception, BaseCatchesBothChildrenButStdExceptionCatchesNeither) {
  const std::function<void()> throwers[] = {
      [] { throw _ContainerIndexException(1, "f.h", 1); },
      [] { throw _ContainerElementNotFoundException("f.h", 1); },
  };
  for (const auto& thrower : throwers) {
    bool byStd = false;
    bool byBase = false;
    try {
      try {
        thrower();
      } catch (const std::exception&) {
        byStd = true;
      }
    } catch (const _Exception& e) {
      byBase = true;
      EXPECT_NE(e.typeName(), "Exception");
    }
    EXPECT_FALSE(byStd);
    EXPECT_TRUE(byBase);
  }
}

TEST(Hexception, CopyKeepsTheMessage) {
  const _ContainerIndexException original(5, "a/f.h", 12);
  const _ContainerIndexException copy(original);  // NOLINT: the copy is the test
  EXPECT_EQ(std::string(copy.messageText()), "[f.h:12] index '5' out of range");
}
