#pragma once
// The pool's in-place parallel samplesort, after IPS4o (Axtmann, Witt, Ferizovic and Sanders,
// "In-place Parallel Super Scalar Samplesort", ESA 2017): a parallel partition of the whole
// slice into up to 256 buckets (more with equal-key buckets) by splitters from a sample, then
// every bucket on its own, partitioned again by one worker until it fits the cache, where the
// sort kernel finishes it; a bucket far beyond its share is partitioned again by all of them.
// Equal-key buckets are left as they are; input whose sample shows few distinct values, or values
// in a narrow range, is counted and written from the counts instead, if the sample missed none of
// the few values, or few elements lie outside the range.

#include <algorithm>

#include "core/memory.hpp"
#include "core/slice.hpp"
#include "parallel/pool/worker_context.hpp"
#include "parallel/samplesort/workspace.hpp"

namespace tarvo::samplesort {

// Everything the sort of a slice of `len` elements needs, obtained before any element moves:
// the buffers of its stripes and the bucket ids of the slice's blocks. Throws OutOfMemory.
class Memory {
  public:
    Memory(std::size_t len, std::size_t workers)
        : stripes_(stripes_for(len, workers)), block_ids_(len / block, Fill::uninitialized) {}

    // One stripe per worker, but no more than the slice has stretches of
    // samplesort_elements_per_stripe, nor than the memory cap (samplesort_memory_fixed_bytes
    // and a share of the slice) pays for.
    static std::size_t stripes_for(std::size_t len, std::size_t workers) noexcept {
        const std::size_t budget = samplesort_memory_fixed_bytes +
                                   len / samplesort_memory_slice_divisor * sizeof(std::int64_t);
        const std::size_t affordable = budget / Workspaces::bytes_per_stripe;
        return std::clamp<std::size_t>(std::min(len / samplesort_elements_per_stripe, affordable),
                                       1, workers);
    }

    const Workspaces& stripes() const noexcept { return stripes_; }
    BucketId* block_ids() const noexcept { return block_ids_.data(); }
    // All the memory held, in bytes.
    std::size_t bytes() const noexcept {
        return stripes_.size() * Workspaces::bytes_per_stripe +
               block_ids_.size() * sizeof(BucketId);
    }

  private:
    Workspaces stripes_;
    Buffer<BucketId> block_ids_;
};

// Where the recursion stops partitioning: the tunables of config.hpp, lowered by tests so that
// short inputs take every path.
struct Limits {
    // Buckets up to this length go to the kernel.
    std::size_t leaf_max = samplesort_leaf_max;
    // Buckets longer than this are partitioned by all the workers, whatever their share.
    std::size_t sequential_partition_max = samplesort_sequential_partition_max;
};

// What the first partition would make of the slice, as its sample shows it: the sample's few
// values counted, or every value of its narrow range, or the kind of classifier its splitters
// would build; linear buckets are told
// apart by whether the sample repeats values (samplesort_linear_repeats_share): the kernel is
// faster on those, so the partition weighs more beside it.
enum class SampleShape {
    counted,
    counted_range,
    linear,
    linear_with_repeats,
    trimmed_linear,
    logarithmic,
    tree,
    tree_with_equal_buckets
};

// The first partition's sample, drawn and sorted on the calling thread, so that its shape can
// decide between the kernel alone and the samplesort before the pool is asked for anything; the
// samplesort then partitions with it rather than drawing another. Its room (32 KiB) is on the
// heap: the caller may be a Python thread with a small stack. It draws `per_bucket` elements per
// bucket of that partition. Throws OutOfMemory.
class FirstSample {
  public:
    explicit FirstSample(ConstSlice s, std::size_t per_bucket = samplesort_oversampling);

    ConstSlice sorted() const noexcept { return ConstSlice(room_.data(), size_); }
    unsigned log_buckets() const noexcept { return log_buckets_; }
    SampleShape shape() const noexcept { return shape_; }

  private:
    Buffer<std::int64_t> room_;
    std::size_t size_ = 0;
    unsigned log_buckets_ = 0;
    SampleShape shape_ = SampleShape::tree;
};

// Whether a bucket of `bucket` elements, from a partition whose buckets to be sorted hold
// `share` elements on average, is partitioned again by all the workers instead of by one.
bool needs_all_workers(std::size_t bucket, std::size_t share, const Limits& limits) noexcept;

// Sorts `s` (any length) with `memory`, made for it and for the pool `worker` belongs to.
void sort(const WorkerContext& worker, Slice s, const Memory& memory,
          const Limits& limits = {}) noexcept;
// The same with `first`, drawn from `s` as it is now, as the first partition's sample.
void sort(const WorkerContext& worker, Slice s, const Memory& memory, const FirstSample& first,
          const Limits& limits = {}) noexcept;

}  // namespace tarvo::samplesort
