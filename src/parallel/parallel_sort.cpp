#include "parallel/parallel_sort.hpp"

#include "core/memory.hpp"
#include "parallel/bucket_sort/bucket_sort.hpp"
#include "parallel/join.hpp"
#include "parallel/par_unstable.hpp"
#include "parallel/presorted.hpp"
#include "parallel/sort_kernel.hpp"

namespace tarvo {
namespace {

// Both sorts share one method: equal int64 values cannot be told apart, so a stable and an
// unstable sort give the same array. They differ only when working memory cannot be had.
enum class WithoutMemory { raise, sort_in_place };

// The bucket sort, or false when it cannot split the slice; either way nothing has moved when it
// gives up. Its buffer and tables are obtained before the first element moves.
bool bucket_sorted(Slice s) {
    Buffer<std::int64_t> buffer(s.size(), Fill::uninitialized);
    bool sorted = false;
    run_on_pool([&] { sorted = bucket_sort::sort_through_buffer(s, buffer.span()); });
    return sorted;
}

void sort_on_pool(Slice s, WithoutMemory without_memory) {
    if (s.size() < pool_sort_sequential_below) {
        kernel_sort(s);
        return;
    }
    if (finish_if_presorted(s)) return;
    try {
        if (bucket_sorted(s)) return;
    } catch (const OutOfMemory&) {
        if (without_memory == WithoutMemory::raise) throw;
    }
    // A sample that saw a single value cannot split the slice, and without memory there is no
    // buffer to split it into: the in-place quicksort, which splits runs of equal values evenly,
    // sorts it.
    run_on_pool([&] { par_unstable_sort_on_pool(s); });
}

}  // namespace

void parallel_stable_sort(Slice s) {
    sort_on_pool(s, WithoutMemory::raise);
}

void parallel_unstable_sort(Slice s) {
    sort_on_pool(s, WithoutMemory::sort_in_place);
}

}  // namespace tarvo
