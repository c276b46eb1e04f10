#pragma once
// The adaptive dispatcher: hands the whole slice to exactly one of the module's sorts.

#include <cstddef>

#include "algorithms/slice.hpp"

namespace tarvo {

enum class SmartRoute { nothing, insertion, tim, radix, pdq, parallel_unstable };

inline constexpr std::size_t smart_insertion_limit = 16;
inline constexpr std::size_t smart_small_range_min_len = 1000;
inline constexpr std::size_t smart_sequential_limit = 100'000;

// Whether the first 1000 points sampled at step len / 1000 span less than 1,000,000. len >= 1000.
bool is_small_range(ConstSlice s) noexcept;

// The sort smart_sort hands the slice to; smart_sort itself decides through this function.
SmartRoute smart_route(ConstSlice s);

const char* route_name(SmartRoute route) noexcept;

void smart_sort(Slice s);

}  // namespace tarvo
