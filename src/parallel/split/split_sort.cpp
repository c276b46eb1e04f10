#include "parallel/split/split_sort.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "parallel/config.hpp"
#include "parallel/pool/join.hpp"
#include "parallel/sample.hpp"
#include "parallel/sort_kernel.hpp"
#include "parallel/split/split_point.hpp"
#include "parallel/split/two_way_partition.hpp"

namespace tarvo::split {
namespace {

// How a sort proceeds below its first cut: the leaves' length and the retries left for sides that
// a sample misjudged.
struct Budget {
    std::size_t leaf_max;
    unsigned retries;
};

void sort_side(const WorkerContext& worker, Slice s, std::size_t parts, Budget budget) noexcept;

// `budget.retries` bounds how often a side that received far more than its sample promised is
// cut again by all the parts instead of its share of them.
void cut(const WorkerContext& worker, Slice s, ConstSlice sorted_sample, std::size_t parts,
         Budget budget) noexcept {
    const std::size_t low_parts = parts / 2;
    const auto point = choose_split(sorted_sample, s.size(),
                                    static_cast<double>(low_parts) / static_cast<double>(parts));
    if (!point) {
        kernel_sort(worker, s);  // a sample of one value: the kernel makes short work of it
        return;
    }
    const std::size_t stripes = std::clamp<std::size_t>(s.size() / split_elements_per_stripe, 1,
                                                        std::min(parts, split_stripes_max));
    const double expected = point->low_fraction * static_cast<double>(s.size());
    const std::size_t lows = partition(worker, s, point->pivot, stripes,
                                       std::min(static_cast<std::size_t>(expected), s.size()));
    std::size_t high_parts = parts - low_parts, low_side_parts = low_parts;
    if (budget.retries > 0 && std::abs(static_cast<double>(lows) - expected) >
                                  static_cast<double>(s.size()) * split_misled_fraction) {
        // The sample misled: the side that got more than its share is cut again by all the
        // parts, so that no worker is left with most of the slice.
        if (static_cast<double>(lows) > expected) {
            low_side_parts = parts;
        } else {
            high_parts = parts;
        }
        --budget.retries;
    }
    join(
        worker,
        [&](const WorkerContext& runner) {
            sort_side(runner, s.first(lows), low_side_parts, budget);
        },
        [&](const WorkerContext& runner) {
            sort_side(runner, s.subspan(lows), high_parts, budget);
        });
}

void sort_side(const WorkerContext& worker, Slice s, std::size_t parts, Budget budget) noexcept {
    if (parts < 2 || s.size() <= budget.leaf_max) {
        kernel_sort(worker, s);
        return;
    }
    std::array<std::int64_t, split_sample_size> room;
    const Slice sample = draw_sample(s, room.data(), split_sample_size, 0);
    kernel_sort(worker, sample);
    cut(worker, s, sample, parts, budget);
}

}  // namespace

void sort(const WorkerContext& worker, Slice s, ConstSlice sorted_sample, std::size_t parts,
          std::size_t leaf_max) noexcept {
    if (parts < 2 || s.size() <= leaf_max) {
        kernel_sort(worker, s);
        return;
    }
    cut(worker, s, sorted_sample, parts, Budget{leaf_max, split_misled_retries});
}

}  // namespace tarvo::split
