#pragma once
// The sorts that run on the process-wide worker pool. Each blocks the calling thread until the
// slice is sorted; short slices are sorted on the calling thread alone.

#include "algorithms/slice.hpp"

namespace tarvo {

void parallel_stable_sort(Slice s);
void parallel_unstable_sort(Slice s);

}  // namespace tarvo
