#include "algorithms/tim.hpp"

#include <cstring>

#include "algorithms/insertion.hpp"
#include "core/memory.hpp"

namespace tarvo {

std::size_t min_run_length(std::size_t n) noexcept {
    if (n < tim_min_merge) return n;
    std::size_t odd_bits_shifted_out = 0;
    while (n >= tim_min_merge) {
        odd_bits_shifted_out |= n & 1;
        n >>= 1;
    }
    return n + odd_bits_shifted_out;
}

// Branch-free like merge_runs (merge.cpp), and for the same reason. The write position never
// overtakes the right run's read position, so merging in place over the slice is safe once the
// left run is out of the way.
void tim_merge(Slice s, std::size_t left, std::size_t mid, std::size_t right,
               std::int64_t* scratch) noexcept {
    std::int64_t* const v = s.data();
    std::memcpy(scratch, v + left, (mid - left) * sizeof *v);
    const std::int64_t* l = scratch;
    const std::int64_t* const l_end = scratch + (mid - left);
    const std::int64_t* r = v + mid;
    const std::int64_t* const r_end = v + right;
    std::int64_t* out = v + left;

    if (l_end[-1] <= r_end[-1]) {
        // The left run runs out first; the rest of the right run is then already in place.
        while (l != l_end) {
            const std::int64_t a = *l;
            const std::int64_t b = *r;
            const bool take_right = b < a;
            *out++ = take_right ? b : a;
            r += take_right;
            l += !take_right;
        }
        return;
    }
    while (r != r_end) {
        const std::int64_t a = *l;
        const std::int64_t b = *r;
        const bool take_right = b < a;
        *out++ = take_right ? b : a;
        r += take_right;
        l += !take_right;
    }
    std::memcpy(out, l, static_cast<std::size_t>(l_end - l) * sizeof *v);
}

void tim_sort(Slice s) {
    const std::size_t len = s.size();
    if (len < 2) return;
    const std::size_t block = min_run_length(len);

    std::size_t longest_left_run = 0;
    for_each_tim_merge(len, block, [&](std::size_t left, std::size_t mid, std::size_t) {
        longest_left_run = std::max(longest_left_run, mid - left);
    });
    Buffer<std::int64_t> scratch;
    if (longest_left_run > 0) scratch = Buffer<std::int64_t>(longest_left_run, Fill::uninitialized);

    for (std::size_t start = 0; start < len; start += block) {
        insertion_sort(s.subspan(start, std::min(block, len - start)));
    }
    for_each_tim_merge(len, block, [&](std::size_t left, std::size_t mid, std::size_t right) {
        tim_merge(s, left, mid, right, scratch.data());
    });
}

}  // namespace tarvo
