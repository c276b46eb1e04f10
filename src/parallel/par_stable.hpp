#pragma once
// The pool's stable sort: a merge sort whose halves sort in parallel and whose merges are split
// in parallel too, so that the last merges use every worker. Runs alternate between the slice and
// a scratch buffer of the same length, so each level moves every element once.

#include <cstddef>

#include "algorithms/slice.hpp"

namespace tarvo {

// Runs no longer than this are sorted by std::stable_sort as one task.
inline constexpr std::size_t par_stable_leaf = 4096;
// Merges producing no more than this are done by one task.
inline constexpr std::size_t par_stable_merge_leaf = 8192;

// Sorts `s`, stable, using `scratch` (s.size() slots, contents irrelevant). Call on a worker:
// its joins run on the current pool.
void par_stable_sort_on_pool(Slice s, Slice scratch);

// Merges the sorted runs `left` and `right` into `out` (left.size() + right.size() slots, not
// overlapping either run), taking from `left` first on ties.
void par_stable_merge(ConstSlice left, ConstSlice right, Slice out);

}  // namespace tarvo
