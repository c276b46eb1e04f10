#include "algorithms/merge.hpp"

#include <cstring>

#include "core/memory.hpp"

namespace tarvo {

// Both merge loops are branch-free: on random input the winner of each comparison is a coin
// toss, and a mispredicted branch per element costs more than the whole loop body. Comparing the
// last elements first tells which run runs out first, so each loop tests a single bound.
void merge_runs(Slice s, std::int64_t* buf, std::size_t lo, std::size_t mid,
                std::size_t hi) noexcept {
    std::int64_t* const v = s.data();
    const std::int64_t* left = v + lo;
    const std::int64_t* const left_end = v + mid;
    const std::int64_t* right = v + mid;
    const std::int64_t* const right_end = v + hi;
    std::int64_t* out = buf + lo;

    if (left_end[-1] <= right_end[-1]) {
        // Every left element ties or precedes the last right one, so the right run cannot run
        // out while the left one lasts.
        while (left != left_end) {
            const std::int64_t l = *left;
            const std::int64_t r = *right;
            const bool take_right = r < l;
            *out++ = take_right ? r : l;
            right += take_right;
            left += !take_right;
        }
        // The unmerged rest of the right run already stands where the merge would put it.
        std::memcpy(v + lo, buf + lo, static_cast<std::size_t>(out - (buf + lo)) * sizeof *v);
        return;
    }

    // The last left element outranks every right one: the right run runs out first.
    while (right != right_end) {
        const std::int64_t l = *left;
        const std::int64_t r = *right;
        const bool take_right = r < l;
        *out++ = take_right ? r : l;
        right += take_right;
        left += !take_right;
    }
    const std::size_t rest = static_cast<std::size_t>(left_end - left);
    std::memmove(v + hi - rest, left, rest * sizeof *v);
    std::memcpy(v + lo, buf + lo, (hi - lo - rest) * sizeof *v);
}

void merge_sort_range(Slice s, std::int64_t* buf, std::size_t lo, std::size_t hi) noexcept {
    if (hi - lo < 2) return;
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
