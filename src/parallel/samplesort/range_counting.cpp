#include "parallel/samplesort/range_counting.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>

#include "parallel/pool/parallel_for.hpp"
#include "parallel/samplesort/value_fill.hpp"
#include "parallel/sort_kernel.hpp"

namespace tarvo::samplesort {
namespace {

// Consecutive elements go to separate tallies: a run of one value would otherwise wait for each
// increment of the same counter to be stored before the next loads it.
constexpr std::size_t tallies = 2;

// A stripe's tallies live in its buffer blocks, free until a partition fills them: `tallies`
// arrays of a counter per value of the range, then one for the elements above the range and one
// for those below it. The first stripe's blocks also hold the starts of the values in the sorted
// slice.
constexpr std::size_t tally_length = samplesort_counted_range_max + 2;
static_assert((tallies + 1) * tally_length <= max_buckets * block,
              "the tallies and the starts fit a stripe's buffer blocks");

std::uint64_t* tally(const StripeMemory& stripe, std::size_t t) noexcept {
    return reinterpret_cast<std::uint64_t*>(stripe.buffers) + t * tally_length;
}

std::uint64_t* starts_of(const StripeMemory& first_stripe) noexcept {
    return tally(first_stripe, tallies);
}

// The elements a stripe's tallies counted outside the range, which it moved to its front.
struct Outside {
    std::size_t above = 0;
    std::size_t below = 0;

    std::size_t total() const noexcept { return above + below; }
};

Outside outside_of(const StripeMemory& memory, const CountedRange& range) noexcept {
    Outside outside;
    for (std::size_t t = 0; t < tallies; ++t) {
        outside.above += tally(memory, t)[range.size()];
        outside.below += tally(memory, t)[range.size() + 1];
    }
    return outside;
}

// Tallies the stripe's elements by their offsets in the range and moves those outside it to the
// stripe's front, until every element is read, or `gave_up` says a stripe stopped: this one sets
// it when more than 1/samplesort_counted_range_outside_share of it lies outside.
void count_stripe(Slice stripe, const CountedRange& range, const StripeMemory& memory,
                  std::atomic<bool>& gave_up) noexcept {
    const std::size_t size = range.size();
    std::uint64_t* tally_of[tallies];
    for (std::size_t t = 0; t < tallies; ++t) {
        tally_of[t] = tally(memory, t);
        std::fill(tally_of[t], tally_of[t] + size + 2, 0);
    }
    const std::size_t outside_max = stripe.size() / samplesort_counted_range_outside_share;
    std::size_t outside = 0;
    // No branch on the data: every element is stored at the front's end, which moves on past it
    // only if it lies outside; the front stays behind the reading.
    const auto count = [&](std::size_t t, std::size_t i) {
        const std::int64_t value = stripe[i];
        const std::uint64_t offset = range.offset(value);
        const bool beyond = offset >= size;
        ++tally_of[t][beyond ? size + static_cast<std::size_t>(value < range.low()) : offset];
        stripe[outside] = value;
        outside += static_cast<std::size_t>(beyond);
    };
    constexpr std::size_t batch = samplesort_counting_batch;
    for (std::size_t first = 0; first < stripe.size(); first += batch) {
        if (gave_up.load(std::memory_order_relaxed)) return;
        const std::size_t end = std::min(stripe.size(), first + batch);
        std::size_t i = first;
        for (; i + tallies <= end; i += tallies) {
            for (std::size_t t = 0; t < tallies; ++t) count(t, i + t);
        }
        for (; i < end; ++i) count(0, i);
        if (outside > outside_max) {
            gave_up.store(true, std::memory_order_relaxed);
            return;
        }
    }
}

// Undoes a stripe's count: the elements it read inside the range, written back from its tallies
// behind the ones it moved to its front, leave the stripe holding what it held.
void restore_stripe(Slice stripe, const CountedRange& range, const StripeMemory& memory) noexcept {
    std::size_t next = outside_of(memory, range).total();
    for (std::size_t t = 0; t < tallies; ++t) {
        const std::uint64_t* counters = tally(memory, t);
        for (std::size_t v = 0; v < range.size(); ++v) {
            const auto copies = static_cast<std::size_t>(counters[v]);
            std::fill(stripe.data() + next, stripe.data() + next + copies, range.value(v));
            next += copies;
        }
    }
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

// Writes [first, last) of the sorted range's values: offset v fills [starts[v], starts[v + 1]).
void fill_share(Slice s, const CountedRange& range, const std::uint64_t* starts, std::size_t first,
                std::size_t last) noexcept {
    const bool past_caches = writes_past_caches(s.size());
    // The last offset whose values begin at or before `first`.
    std::size_t v = static_cast<std::size_t>(
        std::upper_bound(starts, starts + range.size() + 1, first) - starts - 1);
    for (; v < range.size() && starts[v] < last; ++v) {
        const std::size_t from = std::max<std::size_t>(starts[v], first);
        const std::size_t to = std::min<std::size_t>(starts[v + 1], last);
        fill_value(s.data() + from, s.data() + to, range.value(v), past_caches);
    }
    finish_fills();
}

std::optional<CountedRange> fit(std::span<const std::int64_t> sorted_sample,
                                std::size_t len) noexcept {
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

}  // namespace

std::optional<CountedRange> CountedRange::of(std::span<const std::int64_t> sorted_sample,
                                             std::size_t len) noexcept {
    const std::size_t set_aside = sorted_sample.size() / samplesort_counted_range_trimmed_share;
    if (sorted_sample.size() <= 2 * set_aside) return std::nullopt;
    if (auto whole = fit(sorted_sample, len)) return whole;
    return fit(sorted_sample.subspan(set_aside, sorted_sample.size() - 2 * set_aside), len);
}

bool sort_by_range_counting(const WorkerContext& worker, Slice s, const CountedRange& range,
                            std::span<const StripeMemory> stripe_memory) noexcept {
    // Adding up costs the range's size for every counting stripe: they stay few enough that it
    // weighs at most as much as counting one value's worth of elements per value.
    const std::size_t stripes = std::clamp<std::size_t>(
        s.size() / (range.size() * samplesort_counted_range_density), 1, stripe_memory.size());
    const std::span<const StripeMemory> counted = stripe_memory.first(stripes);
    std::atomic<bool> gave_up{false};
    parallel_for(worker, 0, stripes, [&](const WorkerContext&, std::size_t p) {
        count_stripe(part_of(s, p, stripes), range, counted[p], gave_up);
    });
    if (gave_up.load(std::memory_order_relaxed)) {
        parallel_for(worker, 0, stripes, [&](const WorkerContext&, std::size_t p) {
            restore_stripe(part_of(s, p, stripes), range, counted[p]);
        });
        return false;
    }
    // The elements outside the range, gathered at the slice's front in stripe order (each moves
    // down, past no stripe's yet to be moved), sorted, and those above it moved to the end. At
    // most 1/samplesort_counted_range_outside_share of the slice: the two places do not overlap.
    std::size_t outside = 0, below = 0;
    for (std::size_t p = 0; p < stripes; ++p) {
        const Outside moved = outside_of(counted[p], range);
        std::memmove(s.data() + outside, part_of(s, p, stripes).data(),
                     moved.total() * sizeof(std::int64_t));
        outside += moved.total();
        below += moved.below;
    }
    const std::size_t above = outside - below;
    if (outside > 0) {
        kernel_sort(worker, s.first(outside));
        std::memmove(s.data() + s.size() - above, s.data() + below, above * sizeof(std::int64_t));
    }
    // Every element read added one to one counter, so the range's last start is the length of
    // what lies between the two.
    std::uint64_t* const starts = starts_of(counted[0]);
    add_up(worker, range, counted, starts);
    const Slice inside = s.subspan(below, s.size() - outside);
    const std::size_t shares = stripe_memory.size();
    parallel_for(worker, 0, shares, [&](const WorkerContext&, std::size_t p) {
        fill_share(inside, range, starts, inside.size() * p / shares,
                   inside.size() * (p + 1) / shares);
    });
    return true;
}

}  // namespace tarvo::samplesort
