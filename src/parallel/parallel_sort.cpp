#include "parallel/parallel_sort.hpp"

#include <optional>

#include "core/memory.hpp"
#include "parallel/config.hpp"
#include "parallel/parallel_quicksort.hpp"
#include "parallel/pool_method.hpp"
#include "parallel/presorted.hpp"
#include "parallel/samplesort/samplesort.hpp"
#include "parallel/sort_kernel.hpp"
#include "parallel/sort_pool.hpp"
#include "parallel/split/split_sort.hpp"

namespace tarvo {
namespace {

// Both sorts share one method: equal int64 values cannot be told apart, so a stable and an
// unstable sort give the same array. They differ only when working memory cannot be had.
enum class WithoutMemory { raise, sort_in_place };

void sort_on_pool(Slice s, WithoutMemory without_memory) {
    if (s.size() <= pool_sort_sequential_max) {
        kernel_sort(s);
        return;
    }
    if (may_be_presorted(s)) {
        bool sorted = false;
        // The workers share the scan; with one worker the calling thread scans, sparing the
        // hand-over.
        if (sort_pool().size() == 1) {
            sorted = finish_if_presorted(s);
        } else {
            run_on_pool(
                [&](const WorkerContext& worker) { sorted = finish_if_presorted(worker, s); });
        }
        if (sorted) return;
    }
    // The first sample's shape and the worker count choose the method (pool_method.hpp). One
    // worker has nobody to share the work with: only counting a narrow range beats the kernel
    // alone there, and a sparser sample tells it; elsewhere the calling thread runs the kernel,
    // without the hop to the worker.
    const std::size_t workers = sort_pool().size();
    std::optional<samplesort::FirstSample> first;
    std::optional<samplesort::Memory> memory;
    PoolMethod method = PoolMethod::kernel;
    try {
        first.emplace(s, workers == 1 ? lone_worker_oversampling : samplesort_oversampling);
        method = choose_pool_method(first->shape(), s.size(), workers);
        if (method == PoolMethod::samplesort) memory.emplace(s.size(), workers);
    } catch (const OutOfMemory&) {
        if (without_memory == WithoutMemory::raise) throw;
        run_on_pool([&](const WorkerContext& worker) { parallel_quicksort(worker, s); });
        return;
    }
    switch (method) {
        case PoolMethod::kernel:
            kernel_sort(s);
            return;
        case PoolMethod::split_sort:
            run_on_pool([&](const WorkerContext& worker) {
                split::sort(worker, s, first->sorted(), workers);
            });
            return;
        case PoolMethod::samplesort:
            run_on_pool(
                [&](const WorkerContext& worker) { samplesort::sort(worker, s, *memory, *first); });
            return;
    }
}

}  // namespace

void parallel_stable_sort(Slice s) {
    sort_on_pool(s, WithoutMemory::raise);
}

void parallel_unstable_sort(Slice s) {
    sort_on_pool(s, WithoutMemory::sort_in_place);
}

}  // namespace tarvo
