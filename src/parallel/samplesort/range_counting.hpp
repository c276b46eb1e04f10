#pragma once
// Sorting input whose values lie in a narrow range by counting every value of that range. When
// the sample's values span at most samplesort_counted_range_max values (or do once a few at
// either end are set aside), and the slice holds at least samplesort_counted_range_density
// elements per value of the span (so most values repeat many times), every stripe tallies its
// elements by their distance from the range's low end in one read, moving the few outside the
// range to its front, and the slice is then written from the tallies in one write, the elements
// outside sorted by the kernel at its ends: where the kernel spends some 4 ns per element on
// sqrt(n) distinct values, this spends about one. Too many elements outside the range make the
// counting give up, with the slice holding what it held, for the partition to sort.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "core/slice.hpp"
#include "parallel/pool/worker_context.hpp"
#include "parallel/samplesort/workspace.hpp"

namespace tarvo::samplesort {

// A range of values counted one by one: [low, low + size).
class CountedRange {
  public:
    CountedRange(std::int64_t low, std::size_t size) noexcept : low_(low), size_(size) {}

    // The sample's range, or else the range of all but 1/samplesort_counted_range_trimmed_share
    // of it at either end, widened on both sides where the limits allow (values just beyond the
    // ones a sample drew are the likeliest to exist); nothing when the slice of `len` elements
    // holds too few elements per value of either or both span too many values.
    static std::optional<CountedRange> of(std::span<const std::int64_t> sorted_sample,
                                          std::size_t len) noexcept;

    std::int64_t low() const noexcept { return low_; }
    std::size_t size() const noexcept { return size_; }
    // The value's distance from low(): below size() exactly when the value is in the range.
    std::uint64_t offset(std::int64_t value) const noexcept {
        return static_cast<std::uint64_t>(value) - static_cast<std::uint64_t>(low_);
    }
    std::int64_t value(std::size_t offset) const noexcept {
        return static_cast<std::int64_t>(static_cast<std::uint64_t>(low_) + offset);
    }

  private:
    std::int64_t low_;
    std::size_t size_;
};

// Sorts `s` by counting the values of `range` on `worker`, using the memory of up to one stripe
// per element of `stripe_memory` (with more than one, through the pool of `worker`), and returns
// true; or returns false with `s` holding the same values in another order when more than
// 1/samplesort_counted_range_outside_share of a stripe lies outside the range. Every element read
// adds one to one counter, so the counters add up to the slice's length whatever a thread
// writing into the slice meanwhile does, every index written derives from them, and every value
// written is one that was read.
bool sort_by_range_counting(const WorkerContext& worker, Slice s, const CountedRange& range,
                            std::span<const StripeMemory> stripe_memory) noexcept;

}  // namespace tarvo::samplesort
