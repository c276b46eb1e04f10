#include <doctest/doctest.h>

#include <cstdint>
#include <vector>

#include "algorithms/intro.hpp"

using namespace tarvo;
using Values = std::vector<std::int64_t>;

TEST_CASE("intro: depth_limit is the truncated doubled logarithm") {
    const std::pair<std::size_t, std::size_t> worked[] = {
        {2, 2},     {3, 3},     {16, 8},       {17, 8},       {100, 13},
        {1000, 19}, {1024, 20}, {1000000, 39}, {1048576, 40},
    };
    for (const auto& [n, limit] : worked) {
        CAPTURE(n);
        CHECK(depth_limit(n) == limit);
    }
}

TEST_CASE("intro: intro_sort_range on an empty or budget-less range") {
    Values values{5, 4, 3, 2, 1};
    intro_sort_range(Slice(values), 3, 2, 4);  // lo = hi + 1: the empty range
    CHECK(values == Values{5, 4, 3, 2, 1});

    // With no budget left a long range goes to heap_sort, which still sorts it.
    Values descending(40);
    for (std::size_t k = 0; k < descending.size(); ++k) descending[k] = 40 - std::int64_t(k);
    intro_sort_range(Slice(descending), 0, descending.size() - 1, 0);
    for (std::size_t k = 0; k < descending.size(); ++k) CHECK(descending[k] == std::int64_t(k) + 1);
}
