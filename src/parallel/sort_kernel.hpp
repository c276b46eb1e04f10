#pragma once
// The kernel that sorts the leaves of the pool-backed sorts: Highway's vectorised quicksort
// (vqsort), which picks the best instruction set of the processor it runs on, or pdq_sort where
// the build found no Highway.

#include <string_view>

#include "core/slice.hpp"

namespace tarvo {

// Sorts `s` in place on the calling thread. Needs nothing from the interpreter or NumPy, so the
// pool's workers may call it.
void kernel_sort(Slice s) noexcept;

// What kernel_sort is in this build: "Highway vqsort" or "pdq_sort (portable fallback)".
std::string_view kernel_name() noexcept;

}  // namespace tarvo
