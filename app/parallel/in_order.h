// Work on many frames at once, reported one after another in list order.
//
// The tool's output must not depend on how many threads ran: every line is
// printed by the calling thread, in list order, and a frame counts as finished
// only once every frame before it has finished. Workers never print or pause.
#ifndef VELMORA_PARALLEL_IN_ORDER_H
#define VELMORA_PARALLEL_IN_ORDER_H

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace velmora {

// Runs work(k, worker) for every k in [0, count) on up to `threads` threads
// (worker numbers them from 0), and calls report(k) on the calling thread for
// k = 0, 1, ... in order, each once work(0..k) have all finished. When report
// gives false no further work starts, and the call returns once the work
// already started has finished. With threads <= 1, or when no thread can be
// started, no thread runs: work(k, 0) and report(k) alternate on the calling
// thread.
// A work call that throws (an allocation that failed, say) still finishes:
// its exception is caught on the thread that ran it, which then calls
// failed(k, why) ("out of memory" for std::bad_alloc, what() for another
// standard exception), so one thread and many end alike and no exception
// leaves a worker. An exception from report leaves runInOrder once the work
// already started has finished.
void runInOrder(unsigned count, unsigned threads,
                const std::function<void(unsigned k, unsigned worker)>& work,
                const std::function<bool(unsigned k)>& report,
                const std::function<void(unsigned k, const char* why)>& failed);

// The decoded pixels the workers may hold together. A worker asks for what a
// frame needs before it decodes it and waits until that fits; a frame that
// needs more than the whole budget waits until it can run alone.
class PixelBudget {
 public:
  explicit PixelBudget(int64_t capacity) : capacity_(capacity) {}

  // Takes pixels (at most the capacity) when they fit now; false otherwise.
  //   capacity 100: tryAcquire(60) => true, then tryAcquire(50) => false,
  //   tryAcquire(40) => true; with nothing held tryAcquire(500) => true.
  bool tryAcquire(int64_t pixels);
  // Waits until pixels fit, then takes them. Gives what was taken.
  int64_t acquire(int64_t pixels);
  void release(int64_t taken);

 private:
  const int64_t capacity_;
  int64_t used_ = 0;
  std::mutex mutex_;
  std::condition_variable freed_;
};

// Holds pixels of a budget (none without one) for its lifetime.
class BudgetShare {
 public:
  BudgetShare(PixelBudget* budget, int64_t pixels)
      : budget_(budget), taken_(budget != nullptr ? budget->acquire(pixels) : 0) {}
  ~BudgetShare() {
    if (budget_ != nullptr) budget_->release(taken_);
  }
  BudgetShare(const BudgetShare&) = delete;
  BudgetShare& operator=(const BudgetShare&) = delete;

 private:
  PixelBudget* budget_;
  int64_t taken_;
};

}  // namespace velmora

#endif  // VELMORA_PARALLEL_IN_ORDER_H
