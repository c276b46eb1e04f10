#include "parallel/samplesort/counting.hpp"

#include <algorithm>
#include <atomic>

#include "parallel/pool/parallel_for.hpp"
#include "parallel/samplesort/value_fill.hpp"

namespace tarvo::samplesort {
namespace {

static_assert(SampledValues::slots <= 256, "a value's slot fits a byte");
static_assert(SampledValues::slots <= max_buckets, "a stripe's counts fit its bucket counts");

// Consecutive elements are counted in this many separate tallies: runs of one value would
// otherwise wait for each increment of the same counter to be stored before the next loads it.
constexpr std::size_t tallies = 4;

// Sets counts[rank] to the stripe's elements of each value by their slots, or returns false when
// an element is none of them or `missed` says another stripe found such an element.
bool hash_count_stripe(ConstSlice stripe, const SampledValues& values, std::size_t* counts,
                       const std::atomic<bool>& missed) noexcept {
    std::size_t tally[tallies][SampledValues::slots] = {};
    constexpr std::size_t batch = samplesort_counting_batch;
    for (std::size_t first = 0; first < stripe.size(); first += batch) {
        if (missed.load(std::memory_order_relaxed)) return false;
        const std::size_t end = std::min(stripe.size(), first + batch);
        // Whether the batch held only the values is checked once at its end, so that the loop
        // has no branch that depends on the data: any bit set in `mismatch` is an element that
        // differs from the value owning its slot.
        std::uint64_t mismatch = 0;
        std::size_t i = first;
        for (; i + tallies <= end; i += tallies) {
            for (std::size_t t = 0; t < tallies; ++t) {
                const std::int64_t value = stripe[i + t];
                const std::size_t slot = values.slot(value);
                mismatch |= values.mismatch(slot, value);
                ++tally[t][slot];
            }
        }
        for (; i < end; ++i) {
            const std::int64_t value = stripe[i];
            const std::size_t slot = values.slot(value);
            mismatch |= values.mismatch(slot, value);
            ++tally[0][slot];
        }
        if (mismatch != 0) return false;
    }
    for (std::size_t rank = 0; rank < values.size(); ++rank) {
        const std::size_t slot = values.slot_of_rank(rank);
        counts[rank] = 0;
        for (std::size_t t = 0; t < tallies; ++t) counts[rank] += tally[t][slot];
    }
    return true;
}

#if defined(__x86_64__)
// With AVX2, comparing every element with each of a few values costs less than hashing it: four
// elements per comparison and an accumulator per value, 0.2 ns per element for 4 values and 0.38
// for 8 against 0.6 for the hash. Adds to counts[r] the elements of [a, a + n) equal to
// table[r].
template <std::size_t Ranks>
__attribute__((target("avx2"))) void compare_count(const std::int64_t* a, std::size_t n,
                                                   const std::int64_t* table,
                                                   std::size_t* counts) noexcept {
    std::int64_t lanes[Ranks][4] = {};
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        for (std::size_t r = 0; r < Ranks; ++r) {
            for (std::size_t k = 0; k < 4; ++k) lanes[r][k] += a[i + k] == table[r];
        }
    }
    for (; i < n; ++i) {
        for (std::size_t r = 0; r < Ranks; ++r) lanes[r][0] += a[i] == table[r];
    }
    for (std::size_t r = 0; r < Ranks; ++r) {
        counts[r] +=
            static_cast<std::size_t>(lanes[r][0] + lanes[r][1] + lanes[r][2] + lanes[r][3]);
    }
}

// As hash_count_stripe, for at most samplesort_compared_values_max values. The comparisons may
// read an element more than once; the counts of a batch must then still add up to its length,
// or the count gives up, so every index written still derives from counts that add up to the
// slice's length.
bool compare_count_stripe(ConstSlice stripe, const SampledValues& values, std::size_t* counts,
                          const std::atomic<bool>& missed) noexcept {
    constexpr std::size_t most = samplesort_compared_values_max;
    // Padded with the smallest value, whose extra counts are ignored.
    std::int64_t table[most];
    for (std::size_t r = 0; r < most; ++r) table[r] = values.value(r < values.size() ? r : 0);
    std::fill(counts, counts + values.size(), 0);
    constexpr std::size_t batch = samplesort_counting_batch;
    for (std::size_t first = 0; first < stripe.size(); first += batch) {
        if (missed.load(std::memory_order_relaxed)) return false;
        const std::size_t length = std::min(batch, stripe.size() - first);
        std::size_t found[most] = {};
        if (values.size() <= 2) {
            compare_count<2>(stripe.data() + first, length, table, found);
        } else if (values.size() <= 4) {
            compare_count<4>(stripe.data() + first, length, table, found);
        } else {
            compare_count<most>(stripe.data() + first, length, table, found);
        }
        std::size_t matched = 0;
        for (std::size_t r = 0; r < values.size(); ++r) {
            matched += found[r];
            counts[r] += found[r];
        }
        if (matched != length) return false;
    }
    return true;
}
#endif

// Sets counts[rank] to the stripe's elements of each value, or returns false when an element is
// none of them or `missed` says another stripe found such an element.
bool count_stripe(ConstSlice stripe, const SampledValues& values, std::size_t* counts,
                  const std::atomic<bool>& missed) noexcept {
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2 && values.size() <= samplesort_compared_values_max) {
        return compare_count_stripe(stripe, values, counts, missed);
    }
#endif
    return hash_count_stripe(stripe, values, counts, missed);
}

// Writes [first, last) of the sorted slice: value `rank` fills [starts[rank], starts[rank + 1]).
void fill_share(Slice s, const SampledValues& values, const std::size_t* starts, std::size_t first,
                std::size_t last) noexcept {
    const bool past_caches = writes_past_caches(s.size());
    for (std::size_t rank = 0; rank < values.size(); ++rank) {
        const std::size_t from = std::max(starts[rank], first);
        const std::size_t to = std::min(starts[rank + 1], last);
        if (from < to) fill_value(s.data() + from, s.data() + to, values.value(rank), past_caches);
    }
    finish_fills();
}

}  // namespace

std::optional<SampledValues> SampledValues::of(
    std::span<const std::int64_t> sorted_sample) noexcept {
    SampledValues table;
    for (std::size_t i = 0; i < sorted_sample.size(); ++i) {
        if (i > 0 && sorted_sample[i] == sorted_sample[i - 1]) continue;
        if (table.size_ == samplesort_counted_values_max) return std::nullopt;
        table.values_[table.size_++] = sorted_sample[i];
    }
    if (table.size_ == 0) return std::nullopt;
    // Odd multipliers from a fixed sequence: a random one leaves 16 values in 256 slots without a
    // collision about three times in five, so the first few tries nearly always succeed.
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    for (std::size_t attempt = 0; attempt < samplesort_counting_hash_tries; ++attempt) {
        state += 0x9E3779B97F4A7C15u;
        std::uint64_t mixed = (state ^ (state >> 30)) * 0xBF58476D1CE4E5B9u;
        mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBu;
        table.multiplier_ = (mixed ^ (mixed >> 31)) | 1;
        bool taken[slots] = {};
        bool separated = true;
        for (std::size_t rank = 0; rank < table.size_ && separated; ++rank) {
            const std::size_t slot = table.slot(table.values_[rank]);
            separated = !taken[slot];
            taken[slot] = true;
            table.rank_slots_[rank] = static_cast<std::uint8_t>(slot);
        }
        if (!separated) continue;
        // A free slot holds the smallest value, whose own slot is another: nothing matches it.
        std::fill(std::begin(table.slot_values_), std::end(table.slot_values_), table.values_[0]);
        for (std::size_t rank = 0; rank < table.size_; ++rank) {
            table.slot_values_[table.rank_slots_[rank]] = table.values_[rank];
        }
        return table;
    }
    return std::nullopt;
}

bool sort_by_counting(const WorkerContext& worker, Slice s, const SampledValues& values,
                      std::span<const StripeMemory> stripe_memory) noexcept {
    const std::size_t stripes = stripe_memory.size();
    std::atomic<bool> missed{false};
    parallel_for(worker, 0, stripes, [&](const WorkerContext&, std::size_t p) {
        if (!count_stripe(part_of(s, p, stripes), values, stripe_memory[p].counts, missed)) {
            missed.store(true, std::memory_order_relaxed);
        }
    });
    if (missed.load(std::memory_order_relaxed)) return false;
    // Every element read added one to one count, so the last start is the slice's length.
    std::size_t starts[samplesort_counted_values_max + 1];
    std::size_t position = 0;
    for (std::size_t rank = 0; rank < values.size(); ++rank) {
        starts[rank] = position;
        for (const StripeMemory& stripe : stripe_memory) position += stripe.counts[rank];
    }
    starts[values.size()] = position;
    parallel_for(worker, 0, stripes, [&](const WorkerContext&, std::size_t p) {
        fill_share(s, values, starts, s.size() * p / stripes, s.size() * (p + 1) / stripes);
    });
    return true;
}

}  // namespace tarvo::samplesort
