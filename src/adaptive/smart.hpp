#pragma once
// The adaptive dispatcher: hands the whole slice to exactly one of the module's sorts. The rules
// and the reasons for them are in README.md beside this file.

#include <cstddef>
#include <cstdint>

#include "core/slice.hpp"

namespace tarvo {

enum class SmartRoute { nothing, insertion, tim, radix, pdq, parallel_unstable };

// Up to here insertion sort is cheaper than even sampling the slice.
inline constexpr std::size_t smart_insertion_max = 16;
// The small-range test samples this many points; below it radix sort's passes over ten buckets
// cost more than they save, so the test is not made.
inline constexpr std::size_t smart_range_test_below = 1000;
// The dispatcher's fixed rule: above this length the slice goes to the parallel unstable sort.
// Whether the pool pays off is that sort's own decision: up to pool_sort_sequential_max (2^19 - 1,
// in src/parallel/config.hpp with its measurement) its leaf kernel sorts the slice on the calling
// thread and the pool is not used.
inline constexpr std::size_t smart_sequential_max = 100'000;
// Samples whose pairs are ordered more often than this are nearly sorted (strictly greater).
inline constexpr double smart_nearly_sorted = 0.9;
// Samples repeated more often than this are mostly duplicates (strictly greater).
inline constexpr double smart_many_duplicates = 0.5;

// Points read by is_small_range: the first 1000 at step len / 1000.
inline constexpr std::size_t small_range_samples = 1000;
// Sampled values spanning less than this are few enough decimal digits apart for radix sort.
inline constexpr std::uint64_t small_range_span = 1'000'000;

// Whether the first small_range_samples points at step len / 1000 span less than
// small_range_span; the tail behind index 999 * step is not read. Meant for len >= 1000; a
// shorter slice is read whole, and an empty one spans nothing (true).
bool is_small_range(ConstSlice s) noexcept;

// The sort smart_sort hands the slice to; smart_sort itself decides through this function.
SmartRoute smart_route(ConstSlice s) noexcept;

// "nothing", "insertion", "tim", "radix", "pdq" or "parallel_unstable".
const char* route_name(SmartRoute route) noexcept;

// Sorts s through exactly one routine: insertion_sort, tim_sort, radix_sort, pdq_sort or
// parallel_unstable_sort. Throws OutOfMemory when tim_sort or radix_sort cannot get their
// buffers; the slice then still holds a permutation of its input.
void smart_sort(Slice s);

}  // namespace tarvo
