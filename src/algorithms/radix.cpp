#include "algorithms/radix.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "core/memory.hpp"

namespace tarvo {
namespace {

// Decimal digits of the largest 64-bit key, 18446744073709551615. Keys made from int64 values
// stay at or below 2^63 and have at most 19.
constexpr std::size_t max_decimal_digits = 20;

constexpr std::uint64_t power_of_ten(std::size_t exponent) {
    std::uint64_t value = 1;
    while (exponent-- > 0) value *= radix_base;
    return value;
}

using DigitCounts = std::array<std::size_t, radix_base>;

template <std::size_t P>
std::size_t digit(std::uint64_t key) noexcept {
    return static_cast<std::size_t>(key / power_of_ten(P) % radix_base);
}

// Scatters src[0, n) into dst by decimal digit P. ends[d] holds the number of keys whose digit is
// at most d; walking backwards keeps keys with equal digits in their order, so the pass is stable.
// Counts digit P + 1 of every key into next on the way: the keys stay the same multiset from
// pass to pass, so the next pass's counts need no read of their own.
template <std::size_t P>
void scatter_by_digit(const std::uint64_t* src, std::uint64_t* dst, std::size_t n,
                      DigitCounts& ends, DigitCounts* next) noexcept {
    if constexpr (P + 1 < max_decimal_digits) {
        if (next != nullptr) {
            for (std::size_t i = n; i-- > 0;) {
                const std::uint64_t key = src[i];
                dst[--ends[digit<P>(key)]] = key;
                ++(*next)[digit<P + 1>(key)];
            }
            return;
        }
    }
    for (std::size_t i = n; i-- > 0;) {
        const std::uint64_t key = src[i];
        dst[--ends[digit<P>(key)]] = key;
    }
}

using ScatterPass = void (*)(const std::uint64_t*, std::uint64_t*, std::size_t, DigitCounts&,
                             DigitCounts*) noexcept;

template <std::size_t... P>
constexpr std::array<ScatterPass, sizeof...(P)> make_scatter_passes(std::index_sequence<P...>) {
    return {&scatter_by_digit<P>...};
}

// One instance per place value: with the divisor a compile-time constant, a digit costs two
// multiplications instead of a 64-bit division.
constexpr auto scatter_passes = make_scatter_passes(std::make_index_sequence<max_decimal_digits>{});

std::uint64_t largest(std::span<const std::uint64_t> keys) noexcept {
    std::uint64_t max_key = 0;
    for (const std::uint64_t key : keys) max_key = std::max(max_key, key);
    return max_key;
}

// keys.size() >= 2 and max_key, their largest, > 0.
std::span<std::uint64_t> sort_keys(std::span<std::uint64_t> keys, std::uint64_t* pass_buffer,
                                   std::uint64_t max_key) noexcept {
    const std::size_t n = keys.size();
    const std::size_t passes = decimal_digits(max_key);
    DigitCounts counts{};
    for (const std::uint64_t key : keys) ++counts[digit<0>(key)];

    std::uint64_t* src = keys.data();
    std::uint64_t* dst = pass_buffer;
    for (std::size_t p = 0; p < passes; ++p) {
        DigitCounts ends = counts;
        for (std::size_t d = 1; d < radix_base; ++d) ends[d] += ends[d - 1];
        counts = {};
        scatter_passes[p](src, dst, n, ends, p + 1 < passes ? &counts : nullptr);
        std::swap(src, dst);
    }
    return {src, n};
}

}  // namespace

std::size_t decimal_digits(std::uint64_t key) noexcept {
    std::size_t digits = 1;
    for (; key >= radix_base; key /= radix_base) ++digits;
    return digits;
}

std::span<std::uint64_t> radix_sort_unsigned(std::span<std::uint64_t> keys,
                                             std::uint64_t* pass_buffer) noexcept {
    if (keys.size() < 2) return keys;
    const std::uint64_t max_key = largest(keys);
    if (max_key == 0) return keys;
    return sort_keys(keys, pass_buffer, max_key);
}

void radix_sort_unsigned(std::span<std::uint64_t> keys) {
    if (keys.size() < 2) return;
    const std::uint64_t max_key = largest(keys);
    if (max_key == 0) return;
    Buffer<std::uint64_t> pass_buffer(keys.size(), Fill::uninitialized);
    const std::span<std::uint64_t> sorted = sort_keys(keys, pass_buffer.data(), max_key);
    if (sorted.data() != keys.data()) {
        std::memcpy(keys.data(), sorted.data(), keys.size_bytes());
    }
}

void radix_sort(Slice s) {
    const std::size_t n = s.size();
    if (n < 2) return;
    std::int64_t lowest = s[0];
    std::int64_t highest = s[0];
    std::size_t negatives = 0;
    for (const std::int64_t x : s) {
        lowest = std::min(lowest, x);
        highest = std::max(highest, x);
        negatives += x < 0;
    }
    if (lowest == 0 && highest == 0) return;
    if (negatives == 0) {
        // Non-negative values are their own keys; int64 and uint64 may alias.
        radix_sort_unsigned({reinterpret_cast<std::uint64_t*>(s.data()), n});
        return;
    }

    // Only a list of two or more keys whose largest is not 0 goes through passes.
    const std::size_t non_negatives = n - negatives;
    std::size_t pass_length = negatives >= 2 ? negatives : 0;
    if (non_negatives >= 2 && highest > 0) pass_length = std::max(pass_length, non_negatives);
    Buffer<std::uint64_t> lists(n, Fill::uninitialized);
    Buffer<std::uint64_t> pass_buffer;
    if (pass_length > 0) pass_buffer = Buffer<std::uint64_t>(pass_length, Fill::uninitialized);

    // Negative magnitudes (in unsigned arithmetic, so INT64_MIN becomes 2^63) fill the front of
    // lists, the non-negative values the back, each in slice order.
    const std::span<std::uint64_t> negative_list{lists.data(), negatives};
    const std::span<std::uint64_t> non_negative_list{lists.data() + negatives, non_negatives};
    std::size_t next_negative = 0;
    std::size_t next_non_negative = negatives;
    for (const std::int64_t x : s) {
        const auto bits = static_cast<std::uint64_t>(x);
        const bool negative = x < 0;
        lists[negative ? next_negative : next_non_negative] = negative ? 0 - bits : bits;
        next_negative += negative;
        next_non_negative += !negative;
    }

    // Largest magnitude first, negated back; the key 2^63 comes back as INT64_MIN.
    const std::span<const std::uint64_t> magnitudes =
        radix_sort_unsigned(negative_list, pass_buffer.data());
    for (std::size_t i = 0; i < negatives; ++i) {
        s[i] = static_cast<std::int64_t>(0 - magnitudes[negatives - 1 - i]);
    }
    if (non_negatives > 0) {
        const std::span<const std::uint64_t> values =
            radix_sort_unsigned(non_negative_list, pass_buffer.data());
        std::memcpy(s.data() + negatives, values.data(), values.size_bytes());
    }
}

}  // namespace tarvo
