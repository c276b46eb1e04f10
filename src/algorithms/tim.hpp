#pragma once
// Simplified timsort: fixed blocks of min_run_length(len) elements sorted by insertion, then
// bottom-up merge passes of doubling width. No natural runs, no galloping.

#include <cstddef>

#include "algorithms/slice.hpp"

namespace tarvo {

// The block length: n below 32, otherwise between 16 and 32.
std::size_t min_run_length(std::size_t n) noexcept;

// Merges the adjacent sorted ranges [left, mid) and [mid, right) of s (left < mid < right).
void tim_merge(Slice s, std::size_t left, std::size_t mid, std::size_t right);

// Throws OutOfMemory when scratch memory cannot be had; the slice is then still a permutation.
void tim_sort(Slice s);

}  // namespace tarvo
