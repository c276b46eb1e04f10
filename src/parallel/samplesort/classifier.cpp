#include "parallel/samplesort/classifier.hpp"

#include <bit>
#include <limits>
#include <optional>

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

// Whether no bucket but an equal-key one takes more than `most` of `sorted_values`: the values
// are sorted, so each bucket's share is a run of them.
template <class Buckets>
bool is_even(const Buckets& buckets, std::span<const std::int64_t> sorted_values,
             std::size_t most) noexcept {
    std::size_t run = 0, previous = 0;
    for (std::int64_t value : sorted_values) {
        const std::size_t bucket = buckets(value);
        run = bucket == previous ? run + 1 : 1;
        previous = bucket;
        if (run > most && !buckets.is_equal_bucket(bucket)) return false;
    }
    return true;
}

// Linear buckets over the range of the sample without its `trimmed` smallest and largest
// values, if that sample is even enough; the values trimmed count towards the end buckets.
std::optional<LinearBuckets> fit_linear(std::span<const std::int64_t> sorted_sample,
                                        unsigned log_buckets, std::size_t trimmed) noexcept {
    const std::int64_t low = sorted_sample[trimmed];
    const std::uint64_t span = static_cast<std::uint64_t>(sorted_sample.end()[-1 - trimmed]) -
                               static_cast<std::uint64_t>(low);
    const unsigned width = static_cast<unsigned>(std::bit_width(span));
    // Fewer distinct values than buckets: the tree's equal-key buckets serve such input better.
    if (width <= log_buckets) return std::nullopt;
    const LinearBuckets buckets{low, width - log_buckets, log_buckets};
    const std::size_t most = samplesort_linear_unevenness * sorted_sample.size() / buckets.count();
    if (!is_even(buckets, sorted_sample.subspan(trimmed, sorted_sample.size() - 2 * trimmed),
                 most)) {
        return std::nullopt;
    }
    return buckets;
}

// Logarithmic buckets over the sample's range, if the sample is even enough on that scale
// (leaving aside the buckets of a single value, which need no sorting however full).
std::optional<LogarithmicBuckets> fit_logarithmic(std::span<const std::int64_t> sorted_sample,
                                                  unsigned log_buckets) noexcept {
    const std::int64_t low = sorted_sample.front();
    const std::uint64_t span =
        static_cast<std::uint64_t>(sorted_sample.back()) - static_cast<std::uint64_t>(low);
    const std::size_t room = std::size_t{1} << log_buckets;
    // As many mantissa bits as the buckets allow: bucket 0, then the span's index and below.
    for (unsigned bits = log_buckets;; --bits) {
        const std::size_t needed = 2 + LogarithmicBuckets::index(span, bits);
        if (needed <= room) {
            const LogarithmicBuckets buckets{low, bits, needed};
            const std::size_t most =
                samplesort_logarithmic_unevenness * sorted_sample.size() / room;
            if (!is_even(buckets, sorted_sample, most)) return std::nullopt;
            return buckets;
        }
        if (bits == 0) return std::nullopt;
    }
}

template <bool EqualBuckets, unsigned Levels>
void descend_all(const TreeBuckets<EqualBuckets>& buckets, const std::int64_t* from,
                 std::size_t count, std::int64_t* values, std::size_t* targets) noexcept {
    // Descending the tree level by level for several values at once keeps that many independent
    // loads in flight instead of one chain of dependent ones; a fixed depth lets the compiler
    // keep every lane in a register.
    constexpr std::size_t lanes = samplesort_classifier_lanes;
    constexpr std::size_t leaves = std::size_t{1} << Levels;
    const std::int64_t* tree = buckets.splitters.tree;
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
                node[j] = 2 * node[j] + static_cast<std::size_t>(tree[node[j]] < value[j]);
            }
        }
        for (std::size_t j = 0; j < lanes; ++j) {
            targets[i + j] = buckets.bucket_of(node[j] - leaves, value[j]);
        }
    }
    for (; i < count; ++i) {
        values[i] = from[i];
        targets[i] = buckets(values[i]);
    }
}

template <bool EqualBuckets>
void classify_each(const TreeBuckets<EqualBuckets>& buckets, const std::int64_t* from,
                   std::size_t count, std::int64_t* values, std::size_t* targets) noexcept {
    switch (buckets.splitters.log_leaves) {
        case 1:
            return descend_all<EqualBuckets, 1>(buckets, from, count, values, targets);
        case 2:
            return descend_all<EqualBuckets, 2>(buckets, from, count, values, targets);
        case 3:
            return descend_all<EqualBuckets, 3>(buckets, from, count, values, targets);
        case 4:
            return descend_all<EqualBuckets, 4>(buckets, from, count, values, targets);
        case 5:
            return descend_all<EqualBuckets, 5>(buckets, from, count, values, targets);
        case 6:
            return descend_all<EqualBuckets, 6>(buckets, from, count, values, targets);
        case 7:
            return descend_all<EqualBuckets, 7>(buckets, from, count, values, targets);
        default:
            return descend_all<EqualBuckets, 8>(buckets, from, count, values, targets);
    }
}

// Linear and logarithmic buckets cost a few independent operations per value: one at a time.
template <class Buckets>
void classify_each(const Buckets& buckets, const std::int64_t* from, std::size_t count,
                   std::int64_t* values, std::size_t* targets) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        values[i] = from[i];
        targets[i] = buckets(values[i]);
    }
}

}  // namespace

Classifier::Classifier(std::span<const std::int64_t> sorted_sample, unsigned log_buckets) noexcept {
    const std::size_t wanted = (std::size_t{1} << log_buckets) - 1;
    const std::size_t step = sorted_sample.size() / (wanted + 1);
    std::size_t& splitters = splitters_.splitters;
    bool repeated = false;
    for (std::size_t i = 1; i <= wanted; ++i) {
        const std::int64_t candidate =
            sorted_sample[step == 0 ? (i * sorted_sample.size()) / (wanted + 1) : i * step - 1];
        if (splitters > 0 && splitters_.sorted[splitters - 1] == candidate) {
            repeated = true;
            continue;
        }
        splitters_.sorted[splitters++] = candidate;
    }
    splitters_.sorted[splitters] = splitters_.sorted[splitters - 1];
    if (!repeated) {
        // Stretches of the whole sampled range, or else of the range without a few buckets'
        // shares of the sample at either end: a few values far out (outliers) then join the end
        // buckets instead of stretching every bucket over a range the bulk of the values does
        // not fill (only while what is left is at least half the sample).
        const std::size_t trimmed =
            (sorted_sample.size() >> log_buckets) * samplesort_linear_trimmed_shares;
        if (const auto whole = fit_linear(sorted_sample, log_buckets, 0)) {
            kind_ = ClassifierKind::linear;
            linear_ = *whole;
            return;
        }
        if (4 * trimmed <= sorted_sample.size()) {
            if (const auto inner = fit_linear(sorted_sample, log_buckets, trimmed)) {
                kind_ = ClassifierKind::trimmed_linear;
                linear_ = *inner;
                return;
            }
        }
    }
    // Few distinct values are better served by the tree's equal-key buckets.
    if (splitters > samplesort_counted_values_max) {
        if (const auto skewed = fit_logarithmic(sorted_sample, log_buckets)) {
            kind_ = ClassifierKind::logarithmic;
            logarithmic_ = *skewed;
            return;
        }
    }
    kind_ = repeated ? ClassifierKind::tree_with_equal_buckets : ClassifierKind::tree;
    splitters_.log_leaves = static_cast<unsigned>(std::bit_width(splitters));
    std::int64_t padded[std::size_t{1} << samplesort_log_buckets_max];
    const std::size_t leaves = std::size_t{1} << splitters_.log_leaves;
    for (std::size_t i = 0; i + 1 < leaves; ++i) {
        padded[i] = i < splitters ? splitters_.sorted[i] : std::numeric_limits<std::int64_t>::max();
    }
    build_tree(splitters_.tree, padded, 1, 0, leaves - 1);
}

void Classifier::classify_batch(const std::int64_t* from, std::size_t count, std::int64_t* values,
                                std::size_t* buckets) const noexcept {
    visit([&](const auto& kind) { classify_each(kind, from, count, values, buckets); });
}

}  // namespace tarvo::samplesort
