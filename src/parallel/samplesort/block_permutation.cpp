#include "parallel/samplesort/block_permutation.hpp"

#include <cstring>
#include <utility>

#include "parallel/pool/spin_wait.hpp"

namespace tarvo::samplesort {
namespace {

void copy_block(std::int64_t* to, const std::int64_t* from) noexcept {
    std::memcpy(to, from, block * sizeof(std::int64_t));
}

}  // namespace

void BucketPointers::lock() noexcept {
    SpinWait wait;
    while (locked_.exchange(true, std::memory_order_acquire)) {
        while (locked_.load(std::memory_order_relaxed)) wait.once();
    }
}

BucketId BucketPointers::take_block(std::int64_t* slice, const BucketId* ids,
                                    std::int64_t* to) noexcept {
    lock();
    while (read_ > write_ && ids[read_ - 1] == empty_block) --read_;
    BucketId taken = empty_block;
    if (read_ > write_) {
        --read_;
        taken = ids[read_];
        // Copied under the lock: once it is released, a block carried here may claim the slot.
        copy_block(to, slice + read_ * block);
    }
    unlock();
    return taken;
}

std::size_t BucketPointers::claim_slot(const BucketId* ids, BucketId& displaced) noexcept {
    lock();
    const std::size_t slot = write_++;
    displaced = slot < read_ ? ids[slot] : empty_block;
    unlock();
    return slot;
}

void permute_blocks(Slice s, const BucketId* ids, BucketPointers* pointers, std::size_t buckets,
                    std::size_t first_bucket, std::int64_t* in_flight) noexcept {
    std::int64_t* carried = in_flight;
    std::int64_t* spare = in_flight + block;
    // A region once found without unread blocks never gets any again: a full round of such
    // regions ends this participant's work.
    std::size_t bucket = first_bucket;
    for (std::size_t exhausted = 0; exhausted < buckets;) {
        BucketId target = pointers[bucket].take_block(s.data(), ids, carried);
        if (target == empty_block) {
            ++exhausted;
            bucket = bucket + 1 == buckets ? 0 : bucket + 1;
            continue;
        }
        exhausted = 0;
        // Each block of a bucket claims exactly one slot of its region, and the region has a slot
        // for every one of them: counts, not values, bound every write.
        for (;;) {
            BucketId displaced;
            const std::size_t slot = pointers[target].claim_slot(ids, displaced);
            std::int64_t* place = s.data() + slot * block;
            if (displaced == empty_block) {
                copy_block(place, carried);
                break;
            }
            copy_block(spare, place);
            copy_block(place, carried);
            std::swap(carried, spare);
            target = displaced;
        }
    }
}

}  // namespace tarvo::samplesort
