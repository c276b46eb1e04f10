#pragma once
// Textbook quicksort: last element as pivot, Lomuto partition, no cutoff, no pivot sampling.
// Ranges are inclusive bounds lo ... hi.

#include <cstddef>

#include "core/slice.hpp"

namespace tarvo {

// Partitions s[lo ... hi] (lo < hi) around the pivot s[hi]; returns the pivot's final position p.
// Afterwards s[lo ... p-1] <= pivot < s[p+1 ... hi]; elements equal to the pivot go left.
std::size_t lomuto_partition(Slice s, std::size_t lo, std::size_t hi) noexcept;

// Sorts s[lo ... hi]. Nests into the smaller part and loops over the larger one, so the stack
// holds at most log2(n) frames while every partition stays that of the plain algorithm.
void quick_sort_range(Slice s, std::size_t lo, std::size_t hi) noexcept;

void quick_sort(Slice s) noexcept;

}  // namespace tarvo
