#pragma once
// Block permutation, the second phase of a partition: moves the whole blocks written by local
// classification so that each bucket's blocks lie together at the start of its region, the
// stretch of block slots that the bucket's final place covers. Every participant carries a block
// to the next free slot of its bucket, picking up the block it displaces, until no bucket holds
// a block that is not yet in place. The bucket of a block comes from the ids recorded with it,
// never from its values.

#include <atomic>
#include <cstddef>

#include "core/slice.hpp"
#include "parallel/samplesort/workspace.hpp"

namespace tarvo::samplesort {

// A bucket's region in block slots: [write, read) are slots not yet looked at (full or empty);
// slots before `write` hold the bucket's own blocks. A tiny lock guards the two indices and the
// copy of a block taken from `read`; the moves themselves run unlocked.
class alignas(64) BucketPointers {
  public:
    void reset(std::size_t first_slot, std::size_t end_slot) noexcept {
        write_ = first_slot;
        read_ = end_slot;
    }

    // Copies the last unread full block into `to` and returns its bucket, or empty_block when
    // the region has none left.
    BucketId take_block(std::int64_t* slice, const BucketId* ids, std::int64_t* to) noexcept;

    // The slot for the bucket's next block; `displaced` is the bucket of the block it still
    // holds (which the caller must move out first), or empty_block.
    std::size_t claim_slot(const BucketId* ids, BucketId& displaced) noexcept;

  private:
    void lock() noexcept;
    void unlock() noexcept { locked_.store(false, std::memory_order_release); }

    std::atomic<bool> locked_{false};
    std::size_t write_ = 0;
    std::size_t read_ = 0;
};

// One participant's share of the permutation of `buckets` regions, starting its search for
// blocks at `first_bucket`. `in_flight` holds two blocks. Returns when no region has unread
// blocks left; every participant's return means the permutation is complete.
void permute_blocks(Slice s, const BucketId* ids, BucketPointers* pointers, std::size_t buckets,
                    std::size_t first_bucket, std::int64_t* in_flight) noexcept;

}  // namespace tarvo::samplesort
