#include <doctest/doctest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "parallel/config.hpp"
#include "parallel/parallel_sort.hpp"
#include "parallel/pool/registry.hpp"
#include "parallel/pool_method.hpp"
#include "parallel/samplesort/samplesort.hpp"
#include "parallel/sort_kernel.hpp"
#include "parallel/split/split_sort.hpp"
#include "sort_pool_for_tests.hpp"

using namespace tarvo;
using samplesort::SampleShape;
using Values = std::vector<std::int64_t>;

namespace {

// One input for each shape a first sample takes, and the shape it takes.
struct ShapedInput {
    const char* name;
    SampleShape shape;
    Values (*make)(std::size_t n, std::mt19937_64& rng);
};

Values drawn_from(const Values& values, std::size_t n, std::mt19937_64& rng) {
    Values v(n);
    for (auto& x : v) x = values[rng() % values.size()];
    return v;
}

const ShapedInput shaped_inputs[] = {
    {"four values", SampleShape::counted,
     [](std::size_t n, std::mt19937_64& rng) { return drawn_from({-9, 0, 5, 1 << 30}, n, rng); }},
    {"random", SampleShape::linear,
     [](std::size_t n, std::mt19937_64& rng) {
         Values v(n);
         for (auto& x : v) x = static_cast<std::int64_t>(rng());
         return v;
     }},
    // 1,024 values, each about 1,000 times at 2^20: a sample of 4,096 sees most of them twice or
    // more. In a row they span few enough values to be counted one by one (1,024 at most, where
    // 2^20 / 16 and 2^15 allow 2^15); a thousand apart they do not.
    {"1,024 values in a row", SampleShape::counted_range,
     [](std::size_t n, std::mt19937_64& rng) {
         Values v(n);
         for (auto& x : v) x = static_cast<std::int64_t>(rng() % 1024);
         return v;
     }},
    {"1,024 values a thousand apart", SampleShape::linear_with_repeats,
     [](std::size_t n, std::mt19937_64& rng) {
         Values v(n);
         for (auto& x : v) x = static_cast<std::int64_t>(rng() % 1024) * 1000;
         return v;
     }},
    // Uniform in [0, 2^20) but for one element in 200 spread over all of int64: the sample of 4,096
    // holds some 20, never as many as the 32 that trimming sets aside.
    {"outliers", SampleShape::trimmed_linear,
     [](std::size_t n, std::mt19937_64& rng) {
         Values v(n);
         for (auto& x : v) {
             x = rng() % 200 == 0 ? static_cast<std::int64_t>(rng())
                                  : static_cast<std::int64_t>(rng() % (1 << 20));
         }
         return v;
     }},
    // Uniform in [2^k, 2^(k + 1)) with k uniform below 20: as many values of every magnitude.
    {"exponential", SampleShape::logarithmic,
     [](std::size_t n, std::mt19937_64& rng) {
         Values v(n);
         for (auto& x : v) {
             const unsigned k = rng() % 20;
             x = static_cast<std::int64_t>((std::uint64_t{1} << k) + rng() % (1u << k));
         }
         return v;
     }},
    // Sums of four uniform values: a bell that no stretch of equal width fits.
    {"bell", SampleShape::tree,
     [](std::size_t n, std::mt19937_64& rng) {
         Values v(n);
         for (auto& x : v) {
             x = 0;
             for (int i = 0; i < 4; ++i) x += static_cast<std::int64_t>(rng() >> 4);
         }
         return v;
     }},
    {"100 values", SampleShape::tree_with_equal_buckets,
     [](std::size_t n, std::mt19937_64& rng) {
         Values values(100);
         for (auto& x : values) x = static_cast<std::int64_t>(rng());
         return drawn_from(values, n, rng);
     }},
};

}  // namespace

TEST_CASE("pool method: hand-worked choice by shape, length and workers") {
    // The split sort's work: 100 + 5 per cut, a cut per doubling of the workers (105 on 2, 110 on
    // 3 and 4, 120 on 9 to 16, 125 on 17 to 32, 145 on 257 to 512, 150 on 513 to 1024, 155 on
    // 1025 to 2048); it takes the linear, tree and trimmed linear buckets' shapes while that stays
    // below their samplesort's 130 (150 over repeated values), 155 and 160, and the logarithmic
    // (205) and equal buckets' (310) ones on any count here; never the counted shapes. A method
    // runs if its work / workers + 100 * 2^15 / len is at most 85; 524288 is the first length above
    // the kernel-only cut-off.
    struct Case {
        SampleShape shape;
        std::size_t len, workers;
        PoolMethod method;
    };
    constexpr std::size_t big = std::size_t{1} << 30;
    const Case cases[] = {
        {SampleShape::linear, (std::size_t{1} << 19) - 1, 64, PoolMethod::kernel},  // too short
        {SampleShape::logarithmic, big, 1, PoolMethod::kernel},                     // 100 alone
        {SampleShape::counted, big, 1, PoolMethod::kernel},                         // 105 alone
        {SampleShape::counted_range, 524288, 1, PoolMethod::samplesort},            // 60 + 6.25
        {SampleShape::linear, 524288, 2, PoolMethod::split_sort},                   // 52.5 + 6.25
        {SampleShape::linear_with_repeats, 524288, 2, PoolMethod::split_sort},      // 52.5 + 6.25
        {SampleShape::counted, 524288, 2, PoolMethod::samplesort},                  // 52.5 + 6.25
        {SampleShape::counted_range, 524288, 2, PoolMethod::samplesort},            // 30 + 6.25
        {SampleShape::linear, big, 32, PoolMethod::split_sort},                     // 125 < 130
        {SampleShape::linear, big, 33, PoolMethod::samplesort},                // 130, not below
        {SampleShape::linear_with_repeats, big, 512, PoolMethod::split_sort},  // 145 < 150
        {SampleShape::linear_with_repeats, big, 513, PoolMethod::samplesort},  // 150, not below
        {SampleShape::tree, 524288, 2, PoolMethod::split_sort},                // 52.5 + 6.25
        {SampleShape::trimmed_linear, 655359, 2, PoolMethod::split_sort},      // 52.5 + 5.0000076
        {SampleShape::tree, big, 1024, PoolMethod::split_sort},                // 150 < 155
        {SampleShape::tree, big, 1025, PoolMethod::samplesort},                // 155, not below
        {SampleShape::trimmed_linear, big, 2048, PoolMethod::split_sort},      // 155 < 160
        {SampleShape::trimmed_linear, big, 2049, PoolMethod::samplesort},      // 160, not below
        {SampleShape::logarithmic, std::size_t{1} << 40, 2, PoolMethod::split_sort},
        {SampleShape::logarithmic, big, 3, PoolMethod::split_sort},                     // 110 / 3
        {SampleShape::logarithmic, big, std::size_t{1} << 20, PoolMethod::split_sort},  // 200 < 205
        {SampleShape::tree_with_equal_buckets, 524288, 128, PoolMethod::split_sort},    // 135 < 310
    };
    for (const Case& c : cases) {
        CAPTURE(static_cast<int>(c.shape));
        CAPTURE(c.len);
        CAPTURE(c.workers);
        CHECK(choose_pool_method(c.shape, c.len, c.workers) == c.method);
    }
}

TEST_CASE(
    "pool method: every shape sorted by both methods from its first sample, and around the "
    "cut-offs") {
    std::mt19937_64 rng(17);
    for (const ShapedInput& input : shaped_inputs) {
        INFO(input.name);
        const Values values = input.make(std::size_t{1} << 20, rng);
        Values expected = values;
        std::sort(expected.begin(), expected.end());

        const samplesort::FirstSample first(values);
        CHECK(first.shape() == input.shape);
        for (std::size_t workers : {2, 3}) {
            auto pool = test::start_sort_pool(workers);
            Values sorted = values;
            const samplesort::Memory memory(sorted.size(), workers);
            pool->in_worker([&](const WorkerContext& worker) {
                samplesort::sort(worker, sorted, memory, first);
            });
            CHECK(sorted == expected);
            Values split = values;
            pool->in_worker([&](const WorkerContext& worker) {
                split::sort(worker, split, first.sorted(), workers);
            });
            CHECK(split == expected);
        }
        // Through the process's pool, whichever way each length goes.
        for (std::size_t n :
             {pool_sort_sequential_max + 1, std::size_t{655359}, std::size_t{655360}}) {
            CAPTURE(n);
            Values slice(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(n));
            Values want = slice;
            std::sort(want.begin(), want.end());
            Values stable = slice;
            parallel_stable_sort(stable);
            parallel_unstable_sort(slice);
            CHECK(stable == want);
            CHECK(slice == want);
        }
    }
}
