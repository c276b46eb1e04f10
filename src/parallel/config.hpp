#pragma once
// Every tunable of the pool and of the pool-backed sorts, each with the reason for its value
// (src/parallel/README.md says which measurement chose it), and how many worker threads the
// pool starts. Read once, when the pool is created:
//   1. "RAYON_NUM_THREADS" holding a decimal unsigned integer: a positive value is the count,
//      0 means the default count.
//   2. Otherwise "RAYON_RS_NUM_CPUS" holding a positive decimal integer is the count.
//   3. Otherwise the default count: the processors of the affinity set, lowered by a cgroup CPU
//      quota, or 1 when neither can be read.
// Every count is capped at max_worker_threads. The parsing and the default are pure functions
// over their inputs so that tests can feed them fake environments and fake cgroup trees.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>

namespace tarvo {

// ---- The pool

// Worker indices fit in 16 bits; a larger request is lowered to this.
inline constexpr std::size_t max_worker_threads = 65535;

// Every worker thread gets this much stack, or the platform's minimum if that is larger: ample
// for joins nested as deep as halving a slice allows.
inline constexpr std::size_t worker_stack_bytes = std::size_t{2} << 20;

// Failed idle looks for work before a worker goes to sleep: a short spin catches the next job of
// a busy pool without paying for a sleep and a wake-up, and an idle pool soon uses no CPU.
inline constexpr unsigned idle_rounds_before_sleep = 32;

// ---- The pool-backed sorts (par_sort, par_sort_unstable, smart's parallel route)

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
// factor the buckets are still balanced, while skewed input goes to the tree.
inline constexpr std::size_t samplesort_linear_unevenness = 3;
// A sample showing at most this many distinct values hands the slice to the kernel: vqsort
// sorts 10^6 elements of 4 values in 0.5 ns each and of 16 in 0.9 ns, while a partition costs
// about 3 ns per element of work, so with few workers the kernel alone finishes first.
inline constexpr std::size_t samplesort_kernel_distinct_max = 16;
// Buckets up to this length are sorted by the kernel: 1 MiB stays in the L2 cache, where the
// kernel runs at its best; longer ones are partitioned again.
inline constexpr std::size_t samplesort_leaf_max = std::size_t{1} << 17;
// A bucket longer than this is partitioned again by all the workers together rather than by
// the one that holds it; shorter ones are partitioned sequentially (with that worker's buffers).
inline constexpr std::size_t samplesort_sequential_partition_max = std::size_t{1} << 23;

// The in-place parallel quicksort the unstable sort falls back on without memory. Ranges up to
// this length are sorted by the kernel as one task.
inline constexpr std::size_t quicksort_leaf_max = 4096;
// Up to this length the pivot is a median of three; longer ranges use a median of three
// medians, which resists crafted inputs.
inline constexpr std::size_t quicksort_median_of_three_max = 127;

// ---- How many workers

// A decimal unsigned integer: an optional leading '+', then one or more digits and nothing else
// (no blanks, no sign '-'). Empty when the text is not one or does not fit in size_t.
std::optional<std::size_t> parse_thread_count(std::string_view text);

// The count from the two variables' values (empty optional: unset) and the default count.
std::size_t choose_thread_count(std::optional<std::string_view> num_threads,
                                std::optional<std::string_view> rs_num_cpus,
                                std::size_t default_count);

// Where the process's CPU controller lives: its cgroup directory and the mount point of the
// hierarchy above it; v1 and v2 name the quota in different files.
struct CpuCgroup {
    int version = 0;  // 1 or 2
    std::filesystem::path directory;
    std::filesystem::path mount_point;
};

// Finds the CPU cgroup from the texts of /proc/self/cgroup and /proc/self/mountinfo. A v1
// hierarchy carrying the "cpu" controller wins over the v2 one, as the kernel applies both.
std::optional<CpuCgroup> locate_cpu_cgroup(std::string_view proc_cgroup,
                                           std::string_view mountinfo);

// The tightest CPU quota on the way from the cgroup directory up to its mount point, in whole
// processors rounded up ("150000 100000" is 2). Empty when no level sets a quota.
std::optional<std::size_t> cgroup_cpu_quota(const CpuCgroup& cgroup);

// affinity_cpus of 0 means unknown; the result is at least 1 and at most max_worker_threads.
std::size_t default_thread_count(std::size_t affinity_cpus, std::optional<std::size_t> quota);

// The count for this process now: its environment, affinity set and cgroup files.
std::size_t configured_thread_count();

}  // namespace tarvo
