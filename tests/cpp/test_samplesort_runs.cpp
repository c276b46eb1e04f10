#include <doctest/doctest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "parallel/config.hpp"
#include "parallel/pool/registry.hpp"
#include "parallel/samplesort/runs.hpp"
#include "parallel/sort_kernel.hpp"
#include "sort_patterns.hpp"

using namespace tarvo;
using namespace tarvo::samplesort;
using Values = std::vector<std::int64_t>;

TEST_CASE("samplesort runs: counted from a sorted stripe, and from one a writer disturbed") {
    const Workspaces memory(1);
    const Values sorted = {-4, -4, 0, 7, 7, 7};
    const auto runs = count_runs(sorted, memory[0]);
    REQUIRE(runs);
    CHECK(Values(runs->values, runs->values + runs->count) == Values{-4, 0, 7});
    CHECK(Values(runs->lengths, runs->lengths + runs->count) == Values{2, 1, 3});

    // Out of order: whatever the runs, their values ascend strictly and they cover the stripe.
    const Values disturbed = {5, 5, 1, 9, 2, 2, 9, 3};
    const auto odd = count_runs(disturbed, memory[0]);
    REQUIRE(odd);
    std::int64_t covered = 0;
    for (std::size_t r = 0; r < odd->count; ++r) {
        if (r > 0) CHECK(odd->values[r - 1] < odd->values[r]);
        covered += odd->lengths[r];
    }
    CHECK(covered == static_cast<std::int64_t>(disturbed.size()));

    Values distinct(samplesort_runs_max + 1);
    for (std::size_t i = 0; i < distinct.size(); ++i) distinct[i] = static_cast<std::int64_t>(i);
    CHECK_FALSE(count_runs(distinct, memory[0]));
}

TEST_CASE("samplesort runs: the slice refilled from its stripes' runs, or given back") {
    std::mt19937_64 rng(31);
    for (std::size_t stripes : {2, 3, 5}) {
        std::string cause;
        auto pool = Registry::start(2, cause, &make_kernel_scratch);
        REQUIRE(pool);
        const Workspaces memory(stripes);
        // A few values, one rare value, and too many distinct values for the runs.
        const Values inputs[] = {test::random_in(100003, rng, 0, 3),
                                 [&] {
                                     Values v = test::random_in(100003, rng, -8, 8);
                                     v[77777] = INT64_MAX;
                                     return v;
                                 }(),
                                 test::random_full_range(100003, rng)};
        for (std::size_t k = 0; k < 3; ++k) {
            INFO("input ", k, ", stripes ", stripes);
            Values values = inputs[k];
            bool sorted = false;
            pool->in_worker([&](const WorkerContext& worker) {
                sorted = sort_by_runs(worker, values, memory.all());
            });
            CHECK(sorted == (k < 2));
            if (!sorted) values = test::sorted_copy(values);
            CHECK(values == test::sorted_copy(inputs[k]));
        }
    }
}
