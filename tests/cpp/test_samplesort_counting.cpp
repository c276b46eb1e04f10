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

TEST_CASE("samplesort range counting: sorted on 1, 2, 3 and 64 stripes, or left untouched") {
    std::mt19937_64 rng(43);
    const std::size_t n = 100003;
    // 64 stripes count 1,000 values in 6 stripes (100,003 / 16,000), 3,000 in 2.
    for (const auto& [low, size] :
         {std::pair{min64, std::size_t{1000}}, std::pair{std::int64_t{-1500}, std::size_t{3000}},
          std::pair{max64 - 999, std::size_t{1000}}}) {
        // A length that allows no widening.
        const auto range = CountedRange::of(Values{low, low + static_cast<std::int64_t>(size - 1)},
                                            size * samplesort_counted_range_density);
        REQUIRE(range);
        REQUIRE(range->low() == low);
        REQUIRE(range->size() == size);
        Values in_range(n);
        for (auto& x : in_range) x = low + static_cast<std::int64_t>(rng() % size);
        // Runs of one value, as in partly sorted input.
        Values runs = in_range;
        std::sort(runs.begin() + n / 3, runs.end() - n / 3);
        for (const Values& of_range : {in_range, runs}) {
            for (std::size_t workers : {1, 2, 3, 64}) {
                auto pool = test::start_sort_pool(workers);
                const Workspaces memory(workers);
                // A value just outside the range first, at a stripe's end, last, or nowhere.
                for (std::size_t outside_at : {std::size_t{0}, n / workers - 1, n - 1, n}) {
                    INFO("from ", low, ", workers ", workers, ", outside at ", outside_at);
                    Values input = of_range;
                    if (outside_at < n) {
                        input[outside_at] =
                            low == min64 ? low + static_cast<std::int64_t>(size) : low - 1;
                    }
                    Values counted = input;
                    bool sorted = false;
                    pool->in_worker([&](const WorkerContext& worker) {
                        sorted = sort_by_range_counting(worker, counted, *range, memory.all());
                    });
                    CHECK(sorted == (outside_at == n));
                    CHECK(counted == (sorted ? test::sorted_copy(input) : input));
                }
            }
        }
    }
}
