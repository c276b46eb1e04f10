#include "parallel/presorted_scan.hpp"

#include <algorithm>

#include "parallel/config.hpp"
#include "parallel/runnable_variants.hpp"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace tarvo::presorted_scan {
namespace {

constexpr std::size_t block = presorted_scan_block;

// Whether a[k + 1] breaks the order after a[k].
template <bool Rising>
bool pair_broken(const std::int64_t* a, std::size_t k) noexcept {
    return Rising ? a[k + 1] < a[k] : a[k] < a[k + 1];
}

// The portable loop: without a branch inside a block, the compiler vectorises it for the
// baseline instruction set (SSE2 on x86-64, NEON on aarch64).
template <bool Rising>
bool portable_ordered(const std::int64_t* a, std::size_t pairs,
                      const std::atomic<bool>& stop) noexcept {
    for (std::size_t i = 0; i < pairs; i += block) {
        if (stop.load(std::memory_order_relaxed)) return false;
        const std::size_t end = std::min(pairs, i + block);
        bool broken = false;
        for (std::size_t k = i; k < end; ++k) broken |= pair_broken<Rising>(a, k);
        if (broken) return false;
    }
    return true;
}

#if defined(__x86_64__)
// SSE2 has no 64-bit comparison, so the baseline loop compares pairs one by one; AVX2 and AVX-512
// compare four and eight pairs per instruction. All-equal input on a Zen 4 (medians of 31 or 41
// interleaved rounds): 0.36 ms per 10^6 elements (in the L3 cache) for the portable loop, 0.10 to
// 0.12 with AVX2 or with AVX-512 loading every element twice (as the successor of another, with
// unaligned loads), 0.09 with AVX-512 loading it once (vqsort recognises such input in 0.08);
// 10^7 elements (from memory) took 4 to 8 ms, the widths alike but for the load on the machine.
// Loading once did not help AVX2, whose lanes cross in two instructions instead of one.
template <bool Rising>
__attribute__((target("avx2"))) bool avx2_ordered(const std::int64_t* a, std::size_t pairs,
                                                  const std::atomic<bool>& stop) noexcept {
    for (std::size_t i = 0; i < pairs; i += block) {
        if (stop.load(std::memory_order_relaxed)) return false;
        const std::size_t end = std::min(pairs, i + block);
        __m256i broken_lanes = _mm256_setzero_si256();
        std::size_t k = i;
        for (; k + 4 <= end; k += 4) {
            const __m256i now = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + k));
            const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + k + 1));
            broken_lanes = _mm256_or_si256(broken_lanes, Rising ? _mm256_cmpgt_epi64(now, next)
                                                                : _mm256_cmpgt_epi64(next, now));
        }
        bool broken = !_mm256_testz_si256(broken_lanes, broken_lanes);
        for (; k < end; ++k) broken |= pair_broken<Rising>(a, k);
        if (broken) return false;
    }
    return true;
}

template <bool Rising>
__attribute__((target("avx512f"))) bool avx512_ordered(const std::int64_t* a, std::size_t pairs,
                                                       const std::atomic<bool>& stop) noexcept {
    for (std::size_t i = 0; i < pairs; i += block) {
        if (stop.load(std::memory_order_relaxed)) return false;
        const std::size_t end = std::min(pairs, i + block);
        __mmask8 broken_lanes = 0;
        // Each element is loaded once: the successors of eight are shifted in from the next
        // eight, as long as those exist.
        const std::size_t wide_end = std::min(end, pairs - std::min<std::size_t>(pairs, 7));
        std::size_t k = i;
        __m512i now = _mm512_setzero_si512();
        if (k + 8 <= wide_end) now = _mm512_loadu_si512(a + k);
        for (; k + 8 <= wide_end; k += 8) {
            const __m512i after = _mm512_loadu_si512(a + k + 8);
            // Zero-masked with every lane kept: GCC 12 warns that the unmasked form's undefined
            // pass-through may be used uninitialised.
            const __m512i next = _mm512_maskz_alignr_epi64(0xFF, after, now, 1);
            broken_lanes |=
                Rising ? _mm512_cmpgt_epi64_mask(now, next) : _mm512_cmpgt_epi64_mask(next, now);
            now = after;
        }
        bool broken = broken_lanes != 0;
        for (; k < end; ++k) broken |= pair_broken<Rising>(a, k);
        if (broken) return false;
    }
    return true;
}
#endif

RunnableVariants<Variant> find_runnable() noexcept {
    RunnableVariants<Variant> runnable;
    runnable.add({"portable", portable_ordered<true>, portable_ordered<false>});
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx2")) {
        runnable.add({"avx2", avx2_ordered<true>, avx2_ordered<false>});
    }
    if (__builtin_cpu_supports("avx512f")) {
        runnable.add({"avx512", avx512_ordered<true>, avx512_ordered<false>});
    }
#endif
    return runnable;
}

}  // namespace

std::span<const Variant> runnable_variants() noexcept {
    static const RunnableVariants<Variant> runnable = find_runnable();
    return runnable.all();
}

const Variant& fastest_variant() noexcept {
    return runnable_variants().back();
}

}  // namespace tarvo::presorted_scan
