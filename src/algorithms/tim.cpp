#include "algorithms/tim.hpp"

#include <cstring>

#include "algorithms/branchless_merge.hpp"
#include "algorithms/insertion.hpp"
#include "core/memory.hpp"

namespace tarvo {

std::size_t min_run_length(std::size_t n) noexcept {
    if (n < tim_single_block_below) return n;
    std::size_t odd_bits_shifted_out = 0;
    while (n >= tim_single_block_below) {
        odd_bits_shifted_out |= n & 1;
        n >>= 1;
    }
    return n + odd_bits_shifted_out;
}

void tim_merge(Slice s, std::size_t left, std::size_t mid, std::size_t right,
               std::int64_t* scratch) noexcept {
    merge_two_runs(s.subspan(left, mid - left), s.subspan(mid, right - mid), scratch);
    std::memcpy(s.data() + left, scratch, (right - left) * sizeof(std::int64_t));
}

std::size_t tim_scratch_length(std::size_t len) noexcept {
    std::size_t longest_segment = 0;
    for_each_tim_merge(len, min_run_length(len),
                       [&](std::size_t left, std::size_t, std::size_t right) {
                           longest_segment = std::max(longest_segment, right - left);
                       });
    return longest_segment;
}

void tim_sort(Slice s, std::int64_t* scratch) noexcept {
    const std::size_t len = s.size();
    if (len < 2) return;
    const std::size_t block = min_run_length(len);
    for (std::size_t start = 0; start < len; start += block) {
        insertion_sort(s.subspan(start, std::min(block, len - start)));
    }
    for_each_tim_merge(len, block, [&](std::size_t left, std::size_t mid, std::size_t right) {
        tim_merge(s, left, mid, right, scratch);
    });
}

void tim_sort(Slice s) {
    if (s.size() < 2) return;
    const std::size_t scratch_length = tim_scratch_length(s.size());
    Buffer<std::int64_t> scratch;
    if (scratch_length > 0) scratch = Buffer<std::int64_t>(scratch_length, Fill::uninitialized);
    tim_sort(s, scratch.data());
}

}  // namespace tarvo
