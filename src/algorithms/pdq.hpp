#pragma once
// Pattern-defeating quicksort as this module defines it: networks and insertion sort up to 24
// elements, sorted and reversed checks before every partition, median-of-three or ninther pivot,
// and a partition budget after which heap_sort finishes the slice.

#include <cstddef>
#include <cstdint>

#include "core/slice.hpp"

namespace tarvo {

// Up to this length sorting networks and insertion sort beat another partition.
inline constexpr std::size_t pdq_small_max = 24;
// Below this length the pivot is one median of three; from it on a median of three medians
// resists adversarial and patterned input better, and its six extra reads are cheap against the
// partition.
inline constexpr std::size_t pdq_median_of_three_below = 128;
// Partition levels allowed per bit of length: far more than random input needs, so heap_sort
// only finishes slices on which partitioning keeps failing.
inline constexpr std::size_t pdq_limit_factor = 48;

// 48 * (bit length of len - 1), that is 48 * ceil(log2 len), for len >= 2; 0 below.
std::size_t pdq_limit(std::size_t len) noexcept;

// Median of the first, middle and last element of a non-empty range.
std::int64_t median_of_three(ConstSlice range) noexcept;

// Pivot value of a slice of at least 25 elements.
std::int64_t choose_pivot(ConstSlice v) noexcept;

// Where those values are: positions in the range or slice whose elements hold them (with ties,
// one of the repeated value's). The pool's quicksort moves its pivot by position.
std::size_t median_of_three_position(ConstSlice range) noexcept;
std::size_t choose_pivot_position(ConstSlice v) noexcept;

// Two-pointer partition; returns mid, the number of elements not greater than pivot, which are
// then v[0, mid).
std::size_t pdq_partition(Slice v, std::int64_t pivot) noexcept;

// Sorts the slice v; every partition level spends one unit of limit, and a slice of more than
// pdq_small_max elements that arrives with none left goes to heap_sort. Left parts are sorted
// by nested calls, so the nesting never exceeds limit.
void pdq_sort(Slice v, std::size_t limit) noexcept;

}  // namespace tarvo
