#pragma once
// Sorting input of few distinct values by counting them. When the sample shows at most
// samplesort_counted_values_max distinct values, every stripe counts its elements of each of them
// in one read, and the slice is then written value after value from the counts, every
// participant writing its own share: one read and one write pass, where a partition would
// classify, permute and clean up every element only to find nearly all of them in equal-key
// buckets, and the kernel would stream the slice several times. An element whose value the
// sample missed makes the counting give up with the slice untouched, for the partition to sort.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "core/slice.hpp"
#include "parallel/config.hpp"
#include "parallel/pool/worker_context.hpp"
#include "parallel/samplesort/workspace.hpp"

namespace tarvo::samplesort {

// The distinct values of a sample, each found in a table by a multiplicative hash chosen so that
// no two of them share a slot: one multiplication, one load and one comparison tell whether an
// element holds one of them and which, without branches or a search.
class SampledValues {
  public:
    static constexpr std::size_t slots = std::size_t{1} << samplesort_counting_log_slots;

    // The distinct values of `sorted_sample`, or nothing when there are more than
    // samplesort_counted_values_max of them (or, against all odds, no hash separates them).
    static std::optional<SampledValues> of(std::span<const std::int64_t> sorted_sample) noexcept;

    std::size_t size() const noexcept { return size_; }
    // The values in ascending order.
    std::int64_t value(std::size_t rank) const noexcept { return values_[rank]; }
    std::size_t slot_of_rank(std::size_t rank) const noexcept { return rank_slots_[rank]; }

    std::size_t slot(std::int64_t value) const noexcept {
        return static_cast<std::size_t>((static_cast<std::uint64_t>(value) * multiplier_) >>
                                        (64 - samplesort_counting_log_slots));
    }
    // Zero when `value` is one of the values (its slot is then slot(value)), else some bits of
    // the difference: a bitwise or over many elements tells whether all of them were. A slot no
    // value owns holds a value that owns another slot, so no element matches it.
    std::uint64_t mismatch(std::size_t slot, std::int64_t value) const noexcept {
        return static_cast<std::uint64_t>(slot_values_[slot] ^ value);
    }

  private:
    SampledValues() = default;

    std::int64_t values_[samplesort_counted_values_max] = {};
    std::uint8_t rank_slots_[samplesort_counted_values_max] = {};
    std::int64_t slot_values_[slots] = {};
    std::uint64_t multiplier_ = 0;
    std::size_t size_ = 0;
};

// Sorts `s` by counting on `worker`, with one stripe per element of `stripe_memory` (with more
// than one, through the pool of `worker`), and returns true; or returns false with `s` untouched
// when some element is none of `values`. Every index written derives from the counts, which add up
// to the slice's length whatever a thread writing into the slice meanwhile does, and every value
// written is one of `values`.
bool sort_by_counting(const WorkerContext& worker, Slice s, const SampledValues& values,
                      std::span<const StripeMemory> stripe_memory) noexcept;

}  // namespace tarvo::samplesort
