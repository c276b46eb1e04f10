#pragma once
// How many worker threads the pool starts. Read once, when the pool is created:
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

// Worker indices fit in 16 bits; a larger request is lowered to this.
inline constexpr std::size_t max_worker_threads = 65535;

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

// The processors this process may use now: its affinity set, lowered by its cgroup CPU quota
// (default_thread_count of the two).
std::size_t available_cpu_count();

// The count for this process now: its environment, affinity set and cgroup files.
std::size_t configured_thread_count();

}  // namespace tarvo
