#include "parallel/pool/thread_count.hpp"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

namespace tarvo {
namespace {

constexpr std::string_view num_threads_variable = "RAYON_NUM_THREADS";
constexpr std::string_view rs_num_cpus_variable = "RAYON_RS_NUM_CPUS";

std::optional<std::string_view> environment_value(std::string_view name) {
    const char* value = std::getenv(std::string(name).c_str());
    if (value == nullptr) return std::nullopt;
    return std::string_view(value);
}

std::optional<std::string> read_file(const std::filesystem::path& path) {
    std::ifstream file(path);
    if (!file) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string_view first_line(std::string_view text) {
    return text.substr(0, text.find('\n'));
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        std::size_t end = text.find(separator, start);
        fields.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) return fields;
        start = end + 1;
    }
}

bool lists(std::string_view comma_list, std::string_view item) {
    auto items = split(comma_list, ',');
    return std::find(items.begin(), items.end(), item) != items.end();
}

// mountinfo writes blanks and backslashes in paths as three-digit octal escapes.
std::string unescape_mount_path(std::string_view text) {
    std::string path;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() &&
            text.substr(i + 1, 3).find_first_not_of("01234567") == std::string_view::npos) {
            path.push_back(static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 +
                                             (text[i + 3] - '0')));
            i += 3;
        } else {
            path.push_back(text[i]);
        }
    }
    return path;
}

// Quota / period, rounded up, when both are positive integers.
std::optional<std::size_t> quota_in_cpus(std::string_view quota, std::string_view period) {
    auto limit = parse_thread_count(quota);
    auto length = parse_thread_count(period);
    if (!limit || !length || *length == 0) return std::nullopt;
    return *limit / *length + (*limit % *length != 0 ? 1 : 0);
}

std::optional<std::size_t> quota_at(const CpuCgroup& cgroup, const std::filesystem::path& dir) {
    if (cgroup.version == 2) {
        auto cpu_max = read_file(dir / "cpu.max");
        if (!cpu_max) return std::nullopt;
        auto fields = split(first_line(*cpu_max), ' ');  // "max 100000" when unlimited
        if (fields.size() < 2) return std::nullopt;
        return quota_in_cpus(fields[0], fields[1]);
    }
    auto quota = read_file(dir / "cpu.cfs_quota_us");  // "-1" when unlimited
    auto period = read_file(dir / "cpu.cfs_period_us");
    if (!quota || !period) return std::nullopt;
    return quota_in_cpus(first_line(*quota), first_line(*period));
}

std::size_t affinity_cpu_count() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return static_cast<std::size_t>(CPU_COUNT(&set));
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<std::size_t>(online) : 0;
}

}  // namespace

std::optional<std::size_t> parse_thread_count(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    std::size_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const std::size_t digit = static_cast<std::size_t>(c - '0');
        if (value > (std::numeric_limits<std::size_t>::max() - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::size_t choose_thread_count(std::optional<std::string_view> num_threads,
                                std::optional<std::string_view> rs_num_cpus,
                                std::size_t default_count) {
    std::size_t count = default_count;
    if (auto n = num_threads ? parse_thread_count(*num_threads) : std::nullopt) {
        if (*n > 0) count = *n;
    } else if (auto m = rs_num_cpus ? parse_thread_count(*rs_num_cpus) : std::nullopt) {
        if (*m > 0) count = *m;
    }
    return std::clamp<std::size_t>(count, 1, max_worker_threads);
}

std::optional<CpuCgroup> locate_cpu_cgroup(std::string_view proc_cgroup,
                                           std::string_view mountinfo) {
    // Lines of /proc/self/cgroup read "id:controllers:path"; the v2 line has no controllers.
    int version = 0;
    std::string_view group_path;
    for (std::string_view line : split(proc_cgroup, '\n')) {
        auto fields = split(line, ':');
        if (fields.size() < 3) continue;
        std::string_view path = line.substr(fields[0].size() + fields[1].size() + 2);
        if (fields[1].empty() && version == 0) {
            version = 2;
            group_path = path;
        } else if (lists(fields[1], "cpu")) {
            version = 1;
            group_path = path;
        }
    }
    if (version == 0) return std::nullopt;

    // Fields of a mountinfo line: id parent dev root mount-point options [optional...] - type
    // source super-options.
    for (std::string_view line : split(mountinfo, '\n')) {
        auto fields = split(line, ' ');
        auto dash = std::find(fields.begin(), fields.end(), std::string_view("-"));
        if (fields.size() < 5 || std::distance(dash, fields.end()) < 4) continue;
        std::string_view type = dash[1];
        bool matches = version == 2 ? type == "cgroup2" : type == "cgroup" && lists(dash[3], "cpu");
        if (!matches) continue;
        std::string root = unescape_mount_path(fields[3]);
        if (!group_path.starts_with(root)) continue;
        std::string_view below = group_path.substr(root.size());
        while (below.starts_with('/')) below.remove_prefix(1);
        CpuCgroup cgroup;
        cgroup.version = version;
        cgroup.mount_point = unescape_mount_path(fields[4]);
        cgroup.directory = (cgroup.mount_point / below).lexically_normal();
        return cgroup;
    }
    return std::nullopt;
}

std::optional<std::size_t> cgroup_cpu_quota(const CpuCgroup& cgroup) {
    const std::filesystem::path top = cgroup.mount_point.lexically_normal();
    std::optional<std::size_t> tightest;
    for (std::filesystem::path dir = cgroup.directory.lexically_normal();;
         dir = dir.parent_path()) {
        if (auto quota = quota_at(cgroup, dir))
            tightest = std::min(tightest.value_or(*quota), *quota);
        // The mount point is the top of the hierarchy; "/" or "" ends a walk that missed it.
        if (dir == top || !dir.has_relative_path()) break;
    }
    return tightest;
}

std::size_t default_thread_count(std::size_t affinity_cpus, std::optional<std::size_t> quota) {
    std::size_t count = affinity_cpus == 0 ? 1 : affinity_cpus;
    if (quota) count = std::min(count, std::max<std::size_t>(*quota, 1));
    return std::min(count, max_worker_threads);
}

std::size_t available_cpu_count() {
    std::optional<std::size_t> quota;
    auto proc_cgroup = read_file("/proc/self/cgroup");
    auto mountinfo = read_file("/proc/self/mountinfo");
    if (proc_cgroup && mountinfo) {
        if (auto cgroup = locate_cpu_cgroup(*proc_cgroup, *mountinfo))
            quota = cgroup_cpu_quota(*cgroup);
    }
    return default_thread_count(affinity_cpu_count(), quota);
}

std::size_t configured_thread_count() {
    return choose_thread_count(environment_value(num_threads_variable),
                               environment_value(rs_num_cpus_variable), available_cpu_count());
}

}  // namespace tarvo
