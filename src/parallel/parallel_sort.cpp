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
// unstable sort give the same array. They differ only when the buffer cannot be had.
enum class WithoutBuffer { raise, sort_in_place };

void sort_on_pool(Slice s, WithoutBuffer without_buffer) {
    if (s.size() < pool_sort_sequential_below) {
        kernel_sort(s);
        return;
    }
    if (finish_if_presorted(s)) return;
    Buffer<std::int64_t> buffer;
    try {
        buffer = Buffer<std::int64_t>(s.size(), Fill::uninitialized);
    } catch (const OutOfMemory&) {
        if (without_buffer == WithoutBuffer::raise) throw;
        run_on_pool([&] { par_unstable_sort_on_pool(s); });
        return;
    }
    run_on_pool([&] {
        // A sample that saw a single value cannot split the slice: the quicksort, which splits
        // runs of equal values evenly, does better there.
        if (!bucket_sort::sort_through_buffer(s, buffer.span())) par_unstable_sort_on_pool(s);
    });
}

}  // namespace

void parallel_stable_sort(Slice s) {
    sort_on_pool(s, WithoutBuffer::raise);
}

void parallel_unstable_sort(Slice s) {
    sort_on_pool(s, WithoutBuffer::sort_in_place);
}

}  // namespace tarvo
