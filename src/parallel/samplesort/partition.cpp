#include "parallel/samplesort/partition.hpp"

#include <algorithm>

#include "parallel/pool/parallel_for.hpp"
#include "parallel/samplesort/block_permutation.hpp"
#include "parallel/samplesort/cleanup.hpp"
#include "parallel/samplesort/local_classification.hpp"

namespace tarvo::samplesort {
namespace {

template <class Body>
void for_each_stripe(const WorkerContext& worker, std::size_t stripes, const Body& body) {
    if (stripes == 1) {
        body(worker, std::size_t{0});
    } else {
        parallel_for(worker, 0, stripes, body);
    }
}

}  // namespace

void partition(const WorkerContext& worker, Slice s, const Classifier& classify,
               std::span<const StripeMemory> stripe_memory, BucketId* ids,
               std::size_t* starts) noexcept {
    const std::size_t n = s.size();
    const std::size_t stripes = stripe_memory.size();
    const std::size_t buckets = classify.bucket_count();
    // Stripes are whole numbers of blocks, so that every block written lies in one block slot.
    const std::size_t stripe_blocks = ((n + block - 1) / block + stripes - 1) / stripes;
    const auto stripe_of = [&](std::size_t p) {
        const std::size_t first = std::min(n, p * stripe_blocks * block);
        return s.subspan(first, std::min(n, first + stripe_blocks * block) - first);
    };
    for_each_stripe(worker, stripes, [&](const WorkerContext&, std::size_t p) {
        const Slice stripe = stripe_of(p);
        classify_stripe(stripe, classify, stripe_memory[p],
                        ids + (stripe.data() - s.data()) / block);
    });

    std::size_t whole_blocks[max_buckets];
    std::size_t position = 0;
    for (std::size_t b = 0; b < buckets; ++b) {
        starts[b] = position;
        whole_blocks[b] = 0;
        for (const StripeMemory& stripe : stripe_memory) {
            position += stripe.counts[b];
            whole_blocks[b] += stripe.counts[b] / block;
        }
    }
    starts[buckets] = n;

    BucketPointers pointers[max_buckets];
    for (std::size_t b = 0; b < buckets; ++b) {
        pointers[b].reset(starts[b] / block, starts[b + 1] / block);
    }
    for_each_stripe(worker, stripes, [&](const WorkerContext&, std::size_t p) {
        permute_blocks(s, ids, pointers, buckets, p * buckets / stripes,
                       stripe_memory[p].in_flight);
    });

    // Each participant cleans a range of buckets; the blocks it carried are free by now and hold
    // the stretch its range reads from the range below.
    const BucketLayout layout{starts, whole_blocks, buckets};
    const auto first_of = [&](std::size_t p) { return p * buckets / stripes; };
    for_each_stripe(worker, stripes, [&](const WorkerContext&, std::size_t p) {
        if (first_of(p) < first_of(p + 1)) {
            save_range_head(s, layout, first_of(p), stripe_memory[p].in_flight);
        }
    });
    for_each_stripe(worker, stripes, [&](const WorkerContext&, std::size_t p) {
        clean_range(s, layout, first_of(p), first_of(p + 1), stripe_memory,
                    stripe_memory[p].in_flight);
    });
}

}  // namespace tarvo::samplesort
