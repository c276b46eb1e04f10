#include "parallel/pool_method.hpp"

#include <algorithm>
#include <bit>

#include "parallel/config.hpp"

namespace tarvo {
namespace {

// Whether a method doing `work_percent` of the kernel's work, shared among `workers`, is expected
// to beat the kernel alone on `len` elements: in per cent of the kernel's time, the shared work
// plus what the pool costs whatever the length.
bool pays_off(std::size_t work_percent, std::size_t len, std::size_t workers) noexcept {
    const double expected =
        static_cast<double>(work_percent) / static_cast<double>(workers) +
        100.0 * static_cast<double>(pool_sort_fixed_cost_elements) / static_cast<double>(len);
    return expected <= static_cast<double>(pool_sort_work_share_percent_max);
}

}  // namespace

std::size_t samplesort_work_percent(samplesort::SampleShape shape) noexcept {
    using samplesort::SampleShape;
    switch (shape) {
        case SampleShape::counted:
            return samplesort_work_percent_counted;
        case SampleShape::counted_range:
            return samplesort_work_percent_counted_range;
        case SampleShape::linear:
            return samplesort_work_percent_linear;
        case SampleShape::linear_with_repeats:
            return samplesort_work_percent_linear_with_repeats;
        case SampleShape::trimmed_linear:
            return samplesort_work_percent_trimmed_linear;
        case SampleShape::logarithmic:
            return samplesort_work_percent_logarithmic;
        case SampleShape::tree:
            return samplesort_work_percent_tree;
        case SampleShape::tree_with_equal_buckets:
            break;
    }
    return samplesort_work_percent_tree_with_equal_buckets;
}

std::size_t split_sort_work_percent(std::size_t workers) noexcept {
    const auto cuts =
        static_cast<std::size_t>(std::bit_width(std::max<std::size_t>(workers, 1) - 1));
    return 100 + split_sort_work_percent_per_cut * cuts;
}

bool split_sort_suits(samplesort::SampleShape shape) noexcept {
    using samplesort::SampleShape;
    return shape != SampleShape::counted && shape != SampleShape::counted_range;
}

PoolMethod choose_pool_method(samplesort::SampleShape shape, std::size_t len,
                              std::size_t workers) noexcept {
    if (len <= pool_sort_sequential_max) return PoolMethod::kernel;
    const std::size_t samplesort_work = samplesort_work_percent(shape);
    const std::size_t split_work = split_sort_work_percent(workers);
    if (split_sort_suits(shape) && split_work < samplesort_work) {
        return pays_off(split_work, len, workers) ? PoolMethod::split_sort : PoolMethod::kernel;
    }
    return pays_off(samplesort_work, len, workers) ? PoolMethod::samplesort : PoolMethod::kernel;
}

}  // namespace tarvo
