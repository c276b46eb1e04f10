#include "parallel/pool/placement.hpp"

namespace tarvo {

WorkerPlacement WorkerPlacement::of(std::size_t workers) noexcept {
    WorkerPlacement placement;
    CPU_ZERO(&placement.allowed_);
    // More processors than a cpu_set_t holds (1,024) fail here, and leave placement to the
    // scheduler.
    placement.pins_ = sched_getaffinity(0, sizeof placement.allowed_, &placement.allowed_) == 0 &&
                      static_cast<std::size_t>(CPU_COUNT(&placement.allowed_)) == workers;
    return placement;
}

int WorkerPlacement::processor(std::size_t worker) const noexcept {
    if (!pins_) return anywhere;
    std::size_t rank = 0;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &allowed_) && rank++ == worker) return cpu;
    }
    return anywhere;
}

void keep_to(int processor) noexcept {
    if (processor == WorkerPlacement::anywhere) return;
    cpu_set_t own;
    CPU_ZERO(&own);
    CPU_SET(processor, &own);
    sched_setaffinity(0, sizeof own, &own);
}

}  // namespace tarvo
