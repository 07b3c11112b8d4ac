#include "in_order.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace velmora {

void runInOrder(unsigned count, unsigned threads,
                const std::function<void(unsigned, unsigned)>& work,
                const std::function<bool(unsigned)>& report) {
  if (threads <= 1 || count <= 1) {
    for (unsigned k = 0; k < count; ++k) {
      work(k, 0);
      if (!report(k)) return;
    }
    return;
  }
  std::mutex mutex;
  std::condition_variable finishedOne;
  std::vector<bool> finished(count, false);
  unsigned next = 0;
  bool stopped = false;
  const auto worker = [&](unsigned number) {
    for (;;) {
      unsigned k;
      {
        // Taken under the lock that the stop is set under, so no frame is
        // started once report has asked to stop.
        const std::lock_guard<std::mutex> lock(mutex);
        if (stopped || next == count) return;
        k = next++;
      }
      work(k, number);
      {
        const std::lock_guard<std::mutex> lock(mutex);
        finished[k] = true;
      }
      finishedOne.notify_all();
    }
  };
  std::vector<std::thread> pool;
  const unsigned started = std::min(threads, count);
  pool.reserve(started);
  for (unsigned number = 0; number < started; ++number) pool.emplace_back(worker, number);
  for (unsigned k = 0; k < count; ++k) {
    {
      std::unique_lock<std::mutex> lock(mutex);
      finishedOne.wait(lock, [&] { return finished[k]; });
    }
    if (!report(k)) {
      const std::lock_guard<std::mutex> lock(mutex);
      stopped = true;
      break;
    }
  }
  for (std::thread& thread : pool) thread.join();
}

bool PixelBudget::tryAcquire(int64_t pixels) {
  const int64_t share = std::min(pixels, capacity_);
  const std::lock_guard<std::mutex> lock(mutex_);
  if (used_ + share > capacity_) return false;
  used_ += share;
  return true;
}

int64_t PixelBudget::acquire(int64_t pixels) {
  const int64_t share = std::min(pixels, capacity_);
  std::unique_lock<std::mutex> lock(mutex_);
  freed_.wait(lock, [&] { return used_ + share <= capacity_; });
  used_ += share;
  return share;
}

void PixelBudget::release(int64_t taken) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    used_ -= taken;
  }
  freed_.notify_all();
}

}  // namespace velmora
