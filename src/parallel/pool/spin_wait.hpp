#pragma once
// Waiting for another thread to let go of something it holds for a moment (a lock around a few
// stores and a block copy). A short spin catches the common case without a system call; after
// that the waiter yields its core, since the holder may be a preempted thread that needs that
// very core to finish (more workers than cores: containers, shared machines).

#include <thread>

#include "parallel/pool/cpu_relax.hpp"

namespace tarvo {

// Spins before the first yield: some 2-5 us at 30-140 cycles per x86 pause, several times the hold
// of a block copy on a running thread.
inline constexpr unsigned spin_wait_pauses = 64;

class SpinWait {
  public:
    void once() noexcept {
        if (pauses_ < spin_wait_pauses) {
            ++pauses_;
            cpu_relax();
        } else {
            std::this_thread::yield();
        }
    }

  private:
    unsigned pauses_ = 0;
};

}  // namespace tarvo
