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

// Above pool_sort_sequential_max the first sample's shape decides (pool_method.hpp): a parallel
// method runs where r / workers + pool_sort_fixed_cost_elements / len stays at most
// pool_sort_work_share_percent_max per cent, r being its work ratio (the samplesort's for that
// shape below, or the split sort's), and the kernel alone runs elsewhere. The ratios are the
// samplesort's work (CPU time of all threads) over the kernel's on two workers, the largest
// measured from 6 * 10^5 to 10^7 elements on the patterns whose samples take that shape
// (src/parallel/README.md has the table); with more workers they are assumed to stay as they are.
// 85 %: on two vCPUs sharing one memory bandwidth the wall time came out at 1.0 to 1.15 times
// the work divided by the workers at 10^7 and more at 10^6 (random input), so the prediction
// keeps a margin below one.
inline constexpr std::size_t pool_sort_work_share_percent_max = 85;
// What a call pays for the pool whatever the length (waking the workers, the phases' joins and
// the first sample, some 150-300 us), in elements the kernel sorts in that time.
inline constexpr std::size_t pool_sort_fixed_cost_elements = std::size_t{1} << 15;
// Few values, counted in one read and one write: 0.70-1.02 (four distinct values).
inline constexpr std::size_t samplesort_work_percent_counted = 105;
// A narrow range, every value of it counted: sqrt(n) distinct values 0.36-0.44, values in
// [-5000, 5000) 0.29-0.38; values in [0, 1000) but 1 % over all of int64, which the kernel sorts
// on one worker, 0.50-0.58.
inline constexpr std::size_t samplesort_work_percent_counted_range = 60;
// Linear buckets: random 1.21, values in [0, 10^6) 1.22, nearly sorted 1.18; with repeated values
// in the sample, sqrt(n) distinct values 1.46. 130 rather than 125: on 32 workers the split sort's
// five cuts cost less than the samplesort, whose CPU time at 2^23 over two workers' read 1.19 to
// 1.52 on random input and values in [0, 10^6) against 1.04 to 1.08 for the split sort (two
// scaling runs each).
inline constexpr std::size_t samplesort_work_percent_linear = 130;
inline constexpr std::size_t samplesort_work_percent_linear_with_repeats = 150;
// A linear sample repeats values when at least 1/16 of its neighbours are equal: sqrt(n) distinct
// values give some 40 % at 10^7, values in [0, 10^6) 0.2 %, random input none.
inline constexpr std::size_t samplesort_linear_repeats_share = 16;
// Trimmed linear buckets: 1 % outliers 1.58, Gaussian up to 10^6 1.25.
inline constexpr std::size_t samplesort_work_percent_trimmed_linear = 160;
// Logarithmic buckets: Zipf-like 2.03, exponential 1.78. Two workers never win on these.
inline constexpr std::size_t samplesort_work_percent_logarithmic = 205;
// The tree: Gaussian from 4 * 10^6 on 1.47, at 2 * 10^6 (either shape) 1.54.
inline constexpr std::size_t samplesort_work_percent_tree = 155;
// The tree with equal buckets: 100 values spread over int64, 2.35-3.09 (the kernel is fast on
// few distinct values). Two and three workers never win on these.
inline constexpr std::size_t samplesort_work_percent_tree_with_equal_buckets = 310;

// The split sort's work over the kernel's grows with the cuts on the way to pieces for one worker
// each (log2 of the workers, rounded up): the kernel's work on the pieces hardly shrinks, and each
// cut reads and writes every element once more. Its CPU time at 2^23 on 32 workers (four more
// cuts than on two) over its CPU time on two, two runs of `make bench-scaling`: Gaussian 1.02
// and 1.10, √n distinct values 1.04 and 1.15, heavy values with rare ones 1.12 and 1.17,
// exponential 1.12 and 1.20, 1 % outliers 1.15 and 1.17, Zipf-like 1.22 and 1.24, or 0.5 to 6 %
// of the kernel's work per cut (the faster the kernel on the input, the more a pass weighs); 10
// to 22 % while the stripes' pass was scalar.
inline constexpr std::size_t split_sort_work_percent_per_cut = 5;

// The ordered-input check compares adjacent pairs in blocks of this many without an early exit
// inside a block, so that the scan runs in vector instructions; the first failing block ends it.
inline constexpr std::size_t presorted_scan_block = 256;
// The ordered-input check and the reversal hand the workers stretches of this many elements
// (512 KiB): a stretch takes 8 to 25 us to scan, far longer than a task's hand-over, and the
// shortest slice the workers scan (above pool_sort_sequential_max) gives 8 of them a stretch
// each.
inline constexpr std::size_t presorted_parallel_stretch = std::size_t{1} << 16;
// ... but no more stretches than this many for each worker that can run at once: with more
// workers than processors every further stretch woke a worker only for it to wait, and all-equal
// input at 2^23 took 1.40 to 1.48 times the CPU time on 128 workers as on 2 with 128 stretches.
inline constexpr std::size_t presorted_parts_per_runner = 8;

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
// With one worker the first sample only decides whether a narrow range is counted: one element
// per bucket (256 at 10^7) finds the range, where 16 cost 0.1 to 0.25 ms of reads from memory,
// 1 to 3 % of the kernel's time on 4 distinct values.
inline constexpr std::size_t lone_worker_oversampling = 1;
// A bucket that received more than this many times the average share of the buckets to be
// sorted (and too many elements for a leaf) was missed by its sample: it is partitioned again by
// all the workers rather than left to one. Balanced buckets stay below it: the classifier
// accepts linear buckets up to 3 shares of the sample (samplesort_linear_unevenness).
inline constexpr std::size_t samplesort_overfull_shares = 4;
// Such a bucket's new sample is this many elements per bucket, drawn into the first stripe's
// buffer blocks (free until its classification): a sample that misled once gets four times the
// density, so that a second miss is far less likely.
inline constexpr std::size_t samplesort_resample_oversampling = 4 * samplesort_oversampling;
// The samplesort's memory stays within this many bytes plus 1/samplesort_memory_slice_divisor of
// the slice's bytes, whatever the worker count: stripes beyond it are not made (the partition
// then runs on fewer workers than the pool has; all of them still sort the buckets). 12 MiB
// holds ten stripes; 1/128 of 10^8 elements another five. At 14 MiB the peak resident memory
// that 64 workers added to a sort of 10^8 elements measured 23.4 to 24.0 MiB, too close to the
// 24 MiB it must stay within.
inline constexpr std::size_t samplesort_memory_fixed_bytes = std::size_t{12} << 20;
inline constexpr std::size_t samplesort_memory_slice_divisor = 128;
// Linear buckets (equal stretches of the sampled range, much cheaper to find than a tree's) are
// used when no stretch holds more than this many times its share of the sample: within a small
// factor the buckets are still balanced, while skewed input goes to logarithmic buckets (the
// same test, buckets of one value exempt) or the tree.
inline constexpr std::size_t samplesort_linear_unevenness = 3;
// Logarithmic buckets may be more uneven than that: their alternative is the tree, whose descent
// costs several times their bit width and shifts. Zipf-like input (numpy's zipf(1.2)) has
// doublings of its range that hold 2 % of the values each near its low end: at 3 its sample went
// to the tree, at 8 to logarithmic buckets, which took its work from 2.0 to 1.7 times vqsort's at
// 10^7 and from 2.2 to 1.95 at 10^6; its largest bucket holds 2.4 % of the slice.
inline constexpr std::size_t samplesort_logarithmic_unevenness = 8;
// When the whole sampled range is not even enough, linear buckets are tried over the range left
// once this many buckets' shares of the sample are set aside at each end: outliers up to that
// share (1 % of the input at 10^7, as in 2 shares of 256) then join the end buckets, which grow
// to at most 3 shares beyond the unevenness allowed, instead of forcing the tree's descent.
inline constexpr std::size_t samplesort_linear_trimmed_shares = 2;
// A sample showing at most this many distinct values sends the slice to counting (one read, one
// write) instead of a partition: it is what such a sample's splitters collapse to, and a
// collision-free hash of this many values into samplesort_counting_log_slots slots is found in a
// try or two. The classifier leaves samples this poor in distinct values to the tree with
// equal-key buckets, which the counting falls back on when it meets a value the sample missed.
inline constexpr std::size_t samplesort_counted_values_max = 16;
// 2^8 slots for the counted values: a random odd multiplier separates 16 values in 256 slots with
// probability about 0.6, and the table (2 KiB) and a stripe's tallies (8 KiB) stay in L1.
inline constexpr unsigned samplesort_counting_log_slots = 8;
// Up to this many counted values, a processor with AVX2 compares every element with each of
// them instead of hashing it: 0.2 ns per element at 4 values and 0.38 at 8 against 0.6 for the
// hash; at 16 the accumulators no longer fit the registers (7 ns).
inline constexpr std::size_t samplesort_compared_values_max = 8;
// Multipliers tried before the counting gives up on a sample (0.4^64: never in practice).
inline constexpr std::size_t samplesort_counting_hash_tries = 64;
// A sample whose values span at most this many values sends the slice to counting every value
// of the span (one read, one write), where the slice holds at least
// samplesort_counted_range_density elements per value of it. Each counting stripe's two tallies
// of 2^15 counters (512 KiB) stay in the L2 cache and, with the starts, fit its buffer blocks;
// sqrt(n) distinct values fit up to n = 10^9.
inline constexpr std::size_t samplesort_counted_range_max = std::size_t{1} << 15;
// 16 elements per value: the counting then costs about a nanosecond per element where the kernel
// spends four, and adding up the stripes' tallies weighs little beside it.
inline constexpr std::size_t samplesort_counted_range_density = 16;
// The range is the sample's without 1/128 of it at either end when the whole is too wide: a few
// values far out (1 % of outliers: some 20 of a sample of 4,096 at each end) are then moved
// aside while the rest is counted, and sorted by the kernel.
inline constexpr std::size_t samplesort_counted_range_trimmed_share = 128;
// A stripe gives up counting when more than 1/32 of its elements lie outside the range: the
// sample said they would be rarer, and the kernel sorts them on one worker.
inline constexpr std::size_t samplesort_counted_range_outside_share = 32;
// Elements counted between looks at whether another stripe met a value the sample missed: the
// look costs nothing at this spacing, and a doomed count stops within 32 KiB of reading.
inline constexpr std::size_t samplesort_counting_batch = 4096;
// The countings write slices of at least this many elements (32 MiB, as large as this Zen 4's L3
// cache) past the caches; shorter ones may well be read again from the cache.
inline constexpr std::size_t samplesort_fill_past_caches_min = std::size_t{1} << 22;
// Buckets up to this length are sorted by the kernel: 1 MiB stays in the L2 cache, where the
// kernel runs at its best; longer ones are partitioned again.
inline constexpr std::size_t samplesort_leaf_max = std::size_t{1} << 17;
// A bucket longer than this is partitioned again by all the workers together rather than by
// one, whatever its share; shorter ones are partitioned sequentially (with a stripe's buffers)
// unless they are overfull (samplesort_overfull_shares).
inline constexpr std::size_t samplesort_sequential_partition_max = std::size_t{1} << 23;

// The split sort (split/). A stripe of each partition holds at least this many elements
// (512 KiB): partitioning it takes far longer than handing it to a worker.
inline constexpr std::size_t split_elements_per_stripe = std::size_t{1} << 16;
// Stripes per partition at most; the stripes' counts live on the partitioning worker's stack.
inline constexpr std::size_t split_stripes_max = 64;
// Sides up to this length are sorted by the kernel on one worker, whatever their share of the
// workers: a partition of fewer elements than a stripe holds cannot be shared.
inline constexpr std::size_t split_side_kernel_max = split_elements_per_stripe;
// Elements in the sample a side draws before it is cut: its quantiles fall within some 3 % of
// the slice's.
inline constexpr std::size_t split_sample_size = 1024;
// A value seen this many times in the sample is taken to fill its share of the slice; rarer ones
// are taken as distinct. Three copies in a sample of 1,024 still happen by chance among values
// that repeat a few thousand times each (sqrt(n) distinct values at 10^7), four rarely.
inline constexpr std::size_t split_repeated_in_sample = 4;
// A side that received more than its expected share plus this fraction of the slice was
// misjudged by the sample (eight times its standard deviation): it is cut again by all the parts,
// at most split_misled_retries times on the way to a leaf.
inline constexpr double split_misled_fraction = 0.125;
inline constexpr unsigned split_misled_retries = 2;

// The in-place parallel quicksort the unstable sort falls back on without memory. Ranges up to
// this length are sorted by the kernel as one task. Longer ones are split at pdq_sort's pivot,
// which from pdq_median_of_three_below on is a median of three medians.
inline constexpr std::size_t quicksort_leaf_max = 4096;

}  // namespace tarvo
