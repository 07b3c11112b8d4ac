#include "parallel/in_order.h"

#include <algorithm>
#include <exception>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "base/status.h"

namespace velmora {

namespace {

using Work = std::function<void(unsigned, unsigned)>;
using Failed = std::function<void(unsigned, const char*)>;

// Recording a failure can itself need memory there is none of; the result
// then stays what the work left it.
void tell(const Failed& failed, unsigned k, const char* why) noexcept {
  try {
    failed(k, why);
  } catch (...) {
  }
}

void runGuarded(const Work& work, const Failed& failed, unsigned k, unsigned worker) {
  try {
    work(k, worker);
  } catch (const std::bad_alloc&) {
    tell(failed, k, kOutOfMemory);
  } catch (const std::exception& error) {
    tell(failed, k, error.what());
  } catch (...) {
    tell(failed, k, "unknown error");
  }
}

}  // namespace

void runInOrder(unsigned count, unsigned threads, const Work& work,
                const std::function<bool(unsigned)>& report, const Failed& failed) {
  const auto alone = [&] {
    for (unsigned k = 0; k < count; ++k) {
      runGuarded(work, failed, k, 0);
      if (!report(k)) return;
    }
  };
  if (threads <= 1 || count <= 1) {
    alone();
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
      runGuarded(work, failed, k, number);
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
  // However the call ends, an exception from report too, the workers stop
  // taking frames and are joined first: a thread destroyed unjoined ends the
  // process.
  struct Joiner {
    std::vector<std::thread>& pool;
    std::mutex& mutex;
    bool& stopped;
    ~Joiner() {
      {
        const std::lock_guard<std::mutex> lock(mutex);
        stopped = true;
      }
      for (std::thread& thread : pool) thread.join();
    }
  } joiner{pool, mutex, stopped};
  for (unsigned number = 0; number < started; ++number) {
    try {
      pool.emplace_back(worker, number);
    } catch (const std::system_error&) {
      // No more threads to be had: the ones started share the work.
      break;
    } catch (const std::bad_alloc&) {
      // No memory for another thread's state: the same.
      break;
    }
  }
  if (pool.empty()) {
    alone();
    return;
  }
  for (unsigned k = 0; k < count; ++k) {
    {
      std::unique_lock<std::mutex> lock(mutex);
      finishedOne.wait(lock, [&] { return finished[k]; });
    }
    if (!report(k)) return;
  }
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
