#pragma once
// Where the split sort cuts a slice in two: at a value of its sorted sample chosen so that the
// elements below it take a given share of the work of sorting the slice, not a given share of
// its elements. The kernel sorts heavily repeated values far faster than distinct ones (Zipf-like
// input: its few small values fill half the slice and cost a fraction of the other half), so
// halves of equal length would leave one worker with most of the work.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/slice.hpp"

namespace tarvo::split {

struct SplitPoint {
    // Elements below it go to the low side.
    std::int64_t pivot;
    // The share of the sample below the pivot: what the low side is expected to receive.
    double low_fraction;
};

// The kernel's work on one element of a slice of `len` elements whose value fills `copies` of
// them, in units of one halving: the halvings it takes before the value's copies are all that is
// left of their range, at least one.
double element_work(std::size_t len, double copies) noexcept;

// The split of a slice of `len` elements, of which `sorted_sample` is a sorted sample, whose low
// side takes the share of the work nearest `low_work_share`; nothing when the sample holds one
// value only. A value seen at least split_repeated_in_sample times in the sample is taken to fill
// its share of the slice; one seen fewer times, to occur once.
std::optional<SplitPoint> choose_split(ConstSlice sorted_sample, std::size_t len,
                                       double low_work_share) noexcept;

}  // namespace tarvo::split
