#pragma once
// The finishing phase: every bucket that distribute() left in the buffer is sorted and copied to
// its place in the slice, runs of buckets forming tasks of similar size that run on the pool.

#include "core/slice.hpp"
#include "parallel/bucket_sort/classifier.hpp"
#include "parallel/bucket_sort/distribute.hpp"

namespace tarvo::bucket_sort {

// `buffer` holds the buckets of `s` at `starts`; leaves `s` sorted and the buffer in any state.
// `depth` counts the distributions above this one. Call on a worker.
void finish(Slice s, Slice buffer, const BucketStarts& starts, const Classifier& classify,
            unsigned depth) noexcept;

}  // namespace tarvo::bucket_sort
