#include <doctest/doctest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "core/memory.hpp"
#include "parallel/config.hpp"
#include "parallel/pool/registry.hpp"
#include "parallel/sample.hpp"
#include "parallel/samplesort/classifier.hpp"
#include "parallel/samplesort/local_classification.hpp"
#include "parallel/samplesort/partition.hpp"
#include "parallel/samplesort/samplesort.hpp"
#include "parallel/sort_kernel.hpp"
#include "sort_patterns.hpp"
#include "sort_pool_for_tests.hpp"

using namespace tarvo;
using namespace tarvo::samplesort;
using Values = std::vector<std::int64_t>;

namespace {

using test::max64;
using test::min64;

// The samplesort alone (whatever the length), on a private pool of `pool`'s size.
void samplesort_on(Registry& pool, Values& values) {
    const Memory memory(values.size(), pool.size());
    pool.in_worker([&](const WorkerContext& worker) { samplesort::sort(worker, values, memory); });
}

// Partitions `values` with `stripes` stripes on `pool`; returns the bucket starts.
std::vector<std::size_t> partition_on(Registry& pool, Values& values, const Classifier& classify,
                                      std::size_t stripes) {
    const Workspaces memory(stripes);
    std::vector<BucketId> ids(values.size() / block);
    std::vector<std::size_t> starts(max_buckets + 1);
    pool.in_worker([&](const WorkerContext& worker) {
        partition(worker, values, classify, memory.all(), ids.data(), starts.data());
    });
    starts.resize(classify.bucket_count() + 1);
    return starts;
}

Classifier classifier_from(Values sample, unsigned log_buckets) {
    std::sort(sample.begin(), sample.end());
    return Classifier(sample, log_buckets);
}

// The inputs that break samplesorts, beyond the shared patterns.
const test::Pattern samplesort_patterns[] = {
    {"two values",
     [](std::size_t n, std::mt19937_64& rng) {
         Values v(n);
         for (auto& x : v) x = rng() % 2 ? max64 : min64;
         return v;
     }},
    {"many duplicates",
     [](std::size_t n, std::mt19937_64& rng) { return test::random_in(n, rng, 0, 999); }},
    {"Zipf-like skew",
     [](std::size_t n, std::mt19937_64& rng) {
         std::uniform_real_distribution<double> u(0, 1);
         Values v(n);
         for (auto& x : v) x = static_cast<std::int64_t>(std::exp(u(rng) * std::log(1e6)));
         return v;
     }},
    {"outliers beyond the sample",
     [](std::size_t n, std::mt19937_64& rng) {
         Values v = test::random_in(n, rng, 0, 1 << 20);
         // Too rare to be sampled: they land in the first and the last bucket.
         if (n > 2) v[n / 3] = min64, v[2 * n / 3] = max64;
         return v;
     }},
    {"gaussian",
     [](std::size_t n, std::mt19937_64& rng) {
         std::normal_distribution<double> g(0, 1e12);
         Values v(n);
         for (auto& x : v) x = static_cast<std::int64_t>(g(rng));
         return v;
     }},
};

// Every pattern, shared and samplesort-specific, at length n.
std::vector<std::pair<std::string, Values>> all_patterns(std::size_t n, std::mt19937_64& rng) {
    std::vector<std::pair<std::string, Values>> inputs;
    for (const auto& p : test::patterns) inputs.emplace_back(p.name, p.make(n, rng));
    for (const auto& p : samplesort_patterns) inputs.emplace_back(p.name, p.make(n, rng));
    return inputs;
}

}  // namespace

TEST_CASE("samplesort classifier: hand-worked tree buckets, equal-key buckets, linear buckets") {
    // 8 samples, 4 buckets: the splitters are the 2nd, 4th and 6th smallest: 2, 4, 6. The
    // sample is far from even over [1, 2^40], so a tree splits it.
    const Classifier tree = classifier_from({7, 1, 2, 3, 4, std::int64_t{1} << 40, 5, 6}, 2);
    CHECK(tree.kind() == ClassifierKind::tree);
    REQUIRE(tree.bucket_count() == 4);
    CHECK(tree(min64) == 0);
    CHECK(tree(2) == 0);  // bucket i holds (splitter i - 1, splitter i]
    CHECK(tree(3) == 1);
    CHECK(tree(4) == 1);
    CHECK(tree(6) == 2);
    CHECK(tree(7) == 3);
    CHECK(tree(max64) == 3);

    // Repeated splitters: 5 and 9, each with a bucket of its own copies.
    const Classifier equal = classifier_from({5, 5, 5, 5, 9, 9, 9, 9}, 2);
    REQUIRE(equal.kind() == ClassifierKind::tree_with_equal_buckets);
    CHECK(equal.distinct_splitters() == 2);
    REQUIRE(equal.bucket_count() == 5);
    CHECK(equal(4) == 0);
    CHECK(equal(5) == 1);
    CHECK(equal.is_equal_bucket(1));
    CHECK(equal(6) == 2);
    CHECK(equal(9) == 3);
    CHECK(equal.is_equal_bucket(3));
    CHECK(equal(max64) == 4);
    CHECK_FALSE(equal.is_equal_bucket(4));

    // An even sample of [0, 1024): 8 buckets of 128 values each, outliers at the ends.
    Values even;
    for (std::int64_t v = 0; v < 1024; v += 4) even.push_back(v);
    const Classifier linear = classifier_from(even, 3);
    REQUIRE(linear.kind() == ClassifierKind::linear);
    REQUIRE(linear.bucket_count() == 8);
    CHECK(linear(0) == 0);
    CHECK(linear(127) == 0);
    CHECK(linear(128) == 1);
    CHECK(linear(1020) == 7);
    CHECK(linear(-1) == 0);
    CHECK(linear(min64) == 0);
    CHECK(linear(max64) == 7);

    // 120 values spread over [0, 960) and 4 far out at each end: the outliers would stretch
    // every bucket over most of int64, so linear buckets cover the sample without 2 buckets'
    // shares (2 x 16) at each end, [224, 728], in stretches of 64 from 224.
    Values outliers = {min64, min64 + 1, -1000000, -999999};
    for (std::int64_t v = 0; v < 960; v += 8) outliers.push_back(v);
    outliers.insert(outliers.end(), {max64, max64 - 1, 1000000, 999999});
    const Classifier trimmed = classifier_from(outliers, 3);
    REQUIRE(trimmed.kind() == ClassifierKind::trimmed_linear);
    CHECK(trimmed(min64) == 0);
    CHECK(trimmed(287) == 0);
    CHECK(trimmed(288) == 1);
    CHECK(trimmed(672) == 7);
    CHECK(trimmed(max64) == 7);

    // Skewed: 0 to 3 four times each, then 6 values in every doubling up to 1024. Neither even
    // nor few-valued; 32 buckets allow 1 mantissa bit: distances 0 to 3 get buckets 1 to 4 of
    // one value each (never sorted), then every doubling two, [4, 6) bucket 5 up to [768, 1024)
    // bucket 20, the last, which also takes everything beyond.
    Values skewed;
    for (std::int64_t v = 0; v < 4; ++v) skewed.insert(skewed.end(), 4, v);
    for (std::int64_t low = 4; low < 1024; low *= 2) {
        for (std::int64_t half : {low, low + low / 2}) {
            for (std::int64_t i = 0; i < 3; ++i) skewed.push_back(half + i * low / 6);
        }
    }
    REQUIRE(skewed.size() == 64);
    const Classifier logarithmic = classifier_from(skewed, 5);
    REQUIRE(logarithmic.kind() == ClassifierKind::logarithmic);
    REQUIRE(logarithmic.bucket_count() == 21);
    CHECK(logarithmic(-5) == 0);
    CHECK(logarithmic(min64) == 0);
    CHECK(logarithmic(0) == 1);
    CHECK(logarithmic(3) == 4);
    CHECK(logarithmic(4) == 5);
    CHECK(logarithmic(5) == 5);
    CHECK(logarithmic(6) == 6);
    CHECK(logarithmic(8) == 7);
    CHECK(logarithmic(767) == 19);
    CHECK(logarithmic(768) == 20);
    CHECK(logarithmic(max64) == 20);
    CHECK(logarithmic.is_equal_bucket(1));
    CHECK(logarithmic.is_equal_bucket(4));
    CHECK_FALSE(logarithmic.is_equal_bucket(5));
    CHECK_FALSE(logarithmic.is_equal_bucket(20));

    // Batches, for every kind, against each bucket's smallest value worked out by hand above:
    // a value's bucket is the last whose smallest value does not exceed it.
    const std::pair<const Classifier*, Values> lowest_values[] = {
        {&tree, {min64, 3, 5, 7}},
        {&equal, {min64, 5, 6, 9, 10}},
        {&linear, {min64, 128, 256, 384, 512, 640, 768, 896}},
        {&trimmed, {min64, 288, 352, 416, 480, 544, 608, 672}},
        {&logarithmic,
         {min64, 0, 1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64, 96, 128, 192, 256, 384, 512, 768}},
    };
    std::mt19937_64 rng(3);
    Values probes = test::random_in(200, rng, -100, 1200);
    probes.insert(probes.end(), {min64, max64, -1, 0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 127, 128});
    for (const auto& [classify, lowest] : lowest_values) {
        REQUIRE(classify->bucket_count() == lowest.size());
        std::vector<std::size_t> batch(probes.size());
        Values copied(probes.size());
        classify->classify_batch(probes.data(), probes.size(), copied.data(), batch.data());
        CHECK(copied == probes);
        for (std::size_t i = 0; i < probes.size(); ++i) {
            CAPTURE(probes[i]);
            const auto above = std::upper_bound(lowest.begin(), lowest.end(), probes[i]);
            CHECK(batch[i] == static_cast<std::size_t>(above - lowest.begin()) - 1);
        }
    }
}

TEST_CASE("samplesort local classification: whole blocks written back, the rest buffered") {
    // 800 elements, two buckets split at -1: 400 negatives and 400 positives, interleaved.
    Values stripe(800);
    for (std::size_t i = 0; i < stripe.size(); ++i) {
        stripe[i] = i % 2 ? static_cast<std::int64_t>(i) : -static_cast<std::int64_t>(i) - 1;
    }
    const Values input = stripe;
    const Classifier classify = classifier_from({-1, 1}, 1);  // one splitter: -1
    REQUIRE(classify.bucket_count() == 2);
    const Workspaces memory(1);
    std::vector<BucketId> ids(stripe.size() / block);
    const std::size_t written = classify_stripe(stripe, classify, memory[0], ids.data());
    // Each bucket filled one block of 256 (400 = 256 + 144); the third block slot is empty.
    REQUIRE(written == 2);
    CHECK(memory[0].counts[0] == 400);
    CHECK(memory[0].counts[1] == 400);
    CHECK(ids[2] == empty_block);
    for (std::size_t k = 0; k < written; ++k) {
        for (std::size_t i = k * block; i < (k + 1) * block; ++i) {
            CHECK(classify(stripe[i]) == ids[k]);
        }
    }
    // Written blocks plus buffered remainders are the input.
    Values all(stripe.begin(), stripe.begin() + written * block);
    for (std::size_t b = 0; b < 2; ++b) {
        all.insert(all.end(), memory[0].buffers + b * block,
                   memory[0].buffers + b * block + memory[0].counts[b] % block);
    }
    CHECK(test::sorted_copy(all) == test::sorted_copy(input));
}

TEST_CASE("samplesort partition: every bucket in place for 1, 2 and 3 stripes") {
    auto pool = test::start_sort_pool(3);
    std::mt19937_64 rng(11);
    // Lengths that leave a partial last block, buckets smaller than a block and empty ones.
    for (std::size_t n : {std::size_t{1}, std::size_t{255}, std::size_t{257}, std::size_t{5000},
                          std::size_t{70001}}) {
        for (std::size_t stripes : {1, 2, 3}) {
            for (auto& [name, values] : all_patterns(n, rng)) {
                INFO(name, ", length ", n, ", stripes ", stripes);
                const Values input = values;
                Values sample = test::random_in(64, rng, 0, 0);
                for (std::size_t i = 0; i < sample.size(); ++i) sample[i] = input[(i * 7919) % n];
                const Classifier classify = classifier_from(sample, 4);
                const auto starts = partition_on(*pool, values, classify, stripes);
                REQUIRE(starts.front() == 0);
                REQUIRE(starts.back() == n);
                for (std::size_t b = 0; b < classify.bucket_count(); ++b) {
                    for (std::size_t i = starts[b]; i < starts[b + 1]; ++i) {
                        REQUIRE(classify(values[i]) == b);
                    }
                }
                CHECK(test::sorted_copy(values) == test::sorted_copy(input));
            }
        }
    }
}

TEST_CASE("samplesort partition: equal-key buckets hold a single value each") {
    auto pool = test::start_sort_pool(2);
    std::mt19937_64 rng(5);
    Values values = test::random_in(50000, rng, 0, 9);
    for (std::size_t i = 0; i < values.size(); i += 1000) values[i] = 1000 + i;  // a few others
    const Values input = values;
    const Classifier classify = classifier_from(Values(values.begin(), values.begin() + 4096), 4);
    REQUIRE(classify.kind() == ClassifierKind::tree_with_equal_buckets);
    const auto starts = partition_on(*pool, values, classify, 2);
    std::size_t in_equal_buckets = 0;
    for (std::size_t b = 1; b < classify.bucket_count(); b += 2) {
        for (std::size_t i = starts[b]; i < starts[b + 1]; ++i)
            CHECK(values[i] == values[starts[b]]);
        in_equal_buckets += starts[b + 1] - starts[b];
    }
    CHECK(in_equal_buckets == input.size() - input.size() / 1000);
}

TEST_CASE("samplesort: like std::sort around every threshold, on 1, 2, 3 and 64 workers") {
    std::mt19937_64 rng(20240611);
    const std::size_t lengths[] = {0,
                                   2,
                                   block - 1,
                                   block + 1,
                                   samplesort_bucket_target * 2 + 1,
                                   samplesort_leaf_max - 1,
                                   samplesort_leaf_max + 1,
                                   3 * samplesort_leaf_max + 7};
    for (std::size_t threads : {1, 2, 3, 64}) {
        auto pool = test::start_sort_pool(threads);
        for (std::size_t n : lengths) {
            for (auto& [name, values] : all_patterns(n, rng)) {
                INFO(name, ", length ", n, ", workers ", threads);
                const Values expected = test::sorted_copy(values);
                samplesort_on(*pool, values);
                REQUIRE(values == expected);
            }
        }
    }
}

TEST_CASE("samplesort: buckets partitioned again by one worker and by all of them") {
    // Lowered limits send the buckets of 400,000 elements (64 of about 6,000) through the
    // sequential partition, and with the lower pair also through nested parallel ones.
    auto pool = test::start_sort_pool(2);
    std::mt19937_64 rng(17);
    for (const Limits limits : {Limits{2000, 50000}, Limits{1000, 4000}}) {
        for (auto& [name, values] : all_patterns(400000, rng)) {
            INFO(name, ", leaves up to ", limits.leaf_max);
            const Values expected = test::sorted_copy(values);
            const Memory memory(values.size(), pool->size());
            pool->in_worker([&](const WorkerContext& worker) {
                samplesort::sort(worker, values, memory, limits);
            });
            REQUIRE(values == expected);
        }
    }
}

TEST_CASE("samplesort: buckets partitioned again by all workers obtain no memory of their own") {
    // With these limits the buckets of 400,000 elements are partitioned again by all the
    // workers, with the memory obtained for the whole slice: the sort allocates nothing.
    auto pool = test::start_sort_pool(2);
    std::mt19937_64 rng(23);
    Values values = test::random_full_range(400000, rng);
    const Values expected = test::sorted_copy(values);
    const Limits limits{1000, 4000};
    const Memory memory(values.size(), pool->size());
    reset_allocation_count();
    pool->in_worker(
        [&](const WorkerContext& worker) { samplesort::sort(worker, values, memory, limits); });
    CHECK(allocations_made() == 0);
    CHECK(values == expected);
}

TEST_CASE("samplesort: a bucket far beyond its share goes to all the workers") {
    const Limits limits{1000, 100000};
    struct Case {
        std::size_t bucket, share;
        bool all_workers;
    };
    const Case cases[] = {
        {1000, 1, false},       // a leaf, however overfull
        {4000, 1000, false},    // four shares: balanced enough
        {4001, 1000, true},     // beyond four shares
        {60000, 20000, false},  // large but balanced
        {100001, 50000, true},  // beyond the sequential partition's limit
    };
    for (const Case& c : cases) {
        CAPTURE(c.bucket);
        CHECK(needs_all_workers(c.bucket, c.share, limits) == c.all_workers);
    }
}

TEST_CASE("samplesort memory: within 1 % of the slice plus 16 MiB at any worker count") {
    for (const std::size_t len :
         {std::size_t{1} << 19, std::size_t{1} << 23, std::size_t{100000000}}) {
        for (const std::size_t workers : {1, 2, 64, 128}) {
            CAPTURE(len);
            CAPTURE(workers);
            const Memory memory(len, workers);
            const std::size_t stripes = memory.stripes().size();
            // Each stripe holds at least its 512 buffer blocks of 2 KiB.
            CHECK(memory.bytes() >= stripes * (std::size_t{1} << 20));
            CHECK(memory.bytes() <= len * sizeof(std::int64_t) / 100 + (std::size_t{16} << 20));
            // The partition still runs on several workers where the pool has them.
            CHECK((workers == 1 ? stripes == 1 : stripes >= 2));
        }
    }
}

TEST_CASE("samplesort memory: a stripe is claimed by one worker at a time") {
    const Workspaces stripes(3);
    CHECK(stripes.claim(1) == 1);
    CHECK(stripes.claim(1) == 2);
    CHECK(stripes.claim(1) == 0);
    CHECK(stripes.claim(0) == 3);  // all held
    stripes.release(2);
    CHECK(stripes.claim(0) == 2);
}

TEST_CASE("samplesort sample: two samples of the same slice read different positions") {
    // Every value is its own position, so the sorted sample lists the positions read.
    Values positions(1 << 20);
    std::iota(positions.begin(), positions.end(), 0);
    Values first(samplesort_oversampling << 4), second(first.size());
    auto pool = test::start_sort_pool(1);
    pool->in_worker([&](const WorkerContext& worker) {
        sorted_sample(worker, positions, first.data(), samplesort_oversampling, 4);
        sorted_sample(worker, positions, second.data(), samplesort_oversampling, 4);
    });
    CHECK(first != second);
}
