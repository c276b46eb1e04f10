#pragma once
// The thirteen module functions, defined once: each one's name, the routine it runs on the whole
// sort slice, and what tests and benchmarks must know of it. _tarvo's function table, the
// private test module, the fuzz target, the C++ benchmark and the C++ tests all iterate this
// table, so adding or renaming a function is one line here (and its line in the type stub).

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

namespace tarvo {

using SortRoutine = void (*)(Slice);

// How the time grows with the length, which bounds the lengths a test or benchmark can afford.
enum class Cost {
    n_log_n,               // on every input
    quadratic_on_ordered,  // n^2 / 2 on sorted, reversed and all-equal input (last-element pivot)
    quadratic,             // n^2 on shuffled input
};

// Whether the routine obtains working memory, and so may fail with OutOfMemory.
enum class Memory { in_place, allocates };

// Where the routine runs: on the calling thread only, or (on long enough input) on the pool.
enum class Threads { caller, pool };

struct RoutineEntry {
    std::string_view name;  // the module function's name
    SortRoutine sort;       // sorts the whole slice, of any length
    Cost cost;
    Memory memory;
    Threads threads;
};

namespace whole_slice {
// pdq_sort and par_merge_sort want at least two elements; the module functions take any length.
inline void pdq(Slice s) {
    if (s.size() >= 2) pdq_sort(s, pdq_limit(s.size()));
}
inline void par_merge(Slice s) {
    if (s.size() >= 2) par_merge_sort(s);
}
}  // namespace whole_slice

// In the order of _tarvo's function table and __all__.
inline constexpr RoutineEntry routine_table[] = {
    {"bubble", bubble_sort, Cost::quadratic, Memory::in_place, Threads::caller},
    {"insertion", insertion_sort, Cost::quadratic, Memory::in_place, Threads::caller},
    {"merge", merge_sort, Cost::n_log_n, Memory::allocates, Threads::caller},
    {"quick", quick_sort, Cost::quadratic_on_ordered, Memory::in_place, Threads::caller},
    {"heap", heap_sort, Cost::n_log_n, Memory::in_place, Threads::caller},
    {"intro", intro_sort, Cost::n_log_n, Memory::in_place, Threads::caller},
    {"tim", tim_sort, Cost::n_log_n, Memory::allocates, Threads::caller},
    {"pdq", whole_slice::pdq, Cost::n_log_n, Memory::in_place, Threads::caller},
    {"radix", radix_sort, Cost::n_log_n, Memory::allocates, Threads::caller},
    {"smart", smart_sort, Cost::n_log_n, Memory::allocates, Threads::pool},
    {"par_sort", parallel_stable_sort, Cost::n_log_n, Memory::allocates, Threads::pool},
    {"par_sort_unstable", parallel_unstable_sort, Cost::n_log_n, Memory::allocates, Threads::pool},
    {"par_merge", whole_slice::par_merge, Cost::n_log_n, Memory::allocates, Threads::pool},
};

// The entry of `name`, or null.
constexpr const RoutineEntry* find_routine(std::string_view name) {
    for (const RoutineEntry& entry : routine_table) {
        if (entry.name == name) return &entry;
    }
    return nullptr;
}

}  // namespace tarvo
