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

// Of three positions, the one holding the middle value; with ties, one holding the repeated
// value. Comparisons only, so exact for every int64.
std::size_t median_position(ConstSlice v, std::size_t a, std::size_t b, std::size_t c) noexcept {
    if (v[a] > v[b]) std::swap(a, b);
    if (v[b] > v[c]) b = v[a] > v[c] ? a : c;
    return b;
}

// Exchanges v[a] and v[b] when v[a] > v[b], written as min and max so that no branch is taken;
// equal values are left as they are.
void compare_exchange(std::int64_t* v, std::size_t a, std::size_t b) noexcept {
    const std::int64_t x = v[a];
    const std::int64_t y = v[b];
    v[a] = std::min(x, y);
    v[b] = std::max(x, y);
}

// Finishes a slice of at most pdq_small_max elements: fixed networks for 2, 3 and 4, insertion
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

// The two-pointer partition from a state in which a[0, i) <= pivot < a[j, len) and nothing in
// [i, j) has been exchanged yet; returns mid.
std::size_t finish_partition(std::int64_t* a, std::size_t i, std::size_t j,
                             std::int64_t pivot) noexcept {
    for (;;) {
        while (i < j && a[i] <= pivot) ++i;
        if (i >= j) return i;
        --j;  // a[i] > pivot, so the right scan stops at i at the latest
        while (a[j] > pivot) {
            if (j <= i) return i;
            --j;
        }
        std::swap(a[i], a[j]);
        ++i;  // j stays: the element now at j is greater than the pivot
    }
}

// Positions scanned per block; offsets within a block fit one byte.
constexpr std::size_t partition_block = 128;

// The leading exchanges of the two-pointer partition, found without branching on the data. The two
// scans pair the k-th element greater than the pivot from the left with the k-th one not greater
// from the right, for as long as the first lies left of the second. Recording the offsets of such
// elements in a block from each end and exchanging them pairwise in order makes exactly those
// exchanges while the blocks stay apart. Returns the state (i, j) from which finish_partition makes
// the rest.
std::pair<std::size_t, std::size_t> exchange_in_blocks(Slice v, std::int64_t pivot) noexcept {
    std::int64_t* const a = v.data();
    std::size_t left = 0;  // a[0, left) and a[right, len) have been scanned
    std::size_t right = v.size();
    // Offsets from left_start of elements > pivot, and down from right_start of elements <= pivot;
    // *_next is the first not yet paired.
    std::uint8_t left_offsets[partition_block];
    std::uint8_t right_offsets[partition_block];
    std::size_t left_start = 0, left_next = 0, left_count = 0;
    std::size_t right_start = 0, right_next = 0, right_count = 0;
    for (;;) {
        if (left_count == 0) {
            if (right - left < partition_block) break;
            left_start = left;
            left_next = 0;
            for (std::size_t t = 0; t < partition_block; ++t) {
                left_offsets[left_count] = static_cast<std::uint8_t>(t);
                left_count += a[left_start + t] > pivot;
            }
            left += partition_block;
        }
        if (right_count == 0) {
            if (right - left < partition_block) break;
            right_start = right - 1;
            right_next = 0;
            for (std::size_t t = 0; t < partition_block; ++t) {
                right_offsets[right_count] = static_cast<std::uint8_t>(t);
                right_count += a[right_start - t] <= pivot;
            }
            right -= partition_block;
        }
        const std::size_t pairs = std::min(left_count, right_count);
        for (std::size_t k = 0; k < pairs; ++k) {
            std::swap(a[left_start + left_offsets[left_next + k]],
                      a[right_start - right_offsets[right_next + k]]);
        }
        left_next += pairs;
        left_count -= pairs;
        right_next += pairs;
        right_count -= pairs;
    }
    // At most one side has unpaired elements left; the scans resume at them.
    const std::size_t i = left_count > 0 ? left_start + left_offsets[left_next] : left;
    const std::size_t j = right_count > 0 ? right_start - right_offsets[right_next] + 1 : right;
    return {i, j};
}

}  // namespace

std::size_t median_of_three_position(ConstSlice range) noexcept {
    const std::size_t len = range.size();
    return median_position(range, 0, len / 2, len - 1);
}

std::size_t choose_pivot_position(ConstSlice v) noexcept {
    const std::size_t len = v.size();
    if (len < pdq_median_of_three_below) return median_of_three_position(v);
    const std::size_t t = len / 3;
    return median_position(v, median_of_three_position(v.subspan(0, t)),
                           t + median_of_three_position(v.subspan(t, t)),
                           2 * t + median_of_three_position(v.subspan(2 * t)));
}

std::int64_t median_of_three(ConstSlice range) noexcept {
    return range[median_of_three_position(range)];
}

std::int64_t choose_pivot(ConstSlice v) noexcept {
    return v[choose_pivot_position(v)];
}

std::size_t pdq_partition(Slice v, std::int64_t pivot) noexcept {
    const auto [i, j] = exchange_in_blocks(v, pivot);
    return finish_partition(v.data(), i, j, pivot);
}

void pdq_sort(Slice v, std::size_t limit) noexcept {
    for (;;) {
        const std::size_t len = v.size();
        if (len <= pdq_small_max) {
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
            // The pivot was the maximum: the partition moved nothing, and every deeper level would
            // find the same slice, the same pivot and the same split until the budget is spent and
            // heap_sort finishes it. Going there directly skips only those idle scans.
            heap_sort(v);
            return;
        }
        --limit;                        // one unit for both parts
        pdq_sort(v.first(mid), limit);  // mid >= 1: the pivot is an element of v
        v = v.subspan(mid);
    }
}

}  // namespace tarvo
