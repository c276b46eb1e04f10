#pragma once
// Simplified timsort: fixed blocks of min_run_length(len) elements sorted by insertion, then
// bottom-up merge passes of doubling width. No natural runs, no galloping. Ranges are half-open
// [left, right).

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "core/slice.hpp"

namespace tarvo {

// Below this length the whole slice is one block; from it on blocks hold 16 to 32 elements.
inline constexpr std::size_t tim_single_block_below = 32;

// The block length: n below 32, otherwise between 16 and 32.
std::size_t min_run_length(std::size_t n) noexcept;

// Calls merge(left, mid, right) for each merge of the passes over len elements cut into sorted
// blocks of `block` elements, in the order the passes run. Each pass merges pairs of runs of the
// current width from the left; a tail of at most one run that has no partner stays for a later
// pass. The width doubles after every pass until it reaches len.
template <class Merge>
void for_each_tim_merge(std::size_t len, std::size_t block, Merge&& merge) {
    for (std::size_t width = block; width < len; width *= 2) {
        for (std::size_t left = 0; left + width < len; left += 2 * width) {
            merge(left, left + width, std::min(left + 2 * width, len));
        }
    }
}

// Merges the adjacent sorted ranges [left, mid) and [mid, right) of s (left < mid < right), ties
// taking the left element first, through scratch of at least right - left elements, and copies
// the segment back as one block.
void tim_merge(Slice s, std::size_t left, std::size_t mid, std::size_t right,
               std::int64_t* scratch) noexcept;

// Length of the longest segment any merge of a slice of len elements covers: len from 32
// elements on, 0 below (one block, no merge).
std::size_t tim_scratch_length(std::size_t len) noexcept;

// Sorts s through scratch of at least tim_scratch_length(s.size()) elements.
void tim_sort(Slice s, std::int64_t* scratch) noexcept;

// Obtains its one scratch buffer, as long as the longest segment any merge covers, before any
// element moves: when it cannot be had, OutOfMemory leaves the slice untouched. Below 32
// elements it obtains nothing.
void tim_sort(Slice s);

}  // namespace tarvo
