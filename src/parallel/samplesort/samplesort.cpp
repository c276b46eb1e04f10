#include "parallel/samplesort/samplesort.hpp"

#include <algorithm>
#include <bit>
#include <optional>

#include "parallel/pool/parallel_for.hpp"
#include "parallel/samplesort/classifier.hpp"
#include "parallel/samplesort/counting.hpp"
#include "parallel/samplesort/partition.hpp"
#include "parallel/sort_kernel.hpp"

namespace tarvo::samplesort {
namespace {

unsigned log_buckets_for(std::size_t n) noexcept {
    const unsigned wanted = static_cast<unsigned>(std::bit_width(n / samplesort_bucket_target));
    return std::clamp(wanted, 1u, samplesort_log_buckets_max);
}

// A sample at pseudo-random positions (evenly spaced ones would alias with periodic input), each
// read once, sorted.
ConstSlice sorted_sample(const WorkerContext& worker, ConstSlice s, std::int64_t* sample) noexcept {
    const std::size_t count =
        std::min(s.size(), samplesort_oversampling << log_buckets_for(s.size()));
    std::uint64_t state = 0x9E3779B97F4A7C15u ^ s.size();
    for (std::size_t i = 0; i < count; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        sample[i] = s[state % s.size()];
    }
    kernel_sort(worker, Slice(sample, count));
    return ConstSlice(sample, count);
}

// Whether the few distinct values the sample shows, if it shows few, are all the slice holds: if
// so the slice is now sorted by counting them.
bool sorted_by_counting(const WorkerContext& worker, Slice s, ConstSlice sample,
                        std::span<const StripeMemory> stripe_memory) noexcept {
    const auto values = SampledValues::of(sample);
    return values && sort_by_counting(worker, s, *values, stripe_memory);
}

template <class Body>
void for_each_unsorted_bucket(Slice s, const Classifier& classify, const std::size_t* starts,
                              const Body& body) {
    for (std::size_t b = 0; b < classify.bucket_count(); ++b) {
        if (!classify.is_equal_bucket(b)) body(s.subspan(starts[b], starts[b + 1] - starts[b]));
    }
}

void sort_on_this_worker(const WorkerContext& worker, Slice s, const StripeMemory& memory,
                         const Limits& limits, unsigned depth) noexcept {
    if (s.size() <= limits.leaf_max || depth == 0) {
        kernel_sort(worker, s);
        return;
    }
    const ConstSlice sample = sorted_sample(worker, s, memory.sample);
    if (sorted_by_counting(worker, s, sample, std::span(&memory, 1))) return;
    const Classifier classify(sample, log_buckets_for(s.size()));
    std::size_t starts[max_buckets + 1];
    partition(worker, s, classify, std::span(&memory, 1), memory.block_ids, starts);
    for_each_unsorted_bucket(s, classify, starts, [&](Slice bucket) {
        sort_on_this_worker(worker, bucket, memory, limits, depth - 1);
    });
}

void sort_on_all_workers(const WorkerContext& worker, Slice s, const Workspaces& workspaces,
                         BucketId* ids, const Limits& limits, unsigned depth);

void sort_bucket(const WorkerContext& worker, Slice s, const Workspaces& workspaces,
                 const Limits& limits, unsigned depth) noexcept {
    if (s.size() <= limits.sequential_partition_max || depth == 0) {
        // A worker runs a bucket without joining, so no other task uses its stripe meanwhile.
        // A slice too short to give every worker a stripe has buckets that rarely need another
        // partition: a worker without a stripe leaves such a bucket to the kernel.
        if (worker.index() < workspaces.size()) {
            sort_on_this_worker(worker, s, workspaces[worker.index()], limits, depth);
        } else {
            kernel_sort(worker, s);
        }
        return;
    }
    // A bucket this large is rare (a sample that missed a heavy range of values): it gets a
    // parallel partition of its own, with memory of its own, or the kernel without it.
    std::optional<Memory> own;
    try {
        own.emplace(s.size(), workspaces.size());
    } catch (const OutOfMemory&) {
        kernel_sort(worker, s);
        return;
    }
    sort_on_all_workers(worker, s, own->stripes(), own->block_ids(), limits, depth);
}

void sort_on_all_workers(const WorkerContext& worker, Slice s, const Workspaces& workspaces,
                         BucketId* ids, const Limits& limits, unsigned depth) {
    const ConstSlice sample = sorted_sample(worker, s, workspaces[0].sample);
    if (sorted_by_counting(worker, s, sample, workspaces.all())) return;
    const Classifier classify(sample, log_buckets_for(s.size()));
    std::size_t starts[max_buckets + 1];
    partition(worker, s, classify, workspaces.all(), ids, starts);
    parallel_for(worker, 0, classify.bucket_count(),
                 [&](const WorkerContext& runner, std::size_t b) {
                     if (classify.is_equal_bucket(b)) return;
                     sort_bucket(runner, s.subspan(starts[b], starts[b + 1] - starts[b]),
                                 workspaces, limits, depth - 1);
                 });
}

}  // namespace

void sort(const WorkerContext& worker, Slice s, const Memory& memory,
          const Limits& limits) noexcept {
    if (s.size() < 2) return;
    sort_on_all_workers(worker, s, memory.stripes(), memory.block_ids(), limits,
                        samplesort_max_depth);
}

}  // namespace tarvo::samplesort
