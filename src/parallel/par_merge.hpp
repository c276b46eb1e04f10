#pragma once
// Parallel top-down merge sort on the pool's join: sequential stable sort below 8,192 elements,
// otherwise both halves in parallel and one merge on the executing thread. The halves are
// [0, mid) and [mid, len) with mid = len / 2; ranges are half-open.

#include <cstddef>

#include "core/slice.hpp"

namespace tarvo {

// Below this many elements, handing halves to other threads costs more than it saves; such a
// slice is sorted by a sequential stable sort on the thread that holds it, and never creates the
// pool.
inline constexpr std::size_t par_merge_sequential_below = 8192;

// [0, mid) and [mid, len) are each sorted; leaves the whole slice sorted, taking the left element
// first on ties. Merges into a buffer of its own of len slots, then copies back.
void merge_halves(Slice s, std::size_t mid);

// The same, merging through `buffer` (at least s.size() slots, contents irrelevant).
void merge_halves(Slice s, std::size_t mid, Slice buffer);

// Sorts s in place: top level on the calling thread, halves in parallel through join, each merge
// on the thread that joined its halves. Obtains one buffer of len slots before moving anything.
void par_merge_sort(Slice s);

}  // namespace tarvo
