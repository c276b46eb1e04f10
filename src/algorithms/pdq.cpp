#include "algorithms/pdq.hpp"

#include <algorithm>
#include <bit>
#include <functional>
#include <utility>

#include "algorithms/heap.hpp"
#include "algorithms/insertion.hpp"

namespace tarvo {

std::size_t pdq_limit(std::size_t len) noexcept {
    if (len < 2) return 0;  // nothing to partition; also keeps len - 1 from wrapping at 0
    return pdq_limit_factor * static_cast<std::size_t>(std::bit_width(len - 1));
}

namespace {

// The middle one of three values; with ties, the repeated value. Comparisons only, so exact
// for every int64.
std::int64_t median(std::int64_t a, std::int64_t b, std::int64_t c) noexcept {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// Exchanges v[a] and v[b] when v[a] > v[b], written as min and max so that no branch is taken;
// equal values are left as they are.
void compare_exchange(std::int64_t* v, std::size_t a, std::size_t b) noexcept {
    const std::int64_t x = v[a];
    const std::int64_t y = v[b];
    v[a] = std::min(x, y);
    v[b] = std::max(x, y);
}

// Finishes a slice of at most pdq_small_slice elements: fixed networks for 2, 3 and 4, insertion
// sort above.
void sort_small(Slice v) noexcept {
    std::int64_t* const a = v.data();
    switch (v.size()) {
        case 0:
        case 1:
            return;
        case 2:
            compare_exchange(a, 0, 1);
            return;
        case 3:
            compare_exchange(a, 0, 2);
            compare_exchange(a, 0, 1);
            compare_exchange(a, 1, 2);
            return;
        case 4:
            compare_exchange(a, 0, 2);
            compare_exchange(a, 1, 3);
            compare_exchange(a, 0, 1);
            compare_exchange(a, 2, 3);
            compare_exchange(a, 1, 2);
            return;
        default:
            insertion_sort(v);
    }
}

}  // namespace

std::int64_t median_of_three(ConstSlice range) noexcept {
    const std::size_t len = range.size();
    return median(range[0], range[len / 2], range[len - 1]);
}

std::int64_t choose_pivot(ConstSlice v) noexcept {
    const std::size_t len = v.size();
    if (len < pdq_ninther_threshold) return median_of_three(v);
    const std::size_t t = len / 3;
    return median(median_of_three(v.subspan(0, t)), median_of_three(v.subspan(t, t)),
                  median_of_three(v.subspan(2 * t)));
}

std::size_t pdq_partition(Slice v, std::int64_t pivot) noexcept {
    std::int64_t* const a = v.data();
    std::size_t i = 0;
    std::size_t j = v.size();
    // Until the first exchange nothing bounds the scans, so they check their indices.
    while (i < j && a[i] <= pivot) ++i;
    if (i >= j) return i;
    --j;
    while (a[j] > pivot) {
        if (j <= i) return i;
        --j;
    }
    for (;;) {
        std::swap(a[i], a[j]);
        ++i;  // j stays: the element now at j is greater than the pivot
        // From here on a[0, i) <= pivot < a[j, len) with i >= 1 and j < len: the left scan
        // stops at j at the latest, the right one at i - 1, and reaching those is the end.
        while (a[i] <= pivot) ++i;
        if (i >= j) return i;
        while (a[--j] > pivot) {
        }
        if (j < i) return i;
    }
}

void pdq_sort(Slice v, std::size_t limit) noexcept {
    for (;;) {
        const std::size_t len = v.size();
        if (len <= pdq_small_slice) {
            sort_small(v);
            return;
        }
        if (limit == 0) {
            heap_sort(v);
            return;
        }
        if (std::is_sorted(v.begin(), v.end())) return;
        if (std::is_sorted(v.begin(), v.end(), std::greater<>())) {
            std::reverse(v.begin(), v.end());
            return;
        }
        const std::size_t mid = pdq_partition(v, choose_pivot(v));
        if (mid == len) {
            // The pivot was the maximum: the partition moved nothing, and every deeper level
            // would find the same slice, the same pivot and the same split until the budget is
            // spent and heap_sort finishes it. Going there directly skips only those idle scans.
            heap_sort(v);
            return;
        }
        --limit;                        // one unit for both parts
        pdq_sort(v.first(mid), limit);  // mid >= 1: the pivot is an element of v
        v = v.subspan(mid);
    }
}

}  // namespace tarvo
