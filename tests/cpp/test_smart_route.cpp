#include <doctest/doctest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "adaptive/smart.hpp"
#include "sort_patterns.hpp"

using namespace tarvo;

namespace {

using Values = std::vector<std::int64_t>;
using test::ascending;

// 0 ... 99 with exactly `inversions` inversions, all among the first elements.
Values hundred_with_inversions(long inversions) {
    Values unused = ascending(100);
    Values v;
    for (std::size_t i = 0; i < 100; ++i) {
        const long c = std::min<long>(inversions, static_cast<long>(99 - i));
        inversions -= c;
        v.push_back(unused[c]);
        unused.erase(unused.begin() + c);
    }
    return v;
}

SmartRoute route(const Values& v) {
    return smart_route(v);
}

}  // namespace

TEST_CASE("route names") {
    CHECK(std::strcmp(route_name(SmartRoute::nothing), "nothing") == 0);
    CHECK(std::strcmp(route_name(SmartRoute::insertion), "insertion") == 0);
    CHECK(std::strcmp(route_name(SmartRoute::tim), "tim") == 0);
    CHECK(std::strcmp(route_name(SmartRoute::radix), "radix") == 0);
    CHECK(std::strcmp(route_name(SmartRoute::pdq), "pdq") == 0);
    CHECK(std::strcmp(route_name(SmartRoute::parallel_unstable), "parallel_unstable") == 0);
}

TEST_CASE("tiny slices: nothing up to 1 element, insertion up to 16, analysis from 17") {
    CHECK(route({}) == SmartRoute::nothing);
    CHECK(route({5}) == SmartRoute::nothing);
    CHECK(route({2, 1}) == SmartRoute::insertion);
    Values descending16 = ascending(16);
    std::reverse(descending16.begin(), descending16.end());
    CHECK(route(descending16) == SmartRoute::insertion);
    Values descending17 = ascending(17);
    std::reverse(descending17.begin(), descending17.end());
    CHECK(route(descending17) == SmartRoute::pdq);
}

TEST_CASE("sorted input goes to tim at every length, never to the pool") {
    for (std::size_t len : {17, 1000, 100'000, 100'001, 10'000'000}) {
        CAPTURE(len);
        CHECK(route(ascending(len)) == SmartRoute::tim);
    }
}

TEST_CASE("many duplicates go to tim; exactly half repeated does not") {
    std::mt19937_64 rng(7);
    Values ten_values(500);
    for (auto& x : ten_values) x = static_cast<std::int64_t>(rng() % 10);
    CHECK(route(ten_values) == SmartRoute::tim);

    // Descending pairs 49, 49, 48, 48, ...: 50 repeats of 100, sortedness 1 - 4900 / 4950.
    Values half(100);
    for (std::size_t i = 0; i < 100; ++i) half[i] = static_cast<std::int64_t>((99 - i) / 2);
    CHECK(route(half) == SmartRoute::pdq);
    half[98] = half[99] = 1;  // the pair of 0s becomes 1s: 49 distinct values, 51 repeats
    CHECK(route(half) == SmartRoute::tim);
}

TEST_CASE("sortedness exactly 0.9 is not nearly sorted") {
    CHECK(route(hundred_with_inversions(495)) == SmartRoute::pdq);
    CHECK(route(hundred_with_inversions(494)) == SmartRoute::tim);
}

TEST_CASE("radix only from 1000 elements, for a small range, up to 100,000") {
    CHECK(route(test::permutation(50'000, 1)) == SmartRoute::radix);
    CHECK(route(test::permutation(999, 2)) == SmartRoute::pdq);
    CHECK(route(test::permutation(1000, 3)) == SmartRoute::radix);
    CHECK(route(test::permutation(100'000, 4)) == SmartRoute::radix);
    // Above 100,000 even a small range goes to the pool.
    CHECK(route(test::permutation(100'001, 5)) == SmartRoute::parallel_unstable);
}

TEST_CASE("wide shuffled input: pdq up to 100,000 elements, the pool above") {
    CHECK(route(test::random_values(1000, 6)) == SmartRoute::pdq);
    CHECK(route(test::random_values(100'000, 7)) == SmartRoute::pdq);
    CHECK(route(test::random_values(100'001, 8)) == SmartRoute::parallel_unstable);
}

TEST_CASE("smart_sort matches std::sort whatever the route") {
    std::mt19937_64 rng(9);
    const auto check_sorts = [](Values v) {
        Values expected = v;
        std::sort(expected.begin(), expected.end());
        smart_sort(v);
        CHECK(v == expected);
    };
    for (std::size_t len : {0,  1,  2,  3,  4,  5,  6,  7,  8,   9,    10,      11,     12,
                            13, 14, 15, 16, 17, 18, 19, 20, 999, 1000, 100'000, 100'001}) {
        CAPTURE(len);
        Values wide = test::random_values(len, rng());
        Values narrow(len);
        for (auto& x : narrow) x = static_cast<std::int64_t>(rng() % 1000) - 500;
        Values few(len);
        for (auto& x : few) x = static_cast<std::int64_t>(rng() % 4) - 2;
        Values descending = ascending(len);
        std::reverse(descending.begin(), descending.end());
        check_sorts(wide);
        check_sorts(narrow);
        check_sorts(few);
        check_sorts(ascending(len));
        check_sorts(descending);
        Values nearly = ascending(len);
        if (len > 2) std::swap(nearly[1], nearly[len - 1]);
        check_sorts(nearly);
    }
}
