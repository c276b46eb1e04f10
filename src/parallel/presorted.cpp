#include "parallel/presorted.hpp"

#include <algorithm>
#include <atomic>
#include <iterator>

#include "parallel/config.hpp"
#include "parallel/pool/parallel_for.hpp"
#include "parallel/pool/registry.hpp"
#include "parallel/presorted_scan.hpp"

namespace tarvo {
namespace {

constexpr std::size_t scan_block = presorted_scan_block;
constexpr std::size_t stretch = presorted_parallel_stretch;

const presorted_scan::Variant& scan() noexcept {
    return presorted_scan::fastest_variant();
}

// Runs body(first, last) over [0, count): on the pool of `worker` in stretches of at least
// presorted_parallel_stretch, but no more than presorted_parts_per_runner for each worker that can
// run at once (more would only wake workers that then wait for a processor), or whole on the
// calling thread when there is no pool.
template <class Body>
void for_each_stretch(const WorkerContext* worker, std::size_t count, const Body& body) {
    if (worker == nullptr) {
        body(0, count);
        return;
    }
    const std::size_t most = presorted_parts_per_runner * worker->worker().registry().running_max();
    const std::size_t parts = std::clamp<std::size_t>((count + stretch - 1) / stretch, 1, most);
    parallel_for(*worker, 0, parts, [&](const WorkerContext&, std::size_t part) {
        body(count * part / parts, count * (part + 1) / parts);
    });
}

bool ordered(const WorkerContext* worker, ConstSlice s,
             presorted_scan::OrderedScan in_order) noexcept {
    std::atomic<bool> broken{false};
    for_each_stretch(worker, s.size() - 1, [&](std::size_t first, std::size_t last) {
        if (!in_order(s.data() + first, last - first, broken)) {
            broken.store(true, std::memory_order_relaxed);
        }
    });
    return !broken.load(std::memory_order_relaxed);
}

void reverse(const WorkerContext* worker, Slice s) noexcept {
    for_each_stretch(worker, s.size() / 2, [&](std::size_t first, std::size_t last) {
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
