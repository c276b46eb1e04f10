// A thread that writes into the slice while a pool-backed sort runs (a Python thread may, having
// released the GIL) leaves the order undefined, but the sort must still touch nothing outside the
// slice and its own memory. The slice sits between two inaccessible pages: any read or write
// beyond it ends the test program. This test races on purpose; the ThreadSanitizer run leaves it
// out.

#include <doctest/doctest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "parallel/parallel_quicksort.hpp"
#include "parallel/pool/registry.hpp"
#include "parallel/samplesort/samplesort.hpp"
#include "parallel/sort_kernel.hpp"

using namespace tarvo;

namespace {

// A slice of `pages` pages with an inaccessible page on either side.
class GuardedSlice {
  public:
    explicit GuardedSlice(std::size_t pages)
        : page_(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))), pages_(pages) {
        void* block = mmap(nullptr, (pages + 2) * page_, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        REQUIRE(block != MAP_FAILED);
        base_ = static_cast<char*>(block);
        REQUIRE(mprotect(base_, page_, PROT_NONE) == 0);
        REQUIRE(mprotect(base_ + (pages + 1) * page_, page_, PROT_NONE) == 0);
    }
    ~GuardedSlice() { munmap(base_, (pages_ + 2) * page_); }
    GuardedSlice(const GuardedSlice&) = delete;
    GuardedSlice& operator=(const GuardedSlice&) = delete;

    Slice slice() const noexcept {
        return {reinterpret_cast<std::int64_t*>(base_ + page_), pages_ * page_ / 8};
    }

  private:
    std::size_t page_;
    std::size_t pages_;
    char* base_ = nullptr;
};

// Writes random values at random places of `s` until told to stop.
class RacingWriter {
  public:
    explicit RacingWriter(Slice s)
        : thread_([this, s] {
              std::mt19937_64 rng(99);
              while (!stop_.load(std::memory_order_relaxed)) {
                  const std::uint64_t r = rng();
                  std::atomic_ref<std::int64_t>(s[r % s.size()])
                      .store(static_cast<std::int64_t>(rng()) >> (r % 64),
                             std::memory_order_relaxed);
              }
          }) {}
    ~RacingWriter() {
        stop_.store(true);
        thread_.join();
    }

  private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace

TEST_CASE("racing writer: the pool-backed sorts stay inside the slice whatever the values do") {
    std::string cause;
    auto pool = Registry::start(3, cause, &make_kernel_scratch);
    REQUIRE(pool);
    GuardedSlice guarded(600);  // 307,200 elements
    const Slice s = guarded.slice();
    std::mt19937_64 rng(7);
    // Lowered limits so that sequential and nested parallel partitions race too.
    const samplesort::Limits limits_list[] = {{}, {2000, 20000}};
    const samplesort::Memory memory(s.size(), pool->size());
    RacingWriter writer(s);
    for (int round = 0; round < 12; ++round) {
        // The first rounds draw 16, 8 and 2 distinct values, which the samplesort counts (by hash,
        // by comparison, by comparison) unless it meets a value the writer put there.
        const std::uint64_t spread = round < 4 ? 60 + round : rng() % 64;
        for (std::int64_t& x : s) x = static_cast<std::int64_t>(rng()) >> spread;
        if (round % 3 == 2) {
            pool->in_worker([&](const WorkerContext& worker) { parallel_quicksort(worker, s); });
        } else {
            const samplesort::Limits& limits = limits_list[round % 3];
            pool->in_worker(
                [&](const WorkerContext& worker) { samplesort::sort(worker, s, memory, limits); });
        }
    }
    CHECK(true);  // reaching here is the test: no access beyond the slice, every sort returned
}
