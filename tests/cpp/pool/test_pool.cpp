#include <doctest/doctest.h>
#include <pthread.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <numeric>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/fault.hpp"
#include "core/memory.hpp"
#include "parallel/parallel_sort.hpp"
#include "parallel/pool/join.hpp"
#include "parallel/pool/registry.hpp"
#include "parallel/sort_pool.hpp"

using namespace tarvo;
using namespace std::chrono_literals;

namespace {

std::unique_ptr<Registry> start_pool(std::size_t threads) {
    std::string cause;
    auto registry = Registry::start(threads, cause);
    REQUIRE_MESSAGE(registry != nullptr, cause);
    return registry;
}

// Sums [first, last) by halving down to single elements: one join per inner node.
std::int64_t parallel_sum(const WorkerContext& worker, const std::int64_t* first,
                          const std::int64_t* last, std::atomic<long>& joins) {
    if (last - first == 1) return *first;
    const std::int64_t* mid = first + (last - first) / 2;
    std::int64_t left = 0, right = 0;
    joins.fetch_add(1, std::memory_order_relaxed);
    join(
        worker,
        [&](const WorkerContext& runner) { left = parallel_sum(runner, first, mid, joins); },
        [&](const WorkerContext& runner) { right = parallel_sum(runner, mid, last, joins); });
    return left + right;
}

// The same from a thread outside `pool`.
std::int64_t parallel_sum_on(Registry& pool, const std::vector<std::int64_t>& values,
                             std::atomic<long>& joins) {
    std::int64_t sum = 0;
    pool.in_worker([&](const WorkerContext& worker) {
        sum = parallel_sum(worker, values.data(), values.data() + values.size(), joins);
    });
    return sum;
}

std::size_t thread_count_of_process() {
    std::size_t count = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ++count;
    return count;
}

// A joined thread may linger in /proc for a moment after pthread_join returns.
std::size_t thread_count_after_exits(std::size_t expected) {
    std::size_t count = thread_count_of_process();
    for (int i = 0; i < 1000 && count != expected; ++i) {
        std::this_thread::sleep_for(1ms);
        count = thread_count_of_process();
    }
    return count;
}

// Waits up to a few seconds for `flag`; a pool that never runs the other task fails the test
// instead of hanging it.
bool wait_for(const std::atomic<bool>& flag) {
    for (int i = 0; i < 5000 && !flag.load(); ++i) std::this_thread::sleep_for(1ms);
    return flag.load();
}

int starts_before_failure = 0;
int start_then_fail(pthread_t* thread, const pthread_attr_t* attributes, void* (*body)(void*),
                    void* argument) {
    if (starts_before_failure-- <= 0) return EAGAIN;
    return pthread_create(thread, attributes, body, argument);
}

double process_cpu_seconds() {
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

TEST_CASE(
    "join: thousands of nested joins give the right sum, on private pools and the global one") {
    std::vector<std::int64_t> values(20000);
    std::iota(values.begin(), values.end(), -5000);
    const std::int64_t expected = 20000LL * (-5000 + 14999) / 2;  // arithmetic series
    for (std::size_t threads : {1, 3}) {
        auto pool = start_pool(threads);
        std::atomic<long> joins{0};
        CHECK(parallel_sum_on(*pool, values, joins) == expected);
        CHECK(joins.load() == 19999);
    }
    std::atomic<long> joins{0};
    CHECK(parallel_sum_on(sort_pool(), values, joins) == expected);
}

TEST_CASE("join: an outside caller blocks while both tasks run on workers") {
    const auto caller = std::this_thread::get_id();
    std::atomic<bool> a_on_worker{false}, b_on_worker{false}, a_on_caller{false},
        b_on_caller{false};
    std::atomic<bool> a_done{false}, b_done{false};
    Registry& pool = sort_pool();
    join(
        pool,
        [&](const WorkerContext& worker) {
            a_on_worker = &worker.worker().registry() == &pool && worker.index() < pool.size();
            a_on_caller = std::this_thread::get_id() == caller;
            std::this_thread::sleep_for(5ms);
            a_done = true;
        },
        [&](const WorkerContext& worker) {
            b_on_worker = &worker.worker().registry() == &pool && worker.index() < pool.size();
            b_on_caller = std::this_thread::get_id() == caller;
            std::this_thread::sleep_for(5ms);
            b_done = true;
        });
    CHECK(a_done.load());
    CHECK(b_done.load());
    CHECK(a_on_worker.load());
    CHECK(b_on_worker.load());
    CHECK_FALSE(a_on_caller.load());
    CHECK_FALSE(b_on_caller.load());
}

TEST_CASE("join: several outside threads may join at once") {
    std::vector<std::thread> callers;
    std::atomic<int> right{0};
    for (int t = 0; t < 4; ++t) {
        callers.emplace_back([&, t] {
            std::vector<std::int64_t> values(3000 + t, 2);
            std::atomic<long> joins{0};
            if (parallel_sum_on(sort_pool(), values, joins) == 2 * (3000 + t)) {
                right.fetch_add(1);
            }
        });
    }
    for (auto& caller : callers) caller.join();
    CHECK(right.load() == 4);
}

TEST_CASE("join: a failure in A reaches the caller only after a stolen B has finished") {
    auto pool = start_pool(2);
    std::atomic<bool> b_started{false}, b_finished{false}, b_was_stolen{false};
    bool caught = false;
    try {
        pool->in_worker([&](const WorkerContext& worker) {
            join(
                worker,
                [&](const WorkerContext&) {
                    b_was_stolen = wait_for(b_started);
                    throw std::runtime_error("A failed");
                },
                [&](const WorkerContext&) {
                    b_started = true;
                    std::this_thread::sleep_for(20ms);
                    b_finished = true;
                });
        });
    } catch (const std::runtime_error& failure) {
        caught = std::string(failure.what()) == "A failed";
        CHECK(b_finished.load());
    }
    CHECK(caught);
    CHECK(b_was_stolen.load());
}

TEST_CASE("join: a fault in B reaches the caller, with its message, after A has finished") {
    auto pool = start_pool(2);
    std::atomic<bool> a_finished{false};
    bool caught = false;
    try {
        pool->in_worker([&](const WorkerContext& worker) {
            join(
                worker,
                [&](const WorkerContext&) {
                    std::this_thread::sleep_for(20ms);
                    a_finished = true;
                },
                [&](const WorkerContext&) { throw Fault("B faulted"); });
        });
    } catch (const Fault& fault) {
        caught = fault.message() == "B faulted";
        CHECK(a_finished.load());
    }
    CHECK(caught);
}

TEST_CASE("join: from the outside caller, OutOfMemory in B and A's failure over B's") {
    Registry& pool = sort_pool();
    const auto nothing = [](const WorkerContext&) {};
    CHECK_THROWS_AS(join(pool, nothing, [](const WorkerContext&) { throw OutOfMemory(4096); }),
                    OutOfMemory);
    try {
        join(
            pool, [](const WorkerContext&) { throw std::runtime_error("A"); },
            [](const WorkerContext&) { throw std::logic_error("B"); });
        FAIL("join returned normally");
    } catch (const std::runtime_error& failure) {
        CHECK(std::string(failure.what()) == "A");
    }
    // Nested: the failure of an inner join travels through the outer one.
    CHECK_THROWS_AS(join(
                        pool,
                        [&](const WorkerContext& worker) {
                            join(worker, nothing,
                                 [](const WorkerContext&) { throw OutOfMemory(8); });
                        },
                        nothing),
                    OutOfMemory);
    // The pool stays usable.
    std::vector<std::int64_t> values(1000, 1);
    std::atomic<long> joins{0};
    CHECK(parallel_sum_on(pool, values, joins) == 1000);
}

TEST_CASE("pool: a failed thread start stops the threads already running and names the cause") {
    const std::size_t before = thread_count_of_process();
    starts_before_failure = 2;
    std::string cause;
    auto registry = Registry::start(4, cause, nullptr, &start_then_fail);
    CHECK(registry == nullptr);
    CHECK(cause ==
          "could not start worker thread 3 of 4: Resource temporarily unavailable (os error 11)");
    CHECK(thread_count_after_exits(before) == before);
}

// A worker state that remembers which worker it was made for and on which thread.
struct TaggedState final : WorkerState {
    std::size_t index;
    std::thread::id made_on;
};

std::unique_ptr<WorkerState> tagged_state(std::size_t index) {
    auto state = std::make_unique<TaggedState>();
    state->index = index;
    state->made_on = std::this_thread::get_id();
    return state;
}

TEST_CASE(
    "pool: each worker owns the state made for it on the starting thread, and every job "
    "body is handed the worker that runs it") {
    std::string cause;
    auto pool = Registry::start(3, cause, &tagged_state);
    REQUIRE(pool);
    std::atomic<bool> b_started{false};
    std::size_t a_index = 0, b_index = 0;
    const TaggedState* a_state = nullptr;
    const TaggedState* b_state = nullptr;
    std::thread::id a_thread, b_thread;
    pool->in_worker([&](const WorkerContext& worker) {
        join(
            worker,
            [&](const WorkerContext& runner) {
                wait_for(b_started);  // b is stolen: it runs on another worker
                a_index = runner.index();
                a_state = static_cast<const TaggedState*>(runner.state());
                a_thread = std::this_thread::get_id();
            },
            [&](const WorkerContext& runner) {
                b_started = true;
                b_index = runner.index();
                b_state = static_cast<const TaggedState*>(runner.state());
                b_thread = std::this_thread::get_id();
            });
    });
    REQUIRE(a_state != nullptr);
    REQUIRE(b_state != nullptr);
    CHECK(a_thread != b_thread);
    CHECK(a_index != b_index);
    CHECK(a_index < 3);
    CHECK(b_index < 3);
    CHECK(a_state->index == a_index);
    CHECK(b_state->index == b_index);
    // Made before the threads started, by the thread that started them.
    CHECK(a_state->made_on == std::this_thread::get_id());
    CHECK(b_state->made_on == std::this_thread::get_id());
}

TEST_CASE("pool: a worker state that cannot be made fails the start before any thread runs") {
    const std::size_t before = thread_count_of_process();
    std::string cause;
    const auto refuse = [](std::size_t index) -> std::unique_ptr<WorkerState> {
        if (index == 2) throw OutOfMemory(64);
        return nullptr;
    };
    CHECK_THROWS_AS(Registry::start(4, cause, refuse), OutOfMemory);
    CHECK(thread_count_of_process() == before);
}

TEST_CASE("pool: workers get at least 2 MiB of stack and the threads asked for") {
    const std::size_t before = thread_count_of_process();
    auto pool = start_pool(3);
    CHECK(thread_count_of_process() == before + 3);
    std::size_t stack = 0;
    pool->in_worker([&](const WorkerContext&) {
        pthread_attr_t attributes;
        REQUIRE(pthread_getattr_np(pthread_self(), &attributes) == 0);
        pthread_attr_getstacksize(&attributes, &stack);
        pthread_attr_destroy(&attributes);
    });
    CHECK(stack >= worker_stack_bytes);
    pool.reset();
    CHECK(thread_count_after_exits(before) == before);
}

TEST_CASE("pool: idle workers sleep instead of spinning") {
    auto pool = start_pool(2);
    std::vector<std::int64_t> values(5000, 1);
    std::atomic<long> joins{0};
    parallel_sum_on(*pool, values, joins);
    std::this_thread::sleep_for(50ms);  // past the short spin
    const double start = process_cpu_seconds();
    std::this_thread::sleep_for(200ms);
    CHECK(process_cpu_seconds() - start < 0.05);
}

#if !defined(__SANITIZE_THREAD__)  // ThreadSanitizer does not support threads after a fork
TEST_CASE("pool: a child forked after the pool exists gets a working pool of its own") {
    std::vector<std::int64_t> values(20000);
    std::iota(values.rbegin(), values.rend(), 0);
    parallel_unstable_sort(values);  // the global pool exists from here on
    REQUIRE(std::is_sorted(values.begin(), values.end()));
    const pid_t child = fork();
    REQUIRE(child >= 0);
    if (child == 0) {
        alarm(20);  // a hang kills the child, which fails the test
        std::reverse(values.begin(), values.end());
        parallel_stable_sort(values);
        _exit(std::is_sorted(values.begin(), values.end()) ? 0 : 1);
    }
    int status = 0;
    REQUIRE(waitpid(child, &status, 0) == child);
    CHECK(WIFEXITED(status));
    CHECK(WEXITSTATUS(status) == 0);
}
#endif
