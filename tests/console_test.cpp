#include "console/console.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "test_support.h"

using namespace velmora;
using testing_support::kExitPrompt;
using testing_support::kPrompt;
using testing_support::kPromptWarning;
using testing_support::ScopedTempDir;

namespace {

TEST(WaitForEnter, AwayFromATerminalPrintsThePauseAndReadsNothing) {
  testing_support::ScopedStdin input("xy\n");
  for (const char* prompt : {static_cast<const char*>(nullptr), kExitPrompt.c_str()}) {
    testing::internal::CaptureStdout();
    waitForEnter(prompt);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              prompt == nullptr ? std::string("\nPress Enter to continue...\n") : "\n" + kExitPrompt + "\n");
  }
  EXPECT_EQ(std::getchar(), 'x') << "the next reader's input is left as it was";
}

// std::cin reads the given text while the object lives.
class CinFrom {
 public:
  explicit CinFrom(const std::string& text)
      : input_(text), saved_(std::cin.rdbuf(input_.rdbuf())) {}
  ~CinFrom() {
    std::cin.rdbuf(saved_);
    std::cin.clear();
  }

 private:
  std::istringstream input_;
  std::streambuf* saved_;
};

struct PromptRun {
  std::string result;
  std::string output;
};

PromptRun prompt(const std::string& input) {
  CinFrom cin(input);
  testing::internal::CaptureStdout();
  PromptRun run;
  run.result = promptSourcePath();
  run.output = testing::internal::GetCapturedStdout();
  return run;
}

class PromptSourcePath : public testing::Test {
 protected:
  ScopedTempDir temp;
};

TEST_F(PromptSourcePath, EmptyLineAsksAgainWithoutWarning) {
  const PromptRun run = prompt("\n\n" + temp.path() + "\n");
  EXPECT_EQ(run.result, temp.path());
  EXPECT_EQ(run.output, kPrompt + kPrompt + kPrompt);
}

TEST_F(PromptSourcePath, WrongFolderWarnsOnceThenTheRightOneIsTaken) {
  const PromptRun run = prompt(temp.file("missing") + "\n" + temp.path() + "\nleft over\n");
  EXPECT_EQ(run.result, temp.path());
  EXPECT_EQ(run.output, kPrompt + kPromptWarning + kPrompt);
}

TEST_F(PromptSourcePath, AFileIsNoFolder) {
  testing_support::writeFile(temp.file("a.png"), "x");
  const PromptRun run = prompt(temp.file("a.png") + "\n");
  EXPECT_EQ(run.result, "");
  EXPECT_EQ(run.output, kPrompt + kPromptWarning + kPrompt);
}

TEST_F(PromptSourcePath, EndOfInputGivesTheEmptyText) {
  PromptRun run = prompt("");
  EXPECT_EQ(run.result, "");
  EXPECT_EQ(run.output, kPrompt);

  run = prompt("nowhere\n\n");
  EXPECT_EQ(run.result, "");
  EXPECT_EQ(run.output, kPrompt + kPromptWarning + kPrompt + kPrompt);
}

TEST_F(PromptSourcePath, LastLineWithoutLineFeedIsRead) {
  const PromptRun run = prompt(temp.path());
  EXPECT_EQ(run.result, temp.path());
  EXPECT_EQ(run.output, kPrompt);
}

TEST_F(PromptSourcePath, TrailingBlankIsPartOfThePath) {
  ASSERT_EQ(mkdir(temp.file("plain").c_str(), 0700), 0);
#ifdef _WIN32
  // No Windows folder name ends in a blank (Win32 drops it on creation), so
  // only the first half holds there: the blank is kept, and through it the
  // folder without one is not found.
  const PromptRun run = prompt(temp.file("plain") + " \n" + temp.file("plain") + "\n");
  EXPECT_EQ(run.result, temp.file("plain"));
  EXPECT_EQ(run.output, kPrompt + kPromptWarning + kPrompt);
#else
  ASSERT_EQ(mkdir(temp.file("blank ").c_str(), 0700), 0);
  const PromptRun run = prompt(temp.file("plain") + " \n" + temp.file("blank ") + "\n");
  EXPECT_EQ(run.result, temp.file("blank "));
  EXPECT_EQ(run.output, kPrompt + kPromptWarning + kPrompt);
#endif
}

}  // namespace
