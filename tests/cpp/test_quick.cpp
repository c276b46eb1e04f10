#include <doctest/doctest.h>

#include <cstdint>
#include <vector>

#include "algorithms/quick.hpp"

using namespace tarvo;
using Values = std::vector<std::int64_t>;

namespace {

// Runs lomuto_partition on `input` over lo ... hi; returns the arrangement and the position.
std::pair<Values, std::size_t> partitioned(Values input, std::size_t lo, std::size_t hi) {
    const std::size_t p = lomuto_partition(Slice(input), lo, hi);
    return {input, p};
}

}  // namespace

TEST_CASE("quick: lomuto_partition leaves the hand-worked arrangements") {
    // Each expectation follows the scan by hand: elements <= pivot are exchanged forward in the
    // order they are met, then the pivot is exchanged into the first slot after them.
    SUBCASE("two elements, pivot smaller: exchanged, p = 0") {
        CHECK(partitioned({2, 1}, 0, 1) == std::pair{Values{1, 2}, std::size_t{0}});
    }
    SUBCASE("two elements in order: the pivot stays at hi") {
        CHECK(partitioned({1, 2}, 0, 1) == std::pair{Values{1, 2}, std::size_t{1}});
    }
    SUBCASE("duplicates of the pivot all land left of it") {
        CHECK(partitioned({3, 5, 3, 1, 4, 3}, 0, 5) ==
              std::pair{Values{3, 3, 1, 3, 4, 5}, std::size_t{3}});
    }
    SUBCASE("mixed values, greater ones keep the order the exchanges leave") {
        CHECK(partitioned({5, 1, 4, 2, 3}, 0, 4) ==
              std::pair{Values{1, 2, 3, 5, 4}, std::size_t{2}});
    }
    SUBCASE("the minimum as pivot: only the final exchange happens") {
        CHECK(partitioned({4, 6, 5, 1}, 0, 3) == std::pair{Values{1, 6, 5, 4}, std::size_t{0}});
    }
    SUBCASE("all equal: nothing moves, p = hi") {
        CHECK(partitioned({7, 7, 7}, 0, 2) == std::pair{Values{7, 7, 7}, std::size_t{2}});
    }
    SUBCASE("a sub-range: elements outside lo ... hi are not touched") {
        CHECK(partitioned({9, 2, 1, -9}, 1, 2) == std::pair{Values{9, 1, 2, -9}, std::size_t{1}});
    }
    SUBCASE("signed extremes compare by signed value") {
        constexpr std::int64_t min = INT64_MIN;
        constexpr std::int64_t max = INT64_MAX;
        CHECK(partitioned({max, min, -1, 0}, 0, 3) ==
              std::pair{Values{min, -1, 0, max}, std::size_t{2}});
    }
}

TEST_CASE("quick: quick_sort_range sorts only its inclusive range") {
    Values values{50, 40, 9, 3, 7, 1, 8, -40, -50};
    quick_sort_range(Slice(values), 2, 6);
    CHECK(values == Values{50, 40, 1, 3, 7, 8, 9, -40, -50});
}
