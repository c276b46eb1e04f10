#pragma once
// Parallel bucket sort through a buffer as long as the slice: the buckets are ranges of values,
// so once each is sorted in place the whole slice is.

#include "core/slice.hpp"

namespace tarvo::bucket_sort {

// Sorts `s` through `buffer` (at least as long). Returns false, with `s` untouched, when the
// sample cannot split the values (it saw only one value): another sort must do it. Throws
// OutOfMemory before any element moves when the distribution's tables cannot be had.
// Call on a worker.
bool sort_through_buffer(Slice s, Slice buffer, unsigned depth = 0);

}  // namespace tarvo::bucket_sort
