// Times every routine of the module's table that is not quadratic on shuffled input against
// std::sort and std::stable_sort on the same inputs (tarvo_parallel_bench holds the pool-backed
// sorts against their leaf kernel instead). The machine's cores drift by 10-25 % over seconds, so
// the routines run interleaved, one after another on each input, in several rounds; each ratio is
// the median over the rounds of the routine's time divided by the baseline's time in the same
// round.
//
//   tarvo_sequential_bench [--rounds=N] [Google Benchmark flags]

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "routine_table.hpp"

namespace {

using Values = std::vector<std::int64_t>;

constexpr int default_rounds = 11;
// Repetitions of a sort within one round, so that each round times about the same work.
constexpr std::int64_t sorts_per_round_small = 8;    // 10^5 elements
constexpr std::int64_t sorts_per_round_large = 1;    // 10^6 elements
constexpr std::int64_t small_range_end = 1'000'000;  // the small range is [0, 10^6)

struct Input {
    std::string name;
    Values values;
    std::int64_t sorts_per_round;
};

struct Routine {
    std::string_view name;
    void (*sort)(tarvo::Slice);
};

// The two baselines, then the table's routines that finish on 10^6 shuffled elements.
std::vector<Routine> timed_routines() {
    std::vector<Routine> routines = {
        {"std::sort", [](tarvo::Slice s) { std::sort(s.begin(), s.end()); }},
        {"std::stable_sort", [](tarvo::Slice s) { std::stable_sort(s.begin(), s.end()); }},
    };
    for (const tarvo::RoutineEntry& entry : tarvo::routine_table) {
        if (entry.cost != tarvo::Cost::quadratic) routines.push_back({entry.name, entry.sort});
    }
    return routines;
}
const std::vector<Routine> routines = timed_routines();
constexpr std::size_t std_sort_index = 0;
constexpr std::size_t std_stable_sort_index = 1;

std::vector<Input> make_inputs() {
    std::mt19937_64 rng(20240611);
    std::uniform_int_distribution<std::int64_t> small_range(0, small_range_end - 1);
    std::vector<Input> inputs;
    for (const std::size_t n : {std::size_t{100'000}, std::size_t{1'000'000}}) {
        const std::int64_t sorts = n < 1'000'000 ? sorts_per_round_small : sorts_per_round_large;
        const std::string size = n < 1'000'000 ? "1e5" : "1e6";
        Values full(n), small(n);
        for (auto& x : full) x = static_cast<std::int64_t>(rng());
        for (auto& x : small) x = small_range(rng);
        inputs.push_back({size + " full", std::move(full), sorts});
        inputs.push_back({size + " [0,1e6)", std::move(small), sorts});
    }
    return inputs;
}

// seconds[input][routine][round]: mean time of one sort in that round.
using Timings = std::vector<std::vector<std::vector<double>>>;

void time_sort(benchmark::State& state, const Input& input, const Routine& routine,
               double& seconds) {
    Values work(input.values.size());
    double total = 0;
    for (auto _ : state) {
        std::memcpy(work.data(), input.values.data(), work.size() * sizeof(std::int64_t));
        const auto start = std::chrono::steady_clock::now();
        routine.sort(work);
        const auto stop = std::chrono::steady_clock::now();
        const double elapsed = std::chrono::duration<double>(stop - start).count();
        state.SetIterationTime(elapsed);
        total += elapsed;
        benchmark::DoNotOptimize(work.data());
    }
    if (!std::is_sorted(work.begin(), work.end())) {
        state.SkipWithError("result is not sorted");
        return;
    }
    seconds = total / static_cast<double>(state.iterations());
}

// The per-run lines would bury the table; show progress only.
class ProgressReporter : public benchmark::BenchmarkReporter {
  public:
    bool ReportContext(const Context&) override { return true; }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) {
                std::fprintf(stderr, "\n%s: %s\n", run.benchmark_name().c_str(),
                             run.error_message.c_str());
            }
        }
        std::fputc('.', stderr);
    }
    void Finalize() override { std::fputc('\n', stderr); }
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Median over the rounds in which both ran of routine time / baseline time; 0 when none.
double median_ratio(const std::vector<double>& routine, const std::vector<double>& baseline) {
    std::vector<double> ratios;
    for (std::size_t r = 0; r < routine.size(); ++r) {
        if (routine[r] > 0 && baseline[r] > 0) ratios.push_back(routine[r] / baseline[r]);
    }
    return ratios.empty() ? 0 : median(ratios);
}

void print_name(std::string_view name) {
    std::printf("%-24.*s", static_cast<int>(name.size()), name.data());
}

void print_cell(double value, const char* format) {
    if (value > 0) {
        std::printf(format, value);
    } else {
        std::printf("%14s", "-");
    }
}

void print_table(const std::vector<Input>& inputs, const Timings& seconds) {
    const auto header = [&](const char* title) {
        std::printf("\n%-24s", title);
        for (const Input& input : inputs) std::printf("%14s", input.name.c_str());
        std::printf("\n");
    };

    header("median ms");
    for (std::size_t k = 0; k < routines.size(); ++k) {
        print_name(routines[k].name);
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            std::vector<double> ran;
            for (const double s : seconds[i][k]) {
                if (s > 0) ran.push_back(s * 1e3);
            }
            print_cell(ran.empty() ? 0 : median(ran), "%14.2f");
        }
        std::printf("\n");
    }

    const auto ratios = [&](const char* title, std::size_t baseline) {
        header(title);
        for (std::size_t k = 0; k < routines.size(); ++k) {
            if (k == baseline) continue;
            print_name(routines[k].name);
            for (std::size_t i = 0; i < inputs.size(); ++i) {
                print_cell(median_ratio(seconds[i][k], seconds[i][baseline]), "%13.2fx");
            }
            std::printf("\n");
        }
    };
    ratios("/ std::sort", std_sort_index);
    ratios("/ std::stable_sort", std_stable_sort_index);
}

int parse_rounds(int& argc, char** argv) {
    int rounds = default_rounds;
    int kept = 1;
    for (int a = 1; a < argc; ++a) {
        if (std::strncmp(argv[a], "--rounds=", 9) == 0) {
            rounds = std::max(1, std::atoi(argv[a] + 9));
        } else {
            argv[kept++] = argv[a];
        }
    }
    argc = kept;
    return rounds;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = parse_rounds(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    const std::vector<Input> inputs = make_inputs();
    Timings seconds(inputs.size(),
                    std::vector<std::vector<double>>(routines.size(), std::vector<double>(rounds)));
    // Registration order is run order: round by round, each input through every routine.
    for (int r = 0; r < rounds; ++r) {
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            for (std::size_t k = 0; k < routines.size(); ++k) {
                const std::string name = inputs[i].name + "/" + std::string(routines[k].name) +
                                         "/round:" + std::to_string(r);
                benchmark::RegisterBenchmark(name.c_str(), time_sort, std::cref(inputs[i]),
                                             std::cref(routines[k]), std::ref(seconds[i][k][r]))
                    ->UseManualTime()
                    ->Iterations(inputs[i].sorts_per_round)
                    ->Unit(benchmark::kMillisecond);
            }
        }
    }
    ProgressReporter progress;
    benchmark::RunSpecifiedBenchmarks(&progress);
    benchmark::Shutdown();

    std::printf("%d rounds; %lld sorts of 10^5 and %lld of 10^6 elements per round\n", rounds,
                static_cast<long long>(sorts_per_round_small),
                static_cast<long long>(sorts_per_round_large));
    print_table(inputs, seconds);
    return 0;
}
