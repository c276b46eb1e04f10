#include "parallel/parallel_sort.hpp"
#include <algorithm>
namespace tarvo {
void parallel_stable_sort(Slice s) { std::stable_sort(s.begin(), s.end()); }
void parallel_unstable_sort(Slice s) { std::sort(s.begin(), s.end()); }
}
