// replaceFolder with every step it takes failing in turn, by one exchange of
// names and by two renames through the aside.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "failing_env.h"
#include "host/folder_replace.h"
#include "test_support.h"

using namespace testing_support;
using velmora::Status;

namespace {

using Files = std::map<std::string, std::string>;

const Files kOld = {{"out_00001.png", "old 1"}, {"notes.txt", "old notes"}};
const Files kNew = {{"out_00001.png", "new 1"}, {"out_00002.png", "new 2"}};

void writeAll(const std::string& folder, const Files& files) {
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0) << folder;
  for (const auto& file : files) writeFile(folder + "/" + file.first, file.second);
}

// A place with its old folder and a prepared one, and for two renames the
// aside a stopped run left; then the replacement through env.
Status replaceOnce(const ScopedTempDir& dir, FailingEnv& env) {
  writeAll(dir.file("place"), kOld);
  writeAll(dir.file("new"), kNew);
  if (!env.exchange) writeAll(dir.file("place.velmoraReelCut-old"), {{"out_00001.png", "stale"}});
  return velmora::replaceFolder(dir.file("new").c_str(), dir.file("place").c_str(), env);
}

}  // namespace

TEST(FolderReplace, EveryStepThatFailsLeavesTheOldFolderOrTheNewOne) {
  for (const bool exchange : {true, false}) {
    SCOPED_TRACE(exchange ? "exchange" : "two renames");
    const unsigned steps = stepsOf(exchange, [](const ScopedTempDir& dir, FailingEnv& env) {
      ASSERT_TRUE(replaceOnce(dir, env).ok());
      EXPECT_EQ(contents(dir.file("place")), kNew);
      EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{"place"});
    });
    ASSERT_GE(steps, exchange ? 2u : 4u);
    for (unsigned k = 1; k <= steps; ++k) {
      SCOPED_TRACE("step " + std::to_string(k) + " of " + std::to_string(steps) + " fails");
      ScopedTempDir dir;
      FailingEnv env;
      env.exchange = exchange;
      env.failAt = k;
      const Status replaced = replaceOnce(dir, env);
      if (replaced.ok()) {
        // Only what comes after the new folder is in place may fail unseen.
        EXPECT_EQ(contents(dir.file("place")), kNew);
      } else {
        EXPECT_EQ(replaced.reason(), FailingEnv::kMadeUp);
        EXPECT_EQ(contents(dir.file("place")), kOld);
        EXPECT_EQ(contents(dir.file("new")), kNew);
      }
    }
  }
}
