#pragma once
// Linear-time shortcuts for input that is already in order: a non-decreasing slice is left as it
// is and a non-increasing one is reversed, so such input costs a scan (and a reversal) instead
// of a sort. The scans and the reversal are shared among the pool's workers.

#include "core/slice.hpp"
#include "parallel/pool/worker_context.hpp"

namespace tarvo {

// False when the first pairs of `s` already break both orders, so that finish_if_presorted
// would return false: a check on the calling thread that spares most input a trip to the pool.
bool may_be_presorted(ConstSlice s) noexcept;

// True when `s` is now sorted: it was non-decreasing, or non-increasing and has been reversed.
// Otherwise `s` is untouched. Scans stop at the first pair that breaks the order. On the calling
// thread:
bool finish_if_presorted(Slice s) noexcept;
// Or on every worker of the pool of `worker`, each scanning stretches of the slice; all stop soon
// after one meets a pair out of order.
bool finish_if_presorted(const WorkerContext& worker, Slice s) noexcept;

}  // namespace tarvo
