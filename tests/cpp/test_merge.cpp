#include <doctest/doctest.h>

#include <random>
#include <vector>

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
