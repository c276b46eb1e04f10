#pragma once
// Waiting for another thread to let go of something it holds for a moment (a lock around a few
// stores and a block copy). A short spin catches the common case without a system call; after
// that the waiter yields its core, since the holder may be a preempted thread that needs that
// very core to finish (more workers than cores: containers, shared machines).

#include <thread>

namespace tarvo {

// Lets the core's other hyperthread (or the hypervisor) run while this one waits; the one place
// that names the instruction.
inline void cpu_pause() noexcept {
    __builtin_ia32_pause();
}

// Spins before the first yield: some 2-5 us at 30-140 cycles per pause, several times the hold
// of a block copy on a running thread.
inline constexpr unsigned spin_wait_pauses = 64;

class SpinWait {
  public:
    void once() noexcept {
        if (pauses_ < spin_wait_pauses) {
            ++pauses_;
            cpu_pause();
        } else {
            std::this_thread::yield();
        }
    }

  private:
    unsigned pauses_ = 0;
};

}  // namespace tarvo
