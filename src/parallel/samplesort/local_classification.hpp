#pragma once
// Local classification, the first phase of a partition: each stripe of the slice is read once;
// every element goes to its bucket's buffer block, and a full buffer block is written back over
// the part of the stripe already read. Afterwards the stripe starts with whole blocks of single
// buckets and the rest of its elements wait in the buffers.

#include <cstddef>

#include "core/slice.hpp"
#include "parallel/samplesort/classifier.hpp"
#include "parallel/samplesort/workspace.hpp"

namespace tarvo::samplesort {

// `stripe` starts on a block boundary of the slice; `ids` are the bucket ids of its whole
// blocks. Sets memory.counts[b] to the stripe's elements of bucket b, of which counts[b] / block
// whole blocks are written to the stripe and counts[b] % block wait in buffer block b; records
// the bucket of every written block and marks the stripe's other whole blocks empty. Returns the
// number of blocks written.
std::size_t classify_stripe(Slice stripe, const Classifier& classify, const StripeMemory& memory,
                            BucketId* ids) noexcept;

}  // namespace tarvo::samplesort
