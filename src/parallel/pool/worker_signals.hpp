#pragma once
// The signal mask the pool's workers start with.

#include <signal.h>

namespace tarvo {

// Threads inherit the signal mask of the thread that creates them. While one of these lives,
// every asynchronous signal is blocked on the calling thread, so workers started meanwhile never
// take process-directed signals (SIGINT, SIGALRM, ...): the kernel delivers those to the
// interpreter's threads only, where a main thread blocked in signal.pause() or a sleep sees them.
// Signals that report a fault of the thread itself stay open.
class BlockedAsyncSignals {
  public:
    BlockedAsyncSignals() noexcept;
    ~BlockedAsyncSignals();
    BlockedAsyncSignals(const BlockedAsyncSignals&) = delete;
    BlockedAsyncSignals& operator=(const BlockedAsyncSignals&) = delete;

  private:
    sigset_t previous_;
};

}  // namespace tarvo
