#include "parallel/samplesort/cleanup.hpp"

#include <algorithm>
#include <cstring>

namespace tarvo::samplesort {
namespace {

std::int64_t* copy_elements(std::int64_t* to, const std::int64_t* from, std::size_t count) {
    std::memmove(to, from, count * sizeof(std::int64_t));
    return to + count;
}

}  // namespace

std::size_t save_range_head(Slice s, const BucketLayout& layout, std::size_t first,
                            std::int64_t* saved) noexcept {
    const std::size_t from = layout.placed_begin(first);
    const std::size_t length = layout.starts[first] - from;
    copy_elements(saved, s.data() + from, length);
    return length;
}

void clean_range(Slice s, const BucketLayout& layout, std::size_t first, std::size_t last,
                 std::span<const StripeMemory> stripes, const std::int64_t* saved) noexcept {
    // Elements below this index belong to the previous range, which may be writing there now:
    // they are read from the saved copy instead.
    const std::size_t saved_from = layout.placed_begin(first);
    const std::size_t range_start = layout.starts[first];
    for (std::size_t b = last; b-- > first;) {
        const std::size_t start = layout.starts[b];
        const std::size_t placed_begin = layout.placed_begin(b);
        const std::size_t placed_end = layout.placed_end(b);
        // The gap: the bucket's place after its placed blocks (all of it if none reaches it).
        std::int64_t* to = s.data() + std::max(placed_end, start);
        // The head: placed elements before the bucket's start.
        const std::size_t head_end = std::min(placed_end, start);
        if (placed_begin < head_end) {
            const std::size_t own_from = std::max(placed_begin, range_start);
            if (placed_begin < range_start) {
                to = copy_elements(to, saved + (placed_begin - saved_from),
                                   range_start - placed_begin);
            }
            if (own_from < head_end)
                to = copy_elements(to, s.data() + own_from, head_end - own_from);
        }
        // The stripes' remainders fill the gap exactly, up to starts[b + 1]: the counts made
        // the starts.
        for (const StripeMemory& stripe : stripes) {
            to = copy_elements(to, stripe.buffers + b * block, stripe.counts[b] % block);
        }
    }
}

}  // namespace tarvo::samplesort
