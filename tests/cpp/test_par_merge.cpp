#include <doctest/doctest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "core/memory.hpp"
#include "parallel/par_merge.hpp"
#include "sort_patterns.hpp"

using namespace tarvo;

namespace {

void check_sorts_like_std_sort(std::vector<std::int64_t> values) {
    std::vector<std::int64_t> expected = values;
    std::sort(expected.begin(), expected.end());
    par_merge_sort(values);
    CHECK(values == expected);
}

}  // namespace

TEST_CASE("par_merge: merge_halves merges two sorted halves, worked by hand") {
    std::vector<std::int64_t> s{1, 3, 5, 7, 2, 3, 4};
    merge_halves(s, 4);
    CHECK(s == std::vector<std::int64_t>{1, 2, 3, 3, 4, 5, 7});
    std::vector<std::int64_t> right_first{8, 9, -1, 0};
    merge_halves(right_first, 2);
    CHECK(right_first == std::vector<std::int64_t>{-1, 0, 8, 9});
}

TEST_CASE("par_merge: every length around the split threshold matches std::sort") {
    for (std::size_t n : {0, 1, 2, 8191, 8192, 8193, 16383, 16384, 40000}) {
        CAPTURE(n);
        check_sorts_like_std_sort(test::random_values(n, n));
    }
}

TEST_CASE("par_merge: a million ascending, descending or random values") {
    std::vector<std::int64_t> ascending(1000000);
    for (std::size_t i = 0; i < ascending.size(); ++i) ascending[i] = static_cast<std::int64_t>(i);
    std::vector<std::int64_t> descending(ascending.rbegin(), ascending.rend());
    check_sorts_like_std_sort(ascending);
    check_sorts_like_std_sort(descending);
    check_sorts_like_std_sort(test::random_values(1000000, 7));
}

TEST_CASE("par_merge: equal values, few distinct values and the int64 extremes") {
    check_sorts_like_std_sort(std::vector<std::int64_t>(50000, -3));
    std::vector<std::int64_t> few = test::random_values(50000, 3);
    for (auto& v : few) v = (v & 3) - 1;
    check_sorts_like_std_sort(few);
    std::vector<std::int64_t> extremes = test::random_values(30000, 5);
    for (std::size_t i = 0; i < extremes.size(); i += 7) {
        extremes[i] = i % 2 ? std::numeric_limits<std::int64_t>::min()
                            : std::numeric_limits<std::int64_t>::max();
    }
    std::vector<std::int64_t> sorted = extremes;
    par_merge_sort(sorted);
    CHECK(sorted.front() == std::numeric_limits<std::int64_t>::min());
    CHECK(sorted.back() == std::numeric_limits<std::int64_t>::max());
    check_sorts_like_std_sort(extremes);
}

TEST_CASE("par_merge: without memory for the buffer the slice keeps its elements") {
    const std::vector<std::int64_t> input = test::random_values(20000, 11);
    std::vector<std::int64_t> values = input;
    fail_allocation_after(0);
    CHECK_THROWS_AS(par_merge_sort(values), OutOfMemory);
    fail_allocation_after(-1);
    CHECK(values == input);
}

TEST_CASE("par_merge: a short slice without memory for its buffer is sorted in place") {
    std::vector<std::int64_t> values = test::random_values(par_merge_sequential_below - 1, 12);
    std::vector<std::int64_t> expected = values;
    std::sort(expected.begin(), expected.end());
    fail_allocation_after(0);
    par_merge_sort(values);
    fail_allocation_after(-1);
    CHECK(values == expected);
}
