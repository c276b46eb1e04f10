#pragma once
// The loops of the ordered-input check, in one variant per instruction set: ordered input is
// recognised by nothing but these loops, so they must keep up with the memory. The widest variant
// the processor runs is chosen once, at the first call. (The reversal needs no such variants: the
// compiler's baseline vectorisation of std::swap_ranges already keeps up with the memory.)

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace tarvo::presorted_scan {

// Whether every pair (a[k], a[k + 1]) with k < pairs is in order. The pairs are compared in blocks
// of presorted_scan_block with no early exit inside a block; the first block with a pair out of
// order, or `stop` found set before a block, ends the scan with false. Reads only.
using OrderedScan = bool (*)(const std::int64_t* a, std::size_t pairs,
                             const std::atomic<bool>& stop) noexcept;

struct Variant {
    std::string_view name;
    OrderedScan non_decreasing;
    OrderedScan non_increasing;
};

// The variants this processor can run, the portable one first and the widest last.
std::span<const Variant> runnable_variants() noexcept;

// The widest of them: the one the ordered-input check uses.
const Variant& fastest_variant() noexcept;

}  // namespace tarvo::presorted_scan
