#pragma once
// A sort slice: a mutable view of adjacent signed 64-bit integers, sorted in place into
// ascending signed order. The shared routines take a range as one slice (first element and
// count); quicksort and introsort name sub-ranges by inclusive bounds, merge sorts half-open.

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvo {

using Slice = std::span<std::int64_t>;
using ConstSlice = std::span<const std::int64_t>;

// Part `part` of `parts` adjacent stretches that tile `s`, their lengths differing by at most one.
template <class T>
std::span<T> part_of(std::span<T> s, std::size_t part, std::size_t parts) noexcept {
    const std::size_t first = s.size() * part / parts;
    return s.subspan(first, s.size() * (part + 1) / parts - first);
}

}  // namespace tarvo
