// libFuzzer target over one sort routine of tarvo_core, picked at build time by
// TARVO_FUZZ_ROUTINE (one executable per routine, so that coverage feedback follows that routine
// alone). Every input becomes a slice; the routine must leave it equal to std::sort of a copy,
// which checks the order and the multiset at once.
//
// Input layout: a header of three bytes, then little-endian int64 words (a partial last word is
// ignored). The slice is the words repeated 1 + tiles times, each repetition shifted by `step`
// more than the one before (wrapping), and cut at the routine's maximum length. Repetition lets a
// short input make a long slice with runs, plateaus and periodic patterns, which is what the
// length thresholds and pattern checks of the routines react to; step 0 repeats the words
// exactly. The third byte is pdq_sort's partition budget when it is below
// pdq_forced_budget_below, so that heap_sort finishing a slice is reached too; otherwise pdq_sort
// gets pdq_limit(len), as the module gives it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

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
#include "parallel/join.hpp"
#include "parallel/par_merge.hpp"
#include "parallel/parallel_sort.hpp"
#include "parallel/samplesort/samplesort.hpp"

namespace {

// Bubble and insertion sort, and textbook quicksort on ordered input, take time quadratic in the
// length: this keeps one input of theirs within milliseconds.
constexpr std::size_t quadratic_max_elements = 1024;
// Far beyond the 8,192 elements from which par_merge_sort uses the pool (it splits several levels
// deep) and beyond smart's sequential limit of 100,000. The pool-backed sorts use the pool only
// from 524,288 elements on; the samplesort target runs their parallel method at every length.
constexpr std::size_t max_elements = std::size_t{1} << 17;
constexpr std::size_t header_bytes = 3;
// Budgets this small run out after a few partitions, on any input long enough to be partitioned.
constexpr std::uint8_t pdq_forced_budget_below = 16;

struct Shape {
    std::size_t repetitions;
    std::uint64_t step;
    std::uint8_t pdq_budget;
};

void sort_pdq(tarvo::Slice s, const Shape& shape) {
    const std::size_t limit =
        shape.pdq_budget < pdq_forced_budget_below ? shape.pdq_budget : tarvo::pdq_limit(s.size());
    tarvo::pdq_sort(s, limit);
}

// The samplesort itself at any length (the pool-backed sorts hand short slices to the kernel),
// with limits that the header's third byte lowers so that short inputs are partitioned again by
// one worker and by all of them.
void sort_samplesort(tarvo::Slice s, const Shape& shape) {
    const std::size_t leaf_max = 64 + std::size_t{shape.pdq_budget} * 32;
    const tarvo::samplesort::Limits limits{leaf_max, 4 * leaf_max};
    const tarvo::samplesort::Memory memory(s.size(), tarvo::global_registry().size());
    tarvo::run_on_pool([&] { tarvo::samplesort::sort(s, memory, limits); });
}

struct Routine {
    std::string_view name;
    void (*sort)(tarvo::Slice, const Shape&);
    std::size_t max_elements;
};

constexpr Routine routines[] = {
    {"bubble_sort", [](tarvo::Slice s, const Shape&) { tarvo::bubble_sort(s); },
     quadratic_max_elements},
    {"insertion_sort", [](tarvo::Slice s, const Shape&) { tarvo::insertion_sort(s); },
     quadratic_max_elements},
    {"quick_sort", [](tarvo::Slice s, const Shape&) { tarvo::quick_sort(s); },
     quadratic_max_elements},
    {"heap_sort", [](tarvo::Slice s, const Shape&) { tarvo::heap_sort(s); }, max_elements},
    {"intro_sort", [](tarvo::Slice s, const Shape&) { tarvo::intro_sort(s); }, max_elements},
    {"merge_sort", [](tarvo::Slice s, const Shape&) { tarvo::merge_sort(s); }, max_elements},
    {"tim_sort", [](tarvo::Slice s, const Shape&) { tarvo::tim_sort(s); }, max_elements},
    {"pdq_sort", sort_pdq, max_elements},
    {"radix_sort", [](tarvo::Slice s, const Shape&) { tarvo::radix_sort(s); }, max_elements},
    {"smart_sort", [](tarvo::Slice s, const Shape&) { tarvo::smart_sort(s); }, max_elements},
    {"parallel_stable_sort", [](tarvo::Slice s, const Shape&) { tarvo::parallel_stable_sort(s); },
     max_elements},
    {"parallel_unstable_sort",
     [](tarvo::Slice s, const Shape&) { tarvo::parallel_unstable_sort(s); }, max_elements},
    {"par_merge_sort", [](tarvo::Slice s, const Shape&) { tarvo::par_merge_sort(s); },
     max_elements},
    {"samplesort", sort_samplesort, max_elements},
};

constexpr const Routine& find_routine(std::string_view name) {
    for (const Routine& routine : routines) {
        if (routine.name == name) return routine;
    }
    throw "unknown TARVO_FUZZ_ROUTINE";  // in a constant expression: a compile-time error
}

#define TARVO_STRINGIFY(x) #x
#define TARVO_ROUTINE_NAME(x) TARVO_STRINGIFY(x)
constexpr const Routine& routine = find_routine(TARVO_ROUTINE_NAME(TARVO_FUZZ_ROUTINE));

std::vector<std::int64_t> make_slice(const std::uint8_t* data, std::size_t size, Shape& shape) {
    std::vector<std::int64_t> values;
    if (size < header_bytes) return values;
    shape.repetitions = std::size_t{1} + data[0];
    shape.step = static_cast<std::uint64_t>(static_cast<std::int8_t>(data[1]));
    shape.pdq_budget = data[2];
    const std::size_t words = (size - header_bytes) / sizeof(std::int64_t);
    if (words == 0) return values;
    const std::size_t len = std::min(words * shape.repetitions, routine.max_elements);
    values.resize(len);
    for (std::size_t i = 0; i < len; ++i) {
        std::uint64_t word;
        std::memcpy(&word, data + header_bytes + (i % words) * sizeof word, sizeof word);
        values[i] = static_cast<std::int64_t>(word + (i / words) * shape.step);
    }
    return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Shape shape{};
    std::vector<std::int64_t> values = make_slice(data, size, shape);
    std::vector<std::int64_t> expected = values;
    std::sort(expected.begin(), expected.end());
    routine.sort(values, shape);
    const auto [wrong, _] = std::mismatch(values.begin(), values.end(), expected.begin());
    if (wrong != values.end()) {
        const std::size_t at = static_cast<std::size_t>(wrong - values.begin());
        std::fprintf(stderr,
                     "%.*s left %zu elements wrong at index %zu: %lld where sorting gives %lld\n",
                     static_cast<int>(routine.name.size()), routine.name.data(), values.size(), at,
                     static_cast<long long>(*wrong), static_cast<long long>(expected[at]));
        std::abort();
    }
    return 0;
}
