#include "algorithms/merge.hpp"

#include <cstring>

#include "algorithms/branchless_merge.hpp"
#include "core/memory.hpp"

namespace tarvo {

void merge_runs(Slice s, std::int64_t* buf, std::size_t lo, std::size_t mid,
                std::size_t hi) noexcept {
    merge_two_runs(s.subspan(lo, mid - lo), s.subspan(mid, hi - mid), buf + lo);
    std::memcpy(s.data() + lo, buf + lo, (hi - lo) * sizeof(std::int64_t));
}

void merge_sort_range(Slice s, std::int64_t* buf, std::size_t lo, std::size_t hi) noexcept {
    if (hi - lo < 2) return;
    if (hi - lo == 2) {
        // The merge of two one-element runs, done in registers: half of all merges are of this
        // size, and the round trip through the buffer would cost more than the comparison.
        std::int64_t* const pair = s.data() + lo;
        const std::int64_t first = pair[0];
        const std::int64_t second = pair[1];
        const bool swap = second < first;
        pair[0] = swap ? second : first;
        pair[1] = swap ? first : second;
        return;
    }
    const std::size_t mid = lo + (hi - lo) / 2;
    merge_sort_range(s, buf, lo, mid);
    merge_sort_range(s, buf, mid, hi);
    merge_runs(s, buf, lo, mid, hi);
}

void merge_sort(Slice s) {
    const std::size_t n = s.size();
    if (n < 2) return;
    // Every merge writes its part of the buffer before reading it, so it needs no zero fill.
    Buffer<std::int64_t> buf(n, Fill::uninitialized);
    merge_sort_range(s, buf.data(), 0, n);
}

}  // namespace tarvo
