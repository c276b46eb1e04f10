#include "algorithms/pdq.hpp"
#include <algorithm>
namespace tarvo {
std::size_t pdq_limit(std::size_t) noexcept { return 0; }
std::int64_t median_of_three(ConstSlice r) noexcept { return r[0]; }
std::int64_t choose_pivot(ConstSlice v) noexcept { return v[0]; }
std::size_t pdq_partition(Slice, std::int64_t) noexcept { return 0; }
void pdq_sort(Slice v, std::size_t) noexcept { std::sort(v.begin(), v.end()); }
}
