#pragma once
// Sorting input of few distinct values by counting its runs: the kernel sorts every stripe (it is
// at its fastest on few values), each stripe's runs of equal values are counted, and the slice
// is rewritten from those counts, every participant filling its own share of it. That is one
// parallel kernel pass and one write pass, where a partition would classify, permute and clean
// up every element only to find nearly all of them in equal-key buckets.

#include <optional>
#include <span>

#include "core/slice.hpp"
#include "parallel/pool/worker_context.hpp"
#include "parallel/samplesort/workspace.hpp"

namespace tarvo::samplesort {

// How a stripe's runs are kept: their values in ascending order and their lengths, in the
// stripe's buffer blocks (unused outside a partition).
struct Runs {
    const std::int64_t* values;
    const std::int64_t* lengths;
    std::size_t count;
};

// Counts the runs of equal values of `stripe`, sorted by the caller, into `memory`'s buffers.
// Empty when there are more than samplesort_runs_max. A value read out of order (only a thread
// writing into the slice meanwhile can cause that) joins the run before it, so the values stay
// strictly ascending and the lengths always add up to the stripe's length.
std::optional<Runs> count_runs(ConstSlice stripe, const StripeMemory& memory) noexcept;

// Sorts `s` with one stripe per element of `stripes` (two or more), on the pool of `worker`,
// and returns true, or returns false when some stripe holds too many runs: `s` then holds its
// elements with every stripe sorted, and still needs sorting.
bool sort_by_runs(const WorkerContext& worker, Slice s,
                  std::span<const StripeMemory> stripes) noexcept;

}  // namespace tarvo::samplesort
