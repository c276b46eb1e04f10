#pragma once
// The pool's unstable sort: a quicksort whose two sides sort in parallel. The pivot is the
// median of three elements (a ninther on long ranges), partitioning is Hoare's, which splits runs
// of equal elements evenly; leaves, and ranges that recurse too deeply, go to the sort kernel.

#include <cstddef>

#include "core/slice.hpp"

namespace tarvo {

// Ranges no longer than this are sorted by the kernel as one task.
inline constexpr std::size_t par_unstable_leaf = 4096;
// From this length on the pivot is a median of three medians, which resists crafted inputs.
inline constexpr std::size_t par_unstable_ninther_from = 128;

// Sorts `s` in place. Call on a worker: its joins run on the current pool.
void par_unstable_sort_on_pool(Slice s);

// Partitions `s` (at least 2 elements) around the value of s[pivot]: returns k with 0 < k < len,
// every element of [0, k) no greater than the pivot value and every element of [k, len) no less.
std::size_t hoare_partition(Slice s, std::size_t pivot) noexcept;

}  // namespace tarvo
