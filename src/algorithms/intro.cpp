#include "algorithms/intro.hpp"
#include <algorithm>
namespace tarvo {
std::size_t depth_limit(std::size_t) noexcept { return 0; }
void intro_sort_range(Slice s, std::size_t lo, std::size_t hi, std::size_t) noexcept { std::sort(s.begin() + lo, s.begin() + hi + 1); }
void intro_sort(Slice s) noexcept { std::sort(s.begin(), s.end()); }
}
