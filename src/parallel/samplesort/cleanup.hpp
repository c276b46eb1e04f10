#pragma once
// Cleanup, the last phase of a partition. Bucket b's final place is [start(b), start(b + 1)).
// Its whole blocks lie from block slot start(b) / block on (rounded down), so the first of them
// may begin before start(b), inside the places of earlier buckets: that head is moved into the
// bucket's gap, the rest of its place, together with what the stripes' buffer blocks still hold
// of the bucket. Buckets are cleaned in ranges, one per participant, each range from its last
// bucket down: a bucket reads its head before the earlier buckets of the range write their gaps
// over it. The one stretch a range reads from another range's gaps, below its first bucket's
// start, is saved before any range is cleaned.

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/slice.hpp"
#include "parallel/samplesort/workspace.hpp"

namespace tarvo::samplesort {

// Where a partition's buckets are: starts[b] for b in [0, buckets] (starts[buckets] = len), and
// the whole blocks of each bucket, placed from the block slot of its start on.
struct BucketLayout {
    const std::size_t* starts;
    const std::size_t* whole_blocks;
    std::size_t buckets;

    std::size_t placed_begin(std::size_t b) const noexcept { return starts[b] / block * block; }
    std::size_t placed_end(std::size_t b) const noexcept {
        return placed_begin(b) + whole_blocks[b] * block;
    }
};

// The stretch below the start of bucket `first` that its range reads: [placed_begin, start).
// Copies it to `saved` (room for a block) and returns its length.
std::size_t save_range_head(Slice s, const BucketLayout& layout, std::size_t first,
                            std::int64_t* saved) noexcept;

// Cleans buckets [first, last); `saved` holds what save_range_head saved for `first`.
void clean_range(Slice s, const BucketLayout& layout, std::size_t first, std::size_t last,
                 std::span<const StripeMemory> stripes, const std::int64_t* saved) noexcept;

}  // namespace tarvo::samplesort
