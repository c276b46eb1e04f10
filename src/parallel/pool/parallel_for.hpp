#pragma once
// Runs body(i) for every i in [first, last) on the pool, splitting the range in halves through
// join so that idle workers steal the larger pieces. Returns when every call has finished.

#include <cstddef>

#include "parallel/pool/join.hpp"

namespace tarvo {

template <class Body>
void parallel_for(std::size_t first, std::size_t last, const Body& body) {
    if (last - first > 1) {
        const std::size_t mid = first + (last - first) / 2;
        join([&] { parallel_for(first, mid, body); }, [&] { parallel_for(mid, last, body); });
        return;
    }
    if (first < last) body(first);
}

}  // namespace tarvo
