#include "algorithms/heap.hpp"
#include <algorithm>
namespace tarvo {
void sift_down(Slice, std::size_t, std::size_t) noexcept {}
void heap_sort(Slice s) noexcept { std::sort(s.begin(), s.end()); }
}
