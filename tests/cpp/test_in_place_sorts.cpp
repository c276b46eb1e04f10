#include <doctest/doctest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "algorithms/heap.hpp"
#include "algorithms/insertion.hpp"
#include "algorithms/intro.hpp"
#include "algorithms/pdq.hpp"
#include "algorithms/quick.hpp"
#include "sort_patterns.hpp"

using namespace tarvo;
using Values = std::vector<std::int64_t>;

namespace {

struct Routine {
    const char* name;
    void (*sort)(Slice);
    bool quadratic_on_patterns;  // sorted, equal or few distinct values cost n^2 / 2
};

const Routine routines[] = {
    {"quick", quick_sort, true},
    {"heap", heap_sort, false},
    {"intro", intro_sort, false},
    {"pdq", [](Slice s) { pdq_sort(s, pdq_limit(s.size())); }, false},
};

// Keeps the quadratic cases of quick to a few million comparisons each.
constexpr std::size_t quadratic_length_cap = 3000;

}  // namespace

TEST_CASE("in-place sorts: every routine agrees with std::sort around every threshold") {
    std::mt19937_64 rng(0x5eed);
    for (const Routine& routine : routines) {
        for (const test::Pattern& pattern : test::patterns) {
            for (std::size_t len : test::threshold_lengths) {
                if (routine.quadratic_on_patterns && pattern.name != "random full range" &&
                    len > quadratic_length_cap)
                    continue;
                Values values = pattern.make(len, rng);
                const Values expected = test::sorted_copy(values);
                routine.sort(Slice(values));
                CAPTURE(routine.name);
                CAPTURE(pattern.name);
                CAPTURE(len);
                REQUIRE(values == expected);
            }
        }
    }
}

TEST_CASE("in-place sorts: quick on its quadratic inputs up to the length cap") {
    std::mt19937_64 rng(0x5eed);
    for (const char* name : {"sorted", "reversed", "all equal"}) {
        Values values = test::pattern_named(name).make(quadratic_length_cap, rng);
        const Values expected = test::sorted_copy(values);
        quick_sort(Slice(values));
        CAPTURE(name);
        CHECK(values == expected);
    }
}

TEST_CASE("in-place sorts: a sub-range call leaves everything outside it untouched") {
    // The guards descend across the whole slice, so a routine that strayed outside its range
    // would move them.
    constexpr std::size_t len = 300;
    constexpr std::size_t first = 100;
    constexpr std::size_t count = 120;
    const Values inside = test::random_values(count, 0x5eed);

    const auto check = [&](const char* name, auto&& sort_middle) {
        Values values(len);
        for (std::size_t k = 0; k < len; ++k) values[k] = std::int64_t(len - k) * 1'000'000;
        std::copy(inside.begin(), inside.end(), values.begin() + first);
        const Values before = values;
        sort_middle(Slice(values));

        Values expected = before;
        std::sort(expected.begin() + first, expected.begin() + first + count);
        CAPTURE(name);
        CHECK(values == expected);
    };
    check("insertion_sort", [](Slice s) { insertion_sort(s.subspan(first, count)); });
    check("heap_sort", [](Slice s) { heap_sort(s.subspan(first, count)); });
    check("quick_sort_range", [](Slice s) { quick_sort_range(s, first, first + count - 1); });
    check("intro_sort_range",
          [](Slice s) { intro_sort_range(s, first, first + count - 1, depth_limit(count)); });
    check("intro_sort_range without budget",
          [](Slice s) { intro_sort_range(s, first, first + count - 1, 0); });
    check("pdq_sort", [](Slice s) { pdq_sort(s.subspan(first, count), pdq_limit(count)); });
}
