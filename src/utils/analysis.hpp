#pragma once
// Cheap read-only measures over a sampled sort slice, for the dispatcher.

#include "algorithms/slice.hpp"

namespace tarvo {

// Share of ordered pairs among the sampled pairs; 1.0 when there are no pairs.
double estimate_sortedness(ConstSlice s) noexcept;

// Share of sampled values that repeat an earlier sampled value; 0.0 for an empty slice.
double estimate_duplicates(ConstSlice s);

}  // namespace tarvo
