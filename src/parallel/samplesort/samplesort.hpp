#pragma once
// The pool's in-place parallel samplesort, after IPS4o (Axtmann, Witt, Ferizovic and Sanders,
// "In-place Parallel Super Scalar Samplesort", ESA 2017): a parallel partition of the whole
// slice into up to 256 buckets (more with equal-key buckets) by splitters from a sample, then
// every bucket on its own, partitioned again by one worker until it fits the cache, where the
// sort kernel finishes it. Equal-key buckets are left as they are; input whose sample shows few
// distinct values is counted and written from the counts instead, if the sample missed none.

#include "core/memory.hpp"
#include "core/slice.hpp"
#include "parallel/pool/worker_context.hpp"
#include "parallel/samplesort/workspace.hpp"

namespace tarvo::samplesort {

// Everything the sort of a slice of `len` elements needs, obtained before any element moves:
// the buffers of its stripes, one per worker but no more than the slice has stretches of
// samplesort_elements_per_stripe, and the bucket ids of the slice's blocks. Throws OutOfMemory.
class Memory {
  public:
    Memory(std::size_t len, std::size_t workers)
        : stripes_(std::clamp<std::size_t>(len / samplesort_elements_per_stripe, 1, workers)),
          block_ids_(len / block, Fill::uninitialized) {}

    const Workspaces& stripes() const noexcept { return stripes_; }
    BucketId* block_ids() const noexcept { return block_ids_.data(); }

  private:
    Workspaces stripes_;
    Buffer<BucketId> block_ids_;
};

// Where the recursion stops partitioning: the tunables of config.hpp, lowered by tests so that
// short inputs take every path.
struct Limits {
    // Buckets up to this length go to the kernel.
    std::size_t leaf_max = samplesort_leaf_max;
    // Buckets up to this length are partitioned by one worker; longer ones by all.
    std::size_t sequential_partition_max = samplesort_sequential_partition_max;
};

// Sorts `s` (any length) with `memory`, made for it and for the pool `worker` belongs to.
void sort(const WorkerContext& worker, Slice s, const Memory& memory,
          const Limits& limits = {}) noexcept;

}  // namespace tarvo::samplesort
