#include <doctest/doctest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/memory.hpp"
#include "parallel/config.hpp"
#include "parallel/parallel_quicksort.hpp"
#include "parallel/parallel_sort.hpp"
#include "parallel/pool/registry.hpp"
#include "parallel/presorted.hpp"
#include "sort_patterns.hpp"

using namespace tarvo;

namespace {

// Inputs that stress pivots, runs and equal keys, at length n.
std::vector<std::vector<std::int64_t>> patterns(std::size_t n) {
    std::vector<std::int64_t> ascending(n), organ(n), sawtooth(n),
        few = test::random_values(n, n + 1);
    for (std::size_t i = 0; i < n; ++i) {
        ascending[i] = static_cast<std::int64_t>(i);
        organ[i] = static_cast<std::int64_t>(std::min(i, n - i));
        sawtooth[i] = static_cast<std::int64_t>(i % 1000);
    }
    for (auto& v : few) v = (v & 3) - 2;
    std::vector<std::int64_t> descending(ascending.rbegin(), ascending.rend());
    std::vector<std::int64_t> extremes = test::random_values(n, n + 2);
    for (std::size_t i = 0; i < n; i += 5) {
        extremes[i] = i % 2 ? std::numeric_limits<std::int64_t>::min()
                            : std::numeric_limits<std::int64_t>::max();
    }
    return {test::random_values(n, n),       ascending, descending, organ, sawtooth, few, extremes,
            std::vector<std::int64_t>(n, 42)};
}

template <class Sort>
void check_like_std_sort(Sort sort, std::vector<std::int64_t> values) {
    std::vector<std::int64_t> expected = values;
    std::sort(expected.begin(), expected.end());
    sort(Slice(values));
    CHECK(values == expected);
}

}  // namespace

TEST_CASE("parallel sorts: both match std::sort on every pattern and length") {
    for (std::size_t n :
         {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{100},
          pool_sort_sequential_max, pool_sort_sequential_max + 1, std::size_t{200000}}) {
        CAPTURE(n);
        for (const auto& input : patterns(n)) {
            check_like_std_sort(parallel_stable_sort, input);
            check_like_std_sort(parallel_unstable_sort, input);
        }
    }
}

TEST_CASE("parallel sorts: a million ascending, descending or random values") {
    std::vector<std::int64_t> ascending(1000000);
    for (std::size_t i = 0; i < ascending.size(); ++i) ascending[i] = static_cast<std::int64_t>(i);
    for (const auto& input :
         {ascending, std::vector<std::int64_t>(ascending.rbegin(), ascending.rend()),
          test::random_values(1000000, 9)}) {
        check_like_std_sort(parallel_stable_sort, input);
        check_like_std_sort(parallel_unstable_sort, input);
    }
}

TEST_CASE("parallel sorts: without memory for the stable sort's buffer nothing moves") {
    const std::vector<std::int64_t> input = test::random_values(pool_sort_sequential_max + 1, 13);
    std::vector<std::int64_t> values = input;
    fail_allocation_after(0);
    CHECK_THROWS_AS(parallel_stable_sort(values), OutOfMemory);
    fail_allocation_after(-1);
    CHECK(values == input);
}

TEST_CASE("parallel sorts: Hoare partition splits into two non-empty ordered sides") {
    for (const auto& input : patterns(1000)) {
        for (std::size_t pivot : {std::size_t{0}, std::size_t{499}, std::size_t{999}}) {
            std::vector<std::int64_t> s = input;
            const std::int64_t p = s[pivot];
            const std::size_t k = hoare_partition(s, pivot);
            REQUIRE(k > 0);
            REQUIRE(k < s.size());
            CHECK(std::all_of(s.begin(), s.begin() + k, [&](std::int64_t v) { return v <= p; }));
            CHECK(std::all_of(s.begin() + k, s.end(), [&](std::int64_t v) { return v >= p; }));
            std::vector<std::int64_t> a = s, b = input;
            std::sort(a.begin(), a.end());
            std::sort(b.begin(), b.end());
            CHECK(a == b);  // a permutation of the input
        }
    }
    std::vector<std::int64_t> two{5, 1};
    CHECK(hoare_partition(two, 0) == 1);
    CHECK(two == std::vector<std::int64_t>{1, 5});
}

TEST_CASE("parallel sorts: an all-but-one-equal slice still sorts") {
    std::vector<std::int64_t> values(pool_sort_sequential_max + 1, 5);
    values[1] = 4;
    values[values.size() - 2] = 9;
    std::vector<std::int64_t> expected = values;
    std::sort(expected.begin(), expected.end());
    std::vector<std::int64_t> stable = values;
    parallel_stable_sort(stable);
    parallel_unstable_sort(values);
    CHECK(stable == expected);
    CHECK(values == expected);
}

TEST_CASE("presorted: ascending kept, descending reversed, one pair out of order anywhere found") {
    // Four stretches of pairs exactly (a worker may take 8), several per worker; pairs out of
    // order at the first pair, on either side of the first stretch boundary, and at the very
    // last pair.
    static_assert(presorted_parts_per_runner >= 4);
    const std::size_t n = 4 * presorted_parallel_stretch + 1;
    std::vector<std::int64_t> ascending(n);
    for (std::size_t i = 0; i < n; ++i) ascending[i] = static_cast<std::int64_t>(i / 3);
    const std::vector<std::int64_t> descending(ascending.rbegin(), ascending.rend());
    // 0 workers: on the calling thread.
    for (std::size_t workers : {0, 1, 2, 3, 64}) {
        std::string cause;
        auto pool = workers > 0 ? Registry::start(workers, cause) : nullptr;
        const auto finish = [&](std::vector<std::int64_t>& values) {
            if (!pool) return finish_if_presorted(values);
            bool sorted = false;
            pool->in_worker(
                [&](const WorkerContext& worker) { sorted = finish_if_presorted(worker, values); });
            return sorted;
        };
        for (const auto& ordered : {ascending, descending, std::vector<std::int64_t>(n, 7)}) {
            std::vector<std::int64_t> values = ordered;
            CHECK(may_be_presorted(values));
            CHECK(finish(values));
            CHECK(values == test::sorted_copy(ordered));
        }
        for (std::size_t k :
             {std::size_t{0}, presorted_parallel_stretch - 1, presorted_parallel_stretch, n - 2}) {
            for (const auto& ordered : {ascending, descending}) {
                const bool rising = ordered[0] < ordered[n - 1];
                INFO("workers ", workers, ", pair ", k, ", ascending ", rising);
                std::vector<std::int64_t> values = ordered;
                // Breaks pair k only: the order of every other pair stays as it was.
                values[k + 1] = values[k] + (rising ? -1 : 1);
                const std::vector<std::int64_t> before = values;
                CHECK_FALSE(finish(values));
                CHECK(values == before);
            }
        }
    }
    std::vector<std::int64_t> zigzag = {3, 1, 2, 0};
    CHECK_FALSE(may_be_presorted(zigzag));
}

TEST_CASE("parallel sorts: whichever allocation fails, unstable sorts and stable leaves it be") {
    const std::vector<std::int64_t> input = test::random_values(pool_sort_sequential_max + 1, 9);
    std::vector<std::int64_t> expected = input;
    std::sort(expected.begin(), expected.end());
    // Every allocation the sorts make, counted on an undisturbed run (the pool exists by now).
    std::vector<std::int64_t> counted = input;
    parallel_stable_sort(counted);
    counted = input;
    reset_allocation_count();
    parallel_stable_sort(counted);
    const long allocations = allocations_made();
    REQUIRE(allocations >= 1);
    for (long k = 0; k < allocations; ++k) {
        CAPTURE(k);
        std::vector<std::int64_t> unstable = input, stable = input;
        fail_allocation_after(k);
        parallel_unstable_sort(unstable);
        fail_allocation_after(k);
        CHECK_THROWS_AS(parallel_stable_sort(stable), OutOfMemory);
        fail_allocation_after(-1);
        CHECK(unstable == expected);
        CHECK(stable == input);
    }
}
