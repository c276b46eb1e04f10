#include <doctest/doctest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "parallel/config.hpp"
#include "parallel/pool/registry.hpp"
#include "parallel/samplesort/counting.hpp"
#include "parallel/samplesort/range_counting.hpp"
#include "parallel/samplesort/value_fill.hpp"
#include "parallel/sort_kernel.hpp"
#include "sort_patterns.hpp"
#include "sort_pool_for_tests.hpp"

using namespace tarvo;
using namespace tarvo::samplesort;
using Values = std::vector<std::int64_t>;

namespace {

using test::max64;
using test::min64;

SampledValues sampled(Values sample) {
    std::sort(sample.begin(), sample.end());
    const auto values = SampledValues::of(sample);
    REQUIRE(values);
    return *values;
}

}  // namespace

TEST_CASE("samplesort counting: the sample's distinct values, each found and nothing else") {
    const Values distinct = {min64, -7, 0, 1, 2, 1000003, max64 - 1, max64};
    Values sample;
    for (std::int64_t v : distinct) sample.insert(sample.end(), 3, v);
    const SampledValues values = sampled(sample);
    REQUIRE(values.size() == distinct.size());
    for (std::size_t rank = 0; rank < distinct.size(); ++rank) {
        CHECK(values.value(rank) == distinct[rank]);
        CHECK(values.slot(distinct[rank]) == values.slot_of_rank(rank));
        CHECK(values.mismatch(values.slot(distinct[rank]), distinct[rank]) == 0);
    }
    for (std::int64_t other : {min64 + 1, std::int64_t{-8}, std::int64_t{-1}, std::int64_t{3},
                               std::int64_t{1000002}, max64 - 2}) {
        CHECK(values.mismatch(values.slot(other), other) != 0);
    }

    Values too_many(samplesort_counted_values_max + 1);
    for (std::size_t i = 0; i < too_many.size(); ++i) too_many[i] = static_cast<std::int64_t>(i);
    CHECK_FALSE(SampledValues::of(too_many));
}

TEST_CASE("samplesort counting: sorted on 1, 2, 3 and 64 stripes, or left untouched") {
    std::mt19937_64 rng(41);
    const std::size_t n = 100003;
    // Few values are compared with every element where the processor allows, more are hashed.
    Values twelve = {min64, max64};
    for (std::int64_t v = -5; v < 5; ++v) twelve.push_back(v * 1000003);
    for (const SampledValues& values :
         {sampled({-5, 0, 9, max64}), sampled(twelve), sampled(Values(3, 1 << 20))}) {
        Values of_values(n);
        for (auto& x : of_values) x = values.value(rng() % values.size());
        // Not among the values: a value the sample missed.
        const std::int64_t missed = values.value(0) == 1 ? 2 : 1;
        for (std::size_t workers : {1, 2, 3, 64}) {
            auto pool = test::start_sort_pool(workers);
            const Workspaces memory(workers);
            // The missed value first, at a stripe's end, last, or nowhere.
            for (std::size_t missed_at : {std::size_t{0}, n / workers - 1, n - 1, n}) {
                INFO(values.size(), " values, workers ", workers, ", missed at ", missed_at);
                Values input = of_values;
                if (missed_at < n) input[missed_at] = missed;
                Values sorted_values = input;
                bool sorted = false;
                pool->in_worker([&](const WorkerContext& worker) {
                    sorted = sort_by_counting(worker, sorted_values, values, memory.all());
                });
                CHECK(sorted == (missed_at == n));
                CHECK(sorted_values == (sorted ? test::sorted_copy(input) : input));
            }
        }
    }
}

TEST_CASE("samplesort range counting: the sample's range, widened within the limits") {
    struct Case {
        Values sample;
        std::size_t len;
        std::int64_t low;
        std::size_t size;  // 0: no range
    };
    const std::size_t density = samplesort_counted_range_density;
    const std::int64_t widest = samplesort_counted_range_max;
    static_assert(samplesort_counted_range_trimmed_share == 128);
    Values trimmed_sample = {min64};
    for (std::int64_t v = 0; v < 126; ++v) trimmed_sample.push_back(v % 100);
    trimmed_sample.push_back(max64);
    std::sort(trimmed_sample.begin(), trimmed_sample.end());
    const Case cases[] = {
        // 10 values sampled: twice that where the length allows, half the widening below.
        {{10, 12, 19}, 100 * density, 5, 20},
        {{10, 12, 19}, 15 * density, 8, 15},
        {{10, 12, 19}, 10 * density, 10, 10},
        {{10, 12, 19}, 10 * density - 1, 0, 0},
        // The widening moved back inside int64.
        {{min64, min64 + 3}, std::size_t{1} << 30, min64, 8},
        {{max64 - 1, max64}, std::size_t{1} << 30, max64 - 3, 4},
        {{0, widest - 1}, std::size_t{1} << 30, 0, std::size_t{1} << 15},
        {{0, widest}, std::size_t{1} << 30, 0, 0},
        {{min64, max64}, std::size_t{1} << 30, 0, 0},
        // Too wide as a whole, but not once 1/128 of it is set aside at either end: with 128
        // values one at each end.
        {trimmed_sample, 100 * density, 0, 100},
        {trimmed_sample, 99 * density, 0, 0},
    };
    for (const Case& c : cases) {
        CAPTURE(c.sample.front());
        CAPTURE(c.len);
        const auto range = CountedRange::of(c.sample, c.len);
        REQUIRE(range.has_value() == (c.size != 0));
        if (!range) continue;
        CHECK(range->low() == c.low);
        CHECK(range->size() == c.size);
        CHECK(range->value(0) == c.low);
        CHECK(range->offset(c.low) == 0);
        CHECK(range->offset(c.sample.back()) ==
              static_cast<std::uint64_t>(c.sample.back()) - static_cast<std::uint64_t>(c.low));
    }
}

TEST_CASE("samplesort range counting: sorted on 1, 2, 3 and 64 stripes, with values outside") {
    std::mt19937_64 rng(43);
    const std::size_t n = 100003;
    // 64 stripes count 1,000 values in 6 stripes (100,003 / 16,000), 3,000 in 2.
    for (const auto& [low, size] :
         {std::pair{min64, std::size_t{1000}}, std::pair{std::int64_t{-1500}, std::size_t{3000}},
          std::pair{max64 - 999, std::size_t{1000}}}) {
        const std::int64_t high = low + static_cast<std::int64_t>(size - 1);
        // A length that allows no widening.
        const auto range =
            CountedRange::of(Values{low, high}, size * samplesort_counted_range_density);
        REQUIRE(range);
        REQUIRE(range->low() == low);
        REQUIRE(range->size() == size);
        // Just beyond either end where int64 has room, and far out.
        Values outside = {low == min64 ? max64 : min64};
        if (low != min64) outside.push_back(low - 1);
        if (high != max64) outside.push_back(high + 1);
        Values in_range(n);
        for (auto& x : in_range) x = low + static_cast<std::int64_t>(rng() % size);
        // Runs of one value, as in partly sorted input.
        Values runs = in_range;
        std::sort(runs.begin() + n / 3, runs.end() - n / 3);
        for (const Values& of_range : {in_range, runs}) {
            for (std::size_t workers : {1, 2, 3, 64}) {
                auto pool = test::start_sort_pool(workers);
                const Workspaces memory(workers);
                // Values outside at the first place, a stripe's last, the last place, every
                // 4,000th place, or every 16th: the last is too many (1/32 of a stripe at most).
                const std::size_t stripe_end = n / std::min<std::size_t>(workers, 2) - 1;
                const std::vector<std::vector<std::size_t>> placings = {
                    {}, {0}, {stripe_end}, {n - 1}, {4000, 8000, 12000, 40000, 90000, 100000}};
                for (std::size_t every : {std::size_t{0}, std::size_t{4000}, std::size_t{16}}) {
                    INFO("from ", low, ", workers ", workers, ", outside every ", every);
                    for (const auto& places : placings) {
                        Values input = of_range;
                        std::size_t k = 0;
                        for (std::size_t place : places)
                            input[place] = outside[k++ % outside.size()];
                        if (every != 0) {
                            for (std::size_t i = 0; i < n; i += every) {
                                input[i] = outside[k++ % outside.size()];
                            }
                        }
                        Values counted = input;
                        bool sorted = false;
                        pool->in_worker([&](const WorkerContext& worker) {
                            sorted = sort_by_range_counting(worker, counted, *range, memory.all());
                        });
                        CHECK(sorted == (every != 16));
                        if (sorted) {
                            CHECK(counted == test::sorted_copy(input));
                        } else {
                            CHECK(test::sorted_copy(counted) == test::sorted_copy(input));
                        }
                    }
                }
            }
        }
    }
}

TEST_CASE("samplesort counting: a value written over any stretch, past the caches or not") {
    CHECK_FALSE(writes_past_caches(samplesort_fill_past_caches_min - 1));
    CHECK(writes_past_caches(samplesort_fill_past_caches_min));
    // Stretches starting at every alignment, around the 16-byte stores' length.
    for (const bool past_caches : {false, true}) {
        for (std::size_t start = 0; start < 4; ++start) {
            for (std::size_t length = 0; length <= 21; ++length) {
                CAPTURE(past_caches);
                CAPTURE(start);
                CAPTURE(length);
                Values memory(32, 7);
                fill_value(memory.data() + start, memory.data() + start + length, min64,
                           past_caches);
                finish_fills();
                for (std::size_t i = 0; i < memory.size(); ++i) {
                    CHECK(memory[i] == (i >= start && i < start + length ? min64 : 7));
                }
            }
        }
    }
}
