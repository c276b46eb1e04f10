// libFuzzer target over the module's sort routines, the entries of routine_table. Every input
// becomes a slice; the routine must leave it equal to std::sort of a copy, which checks the order
// and the multiset at once.
//
//   fuzz_sort --routine=NAME [libFuzzer flags] [corpus...]   one routine (a campaign)
//   fuzz_sort [libFuzzer flags] [corpus...]                  every tiled routine on each input
//   fuzz_sort --list-routines                                the names, one per line
//
// Besides the module's routines, "samplesort" and "split" fuzz the pool-backed sorts' samplesort
// and split sort at every length, with limits the input chooses. With one routine only its code
// runs, so coverage feedback follows that routine alone. libFuzzer ignores flags that start with
// "--" and hands them on to the processes it forks.
//
// Two input layouts. The tiled one serves the routines under their own names; the pool-sized one
// serves the pool-backed routines again, named "pool:" and their name, on slices long enough for
// the pool (below, after the tiled layout).
//
// Tiled layout: a header of three bytes, then little-endian int64 words (a partial last word is
// ignored). The slice is the words repeated 1 + tiles times, each repetition shifted by `step`
// more than the one before (wrapping), and cut at the routine's maximum length. Repetition lets a
// short input make a long slice with runs, plateaus and periodic patterns, which is what the
// length thresholds and pattern checks of the routines react to; step 0 repeats the words
// exactly. The third byte is pdq_sort's partition budget when it is below
// pdq_forced_budget_below, so that heap_sort finishing a slice is reached too; otherwise pdq_sort
// gets pdq_limit(len), as the module gives it.
//
// Pool-sized layout: the pool-backed sorts hand slices of up to pool_sort_sequential_max elements
// to the kernel alone, so only a slice past it reaches the presorted scan, the samplesort and its
// counting of few values, and no fuzzer input is that long. Here the input only shapes such a
// slice: a header of four bytes picks a base pattern, the length (2^19 to 2^24 elements), where the
// input's int64 words overwrite the base (from its start to its very end, where the presorted
// scan's last pair lies) and the pattern's parameter.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "core/slice.hpp"
#include "parallel/config.hpp"
#include "parallel/sample.hpp"
#include "parallel/samplesort/samplesort.hpp"
#include "parallel/sort_pool.hpp"
#include "parallel/split/split_sort.hpp"
#include "routine_table.hpp"

namespace {

// The quadratic routines take time quadratic in the length on some inputs: this keeps one input
// of theirs within milliseconds.
constexpr std::size_t quadratic_length_max = 1024;
// Far beyond the 8,192 elements from which par_merge_sort uses the pool (it splits several levels
// deep) and beyond smart's sequential limit of 100,000. The pool-backed sorts use the pool only
// from 524,288 elements on; the samplesort target runs their parallel method at every length, and
// the pool-sized targets run them past that length.
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

// The split sort itself at any length, for 2 to 9 parts and with leaves that the header's third
// byte shortens, cut first at a sample of the slice.
void sort_split(tarvo::Slice s, const Shape& shape) {
    const std::size_t parts = 2 + shape.pdq_budget % 8;
    const std::size_t leaf_max = 64 + std::size_t{shape.pdq_budget} * 32;
    std::vector<std::int64_t> room(std::min<std::size_t>(s.size(), 256));
    const tarvo::Slice sample = tarvo::draw_sample(s, room.data(), room.size(), 0);
    std::sort(sample.begin(), sample.end());
    tarvo::run_on_pool([&](const tarvo::WorkerContext& worker) {
        tarvo::split::sort(worker, s, sample, parts, leaf_max);
    });
}

std::vector<std::int64_t> tiled_slice(const std::uint8_t* data, std::size_t size,
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

// The pool-sized layout's header: pattern, length, place of the words, pattern parameter.
constexpr std::size_t pool_header_bytes = 4;
// The second byte's top three bits double the shortest length up to five times; its low five
// bits add steps of an odd count, so that stripes, blocks and buckets do not divide the slice
// evenly.
constexpr std::size_t pool_length_min = tarvo::pool_sort_sequential_max + 1;
constexpr unsigned pool_doublings_max = 5;
constexpr std::size_t pool_length_max = pool_length_min << pool_doublings_max;
constexpr std::size_t pool_length_step = 4097;

std::uint64_t mix(std::uint64_t x) noexcept {  // splitmix64's finaliser
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
    return x ^ (x >> 31);
}

std::size_t isqrt(std::size_t n) noexcept {
    std::size_t r = 0;
    for (std::size_t bit = std::size_t{1} << 31; bit != 0; bit >>= 1) {
        if ((r + bit) * (r + bit) <= n) r += bit;
    }
    return r;
}

// The base patterns: the inputs on which a samplesort takes its different paths (presorted,
// equal buckets, few values counted, a narrow range counted with the values outside it moved
// aside, heavy values with rare ones in every stripe, skewed, bell-shaped and periodic values, the
// partition of distinct values).
// Element i of a slice of `len`; `p` is the pattern's parameter.
using BasePattern = std::int64_t (*)(std::size_t i, std::size_t len, std::uint64_t p);
constexpr BasePattern base_patterns[] = {
    [](std::size_t i, std::size_t, std::uint64_t p) {  // random over int64
        return static_cast<std::int64_t>(mix(i ^ (p << 40)));
    },
    [](std::size_t i, std::size_t, std::uint64_t p) {  // ascending
        return static_cast<std::int64_t>(i * (p + 1));
    },
    [](std::size_t i, std::size_t len, std::uint64_t p) {  // descending
        return static_cast<std::int64_t>((len - i) * (p + 1));
    },
    [](std::size_t, std::size_t, std::uint64_t p) {  // all equal
        return static_cast<std::int64_t>(p);
    },
    [](std::size_t i, std::size_t, std::uint64_t p) {  // 1 to 16 distinct values, shuffled
        return static_cast<std::int64_t>(mix(i) % (p % 16 + 1)) * 1'000'003;
    },
    [](std::size_t i, std::size_t len, std::uint64_t p) {  // ascending runs: a sawtooth
        return static_cast<std::int64_t>(i % std::max<std::size_t>(len >> (p % 12 + 1), 1));
    },
    [](std::size_t i, std::size_t len, std::uint64_t p) {
        // a few heavy values, and in every stripe a few hundred values of its own below them
        const std::uint64_t r = mix(i ^ (p << 40));
        const std::size_t stripe = i / std::max<std::size_t>(len / (p % 8 + 2), 1);
        if (r % 8 != 0) return static_cast<std::int64_t>(1'000'000 + r % (p % 4 + 1));
        return static_cast<std::int64_t>(stripe * 1000 + (r >> 8) % 300);
    },
    [](std::size_t i, std::size_t, std::uint64_t p) {  // skewed: log-uniform magnitudes
        const std::uint64_t r = mix(i ^ (p << 40));
        return static_cast<std::int64_t>((r >> 1) >> (r % 63));
    },
    [](std::size_t i, std::size_t len, std::uint64_t) {  // sqrt(len) distinct values, shuffled
        return static_cast<std::int64_t>(mix(i) % isqrt(len));
    },
    [](std::size_t i, std::size_t len, std::uint64_t) {  // organ pipe
        return static_cast<std::int64_t>(std::min(i, len - i));
    },
    [](std::size_t i, std::size_t, std::uint64_t p) {  // bell-shaped: a sum of four uniforms
        std::int64_t sum = 0;
        for (std::uint64_t k = 0; k < 4; ++k) {
            sum += static_cast<std::int64_t>(mix(i * 4 + k + (p << 40)) >> 24);
        }
        return sum;
    },
    [](std::size_t i, std::size_t, std::uint64_t p) {  // a narrow range, one in 97 far out
        const std::uint64_t r = mix(i ^ (p << 40));
        if (r % 97 == 0) return static_cast<std::int64_t>(mix(r));
        return static_cast<std::int64_t>((r >> 8) % (1000 * (p % 8 + 1)));
    },
};

std::vector<std::int64_t> pool_sized_slice(const std::uint8_t* data, std::size_t size) {
    std::vector<std::int64_t> values;
    if (size < pool_header_bytes) return values;
    const BasePattern base = base_patterns[data[0] % std::size(base_patterns)];
    const unsigned doublings = std::min<unsigned>(data[1] >> 5, pool_doublings_max);
    const std::size_t len = std::min(
        (pool_length_min << doublings) + (data[1] & 31u) * pool_length_step, pool_length_max);
    const std::size_t words = std::min((size - pool_header_bytes) / sizeof(std::int64_t), len);
    const std::size_t place = (len - words) * data[2] / 255;
    values.resize(len);
    for (std::size_t i = 0; i < len; ++i) values[i] = base(i, len, data[3]);
    std::memcpy(values.data() + place, data + pool_header_bytes, words * sizeof(std::int64_t));
    return values;
}

struct Target {
    std::string name;
    std::function<std::vector<std::int64_t>(const std::uint8_t*, std::size_t, Shape&)> make;
    std::function<void(tarvo::Slice, const Shape&)> sort;
};

// The module's routines in table order, then the internal ones: tiled.
std::vector<Target> tiled_targets() {
    std::vector<Target> targets;
    for (const tarvo::RoutineEntry& entry : tarvo::routine_table) {
        const std::size_t max_len = length_max_for(entry);
        targets.push_back({std::string(entry.name),
                           [max_len](const std::uint8_t* data, std::size_t size, Shape& shape) {
                               return tiled_slice(data, size, max_len, shape);
                           },
                           [&entry](tarvo::Slice s, const Shape& shape) { run(entry, s, shape); }});
    }
    targets.push_back({"samplesort",
                       [](const std::uint8_t* data, std::size_t size, Shape& shape) {
                           return tiled_slice(data, size, length_max, shape);
                       },
                       sort_samplesort});
    targets.push_back({"split",
                       [](const std::uint8_t* data, std::size_t size, Shape& shape) {
                           return tiled_slice(data, size, length_max, shape);
                       },
                       sort_split});
    return targets;
}

// The routines that use the pool, on pool-sized slices.
std::vector<Target> pool_sized_targets() {
    std::vector<Target> targets;
    for (const tarvo::RoutineEntry& entry : tarvo::routine_table) {
        if (entry.threads != tarvo::Threads::pool) continue;
        targets.push_back({"pool:" + std::string(entry.name),
                           [](const std::uint8_t* data, std::size_t size, Shape&) {
                               return pool_sized_slice(data, size);
                           },
                           [&entry](tarvo::Slice s, const Shape&) { entry.sort(s); }});
    }
    return targets;
}

std::vector<Target> all_targets() {
    std::vector<Target> targets = tiled_targets();
    std::ranges::move(pool_sized_targets(), std::back_inserter(targets));
    return targets;
}

// The routines this process fuzzes: one, or every tiled one (a pool-sized input takes a few
// tenths of a second under the sanitizers, so those run one at a time).
std::vector<Target> fuzzed = tiled_targets();

void check(const Target& target, const std::uint8_t* data, std::size_t size) {
    Shape shape{};
    std::vector<std::int64_t> values = target.make(data, size, shape);
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
            for (const Target& target : all_targets()) {
                std::printf("%.*s\n", static_cast<int>(target.name.size()), target.name.data());
            }
            std::exit(0);
        }
        if (arg.starts_with(routine_flag)) {
            const std::string_view name = arg.substr(routine_flag.size());
            const std::vector<Target> targets = all_targets();
            const auto chosen = std::ranges::find(targets, name, &Target::name);
            if (chosen == targets.end()) {
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
