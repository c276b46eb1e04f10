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
// The steps are counted, not stopped by the values: another thread may write into the runs while
// they are merged (the buffer a Python caller lends us is not ours alone), and then no order the
// runs had when the merge began can be trusted. A step moves each end one element further into at
// most one run, so k steps stay inside both runs as long as each run has k elements left from that
// end; such a block of steps runs unchecked, and only the block length is computed. On sorted runs
// a bound is reached only when the run of that bound is used up, so the loop stops exactly where a
// one-directional merge would.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/slice.hpp"

namespace tarvo {

// Writes the stable merge of the sorted runs left and right to out[0, left + right). Whatever the
// runs hold, it reads only them and writes every slot of out exactly from their elements.
inline void merge_two_runs(ConstSlice left, ConstSlice right, std::int64_t* out) noexcept {
    const std::int64_t* const l_begin = left.data();
    const std::int64_t* const r_begin = right.data();
    const std::int64_t* const l_end = l_begin + left.size();
    const std::int64_t* const r_end = r_begin + right.size();
    const std::int64_t* l = l_begin;  // front read positions: the next element to take
    const std::int64_t* r = r_begin;
    const std::int64_t* l_back = l_end;  // back read positions: one past the next element to take
    const std::int64_t* r_back = r_end;
    std::int64_t* front = out;
    std::int64_t* back = out + left.size() + right.size();  // one past the next back slot

    const auto front_step = [&] {
        const std::int64_t x = *l;
        const std::int64_t y = *r;
        const bool take_right = y < x;
        *front++ = take_right ? y : x;
        r += take_right;
        l += !take_right;
    };
    const auto back_step = [&] {
        const std::int64_t x = l_back[-1];
        const std::int64_t y = r_back[-1];
        const bool take_left = x > y;  // on a tie the right element is the later one
        *--back = take_left ? x : y;
        l_back -= take_left;
        r_back -= !take_left;
    };
    const auto front_steps_left = [&] {
        return static_cast<std::size_t>(std::min(l_end - l, r_end - r));
    };

    // Both ends, while two slots or more are open.
    for (;;) {
        const std::size_t steps =
            std::min({front_steps_left(), static_cast<std::size_t>(l_back - l_begin),
                      static_cast<std::size_t>(r_back - r_begin),
                      static_cast<std::size_t>(back - front) / 2});
        if (steps == 0) break;
        for (std::size_t k = 0; k < steps; ++k) {
            front_step();
            back_step();
        }
    }
    // The front alone, until the slots meet or a run is used up from the front.
    for (;;) {
        const std::size_t steps =
            std::min(front_steps_left(), static_cast<std::size_t>(back - front));
        if (steps == 0) break;
        for (std::size_t k = 0; k < steps; ++k) front_step();
    }
    // What is open is the rest of the run that is not used up, in order. A run's elements from
    // the front cover every slot still open (the front has taken fewer than both runs hold, by at
    // least the open slots), so the two copies fill them; on sorted runs the second copies nothing.
    const std::size_t open = static_cast<std::size_t>(back - front);
    if (open == 0) return;  // the common case for runs of equal length
    const std::size_t from_right = std::min(open, static_cast<std::size_t>(r_end - r));
    std::memcpy(front, r, from_right * sizeof *out);
    std::memcpy(front + from_right, l, (open - from_right) * sizeof *out);
}

}  // namespace tarvo
