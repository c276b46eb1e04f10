#include "algorithms/radix.hpp"
#include <algorithm>
namespace tarvo {
void radix_sort_unsigned(std::span<std::uint64_t> k) { std::sort(k.begin(), k.end()); }
void radix_sort(Slice s) { std::sort(s.begin(), s.end()); }
}
