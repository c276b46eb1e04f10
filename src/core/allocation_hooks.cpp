// Compiled only into the test build of the core; see allocation_hooks.hpp.
#include "core/allocation_hooks.hpp"

#include <atomic>

namespace tarvo {
namespace {

std::atomic<long> skip_before_failure{-1};
std::atomic<long> allocation_count{0};

}  // namespace

bool allocation_refused() noexcept {
    allocation_count.fetch_add(1, std::memory_order_relaxed);
    long skip = skip_before_failure.load(std::memory_order_relaxed);
    while (skip >= 0) {
        if (skip_before_failure.compare_exchange_weak(skip, skip - 1, std::memory_order_relaxed)) {
            return skip == 0;
        }
    }
    return false;
}

void fail_allocation_after(long skip) noexcept {
    skip_before_failure.store(skip, std::memory_order_relaxed);
}

long allocations_made() noexcept {
    return allocation_count.load(std::memory_order_relaxed);
}

void reset_allocation_count() noexcept {
    allocation_count.store(0, std::memory_order_relaxed);
}

}  // namespace tarvo
