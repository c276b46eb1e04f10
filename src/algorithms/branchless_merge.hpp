#pragma once
// The merge loop shared by merge sort and timsort: two sorted runs into a separate output, ties
// taking the left run's element first. Output and runs must not overlap.
//
// On random input the winner of each comparison is a coin toss, so the loop has no data-dependent
// branch: a mispredicted branch per element costs more than the whole step. A branch-free step
// still waits for the previous step's pointer update, so the runs are merged from both ends at
// once: two independent chains, the front placing the smallest remaining element and the back the
// largest. Each end places exactly the elements a one-directional merge would place there.
//
// Neither end needs a bound check per run. The front stops at the end of the run that runs out
// first: the left one if its last element ties or precedes the right one's, since then the right
// run keeps an element while the left one lasts. The back stops, mirrored, on the run whose first
// element comes last in merged order: the right one when left[0] <= right[0].

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/slice.hpp"

namespace tarvo {
namespace detail {

template <bool FrontStopsOnLeft, bool BackStopsOnRight>
void merge_from_both_ends(ConstSlice left, ConstSlice right, std::int64_t* out) noexcept {
    const std::int64_t* l = left.data();
    const std::int64_t* r = right.data();
    const std::int64_t* const l_end = l + left.size();
    const std::int64_t* const r_end = r + right.size();
    // Back read positions, one past the next element to take, so that they never point before
    // the run.
    const std::int64_t* l_back = l_end;
    const std::int64_t* r_back = r_end;
    std::int64_t* front = out;
    std::int64_t* back = out + left.size() + right.size();  // one past the next back slot

    const auto front_can_step = [&] { return FrontStopsOnLeft ? l != l_end : r != r_end; };
    const auto back_can_step = [&] {
        return BackStopsOnRight ? r_back != right.data() : l_back != left.data();
    };
    const auto front_step = [&] {
        const std::int64_t x = *l;
        const std::int64_t y = *r;
        const bool take_right = y < x;
        *front++ = take_right ? y : x;
        r += take_right;
        l += !take_right;
    };

    // Two slots or more are open: one step at each end.
    while (back - front >= 2 && front_can_step() && back_can_step()) {
        front_step();
        const std::int64_t x = l_back[-1];
        const std::int64_t y = r_back[-1];
        const bool take_left = x > y;  // on a tie the right element is the later one
        *--back = take_left ? x : y;
        l_back -= take_left;
        r_back -= !take_left;
    }
    while (front != back && front_can_step()) front_step();
    // The front's stop run is used up: what is open is the rest of the other run, in order.
    const std::int64_t* rest = FrontStopsOnLeft ? r : l;
    std::memcpy(front, rest, static_cast<std::size_t>(back - front) * sizeof *out);
}

}  // namespace detail

// Writes the stable merge of the sorted, non-empty runs left and right to out[0, left + right).
inline void merge_two_runs(ConstSlice left, ConstSlice right, std::int64_t* out) noexcept {
    const bool front_stops_on_left = left.back() <= right.back();
    const bool back_stops_on_right = left.front() <= right.front();
    if (front_stops_on_left) {
        if (back_stops_on_right) {
            detail::merge_from_both_ends<true, true>(left, right, out);
        } else {
            detail::merge_from_both_ends<true, false>(left, right, out);
        }
    } else if (back_stops_on_right) {
        detail::merge_from_both_ends<false, true>(left, right, out);
    } else {
        detail::merge_from_both_ends<false, false>(left, right, out);
    }
}

}  // namespace tarvo
