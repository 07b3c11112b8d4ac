#include "parallel/in_order.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using velmora::PixelBudget;
using velmora::runInOrder;

TEST(PixelBudget, TakesWhatFitsAndLetsAnOversizedShareRunAlone) {
  PixelBudget budget(100);
  struct Step {
    const char* what;
    bool take;  // tryAcquire, or else release
    int64_t pixels;
    bool taken;
  };
  const Step steps[] = {
      {"60 of 100", true, 60, true},      {"50 more", true, 50, false},
      {"40 more", true, 40, true},        {"1 more", true, 1, false},
      {"release 60", false, 60, true},    {"500 beside 40", true, 500, false},
      {"release 40", false, 40, true},    {"500 alone", true, 500, true},
      {"0 beside it", true, 0, true},     {"1 beside it", true, 1, false},
  };
  for (const Step& step : steps) {
    if (step.take) {
      EXPECT_EQ(budget.tryAcquire(step.pixels), step.taken) << step.what;
    } else {
      budget.release(step.pixels);
    }
  }
}

TEST(RunInOrder, ReportsEachFrameInOrderAfterItsWorkAndStopsWhenAsked) {
  for (unsigned threads : {1u, 2u, 3u, 64u}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    const unsigned count = 50;
    std::vector<std::atomic<int>> done(count);
    std::vector<unsigned> reported;
    std::atomic<unsigned> highestWorker{0};
    runInOrder(
        count, threads,
        [&](unsigned k, unsigned worker) {
          done[k] = 1;
          if (worker > highestWorker) highestWorker = worker;
        },
        [&](unsigned k) {
          for (unsigned j = 0; j <= k; ++j) EXPECT_EQ(done[j].load(), 1) << "frame " << j;
          reported.push_back(k);
          return k != 30;
        },
        [](unsigned k, const char*) { ADD_FAILURE() << "frame " << k << " threw"; });
    std::vector<unsigned> expected;
    for (unsigned k = 0; k <= 30; ++k) expected.push_back(k);
    EXPECT_EQ(reported, expected);
    EXPECT_LT(highestWorker.load(), std::min(threads, count));
  }
}

TEST(RunInOrder, WorkThatThrowsIsHandedOverAndTheRestGoesOn) {
  for (unsigned threads : {1u, 3u}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    std::vector<std::string> seen(6);
    std::vector<unsigned> reported;
    runInOrder(
        6, threads,
        [&](unsigned k, unsigned) {
          if (k == 1) throw std::bad_alloc();
          if (k == 4) throw std::runtime_error("no more handles");
          seen[k] = "done";
        },
        [&](unsigned k) {
          reported.push_back(k);
          return true;
        },
        [&](unsigned k, const char* why) { seen[k] = why; });
    EXPECT_EQ(seen, (std::vector<std::string>{"done", "out of memory", "done", "done",
                                              "no more handles", "done"}));
    EXPECT_EQ(reported, (std::vector<unsigned>{0, 1, 2, 3, 4, 5}));
  }
}

TEST(RunInOrder, ReportThatThrowsLeavesOnceTheStartedWorkHasFinished) {
  for (unsigned threads : {1u, 3u}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
    EXPECT_THROW(runInOrder(
                     50, threads,
                     [&](unsigned, unsigned) {
                       ++started;
                       std::this_thread::sleep_for(std::chrono::milliseconds(1));
                       ++finished;
                     },
                     [](unsigned k) {
                       if (k == 2) throw std::bad_alloc();
                       return true;
                     },
                     [](unsigned k, const char*) { ADD_FAILURE() << "frame " << k << " threw"; }),
                 std::bad_alloc);
    EXPECT_EQ(finished.load(), started.load());
  }
}

}  // namespace
