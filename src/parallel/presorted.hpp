#pragma once
// Linear-time shortcuts for input that is already in order: a non-decreasing slice is left as it
// is and a non-increasing one is reversed, so such input costs a scan (and a reversal) instead
// of a sort.

#include "core/slice.hpp"

namespace tarvo {

// True when `s` is now sorted: it was non-decreasing, or non-increasing and has been reversed.
// Otherwise `s` is untouched. Scans stop at the first pair that breaks the order.
bool finish_if_presorted(Slice s) noexcept;

}  // namespace tarvo
