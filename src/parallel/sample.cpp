#include "parallel/sample.hpp"

#include <sys/random.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "parallel/sort_kernel.hpp"

namespace tarvo {
namespace {

// SplitMix64's finaliser: neighbouring counts give unrelated seeds.
std::uint64_t mix(std::uint64_t x) noexcept {
    x += 0x9E3779B97F4A7C15u;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
    return x ^ (x >> 31);
}

std::uint64_t process_seed() noexcept {
    std::uint64_t seed = 0;
    if (getrandom(&seed, sizeof seed, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof seed)) {
        // No entropy yet (early boot) or no getrandom: the clock still differs between runs.
        seed =
            static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    }
    return seed;
}

}  // namespace

std::uint64_t next_sample_seed() noexcept {
    static const std::uint64_t seed = process_seed();
    static std::atomic<std::uint64_t> samples{0};
    return mix(seed ^ mix(samples.fetch_add(1, std::memory_order_relaxed)));
}

Slice draw_sample(ConstSlice s, std::int64_t* room, std::size_t per_bucket,
                  unsigned log_buckets) noexcept {
    const std::size_t count = std::min(s.size(), per_bucket << log_buckets);
    std::uint64_t state = next_sample_seed() | 1;  // xorshift never leaves zero
    for (std::size_t i = 0; i < count; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        // The high half of state * len: a multiplication where a modulo would cost a division.
        const auto place = static_cast<std::size_t>(
            (static_cast<unsigned __int128>(state) * s.size()) >> 64);
        room[i] = s[place];
    }
    return Slice(room, count);
}

ConstSlice sorted_sample(const WorkerContext& worker, ConstSlice s, std::int64_t* room,
                         std::size_t per_bucket, unsigned log_buckets) noexcept {
    const Slice sample = draw_sample(s, room, per_bucket, log_buckets);
    kernel_sort(worker, sample);
    return sample;
}

}  // namespace tarvo
