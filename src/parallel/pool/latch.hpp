#pragma once
// How a waiter learns that a job is done. A latch starts unset and is set once.
//  - AtomicLatch: a flag that a worker tests between the jobs it runs while it waits.
//  - SpinLatch: the latch of a job a worker offered in join; setting it also wakes that worker if
//    it has gone to sleep waiting (see sleep.hpp).
//  - LockLatch: the latch of a job injected by a thread outside the pool, which blocks on it.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>

#include "parallel/pool/sleep.hpp"

namespace tarvo {

class AtomicLatch {
  public:
    // Sequentially consistent on both sides: the sleep protocol relies on it.
    bool probe() const noexcept { return set_.load(std::memory_order_seq_cst); }
    void set() noexcept { set_.store(true, std::memory_order_seq_cst); }

  private:
    std::atomic<bool> set_{false};
};

class SpinLatch {
  public:
    SpinLatch(Sleep& sleep, std::size_t owner) noexcept : sleep_(&sleep), owner_(owner) {}

    const AtomicLatch& core() const noexcept { return core_; }
    bool probe() const noexcept { return core_.probe(); }

    void set() noexcept {
        // Once the flag is set the owner may return and destroy this latch: copy first.
        Sleep& sleep = *sleep_;
        const std::size_t owner = owner_;
        core_.set();
        sleep.wake(owner);
    }

  private:
    AtomicLatch core_;
    Sleep* sleep_;
    std::size_t owner_;
};

class LockLatch {
  public:
    void set() noexcept {
        // Notifying under the lock keeps the waiter from returning (and destroying the latch)
        // between the flag and the notification.
        std::lock_guard lock(mutex_);
        set_ = true;
        done_.notify_all();
    }

    void wait() noexcept {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [this] { return set_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool set_ = false;
};

}  // namespace tarvo
