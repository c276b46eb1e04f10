#include "parallel/par_merge.hpp"
#include <algorithm>
namespace tarvo {
void merge_halves(Slice s, std::size_t mid) { std::inplace_merge(s.begin(), s.begin() + mid, s.end()); }
void par_merge_sort(Slice s) { std::stable_sort(s.begin(), s.end()); }
}
