#pragma once
// The split sort: a parallel quicksort whose partitions run on all the workers of their part of
// the pool. A slice meant for `parts` workers is cut in two at a value chosen from a sample so
// that each side's share of the sorting work matches its share of the workers (split_point.hpp),
// every worker partitioning a stripe (two_way_partition.hpp); the sides are sorted the same way,
// in parallel, until a side is meant for one worker, which the kernel then sorts alone.
//
// Each cut reads and writes every element once, which streams through memory at the bandwidth
// the workers share, while the kernel's work on the sides hardly shrinks (it is n log n); on few
// workers that makes for less work than a samplesort's partition, which classifies each element
// among many buckets. It needs no memory beyond the workers' stacks.

#include <cstddef>

#include "core/slice.hpp"
#include "parallel/config.hpp"
#include "parallel/pool/worker_context.hpp"

namespace tarvo::split {

// Sorts `s` on the pool of `worker` for `parts` workers, cutting it first at `sorted_sample`, a
// sorted sample of `s` as it is now. Sides of up to `leaf_max` elements go to the kernel whatever
// their share of the workers (tests lower it to cut short slices).
void sort(const WorkerContext& worker, Slice s, ConstSlice sorted_sample, std::size_t parts,
          std::size_t leaf_max = split_side_kernel_max) noexcept;

}  // namespace tarvo::split
