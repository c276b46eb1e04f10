#pragma once
// The in-place quicksort the unstable pool sort falls back on when it cannot have the samplesort's
// memory: a quicksort (Hoare, 1962) whose two sides sort in parallel. The pivot is the
// median of three elements (a ninther on long ranges), partitioning is Hoare's, which splits runs
// of equal elements evenly; leaves, and ranges that recurse too deeply, go to the sort kernel.

#include <cstddef>

#include "core/slice.hpp"
#include "parallel/pool/worker_context.hpp"

namespace tarvo {

// Sorts `s` in place without working memory, on `worker` (of the sorts' pool) and the workers
// its joins reach.
void parallel_quicksort(const WorkerContext& worker, Slice s);

// Partitions `s` (at least 2 elements) around the value of s[pivot]: returns k with 0 < k < len,
// every element of [0, k) no greater than the pivot value and every element of [k, len) no less.
std::size_t hoare_partition(Slice s, std::size_t pivot) noexcept;

}  // namespace tarvo
