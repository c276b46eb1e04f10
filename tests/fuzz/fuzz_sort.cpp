// libFuzzer target over the module's sort routines, the entries of routine_table. Every input
// becomes a slice; the routine must leave it equal to std::sort of a copy, which checks the order
// and the multiset at once.
//
//   fuzz_sort --routine=NAME [libFuzzer flags] [corpus...]   one routine (a campaign)
//   fuzz_sort [libFuzzer flags] [corpus...]                  every routine on each input (smoke)
//   fuzz_sort --list-routines                                the names, one per line
//
// Besides the module's routines, "samplesort" fuzzes the pool-backed sorts' samplesort at every
// length, with limits the input chooses. With one routine only its code runs, so coverage
// feedback follows that routine alone.
// libFuzzer ignores flags that start with "--" and hands them on to the processes it forks.
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
#include <functional>
#include <string_view>
#include <vector>

#include "core/slice.hpp"
#include "parallel/samplesort/samplesort.hpp"
#include "parallel/sort_pool.hpp"
#include "routine_table.hpp"

namespace {

// The quadratic routines take time quadratic in the length on some inputs: this keeps one input
// of theirs within milliseconds.
constexpr std::size_t quadratic_length_max = 1024;
// Far beyond the 8,192 elements from which par_merge_sort uses the pool (it splits several levels
// deep) and beyond smart's sequential limit of 100,000. The pool-backed sorts use the pool only
// from 524,288 elements on; the samplesort target runs their parallel method at every length.
constexpr std::size_t length_max = std::size_t{1} << 17;
constexpr std::size_t header_bytes = 3;
// Budgets this small run out after a few partitions, on any input long enough to be partitioned.
constexpr std::uint8_t pdq_forced_budget_below = 16;

struct Shape {
    std::size_t repetitions;
    std::uint64_t step;
    std::uint8_t pdq_budget;
};

std::size_t length_max_for(const tarvo::RoutineEntry& entry) {
    return entry.cost == tarvo::Cost::n_log_n ? length_max : quadratic_length_max;
}

// The entry's routine, except that pdq_sort gets the input's own small budget when it has one.
void run(const tarvo::RoutineEntry& entry, tarvo::Slice s, const Shape& shape) {
    if (entry.sort == tarvo::whole_slice::pdq && s.size() >= 2 &&
        shape.pdq_budget < pdq_forced_budget_below) {
        tarvo::pdq_sort(s, shape.pdq_budget);
    } else {
        entry.sort(s);
    }
}

// The samplesort itself at any length (the pool-backed sorts hand short slices to the kernel),
// with limits that the header's third byte lowers so that short inputs are partitioned again by
// one worker and by all of them.
void sort_samplesort(tarvo::Slice s, const Shape& shape) {
    const std::size_t leaf_max = 64 + std::size_t{shape.pdq_budget} * 32;
    const tarvo::samplesort::Limits limits{leaf_max, 4 * leaf_max};
    const tarvo::samplesort::Memory memory(s.size(), tarvo::sort_pool().size());
    tarvo::run_on_pool([&](const tarvo::WorkerContext& worker) {
        tarvo::samplesort::sort(worker, s, memory, limits);
    });
}

struct Target {
    std::string_view name;
    std::size_t length_max;
    std::function<void(tarvo::Slice, const Shape&)> sort;
};

// The module's routines in table order, then the internal ones.
std::vector<Target> all_targets() {
    std::vector<Target> targets;
    for (const tarvo::RoutineEntry& entry : tarvo::routine_table) {
        targets.push_back({entry.name, length_max_for(entry),
                           [&entry](tarvo::Slice s, const Shape& shape) { run(entry, s, shape); }});
    }
    targets.push_back({"samplesort", length_max, sort_samplesort});
    return targets;
}

// The routines this process fuzzes: one, or all of them.
std::vector<Target> fuzzed = all_targets();

std::vector<std::int64_t> make_slice(const std::uint8_t* data, std::size_t size,
                                     std::size_t max_len, Shape& shape) {
    std::vector<std::int64_t> values;
    if (size < header_bytes) return values;
    shape.repetitions = std::size_t{1} + data[0];
    shape.step = static_cast<std::uint64_t>(static_cast<std::int8_t>(data[1]));
    shape.pdq_budget = data[2];
    const std::size_t words = (size - header_bytes) / sizeof(std::int64_t);
    if (words == 0) return values;
    const std::size_t len = std::min(words * shape.repetitions, max_len);
    values.resize(len);
    for (std::size_t i = 0; i < len; ++i) {
        std::uint64_t word;
        std::memcpy(&word, data + header_bytes + (i % words) * sizeof word, sizeof word);
        values[i] = static_cast<std::int64_t>(word + (i / words) * shape.step);
    }
    return values;
}

void check(const Target& target, const std::uint8_t* data, std::size_t size) {
    Shape shape{};
    std::vector<std::int64_t> values = make_slice(data, size, target.length_max, shape);
    std::vector<std::int64_t> expected = values;
    std::sort(expected.begin(), expected.end());
    target.sort(values, shape);
    const auto [wrong, _] = std::mismatch(values.begin(), values.end(), expected.begin());
    if (wrong != values.end()) {
        const std::size_t at = static_cast<std::size_t>(wrong - values.begin());
        std::fprintf(stderr,
                     "%.*s left %zu elements wrong at index %zu: %lld where sorting gives %lld\n",
                     static_cast<int>(target.name.size()), target.name.data(), values.size(), at,
                     static_cast<long long>(*wrong), static_cast<long long>(expected[at]));
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    constexpr std::string_view routine_flag = "--routine=";
    for (int a = 1; a < *argc; ++a) {
        const std::string_view arg = (*argv)[a];
        if (arg == "--list-routines") {
            for (const Target& target : fuzzed) {
                std::printf("%.*s\n", static_cast<int>(target.name.size()), target.name.data());
            }
            std::exit(0);
        }
        if (arg.starts_with(routine_flag)) {
            const std::string_view name = arg.substr(routine_flag.size());
            const auto chosen = std::ranges::find(fuzzed, name, &Target::name);
            if (chosen == fuzzed.end()) {
                std::fprintf(stderr, "no routine named '%.*s' (see --list-routines)\n",
                             static_cast<int>(name.size()), name.data());
                std::exit(2);
            }
            fuzzed = {*chosen};
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (const Target& target : fuzzed) check(target, data, size);
    return 0;
}
