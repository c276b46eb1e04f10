#include "parallel/presorted.hpp"

#include <algorithm>
#include <atomic>
#include <iterator>

#include "parallel/config.hpp"
#include "parallel/pool/parallel_for.hpp"
#include "parallel/presorted_scan.hpp"

namespace tarvo {
namespace {

constexpr std::size_t scan_block = presorted_scan_block;
constexpr std::size_t stretch = presorted_parallel_stretch;

const presorted_scan::Variant& scan() noexcept {
    return presorted_scan::fastest_variant();
}

// Runs body(part) for every part in [0, parts): on the pool of `worker`, or on the calling thread
// when there is none.
template <class Body>
void for_each_part(const WorkerContext* worker, std::size_t parts, const Body& body) {
    if (worker == nullptr) {
        for (std::size_t part = 0; part < parts; ++part) body(part);
    } else {
        parallel_for(*worker, 0, parts,
                     [&](const WorkerContext&, std::size_t part) { body(part); });
    }
}

bool ordered(const WorkerContext* worker, ConstSlice s,
             presorted_scan::OrderedScan in_order) noexcept {
    const std::size_t pairs = s.size() - 1;
    std::atomic<bool> broken{false};
    for_each_part(worker, (pairs + stretch - 1) / stretch, [&](std::size_t part) {
        const std::size_t first = part * stretch;
        if (!in_order(s.data() + first, std::min(pairs, first + stretch) - first, broken)) {
            broken.store(true, std::memory_order_relaxed);
        }
    });
    return !broken.load(std::memory_order_relaxed);
}

void reverse(const WorkerContext* worker, Slice s) noexcept {
    const std::size_t half = s.size() / 2;
    for_each_part(worker, (half + stretch - 1) / stretch, [&](std::size_t part) {
        const std::size_t first = part * stretch;
        const std::size_t last = std::min(half, first + stretch);
        std::swap_ranges(s.begin() + first, s.begin() + last,
                         std::make_reverse_iterator(s.end() - first));
    });
}

bool finish_if_ordered(const WorkerContext* worker, Slice s) noexcept {
    if (s.size() < 2) return true;
    if (ordered(worker, s, scan().non_decreasing)) return true;
    if (!ordered(worker, s, scan().non_increasing)) return false;
    reverse(worker, s);
    return true;
}

}  // namespace

bool may_be_presorted(ConstSlice s) noexcept {
    if (s.size() < 2) return true;
    const std::size_t pairs = std::min(s.size() - 1, scan_block);
    const std::atomic<bool> broken{false};
    return scan().non_decreasing(s.data(), pairs, broken) ||
           scan().non_increasing(s.data(), pairs, broken);
}

bool finish_if_presorted(Slice s) noexcept {
    return finish_if_ordered(nullptr, s);
}

bool finish_if_presorted(const WorkerContext& worker, Slice s) noexcept {
    return finish_if_ordered(&worker, s);
}

}  // namespace tarvo
