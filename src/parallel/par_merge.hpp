#pragma once
// Parallel top-down merge sort on the pool's join: sequential stable sort below 8,192 elements,
// otherwise both halves in parallel and one merge on the executing thread.

#include <cstddef>

#include "algorithms/slice.hpp"

namespace tarvo {

inline constexpr std::size_t par_merge_sequential_below = 8192;

// [0, mid) and [mid, len) are each sorted; leaves the whole slice sorted.
void merge_halves(Slice s, std::size_t mid);

void par_merge_sort(Slice s);

}  // namespace tarvo
