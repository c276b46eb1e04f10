#include "utils/analysis.hpp"

#include <algorithm>
#include <array>
#include <cstdint>

namespace tarvo {
namespace {

struct SamplePlan {
    std::size_t size;  // S: positions 0 ... S - 1 are always below len
    std::size_t step;  // d
};

SamplePlan sample_plan(std::size_t len) noexcept {
    if (len <= analysis_sample_size) return {len, 1};
    return {analysis_sample_size, len / analysis_sample_size};
}

// Exact set of at most analysis_sample_size values, kept sorted on the stack: with so few
// values a binary search and a short shift beat hashing, and nothing can fail.
class SampledValues {
  public:
    // Returns false when an equal value is already held. At most analysis_sample_size calls.
    bool insert(std::int64_t value) noexcept {
        std::int64_t* const end = values_.data() + count_;
        std::int64_t* const at = std::lower_bound(values_.data(), end, value);
        if (at != end && *at == value) return false;
        std::copy_backward(at, end, end + 1);
        *at = value;
        ++count_;
        return true;
    }

  private:
    std::array<std::int64_t, analysis_sample_size> values_;
    std::size_t count_ = 0;
};

}  // namespace

double estimate_sortedness(ConstSlice s) noexcept {
    const SamplePlan plan = sample_plan(s.size());
    // Position S exists only when len is above 100 and not a multiple of d.
    const std::size_t points = plan.size * plan.step < s.size() ? plan.size + 1 : plan.size;
    int pairs = 0;  // at most 101 * 100 / 2 = 5,050
    int inversions = 0;
    for (std::size_t p = 0; p < points; ++p) {
        const std::int64_t left = s[p * plan.step];
        for (std::size_t q = p + 1; q < points; ++q) {
            ++pairs;
            if (left > s[q * plan.step]) ++inversions;
        }
    }
    if (pairs == 0) return 1.0;
    const double inverted_share = static_cast<double>(inversions) / static_cast<double>(pairs);
    return 1.0 - inverted_share;
}

double estimate_duplicates(ConstSlice s) noexcept {
    const SamplePlan plan = sample_plan(s.size());
    if (plan.size == 0) return 0.0;
    SampledValues seen;
    int duplicates = 0;
    for (std::size_t p = 0; p < plan.size; ++p) {
        if (!seen.insert(s[p * plan.step])) ++duplicates;
    }
    return static_cast<double>(duplicates) / static_cast<double>(plan.size);
}

}  // namespace tarvo
