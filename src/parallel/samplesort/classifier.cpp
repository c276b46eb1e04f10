#include "parallel/samplesort/classifier.hpp"

#include <bit>
#include <limits>

namespace tarvo::samplesort {
namespace {

// Fills tree[node] and below with sorted[first, last) so that an in-order walk gives them back.
void build_tree(std::int64_t* tree, const std::int64_t* sorted, std::size_t node, std::size_t first,
                std::size_t last) noexcept {
    if (first >= last) return;
    const std::size_t middle = first + (last - first) / 2;
    tree[node] = sorted[middle];
    build_tree(tree, sorted, 2 * node, first, middle);
    build_tree(tree, sorted, 2 * node + 1, middle + 1, last);
}

}  // namespace

bool Classifier::try_linear(std::span<const std::int64_t> sorted_sample,
                            unsigned log_buckets) noexcept {
    low_ = sorted_sample.front();
    const std::uint64_t span =
        static_cast<std::uint64_t>(sorted_sample.back()) - static_cast<std::uint64_t>(low_);
    const unsigned width = static_cast<unsigned>(std::bit_width(span));
    // Fewer distinct values than buckets: the tree's equal-key buckets serve such input better.
    if (width <= log_buckets) return false;
    shift_ = width - log_buckets;
    log_leaves_ = log_buckets;
    const std::size_t buckets = std::size_t{1} << log_buckets;
    const std::size_t most = samplesort_linear_unevenness * sorted_sample.size() / buckets;
    // The sample is sorted, so each bucket's share is a run of it.
    std::size_t run = 0, previous = 0;
    for (std::int64_t value : sorted_sample) {
        const std::size_t bucket = classify_linear(value);
        run = bucket == previous ? run + 1 : 1;
        previous = bucket;
        if (run > most) return false;
    }
    return true;
}

Classifier::Classifier(std::span<const std::int64_t> sorted_sample, unsigned log_buckets) noexcept {
    const std::size_t wanted = (std::size_t{1} << log_buckets) - 1;
    const std::size_t step = sorted_sample.size() / (wanted + 1);
    for (std::size_t i = 1; i <= wanted; ++i) {
        const std::int64_t candidate =
            sorted_sample[step == 0 ? (i * sorted_sample.size()) / (wanted + 1) : i * step - 1];
        if (splitters_ > 0 && sorted_[splitters_ - 1] == candidate) {
            equal_buckets_ = true;
            continue;
        }
        sorted_[splitters_++] = candidate;
    }
    sorted_[splitters_] = sorted_[splitters_ - 1];
    if (!equal_buckets_ && try_linear(sorted_sample, log_buckets)) {
        linear_ = true;
        return;
    }
    log_leaves_ = static_cast<unsigned>(std::bit_width(splitters_));
    std::int64_t padded[std::size_t{1} << samplesort_log_buckets_max];
    const std::size_t leaves = std::size_t{1} << log_leaves_;
    for (std::size_t i = 0; i + 1 < leaves; ++i) {
        padded[i] = i < splitters_ ? sorted_[i] : std::numeric_limits<std::int64_t>::max();
    }
    build_tree(tree_, padded, 1, 0, leaves - 1);
}

template <bool EqualBuckets, unsigned Levels>
void Classifier::classify_all(const std::int64_t* from, std::size_t count, std::int64_t* values,
                              std::size_t* buckets) const noexcept {
    // Descending the tree level by level for several values at once keeps that many independent
    // loads in flight instead of one chain of dependent ones; a fixed depth lets the compiler
    // keep every lane in a register.
    constexpr std::size_t lanes = samplesort_classifier_lanes;
    constexpr std::size_t leaves = std::size_t{1} << Levels;
    std::size_t i = 0;
    for (; i + lanes <= count; i += lanes) {
        std::int64_t value[lanes];
        std::size_t node[lanes];
        for (std::size_t j = 0; j < lanes; ++j) {
            value[j] = values[i + j] = from[i + j];
            node[j] = 1;
        }
        for (unsigned level = 0; level < Levels; ++level) {
            for (std::size_t j = 0; j < lanes; ++j) {
                node[j] = 2 * node[j] + static_cast<std::size_t>(tree_[node[j]] < value[j]);
            }
        }
        for (std::size_t j = 0; j < lanes; ++j) {
            const std::size_t below = node[j] - leaves;
            buckets[i + j] = EqualBuckets
                                 ? 2 * below + static_cast<std::size_t>(sorted_[below] == value[j])
                                 : below;
        }
    }
    for (; i < count; ++i) {
        values[i] = from[i];
        buckets[i] = classify<EqualBuckets>(values[i]);
    }
}

template <bool EqualBuckets>
void Classifier::classify_with_depth(const std::int64_t* from, std::size_t count,
                                     std::int64_t* values, std::size_t* buckets) const noexcept {
    switch (log_leaves_) {
        case 1:
            return classify_all<EqualBuckets, 1>(from, count, values, buckets);
        case 2:
            return classify_all<EqualBuckets, 2>(from, count, values, buckets);
        case 3:
            return classify_all<EqualBuckets, 3>(from, count, values, buckets);
        case 4:
            return classify_all<EqualBuckets, 4>(from, count, values, buckets);
        case 5:
            return classify_all<EqualBuckets, 5>(from, count, values, buckets);
        case 6:
            return classify_all<EqualBuckets, 6>(from, count, values, buckets);
        case 7:
            return classify_all<EqualBuckets, 7>(from, count, values, buckets);
        default:
            return classify_all<EqualBuckets, 8>(from, count, values, buckets);
    }
}

void Classifier::classify_batch(const std::int64_t* from, std::size_t count, std::int64_t* values,
                                std::size_t* buckets) const noexcept {
    if (linear_) {
        for (std::size_t i = 0; i < count; ++i) {
            values[i] = from[i];
            buckets[i] = classify_linear(values[i]);
        }
    } else if (equal_buckets_) {
        classify_with_depth<true>(from, count, values, buckets);
    } else {
        classify_with_depth<false>(from, count, values, buckets);
    }
}

}  // namespace tarvo::samplesort
