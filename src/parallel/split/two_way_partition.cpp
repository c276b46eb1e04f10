#include "parallel/split/two_way_partition.hpp"

#include <algorithm>
#include <array>

#include "parallel/config.hpp"
#include "parallel/pool/parallel_for.hpp"

namespace tarvo::split {
namespace {

// The part of stripe i that holds its low elements (`lows` true) or its high ones, within the
// front piece (`piece` 0) or the back piece (1), clipped to [from, to): a stretch [begin, end),
// empty when begin >= end.
struct Stretch {
    std::size_t begin, end;
};

Stretch stretch_of(const Stripe& stripe, std::size_t lows, bool want_lows, int piece,
                   std::size_t from, std::size_t to) noexcept {
    const std::size_t front_lows = std::min(lows, stripe.front_size());
    const std::size_t back_lows = lows - front_lows;
    std::size_t begin = 0, end = 0;
    if (piece == 0) {
        begin = want_lows ? stripe.front_begin : stripe.front_begin + front_lows;
        end = want_lows ? stripe.front_begin + front_lows : stripe.front_end;
    } else {
        begin = want_lows ? stripe.back_begin : stripe.back_begin + back_lows;
        end = want_lows ? stripe.back_begin + back_lows : stripe.back_end;
    }
    return {std::max(begin, from), std::min(end, to)};
}

// Walks the misplaced elements of one kind: the high ones before the split or the low ones after
// it, over the stripes' front pieces, then their back pieces, in stripe order.
class MisplacedCursor {
  public:
    MisplacedCursor(const PartitionedStripes& stripes, std::size_t split, bool highs) noexcept
        : stripes_(stripes),
          split_(split),
          highs_(highs),
          end_of_slice_(stripes.stripes.empty() ? 0 : stripes.stripes.back().back_end) {
        enter_stretch();
    }

    // Skips `count` misplaced elements.
    void skip(std::size_t count) noexcept {
        while (count > 0 && position_ < end_) {
            const std::size_t step = std::min(count, end_ - position_);
            position_ += step;
            count -= step;
            if (position_ == end_) {
                ++stretch_;
                enter_stretch();
            }
        }
    }

    std::size_t position() const noexcept { return position_; }
    std::size_t stretch_left() const noexcept { return end_ - position_; }

  private:
    // Moves to the first non-empty stretch from stretch_ on (or past the last one).
    void enter_stretch() noexcept {
        const std::size_t count = stripes_.stripes.size();
        for (; stretch_ < 2 * count; ++stretch_) {
            const std::size_t i = stretch_ % count;
            const int piece = stretch_ < count ? 0 : 1;
            const Stretch s =
                highs_ ? stretch_of(stripes_.stripes[i], stripes_.lows[i], false, piece, 0, split_)
                       : stretch_of(stripes_.stripes[i], stripes_.lows[i], true, piece, split_,
                                    end_of_slice_);
            if (s.begin < s.end) {
                position_ = s.begin;
                end_ = s.end;
                return;
            }
        }
        position_ = end_ = 0;
    }

    const PartitionedStripes& stripes_;
    std::size_t split_;
    bool highs_;
    std::size_t end_of_slice_;
    std::size_t stretch_ = 0;
    std::size_t position_ = 0;
    std::size_t end_ = 0;
};

// floor(a * b / c) without overflow, for b <= c.
std::size_t scaled(std::size_t a, std::size_t b, std::size_t c) noexcept {
    return static_cast<std::size_t>(static_cast<unsigned __int128>(a) * b / c);
}

}  // namespace

void lay_out(std::size_t len, std::size_t expected_lows, std::span<Stripe> stripes) noexcept {
    // Stripe i covers elements [len * i / k, len * (i + 1) / k) of a virtual order that puts the
    // expected low side's positions first; the fronts take floor(expected_lows / len) of every
    // prefix, the backs the rest, so both tile their side without gaps.
    const std::size_t k = stripes.size();
    const std::size_t lows = std::min(expected_lows, len);
    const auto front_of = [&](std::size_t prefix) {
        return len == 0 ? 0 : scaled(prefix, lows, len);
    };
    for (std::size_t i = 0; i < k; ++i) {
        const std::size_t first = len * i / k, last = len * (i + 1) / k;
        stripes[i] = Stripe{front_of(first), front_of(last), lows + first - front_of(first),
                            lows + last - front_of(last)};
    }
}

std::size_t PartitionedStripes::split() const noexcept {
    std::size_t split = 0;
    for (const std::size_t low : lows) split += low;
    return split;
}

std::size_t PartitionedStripes::misplaced_pairs(std::size_t split) const noexcept {
    std::size_t highs_before_split = 0;
    for (std::size_t i = 0; i < stripes.size(); ++i) {
        for (int piece = 0; piece < 2; ++piece) {
            const Stretch s = stretch_of(stripes[i], lows[i], false, piece, 0, split);
            if (s.begin < s.end) highs_before_split += s.end - s.begin;
        }
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
        if (step == 0) return;
        std::swap_ranges(s.begin() + high.position(), s.begin() + high.position() + step,
                         s.begin() + low.position());
        high.skip(step);
        low.skip(step);
        left -= step;
    }
}

std::size_t partition(const WorkerContext& worker, Slice s, std::int64_t pivot, std::size_t stripes,
                      std::size_t expected_lows) noexcept {
    stripes = std::clamp<std::size_t>(stripes, 1, split_stripes_max);
    std::array<Stripe, split_stripes_max> layout{};
    std::array<std::size_t, split_stripes_max> lows{};
    lay_out(s.size(), expected_lows, std::span(layout.data(), stripes));
    parallel_for(worker, 0, stripes, [&](const WorkerContext&, std::size_t i) {
        lows[i] = partition_stripe(s, layout[i], pivot);
    });
    const PartitionedStripes partitioned{std::span(layout.data(), stripes),
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
