#pragma once
// Runs body(runner, i) for every i in [first, last) on the pool of `worker`, splitting the range
// in halves through join so that idle workers steal the larger pieces; `runner` is the context
// of the worker that makes that call. Returns when every call has finished. Call on a worker.

#include <cstddef>

#include "parallel/pool/join.hpp"

namespace tarvo {

template <class Body>
void parallel_for(const WorkerContext& worker, std::size_t first, std::size_t last,
                  const Body& body) {
    if (last - first > 1) {
        const std::size_t mid = first + (last - first) / 2;
        join(
            worker, [&](const WorkerContext& runner) { parallel_for(runner, first, mid, body); },
            [&](const WorkerContext& runner) { parallel_for(runner, mid, last, body); });
        return;
    }
    if (first < last) body(worker, first);
}

}  // namespace tarvo
