#pragma once
// The kernel that sorts the leaves of the parallel sorts. The host may install a faster one (the
// binding installs NumPy's own SIMD int64 quicksort when NumPy offers it); until then, and in
// programs without NumPy, pdq_sort serves.

#include <cstddef>

#include "core/slice.hpp"

namespace tarvo {

// NumPy's sort-function signature: (first element, count, array or null); 0 on success.
using SortKernel = int (*)(void* start, std::ptrdiff_t count, void* array);

// Installs `kernel` for every later leaf sort; the first installation wins.
void install_sort_kernel(SortKernel kernel) noexcept;

// Sorts `s` in place with the installed kernel, or with pdq_sort when there is none (or it
// reports failure).
void kernel_sort(Slice s) noexcept;

}  // namespace tarvo
