#include <doctest/doctest.h>

#include <pthread.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "algorithms/intro.hpp"
#include "algorithms/pdq.hpp"
#include "algorithms/quick.hpp"

using namespace tarvo;
using Values = std::vector<std::int64_t>;

namespace {

// A worker thread's stack; sorted input would nest quicksort's left parts once per element.
constexpr std::size_t small_stack_bytes = 512 * 1024;
constexpr std::size_t sorted_length = 30'000;

struct Job {
    void (*sort)(Slice);
    Values* values;
};

void* run_job(void* argument) {
    const Job* job = static_cast<const Job*>(argument);
    job->sort(Slice(*job->values));
    return nullptr;
}

// Sorts `values` on a fresh thread whose stack is small_stack_bytes; a stack overflow kills the
// test program.
void sort_on_small_stack(void (*sort)(Slice), Values& values) {
    pthread_attr_t attributes;
    REQUIRE(pthread_attr_init(&attributes) == 0);
    REQUIRE(pthread_attr_setstacksize(&attributes, small_stack_bytes) == 0);
    Job job{sort, &values};
    pthread_t thread;
    REQUIRE(pthread_create(&thread, &attributes, run_job, &job) == 0);
    REQUIRE(pthread_join(thread, nullptr) == 0);
    pthread_attr_destroy(&attributes);
}

Values sorted_values() {
    Values values(sorted_length);
    for (std::size_t k = 0; k < sorted_length; ++k) values[k] = std::int64_t(k) - 15'000;
    return values;
}

}  // namespace

TEST_CASE("small stack: the recursive sorts finish 30,000 sorted elements on 512 KiB") {
    const Values expected = sorted_values();  // sorted input is its own oracle
    SUBCASE("quick (quadratic here, the suite's one large quadratic run)") {
        Values values = sorted_values();
        sort_on_small_stack(quick_sort, values);
        CHECK(values == expected);
    }
    SUBCASE("intro") {
        Values values = sorted_values();
        sort_on_small_stack(intro_sort, values);
        CHECK(values == expected);
    }
    SUBCASE("pdq") {
        Values values = sorted_values();
        sort_on_small_stack([](Slice s) { pdq_sort(s, pdq_limit(s.size())); }, values);
        CHECK(values == expected);
    }
}
