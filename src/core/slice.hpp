#pragma once
// A sort slice: a mutable view of adjacent signed 64-bit integers, sorted in place into
// ascending signed order. The shared routines take a range as one slice (first element and
// count); quicksort and introsort name sub-ranges by inclusive bounds, merge sorts half-open.

#include <cstdint>
#include <span>

namespace tarvo {

using Slice = std::span<std::int64_t>;
using ConstSlice = std::span<const std::int64_t>;

}  // namespace tarvo
