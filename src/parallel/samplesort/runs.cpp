#include "parallel/samplesort/runs.hpp"

#include <algorithm>
#include <atomic>

#include "parallel/pool/parallel_for.hpp"
#include "parallel/sort_kernel.hpp"

namespace tarvo::samplesort {
namespace {

static_assert(2 * samplesort_runs_max <= max_buckets * block, "runs fit the buffer blocks");

Slice stripe_of(Slice s, std::size_t stripe, std::size_t stripes) noexcept {
    const std::size_t first = s.size() * stripe / stripes;
    return s.subspan(first, s.size() * (stripe + 1) / stripes - first);
}

Runs stored_runs(const StripeMemory& memory) noexcept {
    return {memory.buffers, memory.buffers + samplesort_runs_max, memory.counts[0]};
}

// Writes elements [first, last) of the sorted slice, whose runs are those of every stripe merged
// by value: each value as many times as the stripes hold it together.
void fill_share(Slice s, std::span<const StripeMemory> stripes, std::size_t first,
                std::size_t last) noexcept {
    std::size_t position = 0;
    std::int64_t previous = 0;
    for (bool started = false; position < last; started = true) {
        // The smallest value above `previous` in any stripe, and how often the stripes hold it.
        bool found = false;
        std::int64_t value = 0;
        std::size_t total = 0;
        for (const StripeMemory& stripe : stripes) {
            const Runs runs = stored_runs(stripe);
            const std::int64_t* next =
                started ? std::upper_bound(runs.values, runs.values + runs.count, previous)
                        : runs.values;
            if (next == runs.values + runs.count) continue;
            const auto length = static_cast<std::size_t>(runs.lengths[next - runs.values]);
            if (!found || *next < value) {
                found = true;
                value = *next;
                total = length;
            } else if (*next == value) {
                total += length;
            }
        }
        // The lengths add up to the slice's length, so the runs last until `last`.
        if (!found) return;
        const std::size_t from = std::max(position, first);
        const std::size_t to = std::min(position + total, last);
        if (from < to) std::fill(s.data() + from, s.data() + to, value);
        position += total;
        previous = value;
    }
}

}  // namespace

std::optional<Runs> count_runs(ConstSlice stripe, const StripeMemory& memory) noexcept {
    std::int64_t* values = memory.buffers;
    std::int64_t* lengths = memory.buffers + samplesort_runs_max;
    std::size_t count = 0;
    for (std::size_t i = 0; i < stripe.size();) {
        const std::int64_t value = stripe[i];
        // At least the element just read belongs to the run, whatever the slice holds now.
        const std::size_t end = static_cast<std::size_t>(
            std::upper_bound(stripe.begin() + i + 1, stripe.end(), value) - stripe.begin());
        const auto length = static_cast<std::int64_t>(end - i);
        if (count > 0 && value <= values[count - 1]) {
            lengths[count - 1] += length;
        } else if (count == samplesort_runs_max) {
            return std::nullopt;
        } else {
            values[count] = value;
            lengths[count++] = length;
        }
        i = end;
    }
    memory.counts[0] = count;
    return Runs{values, lengths, count};
}

bool sort_by_runs(const WorkerContext& worker, Slice s,
                  std::span<const StripeMemory> stripes) noexcept {
    const std::size_t count = stripes.size();
    std::atomic<bool> too_many{false};
    parallel_for(worker, 0, count, [&](const WorkerContext& runner, std::size_t p) {
        const Slice stripe = stripe_of(s, p, count);
        kernel_sort(runner, stripe);
        if (!count_runs(stripe, stripes[p])) too_many.store(true, std::memory_order_relaxed);
    });
    if (too_many.load(std::memory_order_relaxed)) return false;
    parallel_for(worker, 0, count, [&](const WorkerContext&, std::size_t p) {
        fill_share(s, stripes, s.size() * p / count, s.size() * (p + 1) / count);
    });
    return true;
}

}  // namespace tarvo::samplesort
