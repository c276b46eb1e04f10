#include <doctest/doctest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "core/memory.hpp"
#include "parallel/bucket_sort/bucket_sort.hpp"
#include "parallel/bucket_sort/classifier.hpp"
#include "parallel/bucket_sort/distribute.hpp"
#include "parallel/join.hpp"
#include "parallel/parallel_sort.hpp"
#include "parallel/presorted.hpp"

using namespace tarvo;
using namespace tarvo::bucket_sort;

namespace {

constexpr std::int64_t min64 = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t max64 = std::numeric_limits<std::int64_t>::max();

std::vector<std::int64_t> random_values(std::size_t n, std::uint64_t seed, std::uint64_t range) {
    std::mt19937_64 random(seed);
    std::vector<std::int64_t> values(n);
    for (auto& v : values) v = static_cast<std::int64_t>(range == 0 ? random() : random() % range);
    return values;
}

std::vector<std::int64_t> sorted_copy(std::vector<std::int64_t> values) {
    std::sort(values.begin(), values.end());
    return values;
}

// Sorts through a buffer on the pool, as the parallel sorts do.
bool bucket_sort_on_pool(std::vector<std::int64_t>& values) {
    std::vector<std::int64_t> buffer(values.size());
    bool sorted = false;
    run_on_pool([&] { sorted = sort_through_buffer(values, buffer); });
    return sorted;
}

}  // namespace

TEST_CASE("bucket sort: the classifier orders buckets by value, outliers at the ends") {
    const std::vector<std::int64_t> sample_space = {-1000, 5, 1000};
    const Classifier classify = Classifier::from_sample(sample_space);
    std::vector<std::int64_t> probes = {min64, -1001, -1000, -999, 0,    4,
                                        5,     6,     999,   1000, 1001, max64};
    std::size_t previous = 0;
    for (std::int64_t probe : probes) {
        const std::size_t bucket = classify(probe);
        CHECK(bucket < bucket_count);
        CHECK(bucket >= previous);  // never decreasing as values grow
        previous = bucket;
    }
    CHECK(classify(min64) == 0);
    CHECK(classify(max64) == bucket_count - 1);
    // The full int64 range still splits: the extremes land in the first and the last bucket.
    const Classifier full(min64, max64);
    CHECK(full(min64) == 0);
    CHECK(full(-1) < full(0));
    CHECK(full(max64) == bucket_count - 1);
    CHECK(Classifier(7, 7).splits_nothing());
}

TEST_CASE("bucket sort: distribution keeps every element and orders the buckets") {
    std::vector<std::int64_t> input = random_values(300000, 3, 0);
    std::vector<std::int64_t> out(input.size());
    const Classifier classify = Classifier::from_sample(input);
    std::vector<std::size_t> starts;
    run_on_pool([&] {
        const BucketStarts found = distribute(input, out, classify);
        starts.assign(found.data(), found.data() + found.size());
    });
    REQUIRE(starts.size() == bucket_count + 1);
    CHECK(starts.front() == 0);
    CHECK(starts.back() == input.size());
    for (std::size_t b = 0; b < bucket_count; ++b) {
        for (std::size_t i = starts[b]; i < starts[b + 1]; ++i) CHECK_EQ(classify(out[i]), b);
    }
    CHECK(sorted_copy(out) == sorted_copy(input));
}

TEST_CASE("bucket sort: sorts wide, narrow, skewed and clustered values like std::sort") {
    std::vector<std::vector<std::int64_t>> inputs = {
        random_values(200000, 1, 0),        // full range
        random_values(200000, 2, 1000000),  // narrow: buckets finished by counting
        random_values(200000, 3, 3),        // a few values, far fewer than buckets
    };
    // Skewed: nearly everything in one narrow cluster, so that its bucket is split again.
    std::vector<std::int64_t> skewed = random_values(400000, 4, 1u << 20);
    for (std::size_t i = 0; i < skewed.size(); i += 997) skewed[i] = (i % 2 ? max64 : min64);
    inputs.push_back(skewed);
    std::vector<std::int64_t> extremes(100000);
    for (std::size_t i = 0; i < extremes.size(); ++i)
        extremes[i] = i % 3 == 0 ? min64 : max64 - i % 5;
    inputs.push_back(extremes);
    for (auto& values : inputs) {
        const std::vector<std::int64_t> expected = sorted_copy(values);
        REQUIRE(bucket_sort_on_pool(values));
        CHECK(values == expected);
    }
}

TEST_CASE("bucket sort: a sample of a single value declines and moves nothing") {
    std::vector<std::int64_t> values(100000, 5);
    values[1] = 4;  // not sampled: the sample sees only 5
    const std::vector<std::int64_t> before = values;
    CHECK_FALSE(bucket_sort_on_pool(values));
    CHECK(values == before);
}

TEST_CASE("parallel sorts: an all-but-one-equal slice still sorts") {
    std::vector<std::int64_t> values(100000, 5);
    values[1] = 4;
    values[99998] = 9;
    const std::vector<std::int64_t> expected = sorted_copy(values);
    std::vector<std::int64_t> stable = values;
    parallel_stable_sort(stable);
    parallel_unstable_sort(values);
    CHECK(stable == expected);
    CHECK(values == expected);
}

TEST_CASE("parallel sorts: without a buffer the unstable sort sorts in place") {
    std::vector<std::int64_t> values = random_values(100000, 8, 0);
    const std::vector<std::int64_t> expected = sorted_copy(values);
    fail_allocation_after(0);
    parallel_unstable_sort(values);
    fail_allocation_after(-1);
    CHECK(values == expected);
}

TEST_CASE("presorted: ascending is kept, descending reversed, anything else untouched") {
    std::vector<std::int64_t> ascending(1000);
    for (std::size_t i = 0; i < ascending.size(); ++i)
        ascending[i] = static_cast<std::int64_t>(i / 3);
    std::vector<std::int64_t> values = ascending;
    CHECK(finish_if_presorted(values));
    CHECK(values == ascending);

    values.assign(ascending.rbegin(), ascending.rend());
    CHECK(finish_if_presorted(values));
    CHECK(values == ascending);

    for (std::size_t broken :
         {std::size_t{1}, std::size_t{255}, std::size_t{256}, std::size_t{998}}) {
        values = ascending;
        std::swap(values[broken], values[broken + 1]);
        values[broken] += 1000;  // out of order in both directions
        const std::vector<std::int64_t> before = values;
        CHECK_FALSE(finish_if_presorted(values));
        CHECK(values == before);
    }
}

TEST_CASE("parallel sorts: whichever allocation fails, unstable sorts and stable leaves it be") {
    const std::vector<std::int64_t> input = random_values(100000, 9, 0);
    const std::vector<std::int64_t> expected = sorted_copy(input);
    for (long k = 0; k < 3; ++k) {  // the buffer, then the distribution's two tables
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
