#pragma once
// Least-significant-digit radix sort in base 10. Negative values are sorted by magnitude in a
// list of their own, then reversed and negated back in front of the non-negative values.

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/slice.hpp"

namespace tarvo {

inline constexpr std::uint64_t radix_base = 10;  // one pass per decimal digit

// Number of decimal digits of key (1 for 0 to 9), hence of passes over a list whose largest
// key it is.
std::size_t decimal_digits(std::uint64_t key) noexcept;

// Stable sort of unsigned keys in place, one counting pass per decimal digit of the largest key,
// each pass scattering from one of keys and a pass buffer it obtains first into the other:
// OutOfMemory then leaves the keys untouched. The keys may change while it runs (they may be a
// slice another thread writes into): the order is then any, but no write leaves the keys or the
// pass buffer.
void radix_sort_unsigned(std::span<std::uint64_t> keys);

// Obtains all its working memory, the two lists and one pass buffer as long as the longer list
// that needs passes, before it writes to the slice: OutOfMemory leaves the slice untouched.
void radix_sort(Slice s);

}  // namespace tarvo
