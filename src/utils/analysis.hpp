#pragma once
// Cheap read-only measures over a sampled sort slice, for the dispatcher. Both share one
// sampling plan: S = min(len, analysis_sample_size) positions at step d = 1 when len <= S,
// otherwise len / S; position p stands for the element at index p * d. Neither measure reads
// more than S + 1 elements nor allocates, so their cost is bounded whatever the length.

#include <cstddef>

#include "core/slice.hpp"

namespace tarvo {

// 100 points give 4,950 (or 5,050) pairs: enough to tell nearly sorted from shuffled input,
// few enough that the analysis is negligible beside any sort it chooses.
inline constexpr std::size_t analysis_sample_size = 100;

// Share of ordered pairs among the sampled pairs; 1.0 when there are no pairs. The pairs are
// all those among positions 0 ... S - 1 plus, when its index S * d is below len, position S
// (which can only be the right member of a pair). Equal elements are not an inversion.
double estimate_sortedness(ConstSlice s) noexcept;

// Share of sampled values, positions 0 ... S - 1 in order, that equal a value sampled earlier;
// 0.0 for an empty slice. A value sampled k times counts k - 1 times.
double estimate_duplicates(ConstSlice s) noexcept;

}  // namespace tarvo
