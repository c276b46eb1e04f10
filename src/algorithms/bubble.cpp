#include "algorithms/bubble.hpp"

#include <utility>

namespace tarvo {

void bubble_sort(Slice slice) noexcept {
    std::int64_t* a = slice.data();
    const std::size_t n = slice.size();
    if (n < 2) return;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        bool exchanged = false;
        const std::size_t last = n - i - 1;  // pairs (j, j + 1) for j < last
        for (std::size_t j = 0; j < last; ++j) {
            if (a[j] > a[j + 1]) {
                std::swap(a[j], a[j + 1]);
                exchanged = true;
            }
        }
        if (!exchanged) return;
    }
}

}  // namespace tarvo
