#pragma once
// Bubble sort with early exit: pass i compares the first n - i - 1 neighbour pairs and exchanges
// strictly descending ones; a pass without an exchange ends the sort.

#include "core/slice.hpp"

namespace tarvo {

void bubble_sort(Slice slice) noexcept;

}  // namespace tarvo
