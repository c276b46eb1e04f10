#include "parallel/par_stable.hpp"

#include <algorithm>

#include "parallel/join.hpp"

namespace tarvo {
namespace {

// Sorts `data`; leaves the result in `data` or, if `into_scratch`, in `scratch` (which then
// holds the sorted run and `data` the leftovers).
void sort_run(Slice data, Slice scratch, bool into_scratch) {
    if (data.size() <= par_stable_leaf) {
        std::stable_sort(data.begin(), data.end());
        if (into_scratch) std::copy(data.begin(), data.end(), scratch.begin());
        return;
    }
    const std::size_t mid = data.size() / 2;
    // The halves land where this run does not, so that the merge moves them into place.
    join([&] { sort_run(data.first(mid), scratch.first(mid), !into_scratch); },
         [&] { sort_run(data.subspan(mid), scratch.subspan(mid), !into_scratch); });
    Slice from = into_scratch ? data : scratch;
    Slice to = into_scratch ? scratch : data;
    par_stable_merge(from.first(mid), from.subspan(mid), to);
}

}  // namespace

void par_stable_merge(ConstSlice left, ConstSlice right, Slice out) {
    if (out.size() <= par_stable_merge_leaf || left.empty() || right.empty()) {
        std::merge(left.begin(), left.end(), right.begin(), right.end(), out.begin());
        return;
    }
    // Split the longer run at its middle and the other where that element belongs: left
    // elements equal to a right pivot stay before it, right elements equal to a left pivot after.
    std::size_t i, j;
    if (left.size() >= right.size()) {
        i = left.size() / 2;
        j = static_cast<std::size_t>(std::lower_bound(right.begin(), right.end(), left[i]) -
                                     right.begin());
    } else {
        j = right.size() / 2;
        i = static_cast<std::size_t>(std::upper_bound(left.begin(), left.end(), right[j]) -
                                     left.begin());
    }
    join([&] { par_stable_merge(left.first(i), right.first(j), out.first(i + j)); },
         [&] { par_stable_merge(left.subspan(i), right.subspan(j), out.subspan(i + j)); });
}

void par_stable_sort_on_pool(Slice s, Slice scratch) {
    sort_run(s, scratch, false);
}

}  // namespace tarvo
