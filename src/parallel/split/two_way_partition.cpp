#include "parallel/split/two_way_partition.hpp"

#include <algorithm>
#include <array>

#include "parallel/config.hpp"
#include "parallel/pool/parallel_for.hpp"

namespace tarvo::split {
namespace {

// Walks the misplaced elements of one kind in slice order: the high ones before the split are
// the tail of each stripe's range that lies before it, the low ones after the split the part of
// each stripe's low front that lies after it.
class MisplacedCursor {
  public:
    MisplacedCursor(const PartitionedStripes& stripes, std::size_t split, bool highs) noexcept
        : stripes_(stripes), split_(split), highs_(highs) {
        enter_stretch();
    }

    // Skips `count` misplaced elements.
    void skip(std::size_t count) noexcept {
        while (count > 0 && position_ < end_) {
            const std::size_t step = std::min(count, end_ - position_);
            position_ += step;
            count -= step;
            if (position_ == end_) next_stretch();
        }
    }

    std::size_t position() const noexcept { return position_; }
    std::size_t stretch_left() const noexcept { return end_ - position_; }

  private:
    void next_stretch() noexcept {
        ++stripe_;
        enter_stretch();
    }

    // Moves to the first non-empty stretch from stripe_ on (or past the last stripe).
    void enter_stretch() noexcept {
        const std::size_t count = stripes_.lows.size();
        for (; stripe_ < count; ++stripe_) {
            const std::size_t begin = stripes_.bounds[stripe_];
            const std::size_t low_end = begin + stripes_.lows[stripe_];
            position_ = highs_ ? low_end : std::max(begin, split_);
            end_ = highs_ ? std::min(stripes_.bounds[stripe_ + 1], split_) : low_end;
            if (position_ < end_) return;
        }
        position_ = end_ = 0;
    }

    const PartitionedStripes& stripes_;
    std::size_t split_;
    bool highs_;
    std::size_t stripe_ = 0;
    std::size_t position_ = 0;
    std::size_t end_ = 0;
};

}  // namespace

std::size_t partition_stripe(Slice s, std::int64_t pivot) noexcept {
    // Lomuto's scheme without a branch: [0, low) holds low elements, [low, i) high ones; each
    // element read trades places with the first high one and extends the low front if it is low.
    std::size_t low = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const std::int64_t value = s[i];
        s[i] = s[low];
        s[low] = value;
        low += static_cast<std::size_t>(value < pivot);
    }
    return low;
}

std::size_t PartitionedStripes::split() const noexcept {
    std::size_t split = 0;
    for (const std::size_t low : lows) split += low;
    return split;
}

std::size_t PartitionedStripes::misplaced_pairs(std::size_t split) const noexcept {
    std::size_t highs_before_split = 0;
    for (std::size_t i = 0; i < lows.size(); ++i) {
        const std::size_t low_end = bounds[i] + lows[i];
        const std::size_t end = std::min(bounds[i + 1], split);
        if (low_end < end) highs_before_split += end - low_end;
    }
    return highs_before_split;
}

void swap_misplaced(Slice s, const PartitionedStripes& stripes, std::size_t split,
                    std::size_t first, std::size_t last) noexcept {
    MisplacedCursor high(stripes, split, true);
    MisplacedCursor low(stripes, split, false);
    high.skip(first);
    low.skip(first);
    for (std::size_t left = last - first; left > 0;) {
        const std::size_t step = std::min({left, high.stretch_left(), low.stretch_left()});
        std::swap_ranges(s.begin() + high.position(), s.begin() + high.position() + step,
                         s.begin() + low.position());
        high.skip(step);
        low.skip(step);
        left -= step;
    }
}

std::size_t partition(const WorkerContext& worker, Slice s, std::int64_t pivot,
                      std::size_t stripes) noexcept {
    stripes = std::clamp<std::size_t>(stripes, 1, split_stripes_max);
    std::array<std::size_t, split_stripes_max + 1> bounds{};
    std::array<std::size_t, split_stripes_max> lows{};
    for (std::size_t i = 0; i <= stripes; ++i) bounds[i] = s.size() * i / stripes;
    parallel_for(worker, 0, stripes, [&](const WorkerContext&, std::size_t i) {
        lows[i] = partition_stripe(s.subspan(bounds[i], bounds[i + 1] - bounds[i]), pivot);
    });
    const PartitionedStripes partitioned{std::span(bounds.data(), stripes + 1),
                                         std::span(lows.data(), stripes)};
    const std::size_t split = partitioned.split();
    const std::size_t pairs = partitioned.misplaced_pairs(split);
    const std::size_t chunks =
        std::clamp<std::size_t>(pairs / split_elements_per_stripe, 1, stripes);
    parallel_for(worker, 0, chunks, [&](const WorkerContext&, std::size_t c) {
        swap_misplaced(s, partitioned, split, pairs * c / chunks, pairs * (c + 1) / chunks);
    });
    return split;
}

}  // namespace tarvo::split
