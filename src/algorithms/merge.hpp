#pragma once
// Top-down stable merge sort through one merge buffer of len elements per call. No cutoff and no
// run detection. Ranges are half-open lo ... hi.

#include <cstddef>

#include "core/slice.hpp"

namespace tarvo {

// Merges the sorted runs s[lo, mid) and s[mid, hi) through buf[lo, hi) (indexed like the slice)
// and copies the result back as one block. Ties take the left element first.
void merge_runs(Slice s, std::int64_t* buf, std::size_t lo, std::size_t mid,
                std::size_t hi) noexcept;

void merge_sort_range(Slice s, std::int64_t* buf, std::size_t lo, std::size_t hi) noexcept;

// Throws OutOfMemory (8 * len bytes) before any element moves when the buffer cannot be had.
void merge_sort(Slice s);

}  // namespace tarvo
