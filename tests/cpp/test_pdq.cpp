#include <doctest/doctest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "algorithms/pdq.hpp"
#include "sort_patterns.hpp"

using namespace tarvo;
using Values = std::vector<std::int64_t>;

TEST_CASE("pdq: pdq_limit is 48 times the bit length of len - 1") {
    const std::pair<std::size_t, std::size_t> worked[] = {
        {2, 48},    {3, 96},     {4, 96},     {5, 144},    {8, 144},      {17, 240},      {32, 240},
        {100, 336}, {1000, 480}, {1024, 480}, {1025, 528}, {100000, 816}, {1000000, 960},
    };
    for (const auto& [len, limit] : worked) {
        CAPTURE(len);
        CHECK(pdq_limit(len) == limit);
    }
}

TEST_CASE("pdq: the networks sort every arrangement of 2, 3 and 4 values") {
    // Multisets with and without repeats; every distinct permutation of each,
    // under both the standard budget and none (the networks run before the budget
    // is looked at).
    const Values multisets[] = {{1, 2},       {5, 5},       {1, 2, 3},
                                {1, 1, 2},    {1, 2, 2},    {4, 4, 4},
                                {1, 2, 3, 4}, {1, 1, 2, 3}, {1, 2, 2, 3},
                                {1, 1, 2, 2}, {0, 7, 7, 7}, {INT64_MIN, -1, INT64_MAX, 0}};
    for (Values sorted : multisets) {
        std::sort(sorted.begin(), sorted.end());
        Values permutation = sorted;
        do {
            for (std::size_t limit : {pdq_limit(permutation.size()), std::size_t{0}}) {
                Values values = permutation;
                pdq_sort(Slice(values), limit);
                CAPTURE(permutation);
                CHECK(values == sorted);
            }
        } while (std::next_permutation(permutation.begin(), permutation.end()));
    }
}

TEST_CASE("pdq: pdq_partition splits at mid as the two scans meet") {
    SUBCASE("two exchanges, then the scans cross") {
        Values v{3, 8, 1, 9, 2, 7};
        CHECK(pdq_partition(Slice(v), 3) == 3);
        CHECK(v == Values{3, 2, 1, 9, 8, 7});
    }
    SUBCASE("copies of the pivot all go left") {
        Values v{2, 2, 5, 2, 0, 6, 2};
        CHECK(pdq_partition(Slice(v), 2) == 5);
        CHECK(v == Values{2, 2, 2, 2, 0, 6, 5});
    }
    SUBCASE("the minimum as pivot: one exchange, mid = 1") {
        Values v{5, 1, 3};
        CHECK(pdq_partition(Slice(v), 1) == 1);
        CHECK(v == Values{1, 5, 3});
    }
    SUBCASE("the maximum as pivot: nothing moves, mid = len") {
        Values v{4, 1, 4, 2};
        CHECK(pdq_partition(Slice(v), 4) == 4);
        CHECK(v == Values{4, 1, 4, 2});
    }
}

namespace {

// The two-pointer scheme written out step by step, one exchange at a time.
std::size_t reference_partition(Values& v, std::int64_t pivot) {
    std::size_t i = 0;
    std::size_t j = v.size();
    for (;;) {
        while (i < j && v[i] <= pivot) ++i;
        if (i >= j) return i;
        --j;
        while (v[j] > pivot) {
            if (j <= i) return i;
            --j;
        }
        std::swap(v[i], v[j]);
        ++i;
    }
}

}  // namespace

TEST_CASE(
    "pdq: pdq_partition leaves the arrangement of the "
    "one-exchange-at-a-time scheme") {
    // Lengths around one and two blocks of scanned positions, pivots from every
    // rank, values with and without repeats.
    std::mt19937_64 random(2024);
    for (std::size_t len : {25, 127, 128, 129, 255, 256, 257, 383, 384, 385, 1000, 4099}) {
        for (std::uint64_t spread : {std::uint64_t{3}, std::uint64_t{1000}, std::uint64_t{0}}) {
            const Values input =
                spread == 0
                    ? test::random_full_range(len, random)
                    : test::random_in(len, random, 0, static_cast<std::int64_t>(spread) - 1);
            Values ranks = input;
            std::sort(ranks.begin(), ranks.end());
            for (std::int64_t pivot : {ranks.front(), ranks[len / 10], ranks[len / 2],
                                       ranks[len - 1 - len / 10], ranks.back()}) {
                Values expected = input;
                const std::size_t expected_mid = reference_partition(expected, pivot);
                Values values = input;
                CAPTURE(len);
                CAPTURE(spread);
                CHECK(pdq_partition(Slice(values), pivot) == expected_mid);
                CHECK(values == expected);
            }
        }
    }
}

TEST_CASE("pdq: median_of_three samples first, middle and last") {
    CHECK(median_of_three(Values{4}) == 4);
    CHECK(median_of_three(Values{7, 2}) == 2);  // the middle of two is the last
    CHECK(median_of_three(Values{5, 100, 1, -100, 3}) == 3);
    CHECK(median_of_three(Values{9, 9, 1}) == 9);  // a repeated value is the median
    CHECK(median_of_three(Values{INT64_MAX, 0, INT64_MIN}) == 0);
}

namespace {

// A slice whose unsampled positions hold values above every sample, so that a pivot taken from
// any other position would differ from the hand-worked one.
Values with_samples(std::size_t len, std::initializer_list<std::size_t> at,
                    std::initializer_list<std::int64_t> samples) {
    Values v(len);
    for (std::size_t k = 0; k < len; ++k) v[k] = 1000 + std::int64_t(k);
    auto sample = samples.begin();
    for (std::size_t index : at) v[index] = *sample++;
    return v;
}

}  // namespace

TEST_CASE("pdq: choose_pivot takes a median of three below 128 and a ninther from 128") {
    CHECK(choose_pivot(with_samples(25, {0, 12, 24}, {10, 20, 30})) == 20);
    CHECK(choose_pivot(with_samples(127, {0, 63, 126}, {30, 10, 20})) == 20);
    // len 128: t = 42; medians 3, 20, 8 of the thirds. One median of v[0], v[64], v[127]
    // would give 7.
    CHECK(choose_pivot(with_samples(128, {0, 21, 41, 42, 63, 83, 84, 106, 127},
                                    {1, 5, 3, 10, 30, 20, 8, 9, 7})) == 8);
    // len 200: t = 66, the last third 68 long; medians 5, 2, 8.
    CHECK(choose_pivot(with_samples(200, {0, 33, 65, 66, 99, 131, 132, 166, 199},
                                    {4, 6, 5, 2, 1, 3, 9, 7, 8})) == 5);
    // len 1001: t = 333, the last third 335 long; medians 50, 20, 80.
    CHECK(choose_pivot(with_samples(1001, {0, 166, 332, 333, 499, 665, 666, 833, 1000},
                                    {50, 40, 60, 10, 30, 20, 90, 70, 80})) == 50);
}

TEST_CASE("pdq: the pivot positions point at the hand-worked samples") {
    // The cases above: the unsampled positions hold values above every sample, so only the
    // position of the hand-worked pivot holds it.
    CHECK(choose_pivot_position(with_samples(25, {0, 12, 24}, {10, 20, 30})) == 12);
    CHECK(choose_pivot_position(with_samples(127, {0, 63, 126}, {30, 10, 20})) == 126);
    CHECK(choose_pivot_position(with_samples(128, {0, 21, 41, 42, 63, 83, 84, 106, 127},
                                             {1, 5, 3, 10, 30, 20, 8, 9, 7})) == 84);
    CHECK(choose_pivot_position(with_samples(1001, {0, 166, 332, 333, 499, 665, 666, 833, 1000},
                                             {50, 40, 60, 10, 30, 20, 90, 70, 80})) == 0);
    const Values tie{9, 1, 9};
    CHECK(tie[median_of_three_position(tie)] == 9);  // either copy of the repeated value
    CHECK(median_of_three_position(Values{7, 2}) == 1);
}

TEST_CASE("pdq: budgets, order checks and a repeated maximum pivot") {
    SUBCASE("empty and single slices, any budget") {
        Values empty;
        pdq_sort(Slice(empty), 0);
        Values one{42};
        pdq_sort(Slice(one), 1000);
        CHECK(one == Values{42});
    }
    SUBCASE("no budget on 25 or more elements: heap_sort still sorts") {
        for (std::size_t len : {25, 26, 100}) {
            Values values(len);
            for (std::size_t k = 0; k < len; ++k) values[k] = std::int64_t((k * 37) % 11) - 5;
            Values expected = values;
            std::sort(expected.begin(), expected.end());
            pdq_sort(Slice(values), 0);
            CHECK(values == expected);
        }
    }
    SUBCASE("a non-increasing slice with repeats is reversed into order") {
        Values values(30);
        for (std::size_t k = 0; k < 30; ++k) values[k] = 100 - std::int64_t(k / 3);
        Values expected = values;
        std::sort(expected.begin(), expected.end());
        pdq_sort(Slice(values), pdq_limit(30));
        CHECK(values == expected);
    }
    SUBCASE("all 1 except a 0 at index 500: pivot 1 at every level, then heap_sort") {
        Values values(1000, 1);
        values[500] = 0;
        pdq_sort(Slice(values), pdq_limit(1000));
        CHECK(values[0] == 0);
        CHECK(std::count(values.begin(), values.end(), 1) == 999);
        CHECK(std::is_sorted(values.begin(), values.end()));
    }
}
