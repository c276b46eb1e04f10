#pragma once
// Maps an element to its bucket so that buckets are ordered by value: bucket 0 holds the
// smallest values, and every element of bucket b is smaller than every element of bucket b + 1.
// The buckets split the sampled range [low, high] evenly; values outside it fall into the first
// or the last bucket.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "core/slice.hpp"
#include "parallel/bucket_sort/config.hpp"

namespace tarvo::bucket_sort {

class Classifier {
  public:
    // From `sample_size` evenly spaced points of `s` (all of them when shorter).
    static Classifier from_sample(ConstSlice s) noexcept {
        const std::size_t step = std::max<std::size_t>(1, s.size() / sample_size);
        std::int64_t low = s[0], high = s[0];
        for (std::size_t i = 0; i < s.size(); i += step) {
            low = std::min(low, s[i]);
            high = std::max(high, s[i]);
        }
        return Classifier(low, high);
    }

    Classifier(std::int64_t low, std::int64_t high) noexcept : low_(low), high_(high) {
        // Distances are unsigned, so the full int64 range (2^64 - 1) fits.
        const std::uint64_t span =
            static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low);
        const unsigned width = static_cast<unsigned>(std::bit_width(span));
        shift_ = width > bucket_bits ? width - bucket_bits : 0;
    }

    std::size_t operator()(std::int64_t value) const noexcept {
        const std::uint64_t distance =
            static_cast<std::uint64_t>(value) - static_cast<std::uint64_t>(low_);
        const std::uint64_t bucket = std::min<std::uint64_t>(distance >> shift_, bucket_count - 1);
        return value < low_ ? 0 : static_cast<std::size_t>(bucket);
    }

    // The sample held a single value: every element would land in the first bucket.
    bool splits_nothing() const noexcept { return low_ == high_; }

    // How many distinct values one bucket (other than the first and the last) can hold.
    std::uint64_t bucket_span() const noexcept { return std::uint64_t{1} << shift_; }
    std::int64_t low() const noexcept { return low_; }
    unsigned shift() const noexcept { return shift_; }

  private:
    std::int64_t low_;
    std::int64_t high_;
    unsigned shift_ = 0;
};

}  // namespace tarvo::bucket_sort
