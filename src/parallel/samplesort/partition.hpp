#pragma once
// One partition of the in-place samplesort (after IPS4o: Axtmann, Witt, Ferizovic and Sanders,
// "In-place Parallel Super Scalar Samplesort", ESA 2017): local classification of each stripe,
// block permutation, cleanup. Elements never leave the slice except into the stripes' buffer
// blocks, and every index written is derived from counts made during classification.

#include <cstddef>
#include <span>

#include "core/slice.hpp"
#include "parallel/pool/worker_context.hpp"
#include "parallel/samplesort/classifier.hpp"
#include "parallel/samplesort/workspace.hpp"

namespace tarvo::samplesort {

// Rearranges `s` into the classifier's buckets: bucket b ends up in [starts[b], starts[b + 1]),
// with starts[0] = 0 and starts[bucket_count] = len (`starts` has room for max_buckets + 1).
// One stripe per element of `stripe_memory`: with one the partition runs on `worker` alone and
// never joins; with more each phase runs its stripes through the pool of `worker`. `ids` has room
// for len / block entries.
void partition(const WorkerContext& worker, Slice s, const Classifier& classify,
               std::span<const StripeMemory> stripe_memory, BucketId* ids,
               std::size_t* starts) noexcept;

}  // namespace tarvo::samplesort
