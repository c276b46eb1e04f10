#pragma once
// Where the workers run. With exactly as many workers as the starting thread's affinity set has
// processors, worker i keeps to the i-th of them; otherwise every worker may run anywhere in the
// set, as the scheduler sees fit.
//
// Why: a worker that wakes a sleeping one leaves its placement to the scheduler, and on virtual
// machines the scheduler may queue the woken worker behind the busy waker on its processor while
// the other one idles, until a load balance moves it a tick or two later (1.4 ms traced on a
// 2-vCPU KVM guest, a third of a sort of 10^6 elements, which then took as long as on one
// thread). One worker per processor cannot be queued so. With fewer workers than processors
// (RAYON_NUM_THREADS, a CPU quota) the scheduler keeps the choice: pinning every such pool to the
// same first processors would crowd processes that each run one.

#include <sched.h>

#include <cstddef>

namespace tarvo {

class WorkerPlacement {
  public:
    static constexpr int anywhere = -1;

    // The placement of `workers` workers started from the calling thread.
    static WorkerPlacement of(std::size_t workers) noexcept;

    // The processor `worker` keeps to, or `anywhere`.
    int processor(std::size_t worker) const noexcept;

  private:
    cpu_set_t allowed_;
    bool pins_ = false;
};

// Keeps the calling thread to `processor` (nothing for `anywhere`). A processor the kernel
// refuses (gone offline meanwhile) leaves the thread where it may run.
void keep_to(int processor) noexcept;

}  // namespace tarvo
