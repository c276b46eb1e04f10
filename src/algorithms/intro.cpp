#include "algorithms/intro.hpp"

#include <cmath>

#include "algorithms/heap.hpp"
#include "algorithms/insertion.hpp"
#include "algorithms/quick.hpp"

namespace tarvo {

std::size_t depth_limit(std::size_t n) noexcept {
    // The doubled logarithm is truncated, not the logarithm: n = 3 gives 3.
    return static_cast<std::size_t>(2.0 * std::log2(static_cast<double>(n)));
}

namespace {

// s[lo ... hi] as a slice of its own; lo = hi + 1 gives the empty range.
Slice inclusive_range(Slice s, std::size_t lo, std::size_t hi) noexcept {
    return s.subspan(lo, hi + 1 - lo);
}

}  // namespace

void intro_sort_range(Slice s, std::size_t lo, std::size_t hi, std::size_t depth) noexcept {
    if (hi + 1 - lo <= intro_insertion_max) {
        insertion_sort(inclusive_range(s, lo, hi));
        return;
    }
    for (;;) {
        if (depth == 0) {
            heap_sort(inclusive_range(s, lo, hi));
            return;
        }
        const std::size_t p = lomuto_partition(s, lo, hi);
        --depth;  // both parts are finished with the reduced budget
        if (p > lo) intro_sort_range(s, lo, p - 1, depth);
        lo = p + 1;
        if (hi - p <= intro_insertion_max) {
            insertion_sort(inclusive_range(s, lo, hi));
            return;
        }
    }
}

void intro_sort(Slice s) noexcept {
    const std::size_t n = s.size();
    if (n < 2) return;
    intro_sort_range(s, 0, n - 1, depth_limit(n));
}

}  // namespace tarvo
