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

// Whether a pass reads keys that another thread may change meanwhile: the caller's slice, as
// opposed to a buffer of ours.
enum class Source { shared, own };

// Keys a pass over a shared source scatters per bound check. No counter drops by more than a
// block's length within the block, so a block that starts with every end at least that high
// takes no slot below 0 and runs unchecked. Long enough that the check vanishes in the block's
// cost; short enough that only the pass's last few thousand keys, where the end of digit 0 nears
// 0, take the checked path.
constexpr std::size_t scatter_block = 256;

// Scatters src[from, to) into dst backwards by decimal digit P, taking each key's slot below its
// digit's end (and counting digit P + 1 into next when Counting). Checked: an end at 0 stays
// there, so the slot is inside dst whatever the keys.
template <std::size_t P, bool Checked, bool Counting>
void scatter_range(const std::uint64_t* src, std::uint64_t* dst, std::size_t from, std::size_t to,
                   DigitCounts& ends, DigitCounts* next) noexcept {
    for (std::size_t i = to; i-- > from;) {
        const std::uint64_t key = src[i];
        std::size_t& end = ends[digit<P>(key)];
        if constexpr (Checked) {
            end -= end != 0;
        } else {
            --end;
        }
        dst[end] = key;
        if constexpr (Counting) ++(*next)[digit<P + 1>(key)];
    }
}

// Scatters src[0, n) into dst by decimal digit P. ends[d] holds the number of keys whose digit is
// at most d; walking backwards keeps keys with equal digits in their order, so the pass is stable.
// Counts digit P + 1 of every key into next on the way when next is given: the keys stay the same
// multiset from pass to pass, so the next pass's counts need no read of their own.
//
// Keys read from a shared source may differ from the keys counted, and a digit met more often
// than counted would then take slots below its share, down past 0; such a pass goes in blocks,
// checked where an end is too close to 0 for the block. On unchanged keys no check acts.
template <std::size_t P, Source S, bool Counting>
void scatter_keys(const std::uint64_t* src, std::uint64_t* dst, std::size_t n, DigitCounts& ends,
                  DigitCounts* next) noexcept {
    if constexpr (S == Source::own) {
        scatter_range<P, false, Counting>(src, dst, 0, n, ends, next);
    } else {
        for (std::size_t to = n; to > 0;) {
            const std::size_t from = to > scatter_block ? to - scatter_block : 0;
            if (*std::min_element(ends.begin(), ends.end()) >= to - from) {
                scatter_range<P, false, Counting>(src, dst, from, to, ends, next);
            } else {
                scatter_range<P, true, Counting>(src, dst, from, to, ends, next);
            }
            to = from;
        }
    }
}

template <std::size_t P, Source S>
void scatter_by_digit(const std::uint64_t* src, std::uint64_t* dst, std::size_t n,
                      DigitCounts& ends, DigitCounts* next) noexcept {
    if constexpr (P + 1 < max_decimal_digits) {
        if (next != nullptr) {
            scatter_keys<P, S, true>(src, dst, n, ends, next);
            return;
        }
    }
    scatter_keys<P, S, false>(src, dst, n, ends, next);
}

using ScatterPass = void (*)(const std::uint64_t*, std::uint64_t*, std::size_t, DigitCounts&,
                             DigitCounts*) noexcept;

template <Source S, std::size_t... P>
constexpr std::array<ScatterPass, sizeof...(P)> make_scatter_passes(std::index_sequence<P...>) {
    return {&scatter_by_digit<P, S>...};
}

// One instance per place value: with the divisor a compile-time constant, a digit costs two
// multiplications instead of a 64-bit division.
constexpr auto scatter_passes =
    make_scatter_passes<Source::own>(std::make_index_sequence<max_decimal_digits>{});
constexpr auto shared_scatter_passes =
    make_scatter_passes<Source::shared>(std::make_index_sequence<max_decimal_digits>{});

std::uint64_t largest(std::span<const std::uint64_t> keys) noexcept {
    std::uint64_t max_key = 0;
    for (const std::uint64_t key : keys) max_key = std::max(max_key, key);
    return max_key;
}

// keys.size() >= 2 and max_key, their largest, > 0. Shared keys may change while they are sorted
// (another thread writing into the slice): max_key is then no bound, and when a pass reading them
// finds that they no longer fill the slots counted for them, its output has slots it never wrote;
// the sort stops there and the keys, in whatever order they are, are the result. The passes that
// read the pass buffer read exactly the keys they counted.
std::span<std::uint64_t> sort_keys(std::span<std::uint64_t> keys, std::uint64_t* pass_buffer,
                                   std::uint64_t max_key, Source source) noexcept {
    const std::size_t n = keys.size();
    const std::size_t passes = decimal_digits(max_key);
    DigitCounts counts{};
    for (const std::uint64_t key : keys) ++counts[digit<0>(key)];

    std::uint64_t* src = keys.data();
    std::uint64_t* dst = pass_buffer;
    for (std::size_t p = 0; p < passes; ++p) {
        DigitCounts starts{};  // where each digit's keys begin in dst
        for (std::size_t d = 1; d < radix_base; ++d) starts[d] = starts[d - 1] + counts[d - 1];
        DigitCounts ends;
        for (std::size_t d = 0; d < radix_base; ++d) ends[d] = starts[d] + counts[d];
        counts = {};
        DigitCounts* const next = p + 1 < passes ? &counts : nullptr;
        if (source == Source::shared && src == keys.data()) {
            shared_scatter_passes[p](src, dst, n, ends, next);
            if (ends != starts) return keys;
        } else {
            scatter_passes[p](src, dst, n, ends, next);
        }
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

void radix_sort_unsigned(std::span<std::uint64_t> keys) {
    if (keys.size() < 2) return;
    const std::uint64_t max_key = largest(keys);
    if (max_key == 0) return;
    Buffer<std::uint64_t> pass_buffer(keys.size(), Fill::uninitialized);
    const std::span<std::uint64_t> sorted =
        sort_keys(keys, pass_buffer.data(), max_key, Source::shared);
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

    // Negative magnitudes (in unsigned arithmetic, so INT64_MIN becomes 2^63) fill lists from the
    // front in slice order, the non-negative values from the back. The lists are split where the
    // two meet, not by the count taken above: the slice may change in between (another thread
    // may write into it), and the lists, once filled, are ours alone. The order within a list does
    // not matter, its keys are sorted; the largest keys are taken on the way.
    Buffer<std::uint64_t> lists(n, Fill::uninitialized);
    std::size_t next_negative = 0;
    std::size_t next_non_negative = n;  // one past the next back slot
    std::uint64_t largest_magnitude = 0;
    std::uint64_t largest_non_negative = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t x = s[i];
        const auto bits = static_cast<std::uint64_t>(x);
        const bool negative = x < 0;
        const std::uint64_t key = negative ? 0 - bits : bits;
        next_non_negative -= !negative;
        lists[negative ? next_negative : next_non_negative] = key;
        next_negative += negative;
        largest_magnitude = std::max(largest_magnitude, negative ? key : 0);
        largest_non_negative = std::max(largest_non_negative, negative ? 0 : key);
    }
    const std::size_t negative_count = next_negative;
    const std::span<std::uint64_t> negative_list{lists.data(), negative_count};
    const std::span<std::uint64_t> non_negative_list{lists.data() + negative_count,
                                                     n - negative_count};

    // Only a list of two or more keys whose largest is not 0 goes through passes.
    const auto needs_passes = [](std::span<const std::uint64_t> list, std::uint64_t max_key) {
        return list.size() >= 2 && max_key > 0;
    };
    std::size_t pass_length = 0;
    if (needs_passes(negative_list, largest_magnitude)) pass_length = negative_list.size();
    if (needs_passes(non_negative_list, largest_non_negative)) {
        pass_length = std::max(pass_length, non_negative_list.size());
    }
    Buffer<std::uint64_t> pass_buffer;
    if (pass_length > 0) pass_buffer = Buffer<std::uint64_t>(pass_length, Fill::uninitialized);
    const auto sorted = [&](std::span<std::uint64_t> list, std::uint64_t max_key) {
        if (!needs_passes(list, max_key)) return list;
        return sort_keys(list, pass_buffer.data(), max_key, Source::own);
    };

    // Largest magnitude first, negated back; the key 2^63 comes back as INT64_MIN.
    const std::span<const std::uint64_t> magnitudes = sorted(negative_list, largest_magnitude);
    for (std::size_t i = 0; i < negative_count; ++i) {
        s[i] = static_cast<std::int64_t>(0 - magnitudes[negative_count - 1 - i]);
    }
    const std::span<const std::uint64_t> values = sorted(non_negative_list, largest_non_negative);
    if (!values.empty()) std::memcpy(s.data() + negative_count, values.data(), values.size_bytes());
}

}  // namespace tarvo
