// putInPlace with every step it takes failing in turn, then with a second
// failure right after the first, or every step from one on failing, which is
// what reaches the rescue of the user's files: beside the place, or
// stranded in the staging folder.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "corvane/htext.h"
#include "failing_env.h"
#include "run/placement.h"
#include "test_support.h"

using namespace testing_support;
using corvane::htext;
using velmora::Status;

namespace {

using Files = std::map<std::string, std::string>;

const Files kOldFrames = {{"out_00001.png", "old 1"}};
const Files kNewFrames = {{"out_00001.png", "new 1"}, {"out_00002.png", "new 2"}};
// What the old folder holds besides the tool's frames.
const Files kUsers = {{"notes.txt", "user notes"}, {"art/", ""}, {"art/sketch.txt", "user sketch"}};

Files joined(Files files, const Files& more) {
  files.insert(more.begin(), more.end());
  return files;
}

// The frames alone of what a folder holds.
Files framesOf(const Files& files) {
  Files frames;
  for (const auto& file : files) {
    if (velmora::isOutputFrame(file.first)) frames.insert(file);
  }
  return frames;
}

void writeAll(const std::string& folder, const Files& files) {
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0) << folder;
  for (const auto& file : files) {
    const std::string path = folder + "/" + file.first;
    if (file.first.back() == '/') {
      ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << path;
    } else {
      writeFile(path, file.second);
    }
  }
}

// Where the rescue says the prepared folder went: <empty> when it names none.
std::string heldIn(const std::string& reason) {
  const std::string mark = "what its folder held is in \"";
  const size_t at = reason.find(mark);
  if (at == std::string::npos) return std::string();
  return reason.substr(at + mark.size(), reason.size() - at - mark.size() - 1);
}

struct Placed {
  Status status;
  bool stranded = false;
  htext staging, prepared;
};

// The old folder of an animation with a frame and the user's files, and its
// prepared folder in a staging folder; then putInPlace through env.
Placed placeOnce(const ScopedTempDir& dir, FailingEnv& env) {
  Placed placed;
  writeAll(dir.file("walk"), joined(kOldFrames, kUsers));
  EXPECT_TRUE(velmora::makeStagingFolder(dir.path().c_str(), placed.staging).ok());
  placed.prepared = placed.staging + "/0";
  writeAll(placed.prepared.c_str(), kNewFrames);
  placed.status = velmora::putInPlace(placed.prepared, dir.file("walk").c_str(),
                                      velmora::isOutputFrame, placed.stranded, env);
  return placed;
}

}  // namespace

TEST(Placement, EveryStepThatFailsKeepsTheFramesOldOrNewAndLosesNoUserFile) {
  for (const bool exchange : {true, false}) {
    SCOPED_TRACE(exchange ? "exchange" : "two renames");
    const unsigned steps = stepsOf(exchange, [](const ScopedTempDir& dir, FailingEnv& env) {
      const Placed placed = placeOnce(dir, env);
      ASSERT_TRUE(placed.status.ok()) << placed.status.reason();
      EXPECT_EQ(contents(dir.file("walk")), joined(kNewFrames, kUsers));
    });
    for (const unsigned failFor : {1u, 2u, FailingEnv::kEveryLater}) {
      for (unsigned k = 1; k <= steps; ++k) {
        SCOPED_TRACE("step " + std::to_string(k) + " of " + std::to_string(steps) + " fails, " +
                     (failFor == 1 ? "alone" : failFor == 2 ? "with the next" : "with every later"));
        ScopedTempDir dir;
        FailingEnv env;
        env.exchange = exchange;
        env.failAt = k;
        env.failFor = failFor;
        const Placed placed = placeOnce(dir, env);
        const Files place = contents(dir.file("walk"));
        if (placed.status.ok()) {
          EXPECT_EQ(place, joined(kNewFrames, kUsers));
          continue;
        }
        EXPECT_EQ(placed.status.reason().rfind(FailingEnv::kMadeUp, 0), 0u) << placed.status.reason();
        const std::string held = heldIn(placed.status.reason());
        if (failFor == 1) {
          // A single failure is undone whole.
          EXPECT_EQ(place, joined(kOldFrames, kUsers));
          EXPECT_EQ(held, std::string());
          continue;
        }
        // Two renames that both fail leave the old folder at the aside (on
        // Windows, which has no exchange, in either row).
        const Files frames =
            framesOf(place.empty() ? contents(dir.file("walk.velmoraReelCut-old")) : place);
        EXPECT_TRUE(frames == kOldFrames || frames == kNewFrames) << ::testing::PrintToString(place);
        if (placed.stranded) {
          EXPECT_EQ(htext(held.c_str()).subString(0, placed.staging.size()), placed.staging) << held;
        }
        const Files rescued = held.empty() ? Files() : contents(held);
        for (const auto& user : kUsers) {
          const int copies = int(place.count(user.first)) + int(rescued.count(user.first));
          EXPECT_EQ(copies, 1) << user.first << " in " << held;
          const Files& where = place.count(user.first) ? place : rescued;
          if (where.count(user.first)) {
            EXPECT_EQ(where.at(user.first), user.second) << user.first;
          }
        }
      }
    }
  }
}
