#include <doctest/doctest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "algorithms/radix.hpp"
#include "core/memory.hpp"
#include "sort_patterns.hpp"

using namespace tarvo;

namespace {

using Values = std::vector<std::int64_t>;

Values radix_sorted(Values v) {
    radix_sort(v);
    return v;
}

void radix_sort_vector(Values& v) {
    radix_sort(v);
}

}  // namespace

TEST_CASE("radix_sort on hand-worked inputs") {
    CHECK(radix_sorted({3, -1, 0, -10, 7}) == Values{-10, -1, 0, 3, 7});
    CHECK(radix_sorted({INT64_MAX, 5}) == Values{5, INT64_MAX});
    CHECK(radix_sorted({0, INT64_MIN}) == Values{INT64_MIN, 0});
    CHECK(radix_sorted({-5, INT64_MIN, 3}) == Values{INT64_MIN, -5, 3});
    CHECK(radix_sorted({-3, -30, -1, INT64_MIN, -30}) == Values{INT64_MIN, -30, -30, -3, -1});
    CHECK(radix_sorted({0, 0, -4, 0}) == Values{-4, 0, 0, 0});
    CHECK(radix_sorted({-4}) == Values{-4});
    CHECK(radix_sorted({}) == Values{});
}

TEST_CASE("decimal_digits counts the passes over a list") {
    CHECK(decimal_digits(1) == 1);
    CHECK(decimal_digits(9) == 1);
    CHECK(decimal_digits(10) == 2);
    CHECK(decimal_digits(99) == 2);
    CHECK(decimal_digits(999'999) == 6);
    CHECK(decimal_digits(1'000'000) == 7);
    CHECK(decimal_digits(1'000'000'000'000'000'000) == 19);
    CHECK(decimal_digits(std::uint64_t{1} << 63) == 19);
    CHECK(decimal_digits(UINT64_MAX) == 20);
}

TEST_CASE("radix_sort_unsigned sorts keys with every digit count, up to 2^64 - 1") {
    std::vector<std::uint64_t> keys{
        UINT64_MAX, 10'000'000'000'000'000'000u, 1,
        0,          std::uint64_t{1} << 63,      9'999'999'999'999'999'999u,
        10};
    std::vector<std::uint64_t> expected = keys;
    std::sort(expected.begin(), expected.end());
    radix_sort_unsigned(keys);
    CHECK(keys == expected);
}

TEST_CASE("radix_sort agrees with std::sort on every pattern and threshold length") {
    test::check_against_std_sort(radix_sort_vector);
}

TEST_CASE("radix_sort sorts a million random values") {
    std::mt19937_64 rng(6);
    Values v = test::random_full_range(1'000'000, rng);
    const Values expected = test::sorted_copy(v);
    radix_sort(v);
    CHECK(v == expected);
}

TEST_CASE("radix_sort obtains nothing where no pass can change anything") {
    for (const Values& input : {Values{}, Values{-9}, Values{0, 0, 0, 0}}) {
        Values v = input;
        reset_allocation_count();
        radix_sort(v);
        CHECK(allocations_made() == 0);
        CHECK(v == input);
    }
}

TEST_CASE("radix_sort throws before the slice is written when its memory cannot be had") {
    struct Case {
        Values input;
        std::vector<std::size_t> bytes;  // of each allocation, in order
    };
    const Case cases[] = {
        {{5, 3, 9, 0}, {32}},                     // in place, one pass buffer
        {{3, -1, 0, -10, 7}, {40, 24}},           // lists, pass buffer of the longer list
        {{-1, -2, -3, 4}, {32, 24}},              // only the negative list runs passes
        {{-1, 0, 0, 0, 0}, {40}},                 // neither list runs passes
        {{-2, 2, 0, INT64_MIN, 7, 8}, {48, 32}},  // 2 negatives, 4 non-negatives
    };
    for (const Case& c : cases) {
        INFO("first value ", c.input.front(), ", length ", c.input.size());
        Values v = c.input;
        reset_allocation_count();
        radix_sort(v);
        REQUIRE(allocations_made() == static_cast<long>(c.bytes.size()));

        for (std::size_t k = 0; k < c.bytes.size(); ++k) {
            v = c.input;
            fail_allocation_after(static_cast<long>(k));
            try {
                radix_sort(v);
                FAIL("radix_sort succeeded without its memory");
            } catch (const OutOfMemory& error) {
                CHECK(error.bytes() == c.bytes[k]);
            }
            fail_allocation_after(-1);
            CHECK(v == c.input);
        }
    }
}
