// A thread that writes into the slice while a pool-backed sort runs (a Python thread may, having
// released the GIL) leaves the order undefined, but the sort must still touch nothing outside the
// slice and its own memory, and put nothing into the slice that was never there: no value of an
// uninitialised buffer, a sentinel or a torn write. The slice sits between two inaccessible
// pages: any read or write beyond it ends the test program. This test races on purpose; the
// ThreadSanitizer run leaves it out.

#include <doctest/doctest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "parallel/parallel_quicksort.hpp"
#include "parallel/pool/registry.hpp"
#include "parallel/samplesort/samplesort.hpp"
#include "parallel/sort_kernel.hpp"
#include "parallel/split/split_sort.hpp"
#include "sort_pool_for_tests.hpp"

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

// The writer's values: few, so that a value the sort made up is unlikely to be one of them.
std::array<std::int64_t, 16> writer_values() {
    std::array<std::int64_t, 16> values;
    std::mt19937_64 rng(99);
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = static_cast<std::int64_t>(rng()) >> (i * 4);
    }
    std::sort(values.begin(), values.end());
    return values;
}

// Writes the writer's values at random places of `s` until told to stop.
class RacingWriter {
  public:
    explicit RacingWriter(Slice s)
        : thread_([this, s] {
              const auto values = writer_values();
              std::mt19937_64 rng(98);
              while (!stop_.load(std::memory_order_relaxed)) {
                  const std::uint64_t r = rng();
                  std::atomic_ref<std::int64_t>(s[r % s.size()])
                      .store(values[(r >> 32) % values.size()], std::memory_order_relaxed);
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

// How many elements of `s` neither the input (sorted `input`) nor the writer could have put there.
std::size_t made_up_values(Slice s, const std::vector<std::int64_t>& input) {
    const auto written = writer_values();
    std::size_t made_up = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const std::int64_t x = std::atomic_ref<std::int64_t>(s[i]).load(std::memory_order_relaxed);
        if (!std::binary_search(input.begin(), input.end(), x) &&
            !std::binary_search(written.begin(), written.end(), x)) {
            ++made_up;
        }
    }
    return made_up;
}

}  // namespace

TEST_CASE("racing writer: the pool-backed sorts stay inside the slice whatever the values do") {
    auto pool = test::start_sort_pool(3);
    GuardedSlice guarded(600);  // 307,200 elements
    const Slice s = guarded.slice();
    std::mt19937_64 rng(7);
    // Lowered limits so that sequential and nested parallel partitions race too.
    const samplesort::Limits limits_list[] = {{}, {2000, 20000}};
    const samplesort::Memory memory(s.size(), pool->size());
    std::vector<std::int64_t> input(s.size());
    RacingWriter writer(s);
    for (int round = 0; round < 16; ++round) {
        // The first rounds draw 16, 8 and 2 distinct values, which the samplesort counts (by hash,
        // by comparison, by comparison) unless it meets a value the writer put there; the next two
        // 4,096 and 1,024 values in a row, which it counts one by one, moving the writer's values
        // aside or giving up when it meets too many.
        const std::uint64_t spread = round < 4   ? 60 + round
                                     : round < 6 ? 44 + 2 * round
                                                 : rng() % 64;
        for (std::int64_t& x : input) x = static_cast<std::int64_t>(rng()) >> spread;
        for (std::size_t i = 0; i < s.size(); ++i) {
            std::atomic_ref<std::int64_t>(s[i]).store(input[i], std::memory_order_relaxed);
        }
        std::vector<std::int64_t> sample(input.begin(), input.begin() + 1024);
        std::sort(sample.begin(), sample.end());
        switch (round % 4) {
            case 0:
            case 1:
                pool->in_worker([&](const WorkerContext& worker) {
                    samplesort::sort(worker, s, memory, limits_list[round % 4]);
                });
                break;
            case 2:
                pool->in_worker(
                    [&](const WorkerContext& worker) { parallel_quicksort(worker, s); });
                break;
            default:
                pool->in_worker([&](const WorkerContext& worker) {
                    split::sort(worker, s, sample, pool->size());
                });
        }
        std::sort(input.begin(), input.end());
        CAPTURE(round);
        CHECK(made_up_values(s, input) == 0);
    }
}
