#include "algorithms/quick.hpp"

#include <utility>

namespace tarvo {

std::size_t lomuto_partition(Slice s, std::size_t lo, std::size_t hi) noexcept {
    std::int64_t* const a = s.data();
    const std::int64_t pivot = a[hi];
    std::size_t i = lo;
    for (std::size_t j = lo; j < hi; ++j) {
        // The exchange of a[i] and a[j] is written unconditionally with selected values, so
        // random input costs no mispredicted branch. When the element stays, both stores write
        // back what was there; when i == j, both hold the same value. Either way the slice holds
        // after each step exactly what the swap-on-condition loop would leave.
        const std::int64_t scanned = a[j];
        const std::int64_t boundary = a[i];
        const bool goes_left = scanned <= pivot;
        const std::int64_t exchange = (scanned ^ boundary) & -std::int64_t{goes_left};
        a[j] = scanned ^ exchange;
        a[i] = boundary ^ exchange;
        i += goes_left;
    }
    std::swap(a[i], a[hi]);
    return i;
}

void quick_sort_range(Slice s, std::size_t lo, std::size_t hi) noexcept {
    while (lo < hi) {
        const std::size_t p = lomuto_partition(s, lo, hi);
        // The two parts are disjoint and each is partitioned only from its own contents, so the
        // order they are finished in does not change the result; nesting into the smaller one
        // keeps the stack at log2(n) frames even on sorted input.
        if (p - lo < hi - p) {
            if (p > lo) quick_sort_range(s, lo, p - 1);
            lo = p + 1;
        } else {
            // Here p - lo >= 1, since the parts together hold hi - lo >= 1 elements.
            if (p < hi) quick_sort_range(s, p + 1, hi);
            hi = p - 1;
        }
    }
}

void quick_sort(Slice s) noexcept {
    if (s.size() < 2) return;
    quick_sort_range(s, 0, s.size() - 1);
}

}  // namespace tarvo
