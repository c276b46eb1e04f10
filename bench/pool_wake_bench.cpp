// How long the pool takes to start work after being idle: for each idle time, the delay from
// posting a job from outside the pool to a worker starting it, and from a worker offering a job
// in a join to a second worker starting it (the first keeps its core busy meanwhile, as a
// partition would). Medians and quartiles of 21 rounds. Run it on a quiet machine: on a loaded
// one both delays measure the scheduler's queue rather than the pool.
//
//   tarvo_pool_wake_bench

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "parallel/pool/join.hpp"
#include "parallel/sort_pool.hpp"

namespace {

constexpr int rounds = 21;
// The first worker waits at most this long for the second to steal the offered job.
constexpr double steal_timeout_seconds = 0.02;

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void print_quartiles(const char* what, std::vector<double>& us) {
    std::sort(us.begin(), us.end());
    std::printf("  %s %8.1f us (quartiles %.1f, %.1f)", what, us[rounds / 2], us[rounds / 4],
                us[3 * rounds / 4]);
}

}  // namespace

int main() {
    tarvo::run_on_pool([](const tarvo::WorkerContext&) {});
    for (int idle_us : {0, 200, 1000, 5000, 50000}) {
        std::vector<double> injected, stolen;
        for (int r = 0; r < rounds; ++r) {
            std::this_thread::sleep_for(std::chrono::microseconds(idle_us));
            std::atomic<bool> second_started{false};
            double first = 0, second = 0;
            const double posted = now();
            tarvo::run_on_pool([&](const tarvo::WorkerContext& worker) {
                first = now();
                tarvo::join(
                    worker,
                    [&](const tarvo::WorkerContext&) {
                        while (!second_started.load() && now() - first < steal_timeout_seconds) {
                        }
                    },
                    [&](const tarvo::WorkerContext&) {
                        second = now();
                        second_started = true;
                    });
            });
            injected.push_back((first - posted) * 1e6);
            stolen.push_back((second - first) * 1e6);
        }
        std::printf("idle %6d us:", idle_us);
        print_quartiles("first worker", injected);
        print_quartiles("second worker", stolen);
        std::printf("\n");
    }
}
