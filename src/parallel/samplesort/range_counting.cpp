#include "parallel/samplesort/range_counting.hpp"

#include <algorithm>
#include <atomic>
#include <limits>

#include "parallel/pool/parallel_for.hpp"

namespace tarvo::samplesort {
namespace {

// Consecutive elements go to separate tallies: a run of one value would otherwise wait for each
// increment of the same counter to be stored before the next loads it.
constexpr std::size_t tallies = 2;

// A stripe's tallies live in its buffer blocks, free until a partition fills them: `tallies`
// arrays of range.size() + 1 counters, the last counter of each taking the elements outside the
// range. The first stripe's blocks also hold the starts of the values in the sorted slice.
constexpr std::size_t tally_length = samplesort_counted_range_max + 1;
static_assert((tallies + 1) * tally_length <= max_buckets * block,
              "the tallies and the starts fit a stripe's buffer blocks");

std::uint64_t* tally(const StripeMemory& stripe, std::size_t t) noexcept {
    return reinterpret_cast<std::uint64_t*>(stripe.buffers) + t * tally_length;
}

std::uint64_t* starts_of(const StripeMemory& first_stripe) noexcept {
    return tally(first_stripe, tallies);
}

ConstSlice stripe_of(ConstSlice s, std::size_t stripe, std::size_t stripes) noexcept {
    const std::size_t first = s.size() * stripe / stripes;
    return s.subspan(first, s.size() * (stripe + 1) / stripes - first);
}

// Tallies the stripe's elements by their offsets in the range, or returns false when one lies
// outside it or `missed` says another stripe found such an element.
bool count_stripe(ConstSlice stripe, const CountedRange& range, const StripeMemory& memory,
                  const std::atomic<bool>& missed) noexcept {
    const std::size_t size = range.size();
    std::uint64_t* tally_of[tallies];
    for (std::size_t t = 0; t < tallies; ++t) {
        tally_of[t] = tally(memory, t);
        std::fill(tally_of[t], tally_of[t] + size + 1, 0);
    }
    constexpr std::size_t batch = samplesort_counting_batch;
    for (std::size_t first = 0; first < stripe.size(); first += batch) {
        if (missed.load(std::memory_order_relaxed)) return false;
        const std::size_t end = std::min(stripe.size(), first + batch);
        // No branch on the data: an element outside the range goes to the last counter, looked at
        // once per batch.
        std::size_t i = first;
        for (; i + tallies <= end; i += tallies) {
            for (std::size_t t = 0; t < tallies; ++t) {
                ++tally_of[t][std::min<std::uint64_t>(range.offset(stripe[i + t]), size)];
            }
        }
        for (; i < end; ++i) ++tally_of[0][std::min<std::uint64_t>(range.offset(stripe[i]), size)];
        for (std::size_t t = 0; t < tallies; ++t) {
            if (tally_of[t][size] != 0) return false;
        }
    }
    return true;
}

// Sets starts[v] to the number of the counted stripes' elements whose offset is below v, for
// every v up to the range's size.
void add_up(const WorkerContext& worker, const CountedRange& range,
            std::span<const StripeMemory> counted, std::uint64_t* starts) noexcept {
    const std::size_t size = range.size();
    // The totals, shared out by offset: every stripe's tallies are read once.
    const std::size_t shares = counted.size();
    parallel_for(worker, 0, shares, [&](const WorkerContext&, std::size_t p) {
        for (std::size_t v = size * p / shares; v < size * (p + 1) / shares; ++v) {
            std::uint64_t total = 0;
            for (const StripeMemory& stripe : counted) {
                for (std::size_t t = 0; t < tallies; ++t) total += tally(stripe, t)[v];
            }
            starts[v + 1] = total;
        }
    });
    starts[0] = 0;
    for (std::size_t v = 0; v < size; ++v) starts[v + 1] += starts[v];
}

// Writes [first, last) of the sorted slice: offset v fills [starts[v], starts[v + 1]).
void fill_share(Slice s, const CountedRange& range, const std::uint64_t* starts, std::size_t first,
                std::size_t last) noexcept {
    // The last offset whose values begin at or before `first`.
    std::size_t v = static_cast<std::size_t>(
        std::upper_bound(starts, starts + range.size() + 1, first) - starts - 1);
    for (; v < range.size() && starts[v] < last; ++v) {
        const std::size_t from = std::max<std::size_t>(starts[v], first);
        const std::size_t to = std::min<std::size_t>(starts[v + 1], last);
        std::fill(s.data() + from, s.data() + to, range.value(v));
    }
}

}  // namespace

std::optional<CountedRange> CountedRange::of(std::span<const std::int64_t> sorted_sample,
                                             std::size_t len) noexcept {
    if (sorted_sample.empty()) return std::nullopt;
    const std::size_t most =
        std::min(samplesort_counted_range_max, len / samplesort_counted_range_density);
    const std::uint64_t span = static_cast<std::uint64_t>(sorted_sample.back()) -
                               static_cast<std::uint64_t>(sorted_sample.front());
    if (span >= most) return std::nullopt;
    const auto sampled = static_cast<std::size_t>(span + 1);
    const std::size_t size = std::min(most, 2 * sampled);
    // Half the widening below the sample's lowest value, moved up or down where int64 ends.
    const __int128 lowest = std::numeric_limits<std::int64_t>::min();
    const __int128 highest_low = static_cast<__int128>(std::numeric_limits<std::int64_t>::max()) -
                                 static_cast<__int128>(size - 1);
    const __int128 low = std::clamp<__int128>(
        static_cast<__int128>(sorted_sample.front()) - static_cast<__int128>((size - sampled) / 2),
        lowest, highest_low);
    return CountedRange(static_cast<std::int64_t>(low), size);
}

bool sort_by_range_counting(const WorkerContext& worker, Slice s, const CountedRange& range,
                            std::span<const StripeMemory> stripe_memory) noexcept {
    // Adding up costs the range's size for every counting stripe: they stay few enough that it
    // weighs at most as much as counting one value's worth of elements per value.
    const std::size_t stripes = std::clamp<std::size_t>(
        s.size() / (range.size() * samplesort_counted_range_density), 1, stripe_memory.size());
    const std::span<const StripeMemory> counted = stripe_memory.first(stripes);
    std::atomic<bool> missed{false};
    parallel_for(worker, 0, stripes, [&](const WorkerContext&, std::size_t p) {
        if (!count_stripe(stripe_of(s, p, stripes), range, counted[p], missed)) {
            missed.store(true, std::memory_order_relaxed);
        }
    });
    if (missed.load(std::memory_order_relaxed)) return false;
    std::uint64_t* const starts = starts_of(counted[0]);
    add_up(worker, range, counted, starts);
    // Every element read added one to one counter of the range, so the last start is the
    // slice's length.
    const std::size_t shares = stripe_memory.size();
    parallel_for(worker, 0, shares, [&](const WorkerContext&, std::size_t p) {
        fill_share(s, range, starts, s.size() * p / shares, s.size() * (p + 1) / shares);
    });
    return true;
}

}  // namespace tarvo::samplesort
