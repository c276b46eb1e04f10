#include "adaptive/smart.hpp"

#include <algorithm>
#include <iterator>
#include <limits>

#include "algorithms/insertion.hpp"
#include "algorithms/pdq.hpp"
#include "algorithms/radix.hpp"
#include "algorithms/tim.hpp"
#include "parallel/parallel_sort.hpp"
#include "utils/analysis.hpp"

namespace tarvo {

bool is_small_range(ConstSlice s) noexcept {
    if (s.empty()) return true;
    const std::size_t step = std::max<std::size_t>(s.size() / small_range_samples, 1);
    std::int64_t min = std::numeric_limits<std::int64_t>::max();
    std::int64_t max = std::numeric_limits<std::int64_t>::min();
    for (std::size_t i = 0, seen = 0; i < s.size() && seen < small_range_samples;
         i += step, ++seen) {
        min = std::min(min, s[i]);
        max = std::max(max, s[i]);
    }
    // max >= min, so the unsigned difference is the exact distance even across the whole range.
    const std::uint64_t span = static_cast<std::uint64_t>(max) - static_cast<std::uint64_t>(min);
    return span < small_range_span;
}

SmartRoute smart_route(ConstSlice s) noexcept {
    const std::size_t len = s.size();
    if (len <= 1) return SmartRoute::nothing;
    if (len <= smart_insertion_max) return SmartRoute::insertion;
    const double sortedness = estimate_sortedness(s);
    const double duplicates = estimate_duplicates(s);
    if (sortedness > smart_nearly_sorted || duplicates > smart_many_duplicates) {
        return SmartRoute::tim;
    }
    if (len <= smart_sequential_max) {
        if (len >= smart_range_test_below && is_small_range(s)) return SmartRoute::radix;
        return SmartRoute::pdq;
    }
    return SmartRoute::parallel_unstable;
}

const char* route_name(SmartRoute route) noexcept {
    static constexpr const char* names[] = {"nothing", "insertion", "tim",
                                            "radix",   "pdq",       "parallel_unstable"};
    static_assert(std::size(names) == static_cast<std::size_t>(SmartRoute::parallel_unstable) + 1);
    return names[static_cast<std::size_t>(route)];
}

void smart_sort(Slice s) {
    switch (smart_route(s)) {
        case SmartRoute::nothing:
            return;
        case SmartRoute::insertion:
            insertion_sort(s);
            return;
        case SmartRoute::tim:
            tim_sort(s);
            return;
        case SmartRoute::radix:
            radix_sort(s);
            return;
        case SmartRoute::pdq:
            pdq_sort(s, pdq_limit(s.size()));
            return;
        case SmartRoute::parallel_unstable:
            parallel_unstable_sort(s);
            return;
    }
}

}  // namespace tarvo
