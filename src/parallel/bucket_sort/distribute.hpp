#pragma once
// The distribution phase: counts the elements of each bucket chunk by chunk, in parallel, then
// scatters every chunk into its own stretch of each bucket of `out`. Bucket b of the result is
// out[starts[b], starts[b + 1]); inside a bucket the elements keep their input order.

#include <cstddef>
#include <cstdint>

#include "core/memory.hpp"
#include "core/slice.hpp"
#include "parallel/bucket_sort/classifier.hpp"

namespace tarvo::bucket_sort {

// bucket_count + 1 offsets into the output.
using BucketStarts = Buffer<std::size_t>;

// Allocates everything it needs before it reads `in`; throws OutOfMemory with `out` unwritten.
// Call on a worker.
BucketStarts distribute(ConstSlice in, Slice out, const Classifier& classify);

}  // namespace tarvo::bucket_sort
