#include "parallel/samplesort/value_fill.hpp"

#include <algorithm>

#include "parallel/config.hpp"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace tarvo::samplesort {

bool writes_past_caches(std::size_t len) noexcept {
    return len >= samplesort_fill_past_caches_min;
}

#if defined(__x86_64__)
void fill_value(std::int64_t* first, std::int64_t* last, std::int64_t value,
                bool past_caches) noexcept {
    if (!past_caches) {
        std::fill(first, last, value);
        return;
    }
    // SSE2, in every x86-64: a store of 16 aligned bytes; the write-combining buffers join four
    // of them into a line.
    constexpr std::size_t lanes = sizeof(__m128i) / sizeof(std::int64_t);
    while (first < last && reinterpret_cast<std::uintptr_t>(first) % sizeof(__m128i) != 0) {
        *first++ = value;
    }
    const __m128i values = _mm_set1_epi64x(value);
    for (; last - first >= static_cast<std::ptrdiff_t>(lanes); first += lanes) {
        _mm_stream_si128(reinterpret_cast<__m128i*>(first), values);
    }
    std::fill(first, last, value);
}

void finish_fills() noexcept {
    _mm_sfence();
}
#else
void fill_value(std::int64_t* first, std::int64_t* last, std::int64_t value, bool) noexcept {
    std::fill(first, last, value);
}

void finish_fills() noexcept {}
#endif

}  // namespace tarvo::samplesort
