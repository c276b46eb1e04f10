#pragma once
// Stable insertion sort of one range (first element and count). Each key moves left past every
// element strictly greater than it, so equal elements keep their order and a sorted range costs
// count - 1 comparisons and no move. Shared by insertion, intro, tim, pdq and smart.

#include <cstddef>

#include "core/slice.hpp"

namespace tarvo {

inline void insertion_sort(Slice range) noexcept {
    std::int64_t* s = range.data();
    const std::size_t m = range.size();
    for (std::size_t i = 1; i < m; ++i) {
        const std::int64_t key = s[i];
        std::size_t j = i;
        while (j > 0 && s[j - 1] > key) {
            s[j] = s[j - 1];
            --j;
        }
        s[j] = key;
    }
}

}  // namespace tarvo
