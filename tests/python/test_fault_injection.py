"""Allocation failures injected at every allocation a call makes.

The private test module carries its own copy of the core, with the switch that makes the
allocation after k successful ones fail; its sort(name, arr) runs the same call path and routine
as _tarvo.<name>(arr). For each allocating route, a call is first made undisturbed to count its
allocations; then each of them is made to fail in turn. Every such call must either raise
MemoryError with the size of the failed request and leave the array exactly as it was (every
routine obtains what it cannot do without before its first move), or, where the routine can do
without that memory, sort; it must release what it had obtained and leave the module able to
sort on the next call. At the end, the product module itself meets a lowered address-space
limit.
"""

import ctypes
import json
import os
import re

import numpy as np
import pytest

import _tarvo
from conftest import private_module, run_python
from tarvo._route import smart_route

ALLOCATION_FAILED = re.compile(r"memory allocation of (\d+) bytes failed")
# Long enough for par_merge to take its parallel, allocating path.
PARALLEL_LENGTH = 20_000
# Long enough for the pool-backed sorts to use the pool rather than the kernel alone.
POOL_SORT_LENGTH = 600_000


@pytest.fixture(scope="module")
def testing():
    module = private_module()
    yield module
    module.fail_allocation_after(-1)


def shuffled(n, low=-(10**12), high=10**12, seed=5):
    return np.random.default_rng(seed).integers(low, high, n, dtype=np.int64)


def duplicates(n):
    return shuffled(20)[np.random.default_rng(6).integers(0, 20, n)]


def skewed(n):
    """Most values in one narrow band, the rest spread over the whole range: the pool-backed sorts
    split it with the tree of splitters, not with equal stretches of the range."""
    rng = np.random.default_rng(8)
    values = rng.integers(0, 10**6, n, dtype=np.int64)
    values[::10] = rng.integers(-(10**18), 10**18, n // 10 + (n % 10 > 0))
    return values


ALL, FIRST, NONE = "every allocation", "the first allocation", "no allocation"
# name, input, the smart route the input must take (None: not smart), and which failed
# allocations must raise; the others may instead be got round (the call then sorts).
CASES = {
    "merge": ("merge", lambda: shuffled(1000), None, ALL),
    "tim": ("tim", lambda: shuffled(1000), None, ALL),
    "radix, no negatives": ("radix", lambda: shuffled(1000, 0), None, ALL),
    "radix, both signs": ("radix", lambda: shuffled(1000), None, ALL),
    "smart, tim route": ("smart", lambda: duplicates(5000), "tim", ALL),
    "smart, radix route without negatives": ("smart", lambda: shuffled(5000, 0, 999), "radix", ALL),
    "smart, radix route with both signs": (
        "smart",
        lambda: shuffled(5000, -500, 499),
        "radix",
        ALL,
    ),
    "smart, parallel route": (
        "smart",
        lambda: shuffled(POOL_SORT_LENGTH),
        "parallel_unstable",
        NONE,
    ),
    # The stable sort raises when its buffer cannot be had; the unstable one sorts in place.
    "par_sort": ("par_sort", lambda: shuffled(POOL_SORT_LENGTH), None, FIRST),
    "par_sort, skewed": ("par_sort", lambda: skewed(POOL_SORT_LENGTH), None, FIRST),
    "par_sort_unstable": ("par_sort_unstable", lambda: shuffled(POOL_SORT_LENGTH), None, NONE),
    "par_sort_unstable, skewed": (
        "par_sort_unstable",
        lambda: skewed(POOL_SORT_LENGTH),
        None,
        NONE,
    ),
    "par_merge": ("par_merge", lambda: shuffled(PARALLEL_LENGTH), None, ALL),
}


def allocations_of(testing, name, arr):
    testing.reset_allocation_count()
    testing.sort(name, arr)
    return testing.allocations_made()


def case_input(case):
    name, make, route, _ = CASES[case]
    original = make()
    if route is not None:
        assert smart_route(original) == route
    return name, original


@pytest.fixture(scope="module")
def warm_pool(testing):
    """The private module's pool exists before any count is taken, so counts are the sort's own."""
    testing.sort("par_merge", shuffled(PARALLEL_LENGTH))


def test_private_module_runs_the_function_table_routines_through_the_call_path(testing):
    assert testing.routine_names() == tuple(_tarvo.__all__)
    with pytest.raises(ValueError, match="no module function named 'sort'"):
        testing.sort("sort", np.arange(2))
    with pytest.raises(TypeError) as info:
        testing.sort("merge", np.zeros(2))
    assert info.value.args == ("argument 'arr': type mismatch:\n from=float64, to=int64",)
    arr = shuffled(100)
    testing.sort("pdq", arr)
    assert np.array_equal(arr, np.sort(shuffled(100)))


@pytest.mark.parametrize("case", list(CASES))
def test_every_allocation_of_a_call_can_fail_without_losing_an_element(testing, warm_pool, case):
    name, original = case_input(case)
    must_raise = CASES[case][3]
    expected = np.sort(original)
    count = allocations_of(testing, name, original.copy())
    assert count >= 1, f"{case} allocates nothing: the case does not test what it says"

    for k in range(count + 1):
        arr = original.copy()
        testing.reset_allocation_count()
        testing.fail_allocation_after(k)
        try:
            testing.sort(name, arr)
            raised = None
        except MemoryError as error:
            raised = error
        finally:
            testing.fail_allocation_after(-1)
        made = testing.allocations_made()

        if k == count:
            # One past the last allocation: the switch is never reached.
            assert raised is None
            assert np.array_equal(arr, expected)
            continue
        if raised is None:
            # The routine got by without the memory it was refused.
            assert must_raise == NONE or (must_raise == FIRST and k > 0), f"{case}: {k} unraised"
            assert np.array_equal(arr, expected)
            continue
        assert len(raised.args) == 1 and ALLOCATION_FAILED.fullmatch(raised.args[0]), raised.args
        assert raised.__cause__ is None and raised.__context__ is None
        # Tasks running beside the one that failed may allocate on; nothing before it is skipped.
        assert made >= k + 1
        if name not in {"smart", "par_sort", "par_sort_unstable"}:
            assert made == k + 1
        assert np.array_equal(np.sort(arr), expected), f"{case}: elements lost at allocation {k}"
        # Every allocation that raises comes before the routine's first move (each routine's
        # README says where it obtains its memory).
        assert np.array_equal(arr, original), f"{case}: moved elements before allocation {k}"
        # The next call, undisturbed, sorts.
        testing.sort(name, arr)
        assert np.array_equal(arr, expected)


def test_first_buffer_failure_names_the_whole_array(testing, warm_pool):
    for name in ["merge", "tim", "radix", "par_merge"]:
        n = PARALLEL_LENGTH
        testing.fail_allocation_after(0)
        try:
            with pytest.raises(MemoryError) as info:
                testing.sort(name, shuffled(n, 0))
        finally:
            testing.fail_allocation_after(-1)
        assert info.value.args == (f"memory allocation of {8 * n} bytes failed",), name


def test_routes_without_allocations_are_not_disturbed_by_an_armed_switch(testing, warm_pool):
    original = shuffled(500)
    testing.reset_allocation_count()
    testing.fail_allocation_after(0)
    try:
        for name in ["bubble", "insertion", "quick", "heap", "intro", "pdq"]:
            arr = original.copy()
            testing.sort(name, arr)
            assert np.array_equal(arr, np.sort(original)), name
        assert testing.allocations_made() == 0
        # The switch is still armed: the next allocation fails.
        with pytest.raises(MemoryError):
            testing.sort("merge", original.copy())
    finally:
        testing.fail_allocation_after(-1)


def memory_size():
    """Virtual and resident size of this process in bytes (a leaked block that was never touched
    shows in the first only)."""
    with open("/proc/self/statm") as statm:
        size, resident = statm.read().split()[:2]
    page = os.sysconf("SC_PAGE_SIZE")
    return int(size) * page, int(resident) * page


LEAK_LENGTH = 1 << 16  # each routine's buffers are then at least 256 KiB
LEAK_ROUNDS = 64  # so a leak of any of them grows the process by at least 16 MiB
LEAK_TOLERANCE = 8 << 20


@pytest.mark.skipif(
    hasattr(ctypes.CDLL(None), "__asan_init"),
    reason="AddressSanitizer holds freed memory in quarantine; LeakSanitizer checks instead",
)
def test_failed_calls_release_what_they_had_obtained(testing, warm_pool):
    cases = {
        "merge": shuffled(LEAK_LENGTH),
        "radix": shuffled(LEAK_LENGTH),  # lists first, then the pass buffer
        "tim": shuffled(LEAK_LENGTH),
        "par_merge": shuffled(LEAK_LENGTH),
        "par_sort": shuffled(POOL_SORT_LENGTH),
        "par_sort_unstable": shuffled(POOL_SORT_LENGTH),
    }
    arrays = {name: np.empty_like(original) for name, original in cases.items()}
    schedule = []
    for name, original in cases.items():
        count = allocations_of(testing, name, original.copy())
        schedule += [(name, original, k) for k in range(count)]

    def run(rounds):
        for name, original, k in schedule:
            for _ in range(rounds):
                np.copyto(arrays[name], original)
                testing.fail_allocation_after(k)
                try:
                    testing.sort(name, arrays[name])
                except MemoryError:
                    pass
                finally:
                    testing.fail_allocation_after(-1)

    run(4)  # warm up: the allocator's arenas and NumPy's caches settle
    before = memory_size()
    run(LEAK_ROUNDS)
    after = memory_size()
    assert after[0] - before[0] < LEAK_TOLERANCE, (before, after)
    assert after[1] - before[1] < LEAK_TOLERANCE, (before, after)


POOL_CREATION = """
import json, os, sys
import numpy as np
sys.path.insert(0, {module_dir!r})
import _tarvo_testing as testing

def threads():
    return len(os.listdir("/proc/self/task"))

original = np.random.default_rng(2).integers(-10**9, 10**9, {n}, dtype=np.int64)
expected = np.sort(original)
threads_before = threads()

def attempt(k):
    # In a forked child, which starts without a pool since this process never made one.
    arr = original.copy()
    testing.reset_allocation_count()
    testing.fail_allocation_after(k)
    try:
        testing.sort({name!r}, arr)
        outcome = None
    except MemoryError as error:
        outcome = str(error)
    finally:
        testing.fail_allocation_after(-1)
    made = testing.allocations_made()
    kept = bool((np.sort(arr) == expected).all())
    untouched = bool((arr == original).all())
    testing.sort({name!r}, arr)
    return [outcome, made, kept, untouched, bool((arr == expected).all()), threads()]

outcomes = []
for k in range(100):
    read_end, write_end = os.pipe()
    pid = os.fork()
    if pid == 0:
        os.write(write_end, json.dumps(attempt(k)).encode())
        os._exit(0)
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        outcome = json.loads(pipe.read())
    os.waitpid(pid, 0)
    outcomes.append(outcome)
    if outcome[0] is None and outcome[1] <= k:
        break  # k is past the call's last allocation
print(json.dumps({{"outcomes": outcomes, "threads_before": threads_before}}))
"""


@pytest.mark.parametrize("name", ["par_sort", "par_merge", "par_sort_unstable"])
def test_failed_pool_creation_is_tried_again_and_starts_no_stray_thread(testing, name):
    workers = 3
    n = POOL_SORT_LENGTH if name.startswith("par_sort") else PARALLEL_LENGTH
    child = run_python(
        POOL_CREATION.format(module_dir=os.path.dirname(testing.__file__), n=n, name=name),
        env={"RAYON_NUM_THREADS": str(workers), "OPENBLAS_NUM_THREADS": "1"},
        timeout=60,
    )
    assert child.returncode == 0, child.stderr
    result = json.loads(child.stdout)
    outcomes = result["outcomes"]
    # The pool's allocations (a queue per worker and one for outside jobs) are among the call's.
    assert len(outcomes) > workers + 1
    for k, (failure, made, kept, untouched, sorted_next, threads) in enumerate(outcomes):
        assert kept, k
        assert sorted_next, k
        # Whatever failed, the next call had a pool of exactly the configured size.
        assert threads == result["threads_before"] + workers, k
        if failure is not None:
            assert ALLOCATION_FAILED.fullmatch(failure), failure
            assert made >= k + 1
            assert untouched, k
    assert outcomes[-1][0] is None


# --- memory really exhausted ----------------------------------------------------------------------

# merge, tim and radix when their working memory cannot be had.
#
# Each case runs in a fresh interpreter that lowers its address-space limit just above what it
# already uses, so that the routine's buffer cannot be mapped. The call must raise MemoryError with
# the byte count of the request that failed, leave the array a permutation of its input, and leave
# the process able to sort again once memory is back.

N = 1 << 22  # 32 MiB of int64: each routine's first buffer is as large as the array
MIB = 1 << 20
# Room for the interpreter's own small allocations, but not for a buffer of 8 * N bytes.
BELOW_ONE_BUFFER = 16 * MIB
# Room for radix's two lists (8 * N bytes), but not for its pass buffer of 4 * N bytes as well.
BELOW_LISTS_AND_PASS_BUFFER = 40 * MIB

CHILD = """
import json, resource
import numpy as np
import _tarvo

def address_space():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmSize:"):
                return int(line.split()[1]) * 1024
    raise RuntimeError("no VmSize in /proc/self/status")

rng = np.random.default_rng(7)
n = {n}
kind = {kind!r}
if kind == "full range":
    arr = rng.integers(-2**63, 2**63 - 1, size=n, dtype=np.int64, endpoint=True)
elif kind == "non-negative":
    arr = rng.integers(0, 10**6, size=n, dtype=np.int64)
else:  # exactly half negative
    arr = np.concatenate([rng.integers(-10**12, 0, size=n // 2, dtype=np.int64),
                          rng.integers(0, 10**12, size=n // 2, dtype=np.int64)])
    rng.shuffle(arr)
original = arr.copy()
sort = getattr(_tarvo, {name!r})
sort(np.array([3, 1, 2], dtype=np.int64))  # the first call obtains the NumPy API

soft, hard = resource.getrlimit(resource.RLIMIT_AS)
resource.setrlimit(resource.RLIMIT_AS, (address_space() + {headroom}, hard))
try:
    sort(arr)
    raised = None
except MemoryError as error:
    raised = list(error.args)
finally:
    resource.setrlimit(resource.RLIMIT_AS, (soft, hard))

small = np.array([5, -1, 3, -1], dtype=np.int64)
sort(small)
again = arr.copy()
sort(again)
print(json.dumps({{
    "raised": raised,
    "untouched": bool(np.array_equal(arr, original)),
    "permutation": bool(np.array_equal(np.sort(arr), np.sort(original))),
    "small": small.tolist(),
    "again_sorted": bool(np.array_equal(again, np.sort(original))),
}}))
"""


def exhaust(name, kind, headroom):
    child = run_python(CHILD.format(n=N, kind=kind, name=name, headroom=headroom))
    assert child.returncode == 0, child.stderr
    return json.loads(child.stdout)


def message(nbytes):
    return f"memory allocation of {nbytes} bytes failed"


@pytest.mark.parametrize(
    ("name", "kind", "headroom", "failed_bytes"),
    [
        # merge's one buffer of n elements, obtained before anything moves.
        ("merge", "full range", BELOW_ONE_BUFFER, 8 * N),
        # tim's one scratch buffer, as long as its last merge: the whole array.
        ("tim", "full range", BELOW_ONE_BUFFER, 8 * N),
        # No negative value: radix sorts in place through one pass buffer of n keys.
        ("radix", "non-negative", BELOW_ONE_BUFFER, 8 * N),
        # Both signs: first the two lists, n keys together ...
        ("radix", "half negative", BELOW_ONE_BUFFER, 8 * N),
        # ... then the pass buffer of the longer list, n / 2 keys.
        ("radix", "half negative", BELOW_LISTS_AND_PASS_BUFFER, 4 * N),
    ],
)
def test_exhausted_memory_raises_memory_error_and_keeps_every_element(
    name, kind, headroom, failed_bytes
):
    outcome = exhaust(name, kind, headroom)
    assert outcome["raised"] == [message(failed_bytes)]
    assert outcome["permutation"]
    # Each of these routines obtains all its memory before it writes to the array.
    assert outcome["untouched"]
    assert outcome["small"] == [-1, -1, 3, 5]
    assert outcome["again_sorted"]
