#include <doctest/doctest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "algorithms/heap.hpp"
#include "algorithms/insertion.hpp"
#include "algorithms/intro.hpp"
#include "algorithms/pdq.hpp"
#include "algorithms/quick.hpp"
#include "core/memory.hpp"
#include "routine_table.hpp"

using namespace tarvo;
using Values = std::vector<std::int64_t>;

namespace {

// Keeps the quadratic cases to a few million comparisons each.
constexpr std::size_t quadratic_length_max = 3000;

enum class Pattern {
    random_full,
    random_small_range,
    sorted,
    reversed,
    all_equal,
    few_distinct,
    sawtooth,
    organ_pipe,
    extremes,
};

constexpr Pattern patterns[] = {
    Pattern::random_full, Pattern::random_small_range, Pattern::sorted,
    Pattern::reversed,    Pattern::all_equal,          Pattern::few_distinct,
    Pattern::sawtooth,    Pattern::organ_pipe,         Pattern::extremes};

const char* pattern_name(Pattern pattern) {
    switch (pattern) {
        case Pattern::random_full:
            return "random full range";
        case Pattern::random_small_range:
            return "random in [-50, 50]";
        case Pattern::sorted:
            return "sorted";
        case Pattern::reversed:
            return "reversed";
        case Pattern::all_equal:
            return "all equal";
        case Pattern::few_distinct:
            return "four distinct values";
        case Pattern::sawtooth:
            return "sawtooth";
        case Pattern::organ_pipe:
            return "organ pipe";
        case Pattern::extremes:
            return "int64 extremes";
    }
    return "";
}

Values make_input(Pattern pattern, std::size_t len) {
    std::mt19937_64 random(0x5eed + len);
    const auto n = static_cast<std::int64_t>(len);
    Values v(len);
    for (std::int64_t k = 0; k < n; ++k) {
        std::int64_t& x = v[static_cast<std::size_t>(k)];
        switch (pattern) {
            case Pattern::random_full:
                x = static_cast<std::int64_t>(random());
                break;
            case Pattern::random_small_range:
                x = static_cast<std::int64_t>(random() % 101) - 50;
                break;
            case Pattern::sorted:
                x = k - n / 2;
                break;
            case Pattern::reversed:
                x = n - k;
                break;
            case Pattern::all_equal:
                x = -7;
                break;
            case Pattern::few_distinct:
                x = static_cast<std::int64_t>(random() % 4) * 1000;
                break;
            case Pattern::sawtooth:
                x = k % 37;
                break;
            case Pattern::organ_pipe:
                x = std::min(k, n - 1 - k);
                break;
            case Pattern::extremes: {
                constexpr std::int64_t picks[] = {INT64_MIN, INT64_MIN + 1, -1,       0,
                                                  1,         INT64_MAX - 1, INT64_MAX};
                x = picks[random() % 7];
                break;
            }
        }
    }
    return v;
}

// Whether the routine's cost on this input stays within a test's budget.
bool affordable(const RoutineEntry& routine, Pattern pattern, std::size_t len) {
    switch (routine.cost) {
        case Cost::n_log_n:
            return true;
        case Cost::quadratic_on_ordered:
            return pattern == Pattern::random_full || len <= quadratic_length_max;
        case Cost::quadratic:
            return len <= quadratic_length_max;
    }
    return false;
}

// Beyond the 524,288 elements from which the pool-backed sorts (and smart through them) use the
// pool, so that every routine marked for the pool uses it.
constexpr std::size_t pool_length = 600'000;

}  // namespace

TEST_CASE("module routines: every routine agrees with std::sort around every threshold") {
    const std::size_t lengths[] = {0,   1,   2,   3,   4,    5,    16,   17,   24,
                                   25,  31,  32,  33,  63,   64,   100,  101,  127,
                                   128, 129, 513, 999, 1000, 1001, 8191, 8192, 8193};
    for (const RoutineEntry& routine : routine_table) {
        for (Pattern pattern : patterns) {
            for (std::size_t len : lengths) {
                if (!affordable(routine, pattern, len)) continue;
                Values values = make_input(pattern, len);
                Values expected = values;
                std::sort(expected.begin(), expected.end());
                reset_allocation_count();
                routine.sort(Slice(values));
                CAPTURE(routine.name);
                CAPTURE(pattern_name(pattern));
                CAPTURE(len);
                REQUIRE(values == expected);
                // The Python fault-injection tests trust the table on which routines allocate.
                if (routine.memory == Memory::in_place) CHECK(allocations_made() == 0);
            }
        }
    }
}

TEST_CASE("module routines: pool routines sort long input, allocating ones obtain memory") {
    const Values input = make_input(Pattern::random_full, pool_length);
    Values expected = input;
    std::sort(expected.begin(), expected.end());
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
    for (Pattern pattern : {Pattern::sorted, Pattern::reversed, Pattern::all_equal}) {
        Values values = make_input(pattern, quadratic_length_max);
        Values expected = values;
        std::sort(expected.begin(), expected.end());
        quick_sort(Slice(values));
        CAPTURE(pattern_name(pattern));
        CHECK(values == expected);
    }
}

TEST_CASE("in-place sorts: a sub-range call leaves everything outside it untouched") {
    // The guards descend across the whole slice, so a routine that strayed outside its range
    // would move them.
    constexpr std::size_t len = 300;
    constexpr std::size_t first = 100;
    constexpr std::size_t count = 120;
    const Values inside = make_input(Pattern::random_full, count);

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
