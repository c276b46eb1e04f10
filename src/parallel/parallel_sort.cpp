#include "parallel/parallel_sort.hpp"

#include <algorithm>

#include "core/memory.hpp"
#include "parallel/join.hpp"
#include "parallel/par_stable.hpp"
#include "parallel/par_unstable.hpp"

namespace tarvo {

void parallel_stable_sort(Slice s) {
    if (s.size() < pool_sort_sequential_below) {
        std::stable_sort(s.begin(), s.end());
        return;
    }
    Buffer<std::int64_t> scratch(s.size(), Fill::uninitialized);
    run_on_pool([&] { par_stable_sort_on_pool(s, scratch.span()); });
}

void parallel_unstable_sort(Slice s) {
    if (s.size() < pool_sort_sequential_below) {
        std::sort(s.begin(), s.end());
        return;
    }
    run_on_pool([&] { par_unstable_sort_on_pool(s); });
}

}  // namespace tarvo
