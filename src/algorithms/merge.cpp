#include "algorithms/merge.hpp"
#include <algorithm>
namespace tarvo {
void merge_runs(Slice, std::int64_t*, std::size_t, std::size_t, std::size_t) noexcept {}
void merge_sort_range(Slice, std::int64_t*, std::size_t, std::size_t) noexcept {}
void merge_sort(Slice s) { std::stable_sort(s.begin(), s.end()); }
}
