#pragma once
// The working memory of the samplesort: for every stripe of a partition, a buffer block per
// bucket, two blocks in flight, counts, room for a sample and the bucket ids of a sequential
// partition's blocks. It is obtained before any element moves. A parallel partition uses every
// stripe; between partitions, a worker that partitions a bucket on its own claims any stripe no
// other worker holds, so there may be fewer stripes than workers.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/memory.hpp"
#include "parallel/config.hpp"
#include "parallel/samplesort/classifier.hpp"

namespace tarvo::samplesort {

inline constexpr std::size_t block = samplesort_block_elements;

// The bucket of each whole block of a partitioned slice, recorded when the block is written so
// that no later phase has to trust the block's values to say where it belongs.
using BucketId = std::uint16_t;
inline constexpr BucketId empty_block = UINT16_MAX;
static_assert(max_buckets < empty_block);

inline constexpr std::size_t sample_capacity = samplesort_oversampling
                                               << samplesort_log_buckets_max;
// A sequential partition handles at most samplesort_sequential_partition_max elements.
inline constexpr std::size_t sequential_block_ids = samplesort_sequential_partition_max / block;

// One stripe's share, a view into Workspaces.
struct StripeMemory {
    std::int64_t* buffers;    // max_buckets blocks: a partly filled block per bucket
    std::int64_t* in_flight;  // 2 blocks: those the block permutation carries
    std::size_t* counts;      // max_buckets: the stripe's elements of each bucket
    std::int64_t* sample;     // sample_capacity
    BucketId* block_ids;      // sequential_block_ids
};

class Workspaces {
    static constexpr std::size_t elements_per_stripe = (max_buckets + 2) * block + sample_capacity;

  public:
    // What one stripe costs, all its parts together.
    static constexpr std::size_t bytes_per_stripe =
        elements_per_stripe * sizeof(std::int64_t) + max_buckets * sizeof(std::size_t) +
        sequential_block_ids * sizeof(BucketId) + sizeof(StripeMemory) + sizeof(std::uint8_t);

    // Throws OutOfMemory.
    explicit Workspaces(std::size_t stripes);

    std::size_t size() const noexcept { return views_.size(); }
    const StripeMemory& operator[](std::size_t stripe) const noexcept { return views_[stripe]; }
    std::span<const StripeMemory> all() const noexcept { return views_.span(); }

    // A stripe no other worker holds, searched from `hint` on, or size() when all are held. The
    // caller owns it until release(); a parallel partition may not run meanwhile.
    std::size_t claim(std::size_t hint) const noexcept {
        for (std::size_t i = 0; i < size(); ++i) {
            const std::size_t stripe = (hint + i) % size();
            std::atomic_ref<std::uint8_t> held(claimed_[stripe]);
            if (held.load(std::memory_order_relaxed) == 0 &&
                held.exchange(1, std::memory_order_acquire) == 0) {
                return stripe;
            }
        }
        return size();
    }
    void release(std::size_t stripe) const noexcept {
        std::atomic_ref<std::uint8_t>(claimed_[stripe]).store(0, std::memory_order_release);
    }

  private:
    Buffer<std::int64_t> elements_;
    Buffer<std::size_t> counts_;
    Buffer<BucketId> block_ids_;
    Buffer<StripeMemory> views_;
    Buffer<std::uint8_t> claimed_;
};

inline Workspaces::Workspaces(std::size_t stripes)
    : elements_(stripes * elements_per_stripe, Fill::uninitialized),
      counts_(stripes * max_buckets, Fill::uninitialized),
      block_ids_(stripes * sequential_block_ids, Fill::uninitialized),
      views_(stripes, Fill::uninitialized),
      claimed_(stripes, Fill::zeroed) {
    for (std::size_t p = 0; p < stripes; ++p) {
        std::int64_t* elements = elements_.data() + p * elements_per_stripe;
        views_[p] = {elements, elements + max_buckets * block, counts_.data() + p * max_buckets,
                     elements + (max_buckets + 2) * block,
                     block_ids_.data() + p * sequential_block_ids};
    }
}

}  // namespace tarvo::samplesort
