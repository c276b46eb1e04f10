#pragma once
// What each module function runs once its array is accepted: one routine per Python function,
// taking the whole sort slice (first element and count). _tarvo's function table calls these,
// and the private test module looks them up by name, so both run exactly the same code.

#include <array>
#include <string_view>

#include "adaptive/smart.hpp"
#include "algorithms/bubble.hpp"
#include "algorithms/heap.hpp"
#include "algorithms/insertion.hpp"
#include "algorithms/intro.hpp"
#include "algorithms/merge.hpp"
#include "algorithms/pdq.hpp"
#include "algorithms/quick.hpp"
#include "algorithms/radix.hpp"
#include "algorithms/tim.hpp"
#include "core/slice.hpp"
#include "parallel/par_merge.hpp"
#include "parallel/parallel_sort.hpp"

namespace tarvo::routines {

// Routines that take the whole slice with a length check of their own.
inline void bubble(Slice s) {
    bubble_sort(s);
}
inline void insertion(Slice s) {
    insertion_sort(s);
}
inline void quick(Slice s) {
    quick_sort(s);
}
inline void heap(Slice s) {
    heap_sort(s);
}
inline void intro(Slice s) {
    intro_sort(s);
}
inline void merge(Slice s) {
    merge_sort(s);
}
inline void tim(Slice s) {
    tim_sort(s);
}
inline void radix(Slice s) {
    radix_sort(s);
}
inline void smart(Slice s) {
    smart_sort(s);
}
inline void par_sort(Slice s) {
    parallel_stable_sort(s);
}
inline void par_sort_unstable(Slice s) {
    parallel_unstable_sort(s);
}
// pdq_sort and par_merge_sort want at least two elements.
inline void pdq(Slice s) {
    if (s.size() >= 2) pdq_sort(s, pdq_limit(s.size()));
}
inline void par_merge(Slice s) {
    if (s.size() >= 2) par_merge_sort(s);
}

using SortRoutine = void (*)(Slice);

struct NamedRoutine {
    std::string_view name;
    SortRoutine routine;
};

// In the order of _tarvo's function table.
inline constexpr std::array<NamedRoutine, 13> by_name{{
    {"bubble", bubble},
    {"insertion", insertion},
    {"merge", merge},
    {"quick", quick},
    {"heap", heap},
    {"intro", intro},
    {"tim", tim},
    {"pdq", pdq},
    {"radix", radix},
    {"smart", smart},
    {"par_sort", par_sort},
    {"par_sort_unstable", par_sort_unstable},
    {"par_merge", par_merge},
}};

}  // namespace tarvo::routines
