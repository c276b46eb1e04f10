#pragma once
// Least-significant-digit radix sort in base 10. Negative values are sorted by magnitude in a
// list of their own, then reversed and negated back in front of the non-negative values.

#include <cstdint>
#include <span>

#include "algorithms/slice.hpp"

namespace tarvo {

// Stable sort of unsigned keys, one counting pass per decimal digit of the largest key.
// Throws OutOfMemory when a pass buffer cannot be had; the keys are then still a permutation.
void radix_sort_unsigned(std::span<std::uint64_t> keys);

// Throws OutOfMemory when working memory cannot be had; the slice is then still a permutation
// of its input.
void radix_sort(Slice s);

}  // namespace tarvo
