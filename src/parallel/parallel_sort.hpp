#pragma once
// The sorts that run on the process-wide worker pool. Each blocks the calling thread until the
// slice is sorted; short slices are sorted on the calling thread alone.

#include <cstddef>

#include "core/slice.hpp"

namespace tarvo {

// Below this many elements a slice is sorted on the calling thread alone and the pool is not
// created: waking workers and waiting for them costs more than splitting such a slice saves.
inline constexpr std::size_t pool_sort_sequential_below = 8192;

// Both sort through one buffer as long as the slice, obtained with their other tables before
// any element moves. When that memory cannot be had, the stable sort raises OutOfMemory with the
// slice untouched and the unstable one sorts in place instead.
void parallel_stable_sort(Slice s);
void parallel_unstable_sort(Slice s);

}  // namespace tarvo
