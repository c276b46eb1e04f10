#include "parallel/samplesort_choice.hpp"

#include "parallel/config.hpp"

namespace tarvo {

std::size_t samplesort_work_percent(samplesort::SampleShape shape) noexcept {
    using samplesort::SampleShape;
    switch (shape) {
        case SampleShape::counted:
            return samplesort_work_percent_counted;
        case SampleShape::linear:
            return samplesort_work_percent_linear;
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

bool samplesort_pays_off(samplesort::SampleShape shape, std::size_t len,
                         std::size_t workers) noexcept {
    if (len <= pool_sort_sequential_max || workers < 2) return false;
    // In per cent of the kernel's time: the partition's work shared among the workers, plus what
    // the pool costs whatever the length.
    const double expected =
        static_cast<double>(samplesort_work_percent(shape)) / static_cast<double>(workers) +
        100.0 * static_cast<double>(pool_sort_fixed_cost_elements) / static_cast<double>(len);
    return expected <= static_cast<double>(pool_sort_work_share_percent_max);
}

}  // namespace tarvo
