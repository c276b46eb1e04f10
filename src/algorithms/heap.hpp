#pragma once
// In-place heapsort on an implicit 0-based binary max-heap. Ranges are one slice (first element
// and count); nothing outside the range is read or written.

#include <cstddef>

#include "core/slice.hpp"

namespace tarvo {

// Moves range[root] down until the subtree of root within the first `end` positions is a
// max-heap. A child replaces the candidate only when strictly greater, so ties keep the parent
// and, between equal children, favour the left one.
void sift_down(Slice range, std::size_t root, std::size_t end) noexcept;

void heap_sort(Slice range) noexcept;

}  // namespace tarvo
