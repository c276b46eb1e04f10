#include "parallel/split/split_point.hpp"

#include <algorithm>
#include <cmath>

#include "parallel/config.hpp"

namespace tarvo::split {
namespace {

// Calls visit(first, seen) for each run of equal values of `sorted`: its first index and length.
template <class Visit>
void for_each_value(ConstSlice sorted, Visit visit) {
    for (std::size_t i = 0; i < sorted.size();) {
        std::size_t j = i + 1;
        while (j < sorted.size() && sorted[j] == sorted[i]) ++j;
        visit(i, j - i);
        i = j;
    }
}

}  // namespace

double element_work(std::size_t len, double copies) noexcept {
    return std::log2(std::max(2.0, static_cast<double>(len) / std::max(copies, 1.0)));
}

std::optional<SplitPoint> choose_split(ConstSlice sorted_sample, std::size_t len,
                                       double low_work_share) noexcept {
    const std::size_t m = sorted_sample.size();
    if (m < 2 || sorted_sample.front() == sorted_sample.back()) return std::nullopt;
    // Each side of the split holds about half the slice, so an element's work is reckoned in a
    // slice of len / 2.
    const std::size_t side = std::max<std::size_t>(len / 2, 1);
    const double per_sampled_copy = static_cast<double>(len) / static_cast<double>(m);
    const auto run_work = [&](std::size_t seen) {
        const double copies =
            seen >= split_repeated_in_sample ? static_cast<double>(seen) * per_sampled_copy : 1.0;
        return static_cast<double>(seen) * element_work(side, copies);
    };
    double total = 0;
    for_each_value(sorted_sample, [&](std::size_t, std::size_t seen) { total += run_work(seen); });
    // The first copy of a value whose work below comes nearest the target.
    const double target = low_work_share * total;
    double below = 0, best_distance = total + 1;
    std::size_t best = 0;
    for_each_value(sorted_sample, [&](std::size_t first, std::size_t seen) {
        if (first > 0 && std::abs(below - target) < best_distance) {
            best_distance = std::abs(below - target);
            best = first;
        }
        below += run_work(seen);
    });
    return SplitPoint{sorted_sample[best], static_cast<double>(best) / static_cast<double>(m)};
}

}  // namespace tarvo::split
