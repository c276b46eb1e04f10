#pragma once
// Maps an element to its bucket with a branchless descent of a search tree of splitters, as in
// super scalar samplesort (Sanders and Winkel, 2004) and IPS4o (Axtmann, Witt, Ferizovic and
// Sanders, 2017). Buckets are ordered by value. When the sample repeats a splitter, every
// splitter also gets an equal-key bucket of its own: bucket 2i holds the values strictly between
// splitters i - 1 and i, bucket 2i + 1 the copies of splitter i. Such buckets need no sorting,
// which makes inputs with few distinct or heavily repeated values cheaper than random ones.
// When the sample is spread about evenly over its range, buckets are instead equal stretches of
// that range, found with a subtraction and a shift (as in MSD radix sort), which costs far less
// than the tree's descent; values beyond the sample's range go to the first or the last bucket.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "parallel/config.hpp"

static_assert(tarvo::samplesort_log_buckets_max == 8, "classify_with_depth covers depths 1 to 8");

namespace tarvo::samplesort {

// Room for the splitters of the largest partition, with their equal-key buckets.
inline constexpr std::size_t max_buckets = std::size_t{2} << samplesort_log_buckets_max;

class Classifier {
  public:
    // From a sample sorted in ascending order: up to 2^log_buckets - 1 evenly spaced splitters,
    // with equal-key buckets if two of them coincide.
    Classifier(std::span<const std::int64_t> sorted_sample, unsigned log_buckets) noexcept;

    std::size_t bucket_count() const noexcept {
        if (linear_) return std::size_t{1} << log_leaves_;
        return equal_buckets_ ? 2 * splitters_ + 1 : splitters_ + 1;
    }
    // How many distinct values the splitters took.
    std::size_t distinct_splitters() const noexcept { return splitters_; }
    // Buckets are equal stretches of the sample's range rather than split by a tree.
    bool is_linear() const noexcept { return linear_; }
    bool has_equal_buckets() const noexcept { return equal_buckets_; }
    // Every element of an equal-key bucket has the same value.
    bool is_equal_bucket(std::size_t bucket) const noexcept {
        return equal_buckets_ && bucket % 2 == 1;
    }

    std::size_t operator()(std::int64_t value) const noexcept {
        if (linear_) return classify_linear(value);
        return equal_buckets_ ? classify<true>(value) : classify<false>(value);
    }

    // Reads each of from[0, count) once, into values[i], and sets buckets[i] to the bucket of
    // that value; the tree descents of the batch overlap.
    void classify_batch(const std::int64_t* from, std::size_t count, std::int64_t* values,
                        std::size_t* buckets) const noexcept;

  private:
    // Whether the sample is even enough for linear buckets, and if so sets them up.
    bool try_linear(std::span<const std::int64_t> sorted_sample, unsigned log_buckets) noexcept;

    std::size_t classify_linear(std::int64_t value) const noexcept {
        const std::uint64_t distance =
            static_cast<std::uint64_t>(value) - static_cast<std::uint64_t>(low_);
        const std::uint64_t last = (std::uint64_t{1} << log_leaves_) - 1;
        const std::uint64_t bucket = std::min(distance >> shift_, last);
        return value < low_ ? 0 : static_cast<std::size_t>(bucket);
    }

    template <bool EqualBuckets>
    std::size_t classify(std::int64_t value) const noexcept {
        std::size_t node = 1;
        for (unsigned level = 0; level < log_leaves_; ++level) {
            node = 2 * node + static_cast<std::size_t>(tree_[node] < value);
        }
        // The number of splitters below the value: padding splitters are the largest int64 and
        // never count.
        const std::size_t below = node - (std::size_t{1} << log_leaves_);
        if constexpr (EqualBuckets) {
            return 2 * below + static_cast<std::size_t>(sorted_[below] == value);
        } else {
            return below;
        }
    }

    template <bool EqualBuckets>
    void classify_with_depth(const std::int64_t* from, std::size_t count, std::int64_t* values,
                             std::size_t* buckets) const noexcept;
    template <bool EqualBuckets, unsigned Levels>
    void classify_all(const std::int64_t* from, std::size_t count, std::int64_t* values,
                      std::size_t* buckets) const noexcept;

    // tree_[1 .. 2^log_leaves_): the splitters (padded with the largest int64) in breadth-first
    // order of a perfect binary search tree.
    std::int64_t tree_[std::size_t{1} << samplesort_log_buckets_max] = {};
    // The distinct splitters in order, then the last one again, so that a value above every
    // splitter never matches the entry past them.
    std::int64_t sorted_[(std::size_t{1} << samplesort_log_buckets_max) + 1] = {};
    std::size_t splitters_ = 0;
    unsigned log_leaves_ = 0;
    bool equal_buckets_ = false;
    bool linear_ = false;
    std::int64_t low_ = 0;
    unsigned shift_ = 0;
};

}  // namespace tarvo::samplesort
