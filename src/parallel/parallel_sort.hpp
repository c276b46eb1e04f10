#pragma once
// The sorts that run on the process-wide worker pool. Each blocks the calling thread until the
// slice is sorted; short slices, and those whose sample says a partition would not pay back its
// extra work, are sorted on the calling thread alone.

#include "core/slice.hpp"

namespace tarvo {

// Both sort in place with the samplesort, whose memory (a few MiB per worker and 1/1024 of the
// slice) is obtained before any element moves. When that memory cannot be had, the stable sort
// raises OutOfMemory with the slice untouched and the unstable one sorts with the in-place
// quicksort instead.
void parallel_stable_sort(Slice s);
void parallel_unstable_sort(Slice s);

}  // namespace tarvo
