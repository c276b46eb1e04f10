#include "parallel/samplesort/samplesort.hpp"

#include <algorithm>
#include <bit>

#include "parallel/pool/parallel_for.hpp"
#include "parallel/sample.hpp"
#include "parallel/samplesort/classifier.hpp"
#include "parallel/samplesort/counting.hpp"
#include "parallel/samplesort/partition.hpp"
#include "parallel/samplesort/range_counting.hpp"
#include "parallel/sort_kernel.hpp"

namespace tarvo::samplesort {
namespace {

static_assert(samplesort_resample_oversampling << samplesort_log_buckets_max <= max_buckets * block,
              "an overfull bucket's sample fits the first stripe's buffer blocks");

unsigned log_buckets_for(std::size_t n) noexcept {
    const unsigned wanted = static_cast<unsigned>(std::bit_width(n / samplesort_bucket_target));
    return std::clamp(wanted, 1u, samplesort_log_buckets_max);
}

// Whether the few distinct values the sample shows, or the narrow range its values span, hold
// every element of the slice: if so the slice is now sorted by counting them. Counting a range
// uses the stripes' buffer blocks, where an overfull bucket's sample lives: the sample is not
// read once the counting begins.
bool sorted_by_counting(const WorkerContext& worker, Slice s, ConstSlice sample,
                        std::span<const StripeMemory> stripe_memory) noexcept {
    if (const auto values = SampledValues::of(sample)) {
        return sort_by_counting(worker, s, *values, stripe_memory);
    }
    const auto range = CountedRange::of(sample, s.size());
    return range && sort_by_range_counting(worker, s, *range, stripe_memory);
}

Slice bucket_of(Slice s, const std::size_t* starts, std::size_t b) noexcept {
    return s.subspan(starts[b], starts[b + 1] - starts[b]);
}

// The average length of the buckets that still need sorting.
std::size_t share_of_sorted_buckets(const Classifier& classify,
                                    const std::size_t* starts) noexcept {
    std::size_t buckets = 0, elements = 0;
    for (std::size_t b = 0; b < classify.bucket_count(); ++b) {
        if (classify.is_equal_bucket(b)) continue;
        ++buckets;
        elements += starts[b + 1] - starts[b];
    }
    return buckets == 0 ? 0 : elements / buckets;
}

void sort_on_this_worker(const WorkerContext& worker, Slice s, const StripeMemory& memory,
                         const Limits& limits, unsigned depth) noexcept {
    if (s.size() <= limits.leaf_max || depth == 0) {
        kernel_sort(worker, s);
        return;
    }
    const unsigned log_buckets = log_buckets_for(s.size());
    const ConstSlice sample =
        sorted_sample(worker, s, memory.sample, samplesort_oversampling, log_buckets);
    const Classifier classify(sample, log_buckets);
    if (sorted_by_counting(worker, s, sample, std::span(&memory, 1))) return;
    std::size_t starts[max_buckets + 1];
    partition(worker, s, classify, std::span(&memory, 1), memory.block_ids, starts);
    for (std::size_t b = 0; b < classify.bucket_count(); ++b) {
        if (!classify.is_equal_bucket(b)) {
            sort_on_this_worker(worker, bucket_of(s, starts, b), memory, limits, depth - 1);
        }
    }
}

// A bucket task of a parallel partition, on whichever worker runs it: the kernel for a leaf,
// else a partition with a stripe no other task holds (the kernel if every stripe is busy).
void sort_bucket(const WorkerContext& worker, Slice s, const Workspaces& stripes,
                 const Limits& limits, unsigned depth) noexcept {
    if (s.size() <= limits.leaf_max || depth == 0) {
        kernel_sort(worker, s);
        return;
    }
    const std::size_t stripe = stripes.claim(worker.index());
    if (stripe == stripes.size()) {
        kernel_sort(worker, s);
        return;
    }
    // Sequential: no join, so no other task can run on this thread while it holds the stripe.
    sort_on_this_worker(worker, s, stripes[stripe], limits, depth);
    stripes.release(stripe);
}

// Sorts `s` with a partition on all the workers, from `sample` (sorted, drawn for
// 2^log_buckets buckets).
void sort_on_all_workers(const WorkerContext& worker, Slice s, const Memory& memory,
                         const Limits& limits, unsigned depth, ConstSlice sample,
                         unsigned log_buckets) {
    const Workspaces& stripes = memory.stripes();
    // Built first: counting may overwrite the sample.
    const Classifier classify(sample, log_buckets);
    if (sorted_by_counting(worker, s, sample, stripes.all())) return;
    std::size_t starts[max_buckets + 1];
    partition(worker, s, classify, stripes.all(), memory.block_ids(), starts);

    // A bucket far beyond its share would leave one worker with much of the slice: such buckets
    // are partitioned again, one after another, by all the workers with a fresh, denser sample.
    // No bucket task runs meanwhile, so every stripe is free.
    const std::size_t share = share_of_sorted_buckets(classify, starts);
    const auto overfull = [&](std::size_t b) {
        return !classify.is_equal_bucket(b) &&
               needs_all_workers(starts[b + 1] - starts[b], share, limits);
    };
    for (std::size_t b = 0; b < classify.bucket_count(); ++b) {
        if (!overfull(b)) continue;
        const Slice bucket = bucket_of(s, starts, b);
        if (depth <= 1) {
            kernel_sort(worker, bucket);
            continue;
        }
        const unsigned bucket_log_buckets = log_buckets_for(bucket.size());
        sort_on_all_workers(worker, bucket, memory, limits, depth - 1,
                            sorted_sample(worker, bucket, stripes[0].buffers,
                                          samplesort_resample_oversampling, bucket_log_buckets),
                            bucket_log_buckets);
    }
    parallel_for(worker, 0, classify.bucket_count(),
                 [&](const WorkerContext& runner, std::size_t b) {
                     if (classify.is_equal_bucket(b) || overfull(b)) return;
                     sort_bucket(runner, bucket_of(s, starts, b), stripes, limits, depth - 1);
                 });
}

// Whether at least samplesort_linear_repeats_share of the sorted sample's neighbours are equal.
bool repeats_values(ConstSlice sorted_sample) noexcept {
    std::size_t equal_neighbours = 0;
    for (std::size_t i = 1; i < sorted_sample.size(); ++i) {
        equal_neighbours += static_cast<std::size_t>(sorted_sample[i] == sorted_sample[i - 1]);
    }
    return equal_neighbours * samplesort_linear_repeats_share >= sorted_sample.size();
}

SampleShape shape_of(ConstSlice sorted_sample, std::size_t len, unsigned log_buckets) noexcept {
    if (SampledValues::of(sorted_sample)) return SampleShape::counted;
    if (CountedRange::of(sorted_sample, len)) return SampleShape::counted_range;
    switch (Classifier(sorted_sample, log_buckets).kind()) {
        case ClassifierKind::linear:
            return repeats_values(sorted_sample) ? SampleShape::linear_with_repeats
                                                 : SampleShape::linear;
        case ClassifierKind::trimmed_linear:
            return SampleShape::trimmed_linear;
        case ClassifierKind::logarithmic:
            return SampleShape::logarithmic;
        case ClassifierKind::tree:
            return SampleShape::tree;
        case ClassifierKind::tree_with_equal_buckets:
            break;
    }
    return SampleShape::tree_with_equal_buckets;
}

}  // namespace

FirstSample::FirstSample(ConstSlice s, std::size_t per_bucket)
    : room_(sample_capacity, Fill::uninitialized), log_buckets_(log_buckets_for(s.size())) {
    const Slice sample =
        draw_sample(s, room_.data(), std::min(per_bucket, samplesort_oversampling), log_buckets_);
    kernel_sort(sample);
    size_ = sample.size();
    shape_ = shape_of(sample, s.size(), log_buckets_);
}

bool needs_all_workers(std::size_t bucket, std::size_t share, const Limits& limits) noexcept {
    if (bucket <= limits.leaf_max) return false;
    return bucket > limits.sequential_partition_max || bucket > samplesort_overfull_shares * share;
}

void sort(const WorkerContext& worker, Slice s, const Memory& memory,
          const Limits& limits) noexcept {
    if (s.size() < 2) return;
    const unsigned log_buckets = log_buckets_for(s.size());
    sort_on_all_workers(
        worker, s, memory, limits, samplesort_max_depth,
        sorted_sample(worker, s, memory.stripes()[0].sample, samplesort_oversampling, log_buckets),
        log_buckets);
}

void sort(const WorkerContext& worker, Slice s, const Memory& memory, const FirstSample& first,
          const Limits& limits) noexcept {
    if (s.size() < 2) return;
    sort_on_all_workers(worker, s, memory, limits, samplesort_max_depth, first.sorted(),
                        first.log_buckets());
}

}  // namespace tarvo::samplesort
