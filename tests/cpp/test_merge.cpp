#include <doctest/doctest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

#include "algorithms/branchless_merge.hpp"
#include "algorithms/merge.hpp"
#include "core/memory.hpp"
#include "sort_patterns.hpp"

using namespace tarvo;

namespace {

void merge_sort_vector(std::vector<std::int64_t>& v) {
    merge_sort(v);
}

}  // namespace

TEST_CASE("merge_sort agrees with std::sort on every pattern and threshold length") {
    test::check_against_std_sort(merge_sort_vector);
}

TEST_CASE("merge_sort sorts a million random values") {
    std::mt19937_64 rng(1);
    std::vector<std::int64_t> v = test::random_full_range(1'000'000, rng);
    const std::vector<std::int64_t> expected = test::sorted_copy(v);
    merge_sort(v);
    CHECK(v == expected);
}

TEST_CASE("merge_sort on the smallest inputs") {
    std::vector<std::int64_t> two{5, -5};
    merge_sort(two);
    CHECK(two == std::vector<std::int64_t>{-5, 5});

    std::vector<std::int64_t> three{3, 2, 1};  // split 1 + 2
    merge_sort(three);
    CHECK(three == std::vector<std::int64_t>{1, 2, 3});

    std::vector<std::int64_t> extremes{INT64_MAX, 0, INT64_MIN, -1, INT64_MAX, INT64_MIN};
    merge_sort(extremes);
    CHECK(extremes == std::vector<std::int64_t>{INT64_MIN, INT64_MIN, -1, 0, INT64_MAX, INT64_MAX});
}

TEST_CASE("merge_sort obtains nothing for fewer than two elements") {
    for (std::size_t n : {0, 1}) {
        std::vector<std::int64_t> v(n, 42);
        reset_allocation_count();
        merge_sort(v);
        CHECK(allocations_made() == 0);
        CHECK(v == std::vector<std::int64_t>(n, 42));
    }
}

TEST_CASE("merge_two_runs equals std::merge on every pair of short runs over four values") {
    // Every non-decreasing run of 1 to 6 elements from {0, 1, 2, 3}: all orders in which the
    // two ends of the merge can meet, run out, and tie.
    std::vector<std::vector<std::int64_t>> runs;
    std::vector<std::int64_t> run;
    const std::function<void()> extend = [&] {
        if (!run.empty()) runs.push_back(run);
        if (run.size() == 6) return;
        for (std::int64_t x = run.empty() ? 0 : run.back(); x <= 3; ++x) {
            run.push_back(x);
            extend();
            run.pop_back();
        }
    };
    extend();
    REQUIRE(runs.size() == 209);

    std::size_t mismatches = 0;
    for (const auto& left : runs) {
        for (const auto& right : runs) {
            std::vector<std::int64_t> expected(left.size() + right.size());
            std::merge(left.begin(), left.end(), right.begin(), right.end(), expected.begin());
            std::vector<std::int64_t> out(expected.size(), -1);
            merge_two_runs(left, right, out.data());
            mismatches += out != expected;
        }
    }
    CHECK(mismatches == 0);
}

TEST_CASE("merge_two_runs stays inside its runs and its output when the runs are not sorted") {
    // Runs that another thread rewrote under the merge look like this: any values, any order.
    // Each run is a vector of its own, so a read past one is a read of foreign memory (reported
    // under AddressSanitizer, and otherwise likely to bring in a value no run holds); the output
    // sits between guard values that must survive, and every slot must receive a run's element.
    constexpr std::int64_t lowest = 1000, highest = 1007;
    constexpr std::int64_t guard = -1;
    constexpr std::size_t guard_slots = 16;
    std::mt19937_64 rng(7);
    std::uniform_int_distribution<std::int64_t> value(lowest, highest);
    std::uniform_int_distribution<std::size_t> short_length(1, 40);
    std::size_t stray_values = 0, guards_overwritten = 0;
    for (int trial = 0; trial < 20'000; ++trial) {
        // Every tenth pair is lopsided, as timsort's last merges can be.
        const std::size_t left_size = short_length(rng) * (trial % 10 == 0 ? 25 : 1);
        const std::size_t right_size = short_length(rng);
        std::vector<std::int64_t> left(left_size), right(right_size);
        for (auto& x : left) x = value(rng);
        for (auto& x : right) x = value(rng);
        if (trial % 2 == 0) std::swap(left, right);
        std::vector<std::int64_t> out(left.size() + right.size() + 2 * guard_slots, guard);
        merge_two_runs(left, right, out.data() + guard_slots);
        for (std::size_t i = 0; i < out.size(); ++i) {
            const bool inside = i >= guard_slots && i < out.size() - guard_slots;
            if (inside) {
                stray_values += out[i] < lowest || out[i] > highest;
            } else {
                guards_overwritten += out[i] != guard;
            }
        }
    }
    CHECK(stray_values == 0);
    CHECK(guards_overwritten == 0);
}

TEST_CASE("merge_runs merges either run running out first and leaves the rest of the slice") {
    struct Case {
        std::vector<std::int64_t> before;
        std::size_t lo, mid, hi;
        std::vector<std::int64_t> after;
    };
    const Case cases[] = {
        // Left run ends first; the right run's tail stays where it is.
        {{9, 1, 4, 4, 2, 4, 7, 8, 9}, 1, 4, 8, {9, 1, 2, 4, 4, 4, 7, 8, 9}},
        // Right run ends first; the left tail is moved behind it.
        {{9, 5, 6, 7, 1, 2, 0}, 1, 4, 6, {9, 1, 2, 5, 6, 7, 0}},
        // Equal last elements: the left run ends first.
        {{3, 3, 3, 3}, 0, 2, 4, {3, 3, 3, 3}},
        {{-1, 8, 8, 8, -1}, 1, 2, 4, {-1, 8, 8, 8, -1}},
        {{2, 1}, 0, 1, 2, {1, 2}},
    };
    for (const Case& c : cases) {
        std::vector<std::int64_t> v = c.before;
        std::vector<std::int64_t> buf(v.size(), 0);
        merge_runs(v, buf.data(), c.lo, c.mid, c.hi);
        CHECK(v == c.after);
    }
}

TEST_CASE(
    "merge_sort throws for 8 * n bytes and leaves the slice alone when its buffer cannot be had") {
    std::mt19937_64 rng(2);
    for (std::size_t n : {2, 3, 1000}) {
        std::vector<std::int64_t> v = test::random_full_range(n, rng);
        const std::vector<std::int64_t> input = v;

        reset_allocation_count();
        merge_sort(v);
        REQUIRE(allocations_made() == 1);

        v = input;
        fail_allocation_after(0);
        try {
            merge_sort(v);
            FAIL("merge_sort succeeded without its buffer");
        } catch (const OutOfMemory& error) {
            CHECK(error.bytes() == 8 * n);
        }
        fail_allocation_after(-1);
        CHECK(v == input);
    }
}
