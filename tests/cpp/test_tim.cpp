#include <doctest/doctest.h>

#include <algorithm>
#include <random>
#include <tuple>
#include <vector>

#include "algorithms/tim.hpp"
#include "core/memory.hpp"
#include "sort_patterns.hpp"

using namespace tarvo;

namespace {

using Merge = std::tuple<std::size_t, std::size_t, std::size_t>;

std::vector<Merge> schedule(std::size_t len) {
    std::vector<Merge> merges;
    for_each_tim_merge(len, min_run_length(len), [&](std::size_t l, std::size_t m, std::size_t r) {
        merges.emplace_back(l, m, r);
    });
    return merges;
}

void tim_sort_vector(std::vector<std::int64_t>& v) {
    tim_sort(v);
}

}  // namespace

TEST_CASE("min_run_length on the worked values") {
    const std::pair<std::size_t, std::size_t> worked[] = {
        {0, 0},   {1, 1},    {31, 31},   {32, 16},   {33, 17},    {63, 32},     {64, 16},
        {70, 18}, {100, 25}, {1000, 32}, {1024, 16}, {10000, 20}, {100000, 25}, {1000000, 31}};
    for (const auto& [n, block] : worked) {
        INFO("n = ", n);
        CHECK(min_run_length(n) == block);
    }
}

TEST_CASE("tim merge schedule of 32, 33, 70 and 100 elements") {
    CHECK(schedule(70) == std::vector<Merge>{{0, 18, 36}, {36, 54, 70}, {0, 36, 70}});
    CHECK(schedule(100) == std::vector<Merge>{{0, 25, 50}, {50, 75, 100}, {0, 50, 100}});
    CHECK(schedule(32) == std::vector<Merge>{{0, 16, 32}});
    CHECK(schedule(33) == std::vector<Merge>{{0, 17, 33}});
    CHECK(schedule(31).empty());
}

TEST_CASE("tim merge schedule of 513 elements leaves the tail [510, 513) to the second pass") {
    const std::vector<Merge> merges = schedule(513);
    REQUIRE(min_run_length(513) == 17);
    REQUIRE(merges.size() == 30);  // 31 blocks

    // Width 17: 15 merges of 17 + 17, none reaching 510.
    for (std::size_t q = 0; q < 15; ++q) {
        CHECK(merges[q] == Merge{34 * q, 34 * q + 17, 34 * q + 34});
    }
    // Width 34: 8 merges, the last taking in the tail.
    CHECK(merges[15] == Merge{0, 34, 68});
    CHECK(merges[22] == Merge{476, 510, 513});
    // Widths 68 (4 merges), 136 (2) and 272 (1).
    CHECK(merges[23] == Merge{0, 68, 136});
    CHECK(merges[26] == Merge{408, 476, 513});
    CHECK(merges[27] == Merge{0, 136, 272});
    CHECK(merges[28] == Merge{272, 408, 513});
    CHECK(merges[29] == Merge{0, 272, 513});
}

TEST_CASE("tim_sort agrees with std::sort on every pattern and threshold length") {
    test::check_against_std_sort(tim_sort_vector);
}

TEST_CASE("tim_sort sorts a million random values") {
    std::mt19937_64 rng(3);
    std::vector<std::int64_t> v = test::random_full_range(1'000'000, rng);
    const std::vector<std::int64_t> expected = test::sorted_copy(v);
    tim_sort(v);
    CHECK(v == expected);
}

TEST_CASE("tim_merge merges with either run running out first, ties taken from the left") {
    std::vector<std::int64_t> scratch(8);
    std::vector<std::int64_t> left_first{0, 1, 5, 5, 2, 5, 6, 0};
    tim_merge(left_first, 1, 4, 7, scratch.data());
    CHECK(left_first == std::vector<std::int64_t>{0, 1, 2, 5, 5, 5, 6, 0});

    std::vector<std::int64_t> right_first{7, 8, 9, -3, 1, 2};
    tim_merge(right_first, 0, 3, 6, scratch.data());
    CHECK(right_first == std::vector<std::int64_t>{-3, 1, 2, 7, 8, 9});
}

TEST_CASE("tim_sort obtains nothing below 32 elements") {
    std::mt19937_64 rng(4);
    for (std::size_t n : {0, 1, 2, 31}) {
        std::vector<std::int64_t> v = test::random_full_range(n, rng);
        reset_allocation_count();
        tim_sort(v);
        CHECK(allocations_made() == 0);
    }
}

TEST_CASE("tim_sort throws before any element moves when its scratch cannot be had") {
    // One buffer per call, as long as the last merge's segment: the whole slice.
    std::mt19937_64 rng(5);
    for (const std::size_t n : {32, 100, 513}) {
        std::vector<std::int64_t> v = test::random_full_range(n, rng);
        const std::vector<std::int64_t> input = v;

        reset_allocation_count();
        tim_sort(v);
        REQUIRE(allocations_made() == 1);

        v = input;
        fail_allocation_after(0);
        try {
            tim_sort(v);
            FAIL("tim_sort succeeded without scratch");
        } catch (const OutOfMemory& error) {
            CHECK(error.bytes() == 8 * n);
        }
        fail_allocation_after(-1);
        CHECK(v == input);
    }
}
