#pragma once
// A stripe's partition around a pivot, in one variant per instruction set. The cut of the split
// sort is one pass over memory per level, and this loop is that pass: the scalar loop keeps a
// core busy at about 0.7-1.2 ns per element, the vector ones keep up with the memory. The widest
// variant the processor runs is chosen once, at the first call.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "core/slice.hpp"

namespace tarvo::split {

// A stripe: [front_begin, front_end) followed by [back_begin, back_end), partitioned as one
// sequence.
struct Stripe {
    std::size_t front_begin, front_end, back_begin, back_end;

    std::size_t front_size() const noexcept { return front_end - front_begin; }
    std::size_t size() const noexcept { return front_size() + back_end - back_begin; }
};

// Moves the elements of `stripe` (of `s`) below `pivot` to the stripe's start, its front piece
// first (in no particular order); returns how many there are. Each element is read once, and
// where an element goes follows from the values read, never from the slice read again.
using StripePartition = std::size_t (*)(Slice s, const Stripe& stripe, std::int64_t pivot) noexcept;

struct StripePartitionVariant {
    std::string_view name;
    StripePartition partition;
};

// The variants this processor can run, the portable one first and the widest last.
std::span<const StripePartitionVariant> runnable_stripe_partitions() noexcept;

// The widest variant's partition.
std::size_t partition_stripe(Slice s, const Stripe& stripe, std::int64_t pivot) noexcept;

}  // namespace tarvo::split
