#pragma once
// The kernel that sorts the leaves of the pool-backed sorts: Highway's vectorised quicksort
// (vqsort), which picks the best instruction set of the processor it runs on, or pdq_sort where
// the build found no Highway.

#include <cstddef>
#include <memory>
#include <string_view>

#include "core/slice.hpp"
#include "parallel/pool/worker_context.hpp"

namespace tarvo {

// What the kernel needs on the thread that runs it: Highway's Sorter. Each worker of the sorts'
// pool owns one, made with the pool before its thread starts (make_kernel_scratch), so that no
// worker makes per-thread state of its own.
class KernelScratch;

// The worker state of the sorts' pool (a WorkerStateFactory). Throws std::bad_alloc.
std::unique_ptr<WorkerState> make_kernel_scratch(std::size_t worker);

// Sorts `s` in place on `worker`, a worker of the sorts' pool, with the scratch it owns.
void kernel_sort(const WorkerContext& worker, Slice s) noexcept;

// Sorts `s` in place on a thread outside the pool (the caller's), with a sorter of its own for
// this call. Needs nothing from the interpreter or NumPy.
void kernel_sort(Slice s) noexcept;

// What kernel_sort is in this build: "Highway vqsort" or "pdq_sort (portable fallback)".
std::string_view kernel_name() noexcept;

}  // namespace tarvo
