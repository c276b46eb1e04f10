#pragma once
// The C++ tests' inputs: the lengths around the sorts' thresholds (block lengths of tim, pdq's
// insertion sort, merge splits, powers of two), the patterns that defeat naive merges,
// partitions and digit passes, and seeded random and ordered values.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <doctest/doctest.h>

namespace tarvo::test {

inline constexpr std::int64_t min64 = std::numeric_limits<std::int64_t>::min();
inline constexpr std::int64_t max64 = std::numeric_limits<std::int64_t>::max();

inline const std::vector<std::size_t> threshold_lengths = {
    0,  1,  2,   3,   4,   5,   16,  17,  24,  25,   31,   32,   33,   63,
    64, 70, 100, 101, 127, 128, 129, 513, 999, 1000, 1001, 8191, 8192, 8193};

struct Pattern {
    std::string name;
    std::vector<std::int64_t> (*make)(std::size_t n, std::mt19937_64& rng);
};

inline std::vector<std::int64_t> random_full_range(std::size_t n, std::mt19937_64& rng) {
    std::vector<std::int64_t> v(n);
    for (auto& x : v) x = static_cast<std::int64_t>(rng());
    return v;
}

inline std::vector<std::int64_t> random_in(std::size_t n, std::mt19937_64& rng, std::int64_t lo,
                                           std::int64_t hi) {
    std::uniform_int_distribution<std::int64_t> pick(lo, hi);
    std::vector<std::int64_t> v(n);
    for (auto& x : v) x = pick(rng);
    return v;
}

inline const std::vector<Pattern> patterns = {
    {"random full range", random_full_range},
    {"small range", [](std::size_t n, std::mt19937_64& rng) { return random_in(n, rng, -50, 50); }},
    {"sorted",
     [](std::size_t n, std::mt19937_64& rng) {
         auto v = random_full_range(n, rng);
         std::sort(v.begin(), v.end());
         return v;
     }},
    {"reversed",
     [](std::size_t n, std::mt19937_64& rng) {
         auto v = random_full_range(n, rng);
         std::sort(v.begin(), v.end(), std::greater<>());
         return v;
     }},
    {"all equal", [](std::size_t n, std::mt19937_64&) { return std::vector<std::int64_t>(n, -7); }},
    {"few distinct",
     [](std::size_t n, std::mt19937_64& rng) {
         auto v = random_in(n, rng, 0, 3);
         for (auto& x : v) x = x * 1'000'000'007 - 1'500'000'000;
         return v;
     }},
    {"sawtooth",
     [](std::size_t n, std::mt19937_64&) {
         std::vector<std::int64_t> v(n);
         for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::int64_t>(i % 23) - 11;
         return v;
     }},
    {"organ pipe",
     [](std::size_t n, std::mt19937_64&) {
         std::vector<std::int64_t> v(n);
         for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::int64_t>(std::min(i, n - i));
         return v;
     }},
    {"int64 extremes",
     [](std::size_t n, std::mt19937_64& rng) {
         constexpr std::int64_t values[] = {min64, min64 + 1, -1, 0, 1, max64 - 1, max64};
         std::vector<std::int64_t> v(n);
         for (auto& x : v) x = values[rng() % std::size(values)];
         return v;
     }},
};

// n full-range values from a generator seeded with `seed`.
inline std::vector<std::int64_t> random_values(std::size_t n, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    return random_full_range(n, rng);
}

// 0, 1, ..., n - 1.
inline std::vector<std::int64_t> ascending(std::size_t n) {
    std::vector<std::int64_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::int64_t>(i);
    return v;
}

// 0 ... n - 1 in an order drawn from a generator seeded with `seed`.
inline std::vector<std::int64_t> permutation(std::size_t n, std::uint64_t seed) {
    std::vector<std::int64_t> v = ascending(n);
    std::mt19937_64 rng(seed);
    std::shuffle(v.begin(), v.end(), rng);
    return v;
}

inline std::vector<std::int64_t> sorted_copy(std::vector<std::int64_t> v) {
    std::sort(v.begin(), v.end());
    return v;
}

// Runs sort on every threshold length in every pattern and compares with std::sort.
template <class Sort>
void check_against_std_sort(Sort&& sort) {
    std::mt19937_64 rng(20240611);
    for (const Pattern& pattern : patterns) {
        for (const std::size_t n : threshold_lengths) {
            std::vector<std::int64_t> v = pattern.make(n, rng);
            const std::vector<std::int64_t> expected = sorted_copy(v);
            sort(v);
            INFO(pattern.name, ", length ", n);
            REQUIRE(v == expected);
        }
    }
}

}  // namespace tarvo::test
