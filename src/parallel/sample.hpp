#pragma once
// The samples the pool-backed sorts take their splitters (the samplesort) and cuts (the split
// sort) from. Their positions are pseudo-random (evenly spaced ones would alias with periodic
// input) and follow from a seed that the process draws once from the system's random source and
// mixes with a count of the samples taken, so that nobody can predict from the length which
// elements will be read and build input that misleads the splitters.

#include <cstddef>
#include <cstdint>

#include "core/slice.hpp"
#include "parallel/pool/worker_context.hpp"

namespace tarvo {

// A fresh seed for each sample: the process's random seed mixed with a running count.
std::uint64_t next_sample_seed() noexcept;

// Draws min(len, per_bucket << log_buckets) elements of `s` into `room`, each read once, unsorted;
// returns them.
Slice draw_sample(ConstSlice s, std::int64_t* room, std::size_t per_bucket,
                  unsigned log_buckets) noexcept;

// draw_sample's elements, sorted on `worker`.
ConstSlice sorted_sample(const WorkerContext& worker, ConstSlice s, std::int64_t* room,
                         std::size_t per_bucket, unsigned log_buckets) noexcept;

}  // namespace tarvo
