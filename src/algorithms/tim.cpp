#include "algorithms/tim.hpp"
#include <algorithm>
namespace tarvo {
std::size_t min_run_length(std::size_t n) noexcept { return n; }
void tim_merge(Slice, std::size_t, std::size_t, std::size_t) {}
void tim_sort(Slice s) { std::stable_sort(s.begin(), s.end()); }
}
