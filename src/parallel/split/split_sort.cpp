#include "parallel/split/split_sort.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "parallel/config.hpp"
#include "parallel/pool/join.hpp"
#include "parallel/samplesort/sample.hpp"
#include "parallel/sort_kernel.hpp"
#include "parallel/split/split_point.hpp"
#include "parallel/split/two_way_partition.hpp"

namespace tarvo::split {
namespace {

void sort_side(const WorkerContext& worker, Slice s, std::size_t parts, unsigned retries) noexcept;

// `retries` bounds how often a side that received far more than its sample promised is cut
// again by all the parts instead of its share of them.
void cut(const WorkerContext& worker, Slice s, ConstSlice sorted_sample, std::size_t parts,
         unsigned retries) noexcept {
    const std::size_t low_parts = parts / 2;
    const auto point = choose_split(sorted_sample, s.size(),
                                    static_cast<double>(low_parts) / static_cast<double>(parts));
    if (!point) {
        kernel_sort(worker, s);  // a sample of one value: the kernel makes short work of it
        return;
    }
    const std::size_t stripes = std::clamp<std::size_t>(s.size() / split_elements_per_stripe, 1,
                                                        std::min(parts, split_stripes_max));
    const std::size_t lows = partition(worker, s, point->pivot, stripes);
    std::size_t high_parts = parts - low_parts, low_side_parts = low_parts;
    const double expected = point->low_fraction * static_cast<double>(s.size());
    if (retries > 0 && std::abs(static_cast<double>(lows) - expected) >
                           static_cast<double>(s.size()) * split_misled_fraction) {
        // The sample misled: the side that got more than its share is cut again by all the
        // parts, so that no worker is left with most of the slice.
        if (static_cast<double>(lows) > expected) {
            low_side_parts = parts;
        } else {
            high_parts = parts;
        }
        --retries;
    }
    join(
        worker,
        [&](const WorkerContext& runner) {
            sort_side(runner, s.first(lows), low_side_parts, retries);
        },
        [&](const WorkerContext& runner) {
            sort_side(runner, s.subspan(lows), high_parts, retries);
        });
}

void sort_side(const WorkerContext& worker, Slice s, std::size_t parts, unsigned retries) noexcept {
    if (parts < 2 || s.size() <= split_side_kernel_max) {
        kernel_sort(worker, s);
        return;
    }
    std::array<std::int64_t, split_sample_size> room;
    const Slice sample = samplesort::draw_sample(s, room.data(), split_sample_size, 0);
    kernel_sort(worker, sample);
    cut(worker, s, sample, parts, retries);
}

}  // namespace

void sort(const WorkerContext& worker, Slice s, ConstSlice sorted_sample,
          std::size_t parts) noexcept {
    if (parts < 2 || s.size() <= split_side_kernel_max) {
        kernel_sort(worker, s);
        return;
    }
    cut(worker, s, sorted_sample, parts, split_misled_retries);
}

}  // namespace tarvo::split
