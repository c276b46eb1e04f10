#pragma once
// Maps an element to its bucket. Buckets are ordered by value. A classifier is one of four kinds,
// chosen once from the sorted sample (in that order of preference):
// - linear: when the sample is spread about evenly over its range, buckets are equal stretches
//   of that range, found with a subtraction and a shift (as in MSD radix sort), which costs far
//   less than a tree's descent; values beyond the range go to the first or the last bucket. The
//   range may leave out the sample's extremes (trimmed linear), so that rare outliers do not
//   spoil it.
// - logarithmic: where neither is even, skewed input (dense near its low end) may be even on a
//   logarithmic scale: the distance from the sample's low end is cut like a floating-point
//   number, by its bit width and the few bits below its leading one, so that every doubling of
//   the distance gets the same number of buckets and the smallest distances each get a bucket of
//   one value, which needs no sorting.
// - tree: a branchless descent of a search tree of splitters, as in super scalar samplesort
//   (Sanders and Winkel, 2004) and IPS4o (Axtmann, Witt, Ferizovic and Sanders, 2017).
// - tree with equal buckets: when the sample repeats a splitter, every splitter also gets an
//   equal-key bucket of its own: bucket 2i holds the values strictly between splitters i - 1 and
//   i, bucket 2i + 1 the copies of splitter i. Such buckets need no sorting, which makes inputs
//   with heavily repeated values cheaper than random ones.
// Each kind is a small type with the same four operations; `visit` is the one place that picks
// the kind's type.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

#include "parallel/config.hpp"

static_assert(tarvo::samplesort_log_buckets_max == 8, "tree descents cover depths 1 to 8");

namespace tarvo::samplesort {

// Room for the splitters of the largest partition, with their equal-key buckets.
inline constexpr std::size_t max_buckets = std::size_t{2} << samplesort_log_buckets_max;

enum class ClassifierKind { linear, trimmed_linear, logarithmic, tree, tree_with_equal_buckets };

// Equal stretches of 2^shift values from `low`; values below go to bucket 0, values beyond the
// last stretch to the last bucket.
struct LinearBuckets {
    std::int64_t low = 0;
    unsigned shift = 0;
    unsigned log_buckets = 0;

    std::size_t count() const noexcept { return std::size_t{1} << log_buckets; }
    static bool is_equal_bucket(std::size_t) noexcept { return false; }
    std::size_t operator()(std::int64_t value) const noexcept {
        const std::uint64_t distance =
            static_cast<std::uint64_t>(value) - static_cast<std::uint64_t>(low);
        const std::uint64_t bucket = std::min<std::uint64_t>(distance >> shift, count() - 1);
        return value < low ? 0 : static_cast<std::size_t>(bucket);
    }
};

// Bucket 0 holds the values below `low`; then distance d = value - low has index d while
// d < 2^(m + 1) (m mantissa bits), and beyond that (e - m - 1) * 2^m plus its top m + 1 bits,
// for bit width e: indices grow with d, 2^m of them per doubling. Buckets 1 to 2^(m + 1) hold one
// distance each, except the last bucket, which also takes everything beyond the sampled range.
struct LogarithmicBuckets {
    std::int64_t low = 0;
    unsigned mantissa_bits = 0;
    std::size_t buckets = 0;

    // Without branches: skewed input mixes short and long distances, and mispredicted branches
    // would cost more than the tree's descent.
    static std::uint64_t index(std::uint64_t distance, unsigned mantissa_bits) noexcept {
        // Distances 0 and 1 both have width 1 here; neither is shifted.
        const int width = 64 - __builtin_clzll(distance | 1);
        const int shift = std::max(width - static_cast<int>(mantissa_bits) - 1, 0);
        return (static_cast<std::uint64_t>(shift) << mantissa_bits) + (distance >> shift);
    }

    std::size_t count() const noexcept { return buckets; }
    bool is_equal_bucket(std::size_t bucket) const noexcept {
        return bucket >= 1 && bucket <= (std::size_t{2} << mantissa_bits) && bucket + 1 < buckets;
    }
    std::size_t operator()(std::int64_t value) const noexcept {
        const std::uint64_t distance =
            static_cast<std::uint64_t>(value) - static_cast<std::uint64_t>(low);
        const std::uint64_t bucket =
            std::min<std::uint64_t>(1 + index(distance, mantissa_bits), buckets - 1);
        const std::uint64_t in_range = -static_cast<std::uint64_t>(value >= low);
        return static_cast<std::size_t>(bucket & in_range);
    }
};

// The distinct splitters, in order and as a perfect binary search tree.
struct SplitterTree {
    // tree[1 .. 2^log_leaves): the splitters (padded with the largest int64) in breadth-first
    // order of a perfect binary search tree.
    std::int64_t tree[std::size_t{1} << samplesort_log_buckets_max] = {};
    // The distinct splitters in order, then the last one again, so that a value above every
    // splitter never matches the entry past them.
    std::int64_t sorted[(std::size_t{1} << samplesort_log_buckets_max) + 1] = {};
    std::size_t splitters = 0;
    unsigned log_leaves = 0;
};

// Descends a SplitterTree; with EqualBuckets, splitter i's copies get bucket 2i + 1.
template <bool EqualBuckets>
struct TreeBuckets {
    const SplitterTree& splitters;

    std::size_t count() const noexcept {
        return EqualBuckets ? 2 * splitters.splitters + 1 : splitters.splitters + 1;
    }
    static bool is_equal_bucket(std::size_t bucket) noexcept {
        return EqualBuckets && bucket % 2 == 1;
    }
    std::size_t operator()(std::int64_t value) const noexcept {
        std::size_t node = 1;
        for (unsigned level = 0; level < splitters.log_leaves; ++level) {
            node = 2 * node + static_cast<std::size_t>(splitters.tree[node] < value);
        }
        // The number of splitters below the value: padding splitters are the largest int64 and
        // never count.
        return bucket_of(node - (std::size_t{1} << splitters.log_leaves), value);
    }
    std::size_t bucket_of(std::size_t below, std::int64_t value) const noexcept {
        if constexpr (EqualBuckets) {
            return 2 * below + static_cast<std::size_t>(splitters.sorted[below] == value);
        } else {
            return below;
        }
    }
};

class Classifier {
  public:
    // From a sample sorted in ascending order: up to 2^log_buckets - 1 evenly spaced splitters,
    // with equal-key buckets if two of them coincide, or the stretches of a kind that needs no
    // splitters where the sample allows it.
    Classifier(std::span<const std::int64_t> sorted_sample, unsigned log_buckets) noexcept;

    ClassifierKind kind() const noexcept { return kind_; }

    // Calls body(buckets) with the kind's small type (LinearBuckets, LogarithmicBuckets or a
    // TreeBuckets) and returns what it returns.
    template <class Body>
    decltype(auto) visit(const Body& body) const {
        switch (kind_) {
            case ClassifierKind::linear:
            case ClassifierKind::trimmed_linear:
                return body(linear_);
            case ClassifierKind::logarithmic:
                return body(logarithmic_);
            case ClassifierKind::tree:
                return body(TreeBuckets<false>{splitters_});
            case ClassifierKind::tree_with_equal_buckets:
                break;
        }
        return body(TreeBuckets<true>{splitters_});
    }

    std::size_t bucket_count() const noexcept {
        return visit([](const auto& buckets) { return buckets.count(); });
    }
    // How many distinct values the splitters took (tree kinds only).
    std::size_t distinct_splitters() const noexcept { return splitters_.splitters; }
    // Every element of an equal-key bucket has the same value.
    bool is_equal_bucket(std::size_t bucket) const noexcept {
        return visit([&](const auto& buckets) { return buckets.is_equal_bucket(bucket); });
    }
    std::size_t operator()(std::int64_t value) const noexcept {
        return visit([&](const auto& buckets) { return buckets(value); });
    }

    // Reads each of from[0, count) once, into values[i], and sets buckets[i] to the bucket of
    // that value; the tree descents of the batch overlap.
    void classify_batch(const std::int64_t* from, std::size_t count, std::int64_t* values,
                        std::size_t* buckets) const noexcept;

  private:
    ClassifierKind kind_ = ClassifierKind::tree;
    LinearBuckets linear_;
    LogarithmicBuckets logarithmic_;
    SplitterTree splitters_;
};

}  // namespace tarvo::samplesort
