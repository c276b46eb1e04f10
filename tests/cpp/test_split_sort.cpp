#include <doctest/doctest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "parallel/config.hpp"
#include "parallel/pool/registry.hpp"
#include "parallel/sort_kernel.hpp"
#include "parallel/split/split_point.hpp"
#include "parallel/split/split_sort.hpp"
#include "parallel/split/stripe_partition.hpp"
#include "parallel/split/two_way_partition.hpp"
#include "sort_patterns.hpp"
#include "sort_pool_for_tests.hpp"

using namespace tarvo;
using namespace tarvo::split;
using Values = std::vector<std::int64_t>;

namespace {

// Every element of `values` below `pivot` comes before every other, and nothing was lost.
void check_partitioned(Values values, const Values& input, std::int64_t pivot, std::size_t lows) {
    const auto expected_lows = static_cast<std::size_t>(
        std::count_if(input.begin(), input.end(), [&](std::int64_t x) { return x < pivot; }));
    REQUIRE(lows == expected_lows);
    CHECK(std::all_of(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(lows),
                      [&](std::int64_t x) { return x < pivot; }));
    CHECK(std::all_of(values.begin() + static_cast<std::ptrdiff_t>(lows), values.end(),
                      [&](std::int64_t x) { return x >= pivot; }));
    Values a = values, b = input;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    CHECK(a == b);
}

}  // namespace

TEST_CASE("split: a stripe's partition, hand-worked") {
    SUBCASE("one piece") {
        Values v = {5, 1, 9, 3, 5, 0};
        CHECK(partition_stripe(v, Stripe{0, 6, 6, 6}, 5) == 3);  // 1, 3, 0 below 5
        check_partitioned(v, {5, 1, 9, 3, 5, 0}, 5, 3);
        Values none = {7, 8};
        CHECK(partition_stripe(none, Stripe{0, 2, 2, 2}, 7) == 0);
        Values all = {1, 2};
        CHECK(partition_stripe(all, Stripe{0, 0, 0, 2}, 3) == 2);
        CHECK(partition_stripe(Slice{}, Stripe{0, 0, 0, 0}, 0) == 0);
    }
    SUBCASE("a front and a back piece, as one sequence") {
        // The stripe is [0, 2) then [4, 6): 9, 1, 0, 8 with 1 and 0 below 5; the elements between
        // the pieces belong to another stripe and stay put.
        Values v = {9, 1, 77, 77, 0, 8};
        CHECK(partition_stripe(v, Stripe{0, 2, 4, 6}, 5) == 2);
        CHECK(std::max(v[0], v[1]) < 5);
        CHECK(std::min(v[4], v[5]) >= 5);
        CHECK(v[2] == 77);
        CHECK(v[3] == 77);
    }
}

TEST_CASE(
    "split: every stripe partition variant, at lengths around its vectors, pieces cut anywhere") {
    // The stripe is [0, front) and [front + gap, n + gap): the gap belongs to another stripe and
    // must stay as it is. Lengths cover every remainder of a vector's width and the lengths where
    // the vector loop starts; front sizes put the pieces' junction inside and between vectors.
    constexpr std::size_t gap = 3;
    constexpr std::int64_t gap_value = 1000;
    std::mt19937_64 rng(3);
    std::vector<std::size_t> lengths = {1000, 4099};
    for (std::size_t n = 0; n <= 80; ++n) lengths.push_back(n);
    for (const StripePartitionVariant& variant : runnable_stripe_partitions()) {
        for (const std::size_t n : lengths) {
            const Values input = test::random_in(n, rng, -20, 20);
            for (const std::size_t front :
                 {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{9}, n / 2, n}) {
                if (front > n) continue;
                for (const std::int64_t pivot : {-21, -20, 0, 3, 21}) {
                    INFO(variant.name, ", n ", n, ", front ", front, ", pivot ", pivot);
                    Values v = input;
                    v.insert(v.begin() + static_cast<std::ptrdiff_t>(front), gap, gap_value);
                    const std::size_t lows =
                        variant.partition(v, Stripe{0, front, front + gap, n + gap}, pivot);
                    CHECK(std::all_of(v.begin() + static_cast<std::ptrdiff_t>(front),
                                      v.begin() + static_cast<std::ptrdiff_t>(front + gap),
                                      [](std::int64_t x) { return x == gap_value; }));
                    v.erase(v.begin() + static_cast<std::ptrdiff_t>(front),
                            v.begin() + static_cast<std::ptrdiff_t>(front + gap));
                    check_partitioned(v, input, pivot, lows);
                }
            }
        }
    }
}

TEST_CASE("split: stripes laid out around the expected split, hand-worked") {
    std::array<Stripe, 3> stripes{};
    // 10 elements, 4 expected low, 2 stripes: the fronts tile [0, 4) and the backs [4, 10).
    lay_out(10, 4, std::span(stripes.data(), 2));
    CHECK(stripes[0].front_begin == 0);
    CHECK(stripes[0].front_end == 2);
    CHECK(stripes[0].back_begin == 4);
    CHECK(stripes[0].back_end == 7);
    CHECK(stripes[1].front_begin == 2);
    CHECK(stripes[1].front_end == 4);
    CHECK(stripes[1].back_begin == 7);
    CHECK(stripes[1].back_end == 10);
    // All expected low: no backs; none: no fronts.
    lay_out(10, 10, stripes);
    CHECK(stripes[2].front_begin == 6);
    CHECK(stripes[2].front_end == 10);
    CHECK(stripes[2].size() == 4);
    lay_out(10, 0, stripes);
    CHECK(stripes[0].front_end == 0);
    CHECK(stripes[1].back_begin == 3);
    CHECK(stripes[1].back_end == 6);
}

TEST_CASE("split: misplaced pairs swapped across stripes, hand-worked") {
    SUBCASE("stripes of one piece each") {
        // Three partitioned stripes, low (< 10) and high elements: [0 10 11 | 1 2 12 | 3 4],
        // lows 1, 2 and 2. The split is at 5; the highs before it stand at 1 and 2, the lows
        // after it at 6 and 7.
        Values v = {0, 10, 11, 1, 2, 12, 3, 4};
        const Stripe layout[] = {{0, 3, 8, 8}, {3, 6, 8, 8}, {6, 8, 8, 8}};
        const std::size_t lows[] = {1, 2, 2};
        const PartitionedStripes stripes{layout, lows};
        CHECK(stripes.split() == 5);
        CHECK(stripes.misplaced_pairs(5) == 2);
        SUBCASE("all pairs at once") {
            swap_misplaced(v, stripes, 5, 0, 2);
            CHECK(v == Values{0, 3, 4, 1, 2, 12, 10, 11});
        }
        SUBCASE("pair by pair, as two workers would") {
            swap_misplaced(v, stripes, 5, 1, 2);
            CHECK(v == Values{0, 10, 4, 1, 2, 12, 3, 11});
            swap_misplaced(v, stripes, 5, 0, 1);
            CHECK(v == Values{0, 3, 4, 1, 2, 12, 10, 11});
        }
    }
    SUBCASE("stripes laid out for 4 lows of 8, one low more and one fewer than expected") {
        // Stripe 0 is [0, 2) then [4, 6) and found 3 lows: 0 1 | 3 12; stripe 1 is [2, 4) then
        // [6, 8) and found 1: 2 11 | 13 14. The split is at 4: 11 at 3 and 3 at 4 trade places.
        Values v = {0, 1, 2, 11, 3, 12, 13, 14};
        const Stripe layout[] = {{0, 2, 4, 6}, {2, 4, 6, 8}};
        const std::size_t lows[] = {3, 1};
        const PartitionedStripes stripes{layout, lows};
        CHECK(stripes.split() == 4);
        REQUIRE(stripes.misplaced_pairs(4) == 1);
        swap_misplaced(v, stripes, 4, 0, 1);
        CHECK(v == Values{0, 1, 2, 3, 11, 12, 13, 14});
    }
}

TEST_CASE("split: the parallel partition on 1, 2, 3 and 64 workers, whatever it expects") {
    std::mt19937_64 rng(5);
    for (std::size_t workers : {1, 2, 3, 64}) {
        CAPTURE(workers);
        const auto pool = test::start_sort_pool(workers);
        for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{1000},
                              split_elements_per_stripe * 3 + 17}) {
            CAPTURE(n);
            const Values input = test::random_in(n, rng, -100, 100);
            for (std::int64_t pivot : {std::int64_t{-101}, std::int64_t{-100}, std::int64_t{0},
                                       std::int64_t{100}, std::int64_t{101}}) {
                for (std::size_t expected : {std::size_t{0}, n / 3, n / 2, n}) {
                    CAPTURE(pivot);
                    CAPTURE(expected);
                    Values v = input;
                    std::size_t lows = 0;
                    pool->in_worker([&](const WorkerContext& worker) {
                        lows = partition(worker, v, pivot, workers, expected);
                    });
                    check_partitioned(v, input, pivot, lows);
                }
            }
        }
    }
}

TEST_CASE("split: the split point weighs repeated values by the work they cost") {
    SUBCASE("distinct values: the median") {
        Values sample(100);
        for (std::size_t i = 0; i < sample.size(); ++i) sample[i] = static_cast<std::int64_t>(i);
        const auto point = choose_split(sample, 1'000'000, 0.5);
        REQUIRE(point);
        CHECK(point->pivot == 50);
        CHECK(point->low_fraction == doctest::Approx(0.5));
        const auto third = choose_split(sample, 1'000'000, 1.0 / 3);
        REQUIRE(third);
        CHECK(third->pivot == 33);
    }
    SUBCASE("a heavy value costs less than the distinct ones it displaces") {
        // 60 copies of 0 and the values 1 to 40 in a sample of 100 from 10^6 elements: the zeros
        // stand for 6 * 10^5 copies, more than a side of 5 * 10^5 holds, so each costs the least,
        // one halving (60 in all); each distinct value costs log2(5 * 10^5) = 18.93 (757.2 in
        // all). Half the work, 408.6, lies between 60 + 18 * 18.93 = 400.7 (below 19) and 419.6
        // (below 20): the split is at 19, the 78th element of the sample.
        Values sample(60, 0);
        for (std::int64_t i = 1; i <= 40; ++i) sample.push_back(i);
        const auto point = choose_split(sample, 1'000'000, 0.5);
        REQUIRE(point);
        CHECK(point->pivot == 19);
        CHECK(point->low_fraction == doctest::Approx(0.78));
    }
    SUBCASE("one value cannot be split") {
        CHECK_FALSE(choose_split(Values(64, 7), 1'000'000, 0.5));
    }
    SUBCASE("two values: the only cut") {
        const Values sample = {test::min64, 9, 9, 9};
        const auto point = choose_split(sample, 1'000'000, 0.5);
        REQUIRE(point);
        CHECK(point->pivot == 9);
    }
}

TEST_CASE("split sort: the shared patterns on 1, 2, 3 and 64 workers against std::sort") {
    std::mt19937_64 rng(11);
    for (std::size_t workers : {1, 2, 3, 64}) {
        CAPTURE(workers);
        const auto pool = test::start_sort_pool(workers);
        for (const test::Pattern& pattern : test::patterns) {
            CAPTURE(pattern.name);
            for (std::size_t n : {split_side_kernel_max + 1, std::size_t{1} << 20}) {
                CAPTURE(n);
                Values v = pattern.make(n, rng);
                Values expected = v;
                std::sort(expected.begin(), expected.end());
                Values sample(v.begin(), v.begin() + 256);
                std::sort(sample.begin(), sample.end());
                pool->in_worker(
                    [&](const WorkerContext& worker) { split::sort(worker, v, sample, workers); });
                CHECK(v == expected);
            }
        }
    }
}

TEST_CASE("split sort: a sample that misleads still sorts, and the misled side is cut again") {
    // The first sample shows values 0 and 1 only, as if the slice were a few small values; beyond
    // its first 256 elements the slice holds larger values, all of which fall on the high side.
    std::mt19937_64 rng(3);
    const auto pool = test::start_sort_pool(4);
    Values v = test::random_in(std::size_t{1} << 21, rng, 2, test::max64);
    for (std::size_t i = 0; i < 256; ++i) v[i] = static_cast<std::int64_t>(i % 2);
    Values expected = v;
    std::sort(expected.begin(), expected.end());
    Values sample(v.begin(), v.begin() + 256);
    std::sort(sample.begin(), sample.end());
    pool->in_worker([&](const WorkerContext& worker) { split::sort(worker, v, sample, 4); });
    CHECK(v == expected);
}
