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
#include "core/memory.hpp"
#include "routine_table.hpp"
#include "sort_patterns.hpp"

using namespace tarvo;
using Values = std::vector<std::int64_t>;

namespace {

// Keeps the quadratic cases to a few million comparisons each.
constexpr std::size_t quadratic_length_max = 3000;

// Beyond the 524,288 elements from which the pool-backed sorts (and smart through them) use the
// pool, so that every routine marked for the pool uses it.
constexpr std::size_t pool_length = 600'000;

// Whether the routine's cost on this input stays within a test's budget.
bool affordable(const RoutineEntry& routine, const test::Pattern& pattern, std::size_t len) {
    switch (routine.cost) {
        case Cost::n_log_n:
            return true;
        case Cost::quadratic_on_ordered:
            return pattern.name == "random full range" || len <= quadratic_length_max;
        case Cost::quadratic:
            return len <= quadratic_length_max;
    }
    return false;
}

}  // namespace

TEST_CASE("module routines: every routine agrees with std::sort around every threshold") {
    std::mt19937_64 rng(0x5eed);
    for (const RoutineEntry& routine : routine_table) {
        for (const test::Pattern& pattern : test::patterns) {
            for (std::size_t len : test::threshold_lengths) {
                if (!affordable(routine, pattern, len)) continue;
                Values values = pattern.make(len, rng);
                const Values expected = test::sorted_copy(values);
                reset_allocation_count();
                routine.sort(Slice(values));
                CAPTURE(routine.name);
                CAPTURE(pattern.name);
                CAPTURE(len);
                REQUIRE(values == expected);
                // The Python fault-injection tests trust the table on which routines allocate.
                if (routine.memory == Memory::in_place) CHECK(allocations_made() == 0);
            }
        }
    }
}

TEST_CASE("module routines: pool routines sort long input, allocating ones obtain memory") {
    const Values input = test::random_values(pool_length, 0x5eed);
    const Values expected = test::sorted_copy(input);
    for (const RoutineEntry& routine : routine_table) {
        if (routine.threads != Threads::pool && routine.memory != Memory::allocates) continue;
        Values values = input;
        reset_allocation_count();
        routine.sort(Slice(values));
        CAPTURE(routine.name);
        CHECK(values == expected);
        if (routine.memory == Memory::allocates) CHECK(allocations_made() > 0);
    }
}

TEST_CASE("in-place sorts: quick on its quadratic inputs up to the length cap") {
    std::mt19937_64 rng(0x5eed);
    for (const test::Pattern& pattern : test::patterns) {
        if (pattern.name != "sorted" && pattern.name != "reversed" && pattern.name != "all equal")
            continue;
        Values values = pattern.make(quadratic_length_max, rng);
        const Values expected = test::sorted_copy(values);
        quick_sort(Slice(values));
        CAPTURE(pattern.name);
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
