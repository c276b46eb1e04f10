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
