#include "parallel/par_merge.hpp"

#include <algorithm>

#include "algorithms/heap.hpp"
#include "algorithms/tim.hpp"
#include "core/memory.hpp"
#include "parallel/pool/join.hpp"
#include "parallel/sort_pool.hpp"

namespace tarvo {
namespace {

// The sequential stable sort of the short slices is timsort, not std::stable_sort: libstdc++'s
// insertion step moves an element left without a bound once it has compared it with the first
// one, and another thread writing into the slice can then walk it below the slice. Equal int64
// values cannot be told apart, so the result is the same.

// Sorts the two halves of `s` with `join` (a worker's join, or the pool's join from outside),
// then merges them on the calling thread.
template <class Joiner>
void sort_halves_and_merge(Joiner& joiner, Slice s, Slice scratch);

// Sorts `s` on `worker`, using `scratch` (as long as `s`, contents irrelevant) for its merges.
// Subtrees running at the same time own disjoint parts of both.
void sort_with_scratch(const WorkerContext& worker, Slice s, Slice scratch) {
    if (s.size() < par_merge_sequential_below) {
        tim_sort(s, scratch.data());
        return;
    }
    sort_halves_and_merge(worker, s, scratch);
}

template <class Joiner>
void sort_halves_and_merge(Joiner& joiner, Slice s, Slice scratch) {
    const std::size_t mid = s.size() / 2;
    join(
        joiner,
        [&](const WorkerContext& worker) {
            sort_with_scratch(worker, s.first(mid), scratch.first(mid));
        },
        [&](const WorkerContext& worker) {
            sort_with_scratch(worker, s.subspan(mid), scratch.subspan(mid));
        });
    merge_halves(s, mid, scratch);
}

}  // namespace

void merge_halves(Slice s, std::size_t mid, Slice buffer) {
    const std::size_t len = s.size();
    std::size_t i = 0, j = mid, k = 0;
    while (i < mid && j < len) buffer[k++] = s[i] <= s[j] ? s[i++] : s[j++];
    while (i < mid) buffer[k++] = s[i++];
    while (j < len) buffer[k++] = s[j++];
    std::copy_n(buffer.begin(), len, s.begin());
}

void merge_halves(Slice s, std::size_t mid) {
    Buffer<std::int64_t> buffer(s.size(), Fill::uninitialized);
    merge_halves(s, mid, buffer.span());
}

void par_merge_sort(Slice s) {
    if (s.size() < 2) return;
    if (s.size() < par_merge_sequential_below) {
        // As with std::stable_sort, a short slice that gets no buffer is still sorted, in place
        // (tim_sort obtains its buffer before it moves anything).
        try {
            tim_sort(s);
        } catch (const OutOfMemory&) {
            heap_sort(s);
        }
        return;
    }
    // One buffer for every merge, taken before any element moves: merges running at the same
    // time work on disjoint ranges, so their slots never overlap, and a failed allocation leaves
    // the slice untouched.
    Buffer<std::int64_t> scratch(s.size(), Fill::uninitialized);
    sort_halves_and_merge(sort_pool(), s, scratch.span());
}

}  // namespace tarvo
