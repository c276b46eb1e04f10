#include <doctest/doctest.h>

#include <array>
#include <cstddef>
#include <vector>

#include "core/memory.hpp"
#include "parallel/pool/job_deque.hpp"

using namespace tarvo;

namespace {

// The deque only stores and hands back job pointers; distinct addresses are all a test needs.
constexpr std::size_t job_count = 200;  // past two doublings of the initial 64 slots
alignas(Job) std::array<std::byte, job_count * sizeof(Job)> job_storage;

Job* job(std::size_t i) {
    return reinterpret_cast<Job*>(job_storage.data() + i * sizeof(Job));
}

}  // namespace

TEST_CASE("job deque: growing keeps the order from a wrapped front") {
    JobDeque deque;
    // Move the front past the start of the ring so that the queued jobs wrap around its end.
    for (std::size_t i = 0; i < 40; ++i) deque.push_back(job(0));
    for (std::size_t i = 0; i < 40; ++i) REQUIRE(deque.pop_front() == job(0));
    for (std::size_t i = 0; i < job_count; ++i) deque.push_back(job(i));

    SUBCASE("oldest first from the front") {
        for (std::size_t i = 0; i < job_count; ++i) REQUIRE(deque.pop_front() == job(i));
    }
    SUBCASE("newest first from the back") {
        for (std::size_t i = job_count; i-- > 0;) REQUIRE(deque.pop_back() == job(i));
    }
    CHECK(deque.pop_front() == nullptr);
    CHECK(deque.pop_back() == nullptr);
    CHECK(deque.looks_empty());
}

TEST_CASE("job deque: a growth that cannot get memory queues nothing and loses nothing") {
    JobDeque deque;
    for (std::size_t i = 0; i < 64; ++i) deque.push_back(job(i));
    fail_allocation_after(0);
    CHECK_THROWS_AS(deque.push_back(job(64)), OutOfMemory);
    fail_allocation_after(0);
    CHECK_FALSE(deque.try_push_back(job(64)));  // a worker's push: no exception on its thread
    fail_allocation_after(-1);
    for (std::size_t i = 64; i-- > 0;) REQUIRE(deque.pop_back() == job(i));
    CHECK(deque.looks_empty());
}
