// The pool-backed sorts against the leaf kernel alone on one thread (Highway's vqsort where the
// build has it) on the same inputs: each ratio is the median over interleaved rounds of the
// sort's time divided by the kernel's time in the same round, so that drift of a shared machine
// hits both alike. Also prints the peak resident memory each sort adds, measured by resetting the
// kernel's high-water mark before the sort (Linux /proc/self/clear_refs).
//
//   tarvo_parallel_bench [--rounds=N] [--sizes=1e4,1e5,...] [--patterns=random,skewed,...]
//   tarvo_parallel_bench --stripe-partitions [--rounds=N] [--sizes=...]
//
// With --stripe-partitions it times instead each variant of the split sort's stripe partition
// the processor runs, on one thread, on random input cut at its median (in milliseconds, with a
// copy of the same elements for the memory's pace).

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "parallel/parallel_sort.hpp"
#include "parallel/sort_kernel.hpp"
#include "parallel/split/stripe_partition.hpp"

namespace {

using Values = std::vector<std::int64_t>;

constexpr int default_rounds = 7;
// Each timed sort of a short input is repeated until a round takes about this long, so that the
// clock's resolution and the pool's wake-up do not dominate.
constexpr double seconds_per_measurement = 0.02;

struct Routine {
    const char* name;
    void (*sort)(tarvo::Slice);
};

const Routine baseline = {"kernel, 1 thread", [](tarvo::Slice s) { tarvo::kernel_sort(s); }};
const Routine routines[] = {
    {"parallel_unstable_sort", [](tarvo::Slice s) { tarvo::parallel_unstable_sort(s); }},
    {"parallel_stable_sort", [](tarvo::Slice s) { tarvo::parallel_stable_sort(s); }},
    {"copy (memcpy)", [](tarvo::Slice) {}},
};

Values make_pattern(const std::string& pattern, std::size_t n, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    Values v(n);
    if (pattern == "random") {
        for (auto& x : v) x = static_cast<std::int64_t>(rng());
    } else if (pattern == "small_range") {
        for (auto& x : v) x = static_cast<std::int64_t>(rng() % 1'000'000);
    } else if (pattern == "few_distinct") {
        for (auto& x : v) x = static_cast<std::int64_t>(rng() % 4) * 1'000'003;
    } else if (pattern == "skewed") {
        // Zipf-like: value k with probability about 1/k over a million values.
        std::uniform_real_distribution<double> u(0, 1);
        for (auto& x : v) x = static_cast<std::int64_t>(std::exp(u(rng) * std::log(1e6)));
    } else if (pattern == "gaussian") {
        std::normal_distribution<double> g(0, 1e9);
        for (auto& x : v) x = static_cast<std::int64_t>(g(rng));
    } else if (pattern == "outliers") {
        for (auto& x : v) x = static_cast<std::int64_t>(rng() % 1000);
        for (std::size_t i = 0; i < n; i += 100) v[i] = static_cast<std::int64_t>(rng());
    } else if (pattern == "zipf") {
        // numpy's zipf(1.2) in the continuous: P(X >= k) = k^-0.2, capped at int64's maximum.
        std::uniform_real_distribution<double> u(0, 1);
        for (auto& x : v) x = static_cast<std::int64_t>(std::min(std::pow(1 - u(rng), -5.0), 9e18));
    } else if (pattern == "exponential") {
        // Uniform in [2^k, 2^(k + 1)) with k uniform below log2 n: as many values of every size.
        const auto magnitudes = static_cast<unsigned>(std::max(std::log2(double(n)), 1.0));
        for (auto& x : v) {
            const std::int64_t low = std::int64_t{1} << (rng() % magnitudes);
            x = low + static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(low));
        }
    } else if (pattern == "sqrt_distinct") {
        const auto values =
            std::max<std::size_t>(static_cast<std::size_t>(std::sqrt(double(n))), 1);
        for (auto& x : v) x = static_cast<std::int64_t>(rng() % values);
    } else if (pattern == "nearly_sorted") {
        for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::int64_t>(i);
        for (std::size_t k = 0; k < n / 100; ++k) std::swap(v[rng() % n], v[rng() % n]);
    } else if (pattern == "sorted") {
        for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::int64_t>(i);
    } else if (pattern == "reversed") {
        for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::int64_t>(n - i);
    } else {
        std::fprintf(stderr, "unknown pattern %s\n", pattern.c_str());
        std::exit(2);
    }
    return v;
}

long status_kib(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
    }
    return -1;
}

// Peak resident memory added by one sort of `input`, in MiB.
double peak_extra_mib(const Routine& routine, const Values& input, Values& work) {
    std::memcpy(work.data(), input.data(), input.size() * sizeof(std::int64_t));
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = status_kib("VmRSS:");
    routine.sort(work);
    return static_cast<double>(status_kib("VmHWM:") - before) / 1024.0;
}

// Mean seconds of one sort of `input` (each repetition on a fresh copy; copies are not timed).
double time_sort(const Routine& routine, const Values& input, Values& work, int repetitions) {
    double total = 0;
    for (int r = 0; r < repetitions; ++r) {
        std::memcpy(work.data(), input.data(), input.size() * sizeof(std::int64_t));
        const auto start = std::chrono::steady_clock::now();
        if (routine.sort == routines[std::size(routines) - 1].sort) {
            std::memcpy(work.data(), input.data(), input.size() * sizeof(std::int64_t));
        } else {
            routine.sort(work);
        }
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    if (routine.sort != routines[std::size(routines) - 1].sort &&
        !std::is_sorted(work.begin(), work.end())) {
        std::fprintf(stderr, "%s left the input unsorted\n", routine.name);
        std::exit(1);
    }
    return total / repetitions;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t comma = std::min(text.find(',', from), text.size());
        parts.push_back(text.substr(from, comma - from));
        from = comma + 1;
    }
    return parts;
}

// Milliseconds of each stripe partition variant and of a copy, medians over interleaved rounds.
void time_stripe_partitions(const std::vector<std::string>& sizes, int rounds) {
    using tarvo::split::runnable_stripe_partitions;
    const auto variants = runnable_stripe_partitions();
    std::printf("%-10s %10s", "n", "copy ms");
    for (const auto& variant : variants)
        std::printf(" %12.*s ms", int(variant.name.size()), variant.name.data());
    std::printf("\n");
    for (const std::string& size_text : sizes) {
        const auto n = static_cast<std::size_t>(std::atof(size_text.c_str()));
        const Values input = make_pattern("random", n, n);
        Values work(n), copy(n);
        const auto timed = [&](auto&& body) {
            std::memcpy(work.data(), input.data(), n * sizeof(std::int64_t));
            const auto start = std::chrono::steady_clock::now();
            body();
            return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                             start)
                .count();
        };
        std::vector<std::vector<double>> times(variants.size() + 1);
        for (int round = 0; round < rounds; ++round) {
            times[0].push_back(
                timed([&] { std::memcpy(copy.data(), work.data(), n * sizeof(std::int64_t)); }));
            for (std::size_t k = 0; k < variants.size(); ++k) {
                times[k + 1].push_back(
                    timed([&] { variants[k].partition(work, {0, n, n, n}, 0); }));
            }
        }
        std::printf("%-10s", size_text.c_str());
        for (const auto& t : times) std::printf(" %13.2f", median(t));
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = default_rounds;
    std::vector<std::string> sizes = {"1e4", "1e5", "1e6", "1e7"};
    std::vector<std::string> patterns = {"random",        "small_range", "few_distinct",
                                         "skewed",        "gaussian",    "outliers",
                                         "nearly_sorted", "sorted",      "reversed"};
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        if (arg.rfind("--rounds=", 0) == 0) rounds = std::max(1, std::atoi(arg.c_str() + 9));
        if (arg.rfind("--sizes=", 0) == 0) sizes = split(arg.substr(8));
        if (arg.rfind("--patterns=", 0) == 0) patterns = split(arg.substr(11));
    }
    for (int a = 1; a < argc; ++a) {
        if (std::string(argv[a]) == "--stripe-partitions") {
            time_stripe_partitions(sizes, rounds);
            return 0;
        }
    }
    std::printf("leaf kernel: %s; %d rounds; ratio = median(sort / kernel on 1 thread)\n",
                std::string(tarvo::kernel_name()).c_str(), rounds);
    std::printf("%-6s %-14s %10s", "n", "pattern", "kernel ms");
    for (const Routine& r : routines) std::printf(" %22s", r.name);
    std::printf("   peak extra MiB (unstable, stable)\n");
    for (const std::string& size_text : sizes) {
        const auto n = static_cast<std::size_t>(std::atof(size_text.c_str()));
        Values work(n);
        for (const std::string& pattern : patterns) {
            const Values input = make_pattern(pattern, n, n);
            const double probe = time_sort(baseline, input, work, 1);
            const int repetitions =
                std::max(1, static_cast<int>(seconds_per_measurement / std::max(probe, 1e-7)));
            std::vector<double> base;
            std::vector<std::vector<double>> ratios(std::size(routines));
            for (int round = 0; round < rounds; ++round) {
                const double b = time_sort(baseline, input, work, repetitions);
                base.push_back(b);
                for (std::size_t k = 0; k < std::size(routines); ++k) {
                    ratios[k].push_back(time_sort(routines[k], input, work, repetitions) / b);
                }
            }
            std::printf("%-6s %-14s %10.3f", size_text.c_str(), pattern.c_str(),
                        median(base) * 1e3);
            for (const auto& r : ratios) std::printf(" %21.2fx", median(r));
            std::printf("   %.1f, %.1f\n", peak_extra_mib(routines[0], input, work),
                        peak_extra_mib(routines[1], input, work));
            std::fflush(stdout);
        }
    }
}
