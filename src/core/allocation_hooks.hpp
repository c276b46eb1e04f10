#pragma once
// Test hooks on the module's allocations (included by memory.hpp): a counter and a switch that
// makes a chosen allocation fail, so that tests can fail each allocation of a call in turn. They
// exist only in the test build of the core (TARVO_ALLOCATION_HOOKS, set for the C++ tests and the
// private test module); in the shipped module allocation_refused() is a constant false and
// nothing else is compiled.

namespace tarvo {

#ifdef TARVO_ALLOCATION_HOOKS

// Counts the allocation; true if the switch chose it to fail. Counts on every thread.
bool allocation_refused() noexcept;

// Makes the allocation after `skip` successful ones fail (negative: never fail).
void fail_allocation_after(long skip) noexcept;
// The number of allocations made since the counter was last reset.
long allocations_made() noexcept;
void reset_allocation_count() noexcept;

#else

constexpr bool allocation_refused() noexcept {
    return false;
}

#endif

}  // namespace tarvo
