#include "parallel/parallel_quicksort.hpp"

#include <algorithm>
#include <bit>
#include <utility>

#include "parallel/config.hpp"
#include "parallel/pool/join.hpp"
#include "parallel/sort_kernel.hpp"

namespace tarvo {
namespace {

std::size_t median_of_three(Slice s, std::size_t a, std::size_t b, std::size_t c) noexcept {
    if (s[a] > s[b]) std::swap(a, b);
    if (s[b] > s[c]) b = s[a] > s[c] ? a : c;
    return b;
}

std::size_t choose_pivot(Slice s) noexcept {
    const std::size_t n = s.size();
    const std::size_t mid = n / 2;
    if (n <= quicksort_median_of_three_max) return median_of_three(s, 0, mid, n - 1);
    const std::size_t step = n / 8;
    return median_of_three(s, median_of_three(s, 0, step, 2 * step),
                           median_of_three(s, mid - step, mid, mid + step),
                           median_of_three(s, n - 1 - 2 * step, n - 1 - step, n - 1));
}

// `budget` bounds the depth of unbalanced splits; when it runs out the kernel (O(n log n) on every
// input) takes over the range.
void sort_range(const WorkerContext& worker, Slice s, unsigned budget) {
    if (s.size() <= quicksort_leaf_max || budget == 0) {
        kernel_sort(worker, s);
        return;
    }
    const std::size_t k = hoare_partition(s, choose_pivot(s));
    join(
        worker, [&](const WorkerContext& runner) { sort_range(runner, s.first(k), budget - 1); },
        [&](const WorkerContext& runner) { sort_range(runner, s.subspan(k), budget - 1); });
}

}  // namespace

std::size_t hoare_partition(Slice s, std::size_t pivot) noexcept {
    // With the pivot moved to the front, the first scan from the left stops at index 0 and the
    // scans stop at elements no smaller (no larger) than the pivot before they could leave the
    // range; the returned split leaves both sides non-empty. The explicit bounds never bind while
    // the values stay put: they keep every access inside the slice, and both sides non-empty,
    // when another thread changes values during the sort.
    std::swap(s[0], s[pivot]);
    const std::int64_t p = s[0];
    const std::size_t last = s.size() - 1;
    std::size_t i = 0, j = last;
    for (bool first = true;; first = false) {
        if (!first) ++i;
        while (i < last && s[i] < p) ++i;
        while (j > 0 && s[j] > p) --j;
        if (i >= j) return std::clamp<std::size_t>(j + 1, 1, last);
        std::swap(s[i], s[j]);
        --j;
    }
}

void parallel_quicksort(const WorkerContext& worker, Slice s) {
    sort_range(worker, s, 2 * static_cast<unsigned>(std::bit_width(s.size())));
}

}  // namespace tarvo
