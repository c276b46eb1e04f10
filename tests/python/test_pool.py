"""The worker pool seen from Python: when threads start, how many, what happens when they cannot
start, fork, and a fault inside a joined task. Each case but the last runs in a fresh interpreter,
since the pool is made once per process."""

import ctypes
import json
import os
import subprocess
import sys
import textwrap

import pytest

from conftest import panic_type, private_module

PREFIX = "The global thread pool has not been initialized.: "
PARALLEL = ["par_sort", "par_sort_unstable", "par_merge"]

# Helpers for the child interpreters: thread count, a shuffled array and its sorted copy.
CHILD_PRELUDE = """
import json, os
import numpy as np

def threads():
    return len(os.listdir("/proc/self/task"))

def shuffled(n, seed=1):
    values = np.random.default_rng(seed).integers(-(2**63), 2**63 - 1, n, dtype=np.int64)
    return values, np.sort(values)
"""


def run_child(code, env=None, timeout=60, prelude=CHILD_PRELUDE):
    """Runs `prelude` + `code` in a fresh interpreter whose pool variables are only those in
    `env`; returns the JSON it printed last. A hang fails the test through the timeout."""
    child_env = {k: v for k, v in os.environ.items() if not k.startswith("RAYON_")}
    child_env.update(env or {})
    completed = subprocess.run(
        [sys.executable, "-c", prelude + textwrap.dedent(code)],
        capture_output=True,
        text=True,
        env=child_env,
        timeout=timeout,
    )
    assert completed.returncode == 0, completed.stderr[-4000:]
    return json.loads(completed.stdout.strip().splitlines()[-1])


def test_import_and_sequential_calls_start_no_thread():
    result = run_child(
        """
        before_import = threads()
        import _tarvo
        after_import = threads()
        values, expected = shuffled(200_000)
        for name in ["bubble", "insertion", "quick"]:
            small = values[:2000].copy()
            getattr(_tarvo, name)(small)
        for name in ["merge", "heap", "intro", "tim", "pdq", "radix"]:
            copy = values.copy()
            getattr(_tarvo, name)(copy)
            assert (copy == expected).all(), name
        # Short slices never need the pool either.
        for name in ["smart", "par_sort", "par_sort_unstable", "par_merge"]:
            short = values[:8191].copy()
            getattr(_tarvo, name)(short)
            assert (short == np.sort(values[:8191])).all(), name
        print(json.dumps([before_import, after_import, threads()]))
        """,
        env={"RAYON_NUM_THREADS": "3"},
    )
    before_import, after_import, after_calls = result
    assert after_import == before_import
    assert after_calls == before_import


@pytest.mark.parametrize("workers", [1, 3])
@pytest.mark.parametrize("name", PARALLEL)
def test_first_parallel_call_starts_exactly_n_workers_and_later_calls_none(name, workers):
    result = run_child(
        f"""
import _tarvo
values, expected = shuffled(600_000)
before = threads()
sort = getattr(_tarvo, {name!r})
sorted_ok = []
counts = []
for _ in range(3):
    copy = values.copy()
    sort(copy)
    sorted_ok.append(bool((copy == expected).all()))
    counts.append(threads())
print(json.dumps([before, counts, sorted_ok]))
""",
        env={"RAYON_NUM_THREADS": str(workers)},
    )
    before, counts, sorted_ok = result
    assert counts == [before + workers] * 3
    assert sorted_ok == [True, True, True]


def pool_size(env):
    return run_child(
        """
import _tarvo
values, _ = shuffled(600_000)
before = threads()
_tarvo.par_sort_unstable(values)
print(json.dumps(threads() - before))
""",
        env=env,
    )


def test_thread_count_follows_the_environment():
    default = pool_size({})
    assert 1 <= default <= len(os.sched_getaffinity(0))
    assert pool_size({"RAYON_NUM_THREADS": "+2"}) == 2
    assert pool_size({"RAYON_NUM_THREADS": "0", "RAYON_RS_NUM_CPUS": "3"}) == default
    assert pool_size({"RAYON_NUM_THREADS": " 2", "RAYON_RS_NUM_CPUS": "3"}) == 3
    assert pool_size({"RAYON_NUM_THREADS": "-1", "RAYON_RS_NUM_CPUS": "3"}) == 3
    assert pool_size({"RAYON_NUM_THREADS": "two", "RAYON_RS_NUM_CPUS": "0"}) == default


def test_single_worker_still_sorts_with_every_parallel_function():
    result = run_child(
        """
import _tarvo
values, expected = shuffled(300_000)
outcome = {}
for name in ["par_sort", "par_sort_unstable", "par_merge", "smart"]:
    copy = values.copy()
    getattr(_tarvo, name)(copy)
    outcome[name] = bool((copy == expected).all())
print(json.dumps(outcome))
""",
        env={"RAYON_NUM_THREADS": "1"},
    )
    assert result == {"par_sort": True, "par_sort_unstable": True, "par_merge": True, "smart": True}


def allowed_processors_of_new_threads(env, narrow_to=None):
    """The processors each thread that the first parallel call starts may run on, and the
    processors the interpreter's thread may run on, in a child with `env` whose affinity was
    first narrowed to `narrow_to` (if given)."""
    return run_child(
        f"""
import _tarvo
if {narrow_to!r} is not None:
    os.sched_setaffinity(0, {narrow_to!r})
def allowed():
    lists = {{}}
    for task in os.listdir("/proc/self/task"):
        lists[task] = sorted(os.sched_getaffinity(int(task)))
    return lists
before = allowed()
values, expected = shuffled(600_000)
_tarvo.par_sort(values)
assert (values == expected).all()
new = [cpus for task, cpus in allowed().items() if task not in before]
print(json.dumps([new, sorted(os.sched_getaffinity(0))]))
""",
        env=env,
    )


def test_workers_keep_to_one_processor_each_when_they_are_as_many_as_the_processors():
    processors = len(os.sched_getaffinity(0))
    new, allowed = allowed_processors_of_new_threads({"RAYON_NUM_THREADS": str(processors)})
    assert len(new) == processors
    assert sorted(cpus[0] for cpus in new) == allowed
    assert all(len(cpus) == 1 for cpus in new)
    # One processor allowed, one worker by default: it keeps to that processor.
    last = max(allowed)
    new, allowed = allowed_processors_of_new_threads({}, narrow_to=[last])
    assert (new, allowed) == ([[last]], [last])


@pytest.mark.parametrize("extra", [-1, 1])
def test_workers_may_run_anywhere_when_they_are_fewer_or_more_than_the_processors(extra):
    processors = len(os.sched_getaffinity(0))
    if processors + extra < 1:
        pytest.skip("one processor: no pool smaller than it")
    new, allowed = allowed_processors_of_new_threads({"RAYON_NUM_THREADS": str(processors + extra)})
    assert new == [allowed] * (processors + extra)


@pytest.mark.parametrize("workers", [2, 3, 64])
def test_pool_sorts_match_numpy_on_skewed_and_bell_shaped_input_at_any_worker_count(workers):
    # Which parallel method sorts a slice depends on the shape of its values and on the worker
    # count: these inputs take each of them somewhere between 2 and 64 workers, and counting
    # where the values are few or span a narrow range.
    result = run_child(
        """
import _tarvo
rng = np.random.default_rng(5)
n = 700_000
inputs = {
    "zipf": rng.zipf(1.2, n).astype(np.int64),
    "log-uniform": np.exp2(rng.uniform(0, 62, n)).astype(np.int64),
    "gaussian": rng.normal(0, 1e12, n).astype(np.int64),
    "outliers": np.where(
        rng.random(n) < 0.01, rng.integers(-(2**63), 2**63 - 1, n), rng.integers(0, 1000, n)
    ),
    "100 values": rng.choice(rng.integers(-(2**63), 2**63 - 1, 100), n),
    "narrow range": rng.integers(-5000, 5000, n),
    # A sample of 4,096 rarely sees the values beyond the bulk's range.
    "narrow range, rare values beyond": np.where(
        rng.random(n) < 1e-4, rng.integers(5000, 20_000, n), rng.integers(-5000, 5000, n)
    ),
}
wrong = []
for pattern, values in inputs.items():
    for name in ["par_sort", "par_sort_unstable"]:
        copy = values.copy()
        getattr(_tarvo, name)(copy)
        if not np.array_equal(copy, np.sort(values)):
            wrong.append(f"{name} {pattern}")
print(json.dumps(wrong))
""",
        env={"RAYON_NUM_THREADS": str(workers)},
    )
    assert result == []


def test_a_pool_that_cannot_start_fails_every_parallel_call_the_same_way():
    # The address-space limit leaves room for one worker stack of 2 MiB but not for two.
    result = run_child(
        """
import resource
import _tarvo

def address_space():
    for line in open("/proc/self/status"):
        if line.startswith("VmSize:"):
            return int(line.split()[1]) * 1024

# Long enough for each parallel function to need the pool, short enough for par_merge's buffer
# to fit under the limit.
values, _ = shuffled(600_000)
copies = [values.copy(), values.copy(), values[:100_000].copy()]
short, expected = shuffled(20_000)
before = threads()
resource.setrlimit(resource.RLIMIT_AS, (address_space() + (3 << 20), resource.RLIM_INFINITY))
failures = []
for name, copy in zip(["par_sort_unstable", "par_sort", "par_merge"], copies):
    try:
        getattr(_tarvo, name)(copy)
        failures.append(None)
    except BaseException as error:
        failures.append([type(error).__name__, str(error), len(error.args)])
_tarvo.merge(short)
print(json.dumps([failures, bool((short == expected).all()), before, threads()]))
""",
        env={"RAYON_NUM_THREADS": "2"},
    )
    failures, sequential_sorted, before, after = result
    first = failures[0]
    assert first is not None
    assert first[0] == "PanicException"
    assert first[1].startswith(PREFIX)
    assert len(first[1]) > len(PREFIX)  # the cause follows the prefix
    assert first[2] == 1
    assert failures[1:] == [first, first]  # never retried: the same fault every time
    assert sequential_sorted
    assert after == before  # a worker that did start was stopped


def test_a_forked_child_gets_a_pool_of_its_own():
    result = run_child(
        """
import _tarvo
values, expected = shuffled(600_000)
_tarvo.par_sort(values.copy())  # the parent's pool exists from here on
pid = os.fork()
if pid == 0:
    try:
        ok = True
        for name in ["par_sort", "par_sort_unstable", "par_merge"]:
            copy = values.copy()
            getattr(_tarvo, name)(copy)
            ok = ok and bool((copy == expected).all())
        os._exit(0 if ok else 1)
    finally:
        os._exit(2)
_, status = os.waitpid(pid, 0)
copy = values.copy()
_tarvo.par_sort(copy)  # the parent's pool is untouched
print(json.dumps([os.waitstatus_to_exitcode(status), bool((copy == expected).all())]))
""",
        env={"RAYON_NUM_THREADS": "2", "PYTHONWARNINGS": "ignore::DeprecationWarning"},
        timeout=30,
    )
    assert result == [0, True]


def test_a_multiprocessing_fork_child_sorts_in_parallel():
    result = run_child(
        """
import multiprocessing
import _tarvo

def child(queue):
    values, expected = shuffled(100_000, seed=2)
    _tarvo.par_merge(values)
    queue.put(bool((values == expected).all()))

if __name__ == "__main__":
    warm, _ = shuffled(600_000)
    _tarvo.par_sort_unstable(warm)
    context = multiprocessing.get_context("fork")
    queue = context.Queue()
    process = context.Process(target=child, args=(queue,))
    process.start()
    process.join(30)
    hung = process.is_alive()
    if hung:
        process.kill()
    print(json.dumps([hung, process.exitcode, None if hung else queue.get(timeout=5)]))
""",
        env={"RAYON_NUM_THREADS": "2", "PYTHONWARNINGS": "ignore::DeprecationWarning"},
    )
    assert result == [False, 0, True]


def test_workers_leave_process_signals_to_the_interpreter_threads():
    # A SIGALRM taken by a worker would leave the main thread asleep in signal.pause().
    blocked = run_child(
        """
        import signal, time, _tarvo
        _tarvo.par_merge(shuffled(100_000)[0])
        main = os.getpid()

        def blocked_signals(task):
            with open(f"/proc/self/task/{task}/status") as status:
                line = next(l for l in status if l.startswith("SigBlk:"))
            return int(line.split()[1], 16)

        workers = [int(t) for t in os.listdir("/proc/self/task") if int(t) != main]
        # A thread that the kernel has made but that has not yet reached its start routine still
        # has every signal blocked (glibc sets the mask there): wait for the workers to run.
        deadline = time.monotonic() + 10
        while True:
            masks = [blocked_signals(t) for t in workers]
            started = all(not m >> (signal.SIGSEGV - 1) & 1 for m in masks)
            if started or time.monotonic() > deadline:
                break
            time.sleep(0.01)
        print(json.dumps({
            "main": blocked_signals(main) >> (signal.SIGALRM - 1) & 1,
            "workers": [m >> (signal.SIGALRM - 1) & 1 for m in masks],
            "segv": [m >> (signal.SIGSEGV - 1) & 1 for m in masks],
        }))
        """,
        env={"RAYON_NUM_THREADS": "2", "OPENBLAS_NUM_THREADS": "1"},
    )
    assert blocked["main"] == 0
    assert blocked["workers"] == [1, 1]
    assert blocked["segv"] == [0, 0]


# A fault inside a task of the pool's join reaches the caller as the fault exception.
@pytest.mark.parametrize("side", ["a", "b"])
def test_fault_in_a_join_task_is_raised_in_the_caller(side):
    testing = private_module()
    with pytest.raises(BaseException) as info:
        testing.join_fault(side)
    # The private module has a fault type of its own, made the same way as _tarvo's.
    assert type(info.value).__name__ == "PanicException"
    assert type(info.value).__module__ == "pyo3_runtime"
    assert type(info.value) is not panic_type()
    assert info.value.args == (f"fault in task {side}",)
    # The pool is still usable afterwards.
    with pytest.raises(type(info.value), match="fault in task"):
        testing.join_fault("a" if side == "b" else "b")


# --- starting the pool under an address-space limit --------------------------------------------

# A worker's stack and its guard page: the address space each started worker takes.
WORKER_MAPPING = (2 << 20) + 4096
# Just above each whole number of worker stacks, a start used to die in glibc when a thread's
# first touch of the module's thread-local data, or the registration of a thread-local
# destructor, could not be allocated: windows a few KiB wide, which these steps cross.
WINDOW_STEPS = range(0, 16 << 10, 2 << 10)

# One interpreter per worker count; each sort runs in a child forked from it (cheap, and the
# parent never makes a pool, so every child starts its own). The child measures its address
# space, leaves `delta` bytes above it and sorts; with a warm pool the pool is started first by
# a call on a short array, and the limit follows at once, while workers may still be starting.
# A cold pool meets the limit across the windows above every number of stacks; a warm one has
# its stacks already and meets it in the first window, where any allocation by a worker fails.
LIMIT_SWEEP = """
import resource, signal, sys
import _tarvo

cold_deltas, warm_deltas = json.loads(sys.argv[1])
values, expected = shuffled(600_000)

def address_space():
    with open("/proc/self/status") as status:
        line = next(l for l in status if l.startswith("VmSize:"))
    return int(line.split()[1]) * 1024

def sort_under_limit(delta, warm):
    if warm:
        _tarvo.par_merge(values[:10_000].copy())
    arr = values.copy()
    outcome = "sorted"
    resource.setrlimit(resource.RLIMIT_AS, (address_space() + delta, resource.RLIM_INFINITY))
    try:
        _tarvo.par_sort_unstable(arr)
    except BaseException as error:
        outcome = [type(error).__name__, str(error)]
    resource.setrlimit(resource.RLIMIT_AS, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
    if outcome == "sorted" and not (arr == expected).all():
        outcome = "wrong order"
    return outcome

results = []
for warm, deltas in ((False, cold_deltas), (True, warm_deltas)):
    for delta in deltas:
        read_end, write_end = os.pipe()
        pid = os.fork()
        if pid == 0:
            os.close(read_end)
            os.write(write_end, json.dumps(sort_under_limit(delta, warm)).encode())
            os._exit(0)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            reported = pipe.read()
        _, status = os.waitpid(pid, 0)
        code = os.waitstatus_to_exitcode(status)
        outcome = json.loads(reported) if code == 0 and reported else f"died ({code})"
        results.append([warm, delta, outcome])
print(json.dumps(results))
"""


@pytest.mark.skipif(
    hasattr(ctypes.CDLL(None), "__asan_init"),
    reason="AddressSanitizer maps shadow and per-thread memory of its own, so the limit's windows "
    "fall elsewhere, and it ends the process itself when such a mapping fails",
)
def test_a_pool_started_under_an_address_space_limit_sorts_or_faults_never_dies():
    sweeps = {}
    for workers in (1, 2, 7):
        cold = [k * WORKER_MAPPING + step for k in range(workers + 1) for step in WINDOW_STEPS]
        env = {k: v for k, v in os.environ.items() if not k.startswith("RAYON_")}
        env.update(RAYON_NUM_THREADS=str(workers), OPENBLAS_NUM_THREADS="1")
        code = CHILD_PRELUDE + LIMIT_SWEEP
        sweeps[workers] = subprocess.Popen(
            [sys.executable, "-c", code, json.dumps([cold, list(WINDOW_STEPS)])],
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            text=True,
            env=env,
        )
    for workers, sweep in sweeps.items():
        stdout, stderr = sweep.communicate(timeout=120)
        assert sweep.returncode == 0, stderr[-4000:]
        results = json.loads(stdout.strip().splitlines()[-1])
        assert len(results) == (workers + 2) * len(WINDOW_STEPS)
        for warm, delta, outcome in results:
            where = (
                f"{workers} workers, {'warm' if warm else 'cold'} pool, {delta} bytes: {outcome}"
            )
            if outcome != "sorted":
                assert isinstance(outcome, list), f"{where}\n{stderr[-4000:]}"
                kind, text = outcome
                assert kind == "PanicException", where
                assert text.startswith(PREFIX) and len(text) > len(PREFIX), where
        # The sweep reaches both sides: starts that fail and pools that sort.
        outcomes = {"sorted" if outcome == "sorted" else "fault" for _, _, outcome in results}
        assert outcomes == {"sorted", "fault"}, workers
