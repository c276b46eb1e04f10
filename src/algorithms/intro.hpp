#pragma once
// Introsort: the quicksort of quick.hpp with an insertion-sort cutoff and a depth budget after
// which heap_sort finishes the range. Ranges are inclusive bounds lo ... hi.

#include <cstddef>

#include "core/slice.hpp"

namespace tarvo {

// Ranges of at most this many elements are never partitioned: insertion sort finishes them
// faster than further partitions would.
inline constexpr std::size_t intro_insertion_max = 16;

// floor(2 * log2(n)) in double precision, for n >= 2.
std::size_t depth_limit(std::size_t n) noexcept;

// Sorts s[lo ... hi]; lo may be hi + 1 (an empty range).
void intro_sort_range(Slice s, std::size_t lo, std::size_t hi, std::size_t depth) noexcept;

void intro_sort(Slice s) noexcept;

}  // namespace tarvo
