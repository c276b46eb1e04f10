#pragma once
// The split sort's partition: every element below a pivot moved before every other, in place, on
// several workers. Each worker partitions a stripe of its own (one read per element, in vector
// registers where the processor has them); then the high elements left before the slice's split and
// the low ones after it are swapped pairwise, in parallel. Where the split lies and which places
// are swapped follow from the stripes' counts alone, never from values read again, so a slice that
// another thread writes to meanwhile ends up in some order but never sees an access outside it.
//
// A stripe is two pieces of the slice: one in front of the split the sample expects, where its
// low elements go, and one behind it, where its high ones go, each as long as the stripe's
// expected share of that side. The fronts tile the expected low side and the backs the high
// side, so that when the sample is right every element lands on its side of the slice at once
// and only the stripes' deviations from their expected counts are swapped afterwards. Stripes
// that were each a contiguous stretch left about a quarter of the slice on the wrong side.

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/slice.hpp"
#include "parallel/pool/worker_context.hpp"
#include "parallel/split/stripe_partition.hpp"

namespace tarvo::split {

// Lays `stripes.size()` stripes of about equal length over a slice of `len` elements of which
// `expected_lows` (at most `len`) are expected below the pivot.
void lay_out(std::size_t len, std::size_t expected_lows, std::span<Stripe> stripes) noexcept;

// The stripes of a slice after each was partitioned: stripe i holds lows[i] low elements at its
// start. The slice's split is the sum of lows; high elements before it and low elements after it
// are misplaced, as many of one kind as of the other.
struct PartitionedStripes {
    std::span<const Stripe> stripes;
    std::span<const std::size_t> lows;

    std::size_t split() const noexcept;
    std::size_t misplaced_pairs(std::size_t split) const noexcept;
};

// Swaps the misplaced pairs numbered [first, last): the k-th high element before `split` trades
// places with the k-th low element after it, both counted over the stripes' fronts, then their
// backs, in stripe order.
void swap_misplaced(Slice s, const PartitionedStripes& stripes, std::size_t split,
                    std::size_t first, std::size_t last) noexcept;

// Moves the elements of `s` below `pivot` to its front with `stripes` stripes (at most
// split_stripes_max) on the pool of `worker`, laid out for `expected_lows` low elements; returns
// how many there are.
std::size_t partition(const WorkerContext& worker, Slice s, std::int64_t pivot, std::size_t stripes,
                      std::size_t expected_lows) noexcept;

}  // namespace tarvo::split
