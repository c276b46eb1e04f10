#pragma once
// Sorting input whose values lie in a narrow range by counting every value of that range. When
// the sample's values span at most samplesort_counted_range_max values, and the slice holds at
// least samplesort_counted_range_density elements per value of the span (so most values repeat
// many times), every stripe tallies its elements by their distance from the range's low end in
// one read, and the slice is then written from the tallies in one write: where the kernel spends
// some 4 ns per element on sqrt(n) distinct values, this spends about one. An element outside the
// range makes the counting give up with the slice untouched, for the partition to sort.

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
    // The sample's range, widened on both sides where the limits allow (values just beyond the
    // ones a sample drew are the likeliest to exist), or nothing when the slice of `len`
    // elements holds too few elements per value of it or it spans too many values.
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
    CountedRange(std::int64_t low, std::size_t size) noexcept : low_(low), size_(size) {}

    std::int64_t low_;
    std::size_t size_;
};

// Sorts `s` by counting the values of `range` on `worker`, using the memory of up to one stripe
// per element of `stripe_memory` (with more than one, through the pool of `worker`), and returns
// true; or returns false with `s` untouched when some element lies outside the range. Every
// element read adds one to one tally, so the tallies add up to the slice's length whatever a
// thread writing into the slice meanwhile does, and every index written derives from them.
bool sort_by_range_counting(const WorkerContext& worker, Slice s, const CountedRange& range,
                            std::span<const StripeMemory> stripe_memory) noexcept;

}  // namespace tarvo::samplesort
