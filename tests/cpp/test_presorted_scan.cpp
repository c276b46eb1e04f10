#include <doctest/doctest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

#include "parallel/config.hpp"
#include "parallel/presorted_scan.hpp"
#include "sort_patterns.hpp"

using namespace tarvo;

namespace {

constexpr std::size_t block = presorted_scan_block;

// n non-decreasing values over the whole int64 range (negative and positive, so that a scan
// comparing without sign fails), in runs of three equal values, none of them the extremes so
// that a pair can be broken by one step either way.
std::vector<std::int64_t> rising_with_runs(std::size_t n) {
    std::vector<std::int64_t> values = test::sorted_copy(test::random_values((n + 2) / 3, n));
    std::vector<std::int64_t> rising(n);
    for (std::size_t i = 0; i < n; ++i) {
        rising[i] = std::clamp(values[i / 3], std::numeric_limits<std::int64_t>::min() + 1,
                               std::numeric_limits<std::int64_t>::max() - 1);
    }
    return rising;
}

}  // namespace

TEST_CASE("presorted scan: every variant finds the order, and a pair out of it anywhere") {
    const std::atomic<bool> go_on{false};
    for (const presorted_scan::Variant& variant : presorted_scan::runnable_variants()) {
        // Every length up to five vector widths, and either side of a block, up to several.
        std::vector<std::size_t> lengths = {block - 1, block, block + 1, 3 * block + 13};
        for (std::size_t pairs = 1; pairs <= 40; ++pairs) lengths.push_back(pairs);
        for (std::size_t pairs : lengths) {
            const std::vector<std::int64_t> rising = rising_with_runs(pairs + 1);
            const std::vector<std::int64_t> falling(rising.rbegin(), rising.rend());
            const std::vector<std::int64_t> equal(pairs + 1, -7);
            std::vector<std::vector<std::int64_t>> inputs = {rising, falling, equal};
            // Pair k out of order: the first, either side of a block boundary, the middle, the
            // last.
            for (std::size_t k : {std::size_t{0}, block - 1, block, pairs / 2, pairs - 1}) {
                if (k >= pairs) continue;
                std::vector<std::int64_t> broken_rising = rising, broken_falling = falling;
                broken_rising[k + 1] = broken_rising[k] - 1;
                broken_falling[k + 1] = broken_falling[k] + 1;
                inputs.push_back(broken_rising);
                inputs.push_back(broken_falling);
            }
            for (const std::vector<std::int64_t>& input : inputs) {
                INFO(variant.name, ", pairs ", pairs);
                CHECK(variant.non_decreasing(input.data(), pairs, go_on) ==
                      std::is_sorted(input.begin(), input.end()));
                CHECK(variant.non_increasing(input.data(), pairs, go_on) ==
                      std::is_sorted(input.begin(), input.end(), std::greater<>()));
            }
        }
        // Another scan's failure stops this one, ordered or not.
        const std::atomic<bool> stop{true};
        const std::vector<std::int64_t> equal(2 * block, 1);
        CHECK_FALSE(variant.non_decreasing(equal.data(), equal.size() - 1, stop));
        CHECK_FALSE(variant.non_increasing(equal.data(), equal.size() - 1, stop));
    }
}
