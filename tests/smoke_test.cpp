#include <gtest/gtest.h>

#include "test_support.h"

using namespace testing_support;

TEST(Smoke, HelpTextEndsTheRun) {
  const RunResult run = runTool({"-?"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output.substr(0, 33), "velmoraReelCut v0.1 (standalone)\n");
}
