#include <doctest/doctest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>
#include <vector>

#include "adaptive/smart.hpp"
#include "utils/analysis.hpp"

using namespace tarvo;

namespace {

using Values = std::vector<std::int64_t>;

constexpr std::int64_t int64_min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t int64_max = std::numeric_limits<std::int64_t>::max();

Values ascending(std::size_t len) {
    Values v(len);
    std::iota(v.begin(), v.end(), 0);
    return v;
}

long brute_force_inversions(const Values& v) {
    long count = 0;
    for (std::size_t i = 0; i < v.size(); ++i)
        for (std::size_t j = i + 1; j < v.size(); ++j) count += v[i] > v[j];
    return count;
}

// A permutation of 0 ... len - 1 with exactly `inversions` inversions, from its Lehmer code:
// position i takes the c-th smallest unused value, which adds c inversions.
Values with_inversions(std::size_t len, long inversions) {
    Values unused = ascending(len);
    Values v;
    for (std::size_t i = 0; i < len; ++i) {
        const long c = std::min<long>(inversions, static_cast<long>(len - 1 - i));
        inversions -= c;
        v.push_back(unused[c]);
        unused.erase(unused.begin() + c);
    }
    return v;
}

}  // namespace

TEST_CASE("the measures' worked values on empty, single, equal and descending slices") {
    CHECK(estimate_sortedness({}) == 1.0);
    CHECK(estimate_duplicates({}) == 0.0);

    const Values single{42};
    CHECK(estimate_sortedness(single) == 1.0);
    CHECK(estimate_duplicates(single) == 0.0);

    const Values equal(100, 7);
    CHECK(estimate_sortedness(equal) == 1.0);
    CHECK(estimate_duplicates(equal) == 0.99);

    Values descending = ascending(100);
    std::reverse(descending.begin(), descending.end());
    CHECK(estimate_sortedness(descending) == 0.0);
    CHECK(estimate_duplicates(descending) == 0.0);
}

TEST_CASE("494 inversions among 100 elements stay above 0.9; 495 give exactly 0.9") {
    const Values v494 = with_inversions(100, 494);
    const Values v495 = with_inversions(100, 495);
    REQUIRE(brute_force_inversions(v494) == 494);
    REQUIRE(brute_force_inversions(v495) == 495);
    CHECK(estimate_sortedness(v494) == 1.0 - 494.0 / 4950.0);
    CHECK(estimate_sortedness(v494) > 0.9);
    CHECK(estimate_sortedness(v495) == 0.9);
}

TEST_CASE("the pair count: 4,950 at lengths 100 and 200, 5,050 at 101, 102 and 201") {
    // One inversion among the points whose index is below 100 * d: the score reveals the pairs.
    for (std::size_t len : {100, 101, 102, 200, 201}) {
        CAPTURE(len);
        const std::size_t d = len / 100;
        Values v = ascending(len);
        std::swap(v[0], v[d]);
        const double pairs = len % 100 == 0 ? 4950.0 : 5050.0;
        CHECK(estimate_sortedness(v) == 1.0 - 1.0 / pairs);
    }
}

TEST_CASE("the point at index 100 * d is a right member exactly when it is below len") {
    // Only the element at 100 * d is out of order, and only against its left neighbour point.
    for (std::size_t len : {101, 102, 150, 201, 1050}) {
        CAPTURE(len);
        const std::size_t d = len / 100;
        Values v = ascending(len);
        v[100 * d] = v[99 * d] - 1;
        CHECK(estimate_sortedness(v) == 1.0 - 1.0 / 5050.0);
        CHECK(estimate_duplicates(v) == 0.0);
    }
    // For len 1000 the index 100 * d is len itself: no 101st point, nothing read past the end.
    Values v = ascending(1000);
    std::swap(v[0], v[10]);
    CHECK(estimate_sortedness(v) == 1.0 - 1.0 / 4950.0);
}

TEST_CASE("elements between the sampled points are never looked at") {
    Values v = with_inversions(150, 300);
    const double sortedness = estimate_sortedness(v);
    const double duplicates = estimate_duplicates(v);
    for (std::size_t i = 101; i < 150; ++i) v[i] = i % 2 ? int64_min : v[0];
    CHECK(estimate_sortedness(v) == sortedness);
    CHECK(estimate_duplicates(v) == duplicates);

    // d = 10: only every tenth element is a point; the others all repeat the first value.
    Values spaced(1000, -5);
    for (std::size_t i = 0; i < 1000; i += 10) spaced[i] = static_cast<std::int64_t>(1000 - i);
    CHECK(estimate_sortedness(spaced) == 0.0);
    CHECK(estimate_duplicates(spaced) == 0.0);
}

TEST_CASE("the duplicate share counts every repeat among the first S points") {
    Values half = ascending(100);  // 50 distinct values, then 50 repeats of them
    for (std::size_t i = 50; i < 100; ++i) half[i] = half[i - 50];
    CHECK(estimate_duplicates(half) == 0.5);

    Values more = ascending(100);  // 49 distinct values, then 51 repeats
    for (std::size_t i = 49; i < 100; ++i) more[i] = static_cast<std::int64_t>(i % 49);
    CHECK(estimate_duplicates(more) == 0.51);

    // Extremes and their neighbours are distinct values, not one another's repeats.
    const Values extremes{int64_min, int64_max, 0, -1, int64_min + 1, int64_max - 1, int64_min};
    CHECK(estimate_duplicates(extremes) == 1.0 / 7.0);

    // len 101: the duplicate share samples indices 0 ... 99 only.
    Values tail_repeat = ascending(101);
    tail_repeat[100] = tail_repeat[0];
    CHECK(estimate_duplicates(tail_repeat) == 0.0);
}

TEST_CASE("is_small_range: the span limit, the full int64 range, and the unread tail") {
    Values v(1000, 500'000);
    v[0] = 0;
    v[999] = 999'999;
    CHECK(is_small_range(v));
    v[999] = 1'000'000;
    CHECK_FALSE(is_small_range(v));

    v.assign(1000, 0);
    v[3] = int64_min;
    v[700] = int64_max;
    CHECK_FALSE(is_small_range(v));

    Values tail(1999, 0);  // step 1: indices 0 ... 999 only
    for (std::size_t i = 1000; i < 1999; ++i) tail[i] = int64_max;
    CHECK(is_small_range(tail));

    Values spaced(100'000, int64_min);  // step 100: indices 0, 100, ..., 99,900
    for (std::size_t i = 0; i < spaced.size(); i += 100) spaced[i] = static_cast<std::int64_t>(i);
    CHECK(is_small_range(spaced));
    spaced[99'900] = 1'000'000;
    CHECK_FALSE(is_small_range(spaced));
}
