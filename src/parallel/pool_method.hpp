#pragma once
// How the pool-backed sorts sort a slice above pool_sort_sequential_max, chosen from its first
// sample's shape and the worker count: the kernel alone on the calling thread, the split sort, or
// the samplesort. Both parallel methods do more work than the kernel (they read and write every
// element before the pieces are sorted), how much more depending on what the sample shows; the
// workers share that work, so a parallel method wins where its work over the kernel's, divided
// among the workers, stays well below one.

#include <cstddef>

#include "parallel/samplesort/samplesort.hpp"

namespace tarvo {

enum class PoolMethod { kernel, split_sort, samplesort };

// The samplesort's work (CPU time of all threads) over the kernel's on input of this shape, in
// per cent, as measured on two workers (config.hpp).
std::size_t samplesort_work_percent(samplesort::SampleShape shape) noexcept;

// The split sort's work over the kernel's on `workers` workers, in per cent.
std::size_t split_sort_work_percent(std::size_t workers) noexcept;

// Whether the split sort may take slices of this shape: all but the counted ones, which read and
// write every element once in all and leave nothing to sort.
bool split_sort_suits(samplesort::SampleShape shape) noexcept;

// The method expected to sort fastest a slice of `len` elements whose first sample has `shape`,
// on `workers` workers: of the parallel methods the one doing less work, if it beats the kernel
// alone.
PoolMethod choose_pool_method(samplesort::SampleShape shape, std::size_t len,
                              std::size_t workers) noexcept;

}  // namespace tarvo
