#include "algorithms/heap.hpp"

#include <utility>

namespace tarvo {

void sift_down(Slice range, std::size_t root, std::size_t end) noexcept {
    std::int64_t* const s = range.data();
    if (2 * root + 1 >= end) return;  // a leaf: nothing below it to compare with
    // The sifted value is held aside and written once where it stops; every child that would
    // have been exchanged with it moves up one level, exactly as with exchanges.
    const std::int64_t value = s[root];
    std::size_t hole = root;
    std::size_t child;
    while ((child = 2 * hole + 1) + 1 < end) {
        child += s[child] < s[child + 1];  // the right child only when strictly greater
        if (!(value < s[child])) {
            s[hole] = value;
            return;
        }
        s[hole] = s[child];
        hole = child;
    }
    if (child < end && value < s[child]) {  // a last node with a left child only
        s[hole] = s[child];
        hole = child;
    }
    s[hole] = value;
}

void heap_sort(Slice range) noexcept {
    const std::size_t m = range.size();
    if (m < 2) return;
    for (std::size_t start = m / 2; start-- > 0;) sift_down(range, start, m);
    for (std::size_t end = m - 1; end >= 1; --end) {
        std::swap(range[0], range[end]);
        sift_down(range, 0, end);
    }
}

}  // namespace tarvo
