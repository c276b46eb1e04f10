#pragma once
// Every tunable of the pool-backed sorts, each with the reason for its value
// (src/parallel/README.md says which measurement chose it). The pool's own settings stand beside
// the code they govern, in pool/.

#include <cstddef>

namespace tarvo {

// par_sort, par_sort_unstable and smart's parallel route.

// Slices up to this length are sorted by the kernel on the calling thread and the pool is not
// made: with two free cores, waking the workers (they sleep between calls) and the phases'
// joins cost some 100-150 us, and the pool-backed sorts beat the kernel alone on random input
// from about 1.2 * 10^5 elements, on Gaussian and skewed input only from about 4 * 10^5.
inline constexpr std::size_t pool_sort_sequential_max = (std::size_t{1} << 19) - 1;

// The ordered-input check compares adjacent pairs in blocks of this many without an early exit
// inside a block, which lets the compiler vectorise the scan; the first failing block ends it.
inline constexpr std::size_t presorted_scan_block = 256;

// The in-place samplesort. Elements move between the slice and per-thread buffers in blocks of
// this many: 2 KiB, large enough that moving a block costs far more than claiming its slot, small
// enough that a buffer block for every bucket stays in the L2 cache.
inline constexpr std::size_t samplesort_block_elements = 256;
// At most 2^8 buckets per partition (twice as many with equal-key buckets): the classifier's
// search tree stays in L1 and a partition still cuts 10^8 elements to cache-sized buckets in two
// steps.
inline constexpr unsigned samplesort_log_buckets_max = 8;
// Each partition aims at buckets of about this many elements, so shorter slices get fewer
// buckets (and fewer half-full buffer blocks to clean up).
inline constexpr std::size_t samplesort_bucket_target = 8192;
// Elements read and classified at a time: a batch's copies and buckets stay in L1 while they are
// appended to their buckets' buffer blocks.
inline constexpr std::size_t samplesort_classification_batch = 64;
// Values descending the classifier's tree side by side: eight independent chains of loads keep
// the core busy where one would wait on each load.
inline constexpr std::size_t samplesort_classifier_lanes = 8;
// Partitions nested deeper than this give up on a bucket that keeps evading its splitters and
// let the kernel (O(n log n) on any input) sort it; 10^10 elements need three.
inline constexpr unsigned samplesort_max_depth = 6;
// A partition gives each worker a stripe of at least this many elements (512 KiB), so that its
// buffers (about 1.1 MiB) never outweigh the data by much and short slices on many workers do
// not obtain memory that no stripe would use.
inline constexpr std::size_t samplesort_elements_per_stripe = std::size_t{1} << 16;
// Sample elements drawn per bucket: splitters from a sample this dense leave buckets within a
// few per cent of equal size.
inline constexpr std::size_t samplesort_oversampling = 16;
// Linear buckets (equal stretches of the sampled range, much cheaper to find than a tree's) are
// used when no stretch holds more than this many times its share of the sample: within a small
// factor the buckets are still balanced, while skewed input goes to logarithmic buckets (the
// same test, buckets of one value exempt) or the tree.
inline constexpr std::size_t samplesort_linear_unevenness = 3;
// When the whole sampled range is not even enough, linear buckets are tried over the range left
// once this many buckets' shares of the sample are set aside at each end: outliers up to that
// share (1 % of the input at 10^7, as in 2 shares of 256) then join the end buckets, which grow
// to at most 3 shares beyond the unevenness allowed, instead of forcing the tree's descent.
inline constexpr std::size_t samplesort_linear_trimmed_shares = 2;
// A sample showing at most this many distinct values skips the partition: vqsort sorts 10^6
// elements of 4 values in 0.5 ns each and of 16 in 0.9 ns, while a partition costs about 3 ns
// per element of work. The kernel sorts every stripe and the slice is refilled from the stripes'
// runs (one worker: the kernel sorts the slice).
inline constexpr std::size_t samplesort_kernel_distinct_max = 16;
// Input whose sample shows few distinct values is sorted by runs when every stripe, once sorted
// by the kernel, holds at most this many runs of equal values (kept in the stripe's buffers):
// far more than such a sample suggests, yet few enough that merging the stripes' runs while
// filling the slice costs nothing next to the fill itself.
inline constexpr std::size_t samplesort_runs_max = 256;
// Buckets up to this length are sorted by the kernel: 1 MiB stays in the L2 cache, where the
// kernel runs at its best; longer ones are partitioned again.
inline constexpr std::size_t samplesort_leaf_max = std::size_t{1} << 17;
// A bucket longer than this is partitioned again by all the workers together rather than by
// the one that holds it; shorter ones are partitioned sequentially (with that worker's buffers).
inline constexpr std::size_t samplesort_sequential_partition_max = std::size_t{1} << 23;

// The in-place parallel quicksort the unstable sort falls back on without memory. Ranges up to
// this length are sorted by the kernel as one task. Longer ones are split at pdq_sort's pivot,
// which from pdq_median_of_three_below on is a median of three medians.
inline constexpr std::size_t quicksort_leaf_max = 4096;

}  // namespace tarvo
