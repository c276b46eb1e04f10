#include "algorithms/quick.hpp"
#include <algorithm>
namespace tarvo {
std::size_t lomuto_partition(Slice, std::size_t lo, std::size_t) noexcept { return lo; }
void quick_sort_range(Slice s, std::size_t lo, std::size_t hi) noexcept { std::sort(s.begin() + lo, s.begin() + hi + 1); }
void quick_sort(Slice s) noexcept { std::sort(s.begin(), s.end()); }
}
