#pragma once
// The split sort's partition: every element below a pivot moved before every other, in place, on
// several workers. Each worker partitions a stripe of its own (branch-free, one read per
// element); then the high elements left before the slice's split and the low ones after it are
// swapped pairwise, in parallel. Where the split lies and which places are swapped follow from
// the stripes' counts alone, never from values read again, so a slice that another thread
// writes to meanwhile ends up in some order but never sees an access outside it.

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/slice.hpp"
#include "parallel/pool/worker_context.hpp"

namespace tarvo::split {

// Moves the elements of `s` below `pivot` to its front (in no particular order); returns how many
// there are.
std::size_t partition_stripe(Slice s, std::int64_t pivot) noexcept;

// The stripes of a slice after each was partitioned: stripe i is [bounds[i], bounds[i + 1]) and
// holds lows[i] low elements at its front. The slice's split is the sum of lows; high elements
// before it and low elements after it are misplaced, as many of one kind as of the other.
struct PartitionedStripes {
    std::span<const std::size_t> bounds;  // one more than there are stripes
    std::span<const std::size_t> lows;

    std::size_t split() const noexcept;
    std::size_t misplaced_pairs(std::size_t split) const noexcept;
};

// Swaps the misplaced pairs numbered [first, last): the k-th high element before `split`
// (counting from the front) trades places with the k-th low element after it.
void swap_misplaced(Slice s, const PartitionedStripes& stripes, std::size_t split,
                    std::size_t first, std::size_t last) noexcept;

// Moves the elements of `s` below `pivot` to its front with `stripes` stripes (at most
// split_stripes_max) on the pool of `worker`; returns how many there are.
std::size_t partition(const WorkerContext& worker, Slice s, std::int64_t pivot,
                      std::size_t stripes) noexcept;

}  // namespace tarvo::split
