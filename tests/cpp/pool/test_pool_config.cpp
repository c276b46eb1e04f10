#include <doctest/doctest.h>
#include <sched.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "parallel/pool/thread_count.hpp"

using namespace tarvo;
namespace fs = std::filesystem;

namespace {

using Env = std::optional<std::string_view>;
constexpr std::size_t fallback = 7;  // the default count the cases below are given

// A scratch directory standing in for a cgroup hierarchy, removed at the end of the test.
struct FakeCgroupRoot {
    fs::path root;
    FakeCgroupRoot() {
        std::string pattern = (fs::temp_directory_path() / "tarvo-cgroup-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
    }
    ~FakeCgroupRoot() { fs::remove_all(root); }
    void write(const fs::path& relative, const std::string& text) const {
        fs::create_directories((root / relative).parent_path());
        std::ofstream(root / relative) << text;
    }
};

}  // namespace

TEST_CASE("pool config: thread count text is a plain decimal with an optional plus") {
    CHECK(parse_thread_count("4") == 4);
    CHECK(parse_thread_count("+4") == 4);
    CHECK(parse_thread_count("0") == 0);
    CHECK(parse_thread_count("007") == 7);
    CHECK(parse_thread_count("18446744073709551615") == SIZE_MAX);
    for (std::string_view bad : {"", "+", " 4", "4 ", "-1", "-0", "x", "4x", "0x10", "++4", "4.0",
                                 "18446744073709551616", "99999999999999999999"}) {
        CAPTURE(bad);
        CHECK_FALSE(parse_thread_count(bad).has_value());
    }
}

TEST_CASE(
    "pool config: RAYON_NUM_THREADS decides first, RAYON_RS_NUM_CPUS only when it is no number") {
    struct Case {
        Env num_threads, rs_num_cpus;
        std::size_t expected;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, fallback},
        {"4", std::nullopt, 4},
        {"+4", "9", 4},
        {"0", "5", fallback},  // 0 is the default count, whatever the other variable says
        {"", "5", 5},
        {" 4", "5", 5},
        {"4 ", std::nullopt, fallback},
        {"-1", "5", 5},
        {"x", "+3", 3},
        {"99999999999999999999", "2", 2},
        {std::nullopt, "3", 3},
        {std::nullopt, "0", fallback},
        {std::nullopt, "-3", fallback},
        {"x", "y", fallback},
        {"65536", std::nullopt, max_worker_threads},
        {"65535", std::nullopt, 65535},
        {std::nullopt, "1000000", max_worker_threads},
    };
    for (const Case& c : cases) {
        CAPTURE(c.num_threads.value_or("<unset>"));
        CAPTURE(c.rs_num_cpus.value_or("<unset>"));
        CHECK(choose_thread_count(c.num_threads, c.rs_num_cpus, fallback) == c.expected);
    }
}

TEST_CASE("pool config: the default is the affinity set lowered by the quota, at least 1") {
    CHECK(default_thread_count(8, std::nullopt) == 8);
    CHECK(default_thread_count(8, 2) == 2);
    CHECK(default_thread_count(2, 16) == 2);
    CHECK(default_thread_count(0, std::nullopt) == 1);
    CHECK(default_thread_count(0, 4) == 1);
    CHECK(default_thread_count(4, 0) == 1);
    CHECK(default_thread_count(100000, std::nullopt) == max_worker_threads);
}

TEST_CASE("pool config: a v2 quota is the tightest cpu.max up to the mount point, rounded up") {
    FakeCgroupRoot fake;
    fake.write("cpu.max", "100000 100000\n");  // above the mount point: never read
    fake.write("mnt/cpu.max", "max 100000\n");
    fake.write("mnt/a/cpu.max", "150000 100000\n");
    fake.write("mnt/a/b/cpu.max", "max 100000\n");
    CpuCgroup cgroup{2, fake.root / "mnt/a/b", fake.root / "mnt"};
    CHECK(cgroup_cpu_quota(cgroup) == 2);

    fake.write("mnt/a/b/cpu.max", "250000 100000\n");
    CHECK(cgroup_cpu_quota(cgroup) == 2);
    fake.write("mnt/a/b/cpu.max", "50000 100000\n");
    CHECK(cgroup_cpu_quota(cgroup) == 1);

    cgroup.directory = fake.root / "mnt";
    CHECK_FALSE(cgroup_cpu_quota(cgroup).has_value());  // "max": no quota
    cgroup.directory = fake.root / "mnt/missing";
    CHECK_FALSE(cgroup_cpu_quota(cgroup).has_value());
}

TEST_CASE("pool config: a v1 quota divides cfs_quota_us by cfs_period_us, -1 meaning none") {
    FakeCgroupRoot fake;
    fake.write("cpu/cpu.cfs_quota_us", "-1\n");
    fake.write("cpu/cpu.cfs_period_us", "100000\n");
    fake.write("cpu/job/cpu.cfs_quota_us", "-1\n");
    fake.write("cpu/job/cpu.cfs_period_us", "100000\n");
    CpuCgroup cgroup{1, fake.root / "cpu/job", fake.root / "cpu"};
    CHECK_FALSE(cgroup_cpu_quota(cgroup).has_value());

    fake.write("cpu/cpu.cfs_quota_us", "250000\n");
    CHECK(cgroup_cpu_quota(cgroup) == 3);
    fake.write("cpu/job/cpu.cfs_quota_us", "100000\n");
    CHECK(cgroup_cpu_quota(cgroup) == 1);
    fake.write("cpu/job/cpu.cfs_period_us", "0\n");  // a broken level is skipped
    CHECK(cgroup_cpu_quota(cgroup) == 3);
}

TEST_CASE("pool config: the cpu cgroup is found from /proc/self/cgroup and mountinfo") {
    const std::string_view v2_mounts =
        "24 1 0:22 / /sys/fs/cgroup rw,nosuid - cgroup2 cgroup2 rw,nsdelegate\n";
    auto v2 = locate_cpu_cgroup("0::/user.slice/app\n", v2_mounts);
    REQUIRE(v2.has_value());
    CHECK(v2->version == 2);
    CHECK(v2->mount_point == "/sys/fs/cgroup");
    CHECK(v2->directory == "/sys/fs/cgroup/user.slice/app");

    // A hybrid layout: the v1 hierarchy with the cpu controller is the one that limits.
    const std::string_view hybrid_cgroups = "2:cpuacct:/\n1:cpu,cpuacct:/docker/42\n0::/\n";
    const std::string_view hybrid_mounts =
        "31 23 0:28 / /sys/fs/cgroup rw - tmpfs tmpfs rw,mode=755\n"
        "33 31 0:30 / /sys/fs/cgroup/cpuacct rw - cgroup cgroup rw,cpuacct\n"
        "32 31 0:29 /docker /sys/fs/cgroup/cpu\\040x rw shared:9 - cgroup cgroup rw,cpu,cpuacct\n"
        "41 31 0:38 / /sys/fs/cgroup/unified rw - cgroup2 cgroup2 rw\n";
    auto v1 = locate_cpu_cgroup(hybrid_cgroups, hybrid_mounts);
    REQUIRE(v1.has_value());
    CHECK(v1->version == 1);
    CHECK(v1->mount_point == "/sys/fs/cgroup/cpu x");
    CHECK(v1->directory == "/sys/fs/cgroup/cpu x/42");

    CHECK_FALSE(locate_cpu_cgroup("4:memory:/a\n", v2_mounts).has_value());
    CHECK_FALSE(locate_cpu_cgroup("0::/a\n", "").has_value());
}

TEST_CASE("pool config: this process's count follows its environment and affinity") {
    cpu_set_t set;
    REQUIRE(sched_getaffinity(0, sizeof set, &set) == 0);
    const std::size_t affinity = static_cast<std::size_t>(CPU_COUNT(&set));
    const char* saved_num = std::getenv("RAYON_NUM_THREADS");
    const char* saved_rs = std::getenv("RAYON_RS_NUM_CPUS");
    std::optional<std::string> old_num =
        saved_num ? std::optional<std::string>(saved_num) : std::nullopt;
    std::optional<std::string> old_rs =
        saved_rs ? std::optional<std::string>(saved_rs) : std::nullopt;

    ::setenv("RAYON_NUM_THREADS", "3", 1);
    ::setenv("RAYON_RS_NUM_CPUS", "5", 1);
    CHECK(configured_thread_count() == 3);
    ::setenv("RAYON_NUM_THREADS", "three", 1);
    CHECK(configured_thread_count() == 5);
    ::unsetenv("RAYON_NUM_THREADS");
    ::unsetenv("RAYON_RS_NUM_CPUS");
    const std::size_t by_default = configured_thread_count();
    CHECK(by_default >= 1);
    CHECK(by_default <= affinity);

    if (old_num) ::setenv("RAYON_NUM_THREADS", old_num->c_str(), 1);
    if (old_rs) ::setenv("RAYON_RS_NUM_CPUS", old_rs->c_str(), 1);
}
