#pragma once
// The choice between the kernel alone on the calling thread and the samplesort on the pool, made
// from the first sample's shape and the worker count. A partition does more work than the kernel
// (it reads and writes every element before the buckets are sorted), how much more depending on
// what the sample shows; the workers share that work, so the samplesort wins where the work over
// the kernel's, divided among the workers, stays well below one.

#include <cstddef>

#include "parallel/samplesort/samplesort.hpp"

namespace tarvo {

// The samplesort's work (CPU time of all threads) over the kernel's on input of this shape, in
// per cent, as measured on two workers (config.hpp).
std::size_t samplesort_work_percent(samplesort::SampleShape shape) noexcept;

// Whether the samplesort on `workers` workers is expected to beat the kernel alone on a slice of
// `len` elements whose first sample has `shape`.
bool samplesort_pays_off(samplesort::SampleShape shape, std::size_t len,
                         std::size_t workers) noexcept;

}  // namespace tarvo
