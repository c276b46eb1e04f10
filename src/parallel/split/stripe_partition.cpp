#include "parallel/split/stripe_partition.hpp"

#include <array>

#include "parallel/runnable_variants.hpp"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace tarvo::split {
namespace {

// A stripe's places as one sequence: the front piece's, then the back piece's. A loop that
// asked at every access which piece a place lies in ran at half the speed of one over a plain
// array, so the loops below ask once per stretch of accesses instead.
class Places {
  public:
    Places(Slice s, const Stripe& stripe) noexcept
        : front_(s.data() + stripe.front_begin),
          // Place k of the back piece is back_origin_[k]: the back piece starts at or after the
          // front piece's end, so this origin lies within the slice.
          back_origin_(s.data() + (stripe.back_begin - stripe.front_size())),
          front_size_(stripe.front_size()),
          size_(stripe.size()) {
        // Pieces that are one stretch of memory (one of them empty, or the back one right after
        // the front one) have no junction: one origin reaches every place.
        if (front_size_ == 0) front_ = back_origin_;
        if (front_size_ == 0 || front_size_ == size_ || stripe.front_end == stripe.back_begin) {
            back_origin_ = front_;
            front_size_ = size_;
        }
    }

    std::size_t size() const noexcept { return size_; }
    // Where the front piece ends in the sequence (size() where the pieces are one stretch).
    std::size_t junction() const noexcept { return front_size_; }
    bool one_stretch() const noexcept { return front_size_ == size_; }
    // Place k < junction(), and place k >= junction() (any place where they are one stretch).
    std::int64_t* in_front(std::size_t k) const noexcept { return front_ + k; }
    std::int64_t* in_back(std::size_t k) const noexcept { return back_origin_ + k; }
    std::int64_t& operator[](std::size_t k) const noexcept {
        return k < front_size_ ? *in_front(k) : *in_back(k);
    }
    // Places [k, k + n) where they are one stretch of memory; nullptr where they span both pieces.
    std::int64_t* stretch(std::size_t k, std::size_t n) const noexcept {
        if (k + n <= front_size_) return in_front(k);
        if (k >= front_size_) return in_back(k);
        return nullptr;
    }

  private:
    std::int64_t* front_;
    std::int64_t* back_origin_;
    std::size_t front_size_, size_;
};

// Lomuto's scheme without a branch, from places [0, read) already partitioned at `low`: its first
// `low` places hold low elements, the places up to the one read high ones; each element read
// trades places with the first high one and extends the low part if it is low. In three loops,
// as the place read and the first high one (never after it) each pass the junction.
std::size_t lomuto(const Places& places, std::size_t low, std::size_t read,
                   std::int64_t pivot) noexcept {
    const auto step = [&](std::int64_t& slot, std::int64_t& first_high) {
        const std::int64_t value = slot;
        slot = first_high;
        first_high = value;
        low += static_cast<std::size_t>(value < pivot);
    };
    const std::size_t junction = places.junction();
    for (; read < junction; ++read) step(*places.in_front(read), *places.in_front(low));
    for (; read < places.size() && low < junction; ++read) {
        step(*places.in_back(read), *places.in_front(low));
    }
    for (; read < places.size(); ++read) step(*places.in_back(read), *places.in_back(low));
    return low;
}

std::size_t portable_partition(Slice s, const Stripe& stripe, std::int64_t pivot) noexcept {
    return lomuto(Places(s, stripe), 0, 0, pivot);
}

#if defined(__x86_64__)
namespace avx2 {
#define TARVO_LANES_TARGET __attribute__((target("avx2")))

struct Lanes {
    using Vector = __m256i;
    static constexpr std::size_t width = 4;

    TARVO_LANES_TARGET static Vector broadcast(std::int64_t value) noexcept {
        return _mm256_set1_epi64x(value);
    }
    TARVO_LANES_TARGET static Vector load(const std::int64_t* from) noexcept {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from));
    }
    TARVO_LANES_TARGET static void store(std::int64_t* to, Vector v) noexcept {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), v);
    }
    // AVX2 has no compress: a permutation per mask of lows, from a table of the 16.
    TARVO_LANES_TARGET static Vector lows_first(Vector v, Vector pivots, unsigned& lows) noexcept {
        const auto mask = static_cast<unsigned>(
            _mm256_movemask_pd(_mm256_castsi256_pd(_mm256_cmpgt_epi64(pivots, v))));
        lows = static_cast<unsigned>(__builtin_popcount(mask));
        const __m256i order =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lows_first_orders[mask].data()));
        return _mm256_permutevar8x32_epi32(v, order);
    }

    // For each mask of lanes below the pivot, the 32-bit halves of those lanes, then of the others.
    static constexpr std::array<std::array<std::int32_t, 8>, 16> lows_first_orders = [] {
        std::array<std::array<std::int32_t, 8>, 16> orders{};
        for (unsigned mask = 0; mask < 16; ++mask) {
            std::size_t next = 0;
            for (const bool wanted : {true, false}) {
                for (std::int32_t lane = 0; lane < 4; ++lane) {
                    if (((mask >> lane) & 1U) != static_cast<unsigned>(wanted)) continue;
                    orders[mask][next++] = 2 * lane;
                    orders[mask][next++] = 2 * lane + 1;
                }
            }
        }
        return orders;
    }();
};
using Vector = Lanes::Vector;

#include "parallel/split/stripe_partition_lanes.inc"

#undef TARVO_LANES_TARGET
}  // namespace avx2

namespace avx512 {
#define TARVO_LANES_TARGET __attribute__((target("avx512f")))

struct Lanes {
    using Vector = __m512i;
    static constexpr std::size_t width = 8;

    TARVO_LANES_TARGET static Vector broadcast(std::int64_t value) noexcept {
        return _mm512_set1_epi64(value);
    }
    TARVO_LANES_TARGET static Vector load(const std::int64_t* from) noexcept {
        return _mm512_loadu_si512(from);
    }
    TARVO_LANES_TARGET static void store(std::int64_t* to, Vector v) noexcept {
        _mm512_storeu_si512(to, v);
    }
    // The lows compressed into the bottom lanes, the highs expanded into the top ones (compress
    // into a register: its form that stores to memory is slow on Zen 4).
    TARVO_LANES_TARGET static Vector lows_first(Vector v, Vector pivots, unsigned& lows) noexcept {
        const __mmask8 below = _mm512_cmpgt_epi64_mask(pivots, v);
        lows = static_cast<unsigned>(__builtin_popcount(below));
        const auto top = static_cast<__mmask8>(0xFFU << lows);
        return _mm512_mask_expand_epi64(
            _mm512_maskz_compress_epi64(below, v), top,
            _mm512_maskz_compress_epi64(static_cast<__mmask8>(~below), v));
    }
};
using Vector = Lanes::Vector;

#include "parallel/split/stripe_partition_lanes.inc"

#undef TARVO_LANES_TARGET
}  // namespace avx512
#endif

RunnableVariants<StripePartitionVariant> find_runnable() noexcept {
    RunnableVariants<StripePartitionVariant> runnable;
    runnable.add({"portable", portable_partition});
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx2")) runnable.add({"avx2", avx2::partition});
    if (__builtin_cpu_supports("avx512f")) runnable.add({"avx512", avx512::partition});
#endif
    return runnable;
}

}  // namespace

std::span<const StripePartitionVariant> runnable_stripe_partitions() noexcept {
    static const RunnableVariants<StripePartitionVariant> runnable = find_runnable();
    return runnable.all();
}

std::size_t partition_stripe(Slice s, const Stripe& stripe, std::int64_t pivot) noexcept {
    static const StripePartition widest = runnable_stripe_partitions().back().partition;
    return widest(s, stripe, pivot);
}

}  // namespace tarvo::split
