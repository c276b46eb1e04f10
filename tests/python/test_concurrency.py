"""Many Python threads calling the module at once, worker pools of several sizes, and signals
arriving while a long parallel sort runs.

Every scenario runs in a fresh interpreter under a timeout, so that a deadlock fails the test
instead of blocking the run (a call keeps the interpreter lock, so a hang inside one would stop
every thread of the process, the test's own included).
"""

import pytest

from conftest import FUNCTION_NAMES
from test_pool import run_child as run_in_fresh_interpreter

TIMEOUT = 60

PRELUDE = f"""
import json, sys, threading
import numpy as np
import _tarvo

FUNCTION_NAMES = {FUNCTION_NAMES!r}
QUADRATIC = {{"bubble", "insertion", "quick"}}
# Switch threads as often as the interpreter allows, so calls start while others are in progress.
sys.setswitchinterval(1e-6)

def run_threads(target, count, timeout=30):
    errors = []
    barrier = threading.Barrier(count)

    def body(index):
        try:
            barrier.wait()
            target(index)
        except BaseException as error:  # the fault type derives from BaseException
            errors.append(f"thread {{index}}: {{type(error).__name__}}: {{error}}")

    threads = [threading.Thread(target=body, args=(i,), daemon=True) for i in range(count)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout)
    hung = sum(thread.is_alive() for thread in threads)
    return errors + [f"{{hung}} threads still running after {{timeout}} s"] * bool(hung)

def length_for(name, scale=1):
    return (300 if name in QUADRATIC else 20_000) * scale
"""


def run_child(code, env=None):
    """Runs PRELUDE + code in a fresh interpreter; returns the JSON it printed last."""
    return run_in_fresh_interpreter(code, env, TIMEOUT, PRELUDE)


def test_threads_calling_every_function_on_their_own_arrays():
    result = run_child(
        """
        PANIC = []

        def work(index):
            rng = np.random.default_rng(index)
            for round in range(3):
                for name in FUNCTION_NAMES:
                    sort = getattr(_tarvo, name)
                    original = rng.integers(-10**6, 10**6, length_for(name), dtype=np.int64)
                    arr = original.copy()
                    sort(arr) if round % 2 else sort(arr=arr)
                    if not np.array_equal(arr, np.sort(original)):
                        raise AssertionError(f"{name} sorted wrongly")
                    # Errors and faults in between, from every thread at once.
                    try:
                        sort(arr.astype(np.float64))
                    except TypeError as error:
                        assert str(error).endswith("from=float64, to=int64"), error
                    try:
                        sort(arr[::2])
                    except BaseException as error:
                        assert str(error) == "called `Option::unwrap()` on a `None` value"
                    else:
                        raise AssertionError("a strided view was accepted")

        # The first calls of the process, which obtain NumPy's API, are made by all at once.
        print(json.dumps(run_threads(work, 8)))
        """
    )
    assert result == []


def test_threads_sorting_one_shared_array():
    result = run_child(
        """
        original = np.random.default_rng(9).permutation(50_000).astype(np.int64)
        shared = original.copy()
        def work(index):
            rng = np.random.default_rng(index)
            names = [n for n in FUNCTION_NAMES if n not in QUADRATIC]
            for name in rng.choice(names, 20):
                getattr(_tarvo, name)(shared)
                # A call runs whole under the interpreter lock: whatever ran since, the array is
                # sorted, never caught in the middle of another thread's sort. The copy is taken
                # under the lock too (NumPy's comparisons let it go while they run).
                seen = np.frombuffer(shared.tobytes(), dtype=np.int64)
                if not (seen[:-1] <= seen[1:]).all():
                    raise AssertionError(f"unsorted after {name}")
        errors = run_threads(work, 6)
        errors += [] if np.array_equal(shared, np.arange(50_000)) else ["not a permutation"]
        print(json.dumps(errors))
        """
    )
    assert result == []


@pytest.mark.parametrize("workers", ["1", "2", "8"])
def test_parallel_sorts_from_several_threads_with_pools_of_every_size(workers):
    result = run_child(
        """
        import os
        # The pool, made by this first parallel call, has exactly the configured size.
        _tarvo.par_sort(np.random.default_rng(0).permutation(600_000))
        threads = len(os.listdir("/proc/self/task"))

        def work(index):
            rng = np.random.default_rng(index)
            for round in range(4):
                for name in ["smart", "par_sort", "par_merge", "par_sort_unstable"]:
                    n = int(rng.integers(8_192, 150_000))
                    original = rng.integers(-2**63, 2**63 - 1, n, dtype=np.int64, endpoint=True)
                    arr = original.copy()
                    getattr(_tarvo, name)(arr)
                    if not np.array_equal(arr, np.sort(original)):
                        raise AssertionError(f"{name} sorted {n} elements wrongly")
        errors = run_threads(work, 4)
        print(json.dumps({"errors": errors, "threads": threads}))
        """,
        env={"RAYON_NUM_THREADS": workers, "OPENBLAS_NUM_THREADS": "1"},
    )
    assert result["errors"] == []
    assert result["threads"] == 1 + int(workers)


def test_long_parallel_sorts_interrupted_by_signals_complete():
    result = run_child(
        """
        import signal
        n = 10_000_000
        original = np.random.default_rng(4).permutation(n).astype(np.int64)
        expected = np.arange(n, dtype=np.int64)
        handled = []
        signal.signal(signal.SIGALRM, lambda signum, frame: handled.append(signum))
        outcomes = {}
        for name in ["par_sort", "par_sort_unstable", "par_merge", "smart"]:
            arr = original.copy()
            handled.clear()
            signal.setitimer(signal.ITIMER_REAL, 0.001, 0.001)
            try:
                getattr(_tarvo, name)(arr)
            finally:
                signal.setitimer(signal.ITIMER_REAL, 0)
            outcomes[name] = [bool(np.array_equal(arr, expected)), len(handled) > 0]
        print(json.dumps(outcomes))
        """
    )
    assert result == {name: [True, True] for name in result} and len(result) == 4


def test_exception_from_a_signal_handler_never_leaves_a_sort_half_done():
    result = run_child(
        """
        import signal

        class Interrupted(Exception):
            pass

        def interrupt(signum, frame):
            raise Interrupted

        n = 2_000_000
        original = np.random.default_rng(5).permutation(n).astype(np.int64)
        _tarvo.insertion(np.arange(2))  # NumPy's API is fetched now, not under the alarm
        signal.signal(signal.SIGALRM, interrupt)
        states = []
        for name in ["par_sort", "par_merge", "smart", "merge", "radix"]:
            arr = original.copy()
            try:
                signal.setitimer(signal.ITIMER_REAL, 0.002)
                getattr(_tarvo, name)(arr)
                signal.pause()  # the alarm comes after the call, then
            except Interrupted:
                pass
            finally:
                signal.setitimer(signal.ITIMER_REAL, 0)
            # The handler runs between two steps of Python code: before the call or after it.
            if np.array_equal(arr, np.arange(n)):
                states.append("sorted")
            elif np.array_equal(arr, original):
                states.append("untouched")
            else:
                states.append(f"{name} half done")
        print(json.dumps(states))
        """
    )
    assert set(result) <= {"sorted", "untouched"}, result
    assert "sorted" in result


def test_pool_sorts_from_a_thread_with_the_smallest_stack_python_allows():
    # The calling thread draws the first sample and runs the kernel on short slices; a thread
    # started with threading.stack_size(32768) must have room for whatever that keeps on it.
    result = run_child(
        """
        threading.stack_size(32768)

        def work(index):
            rng = np.random.default_rng(index)
            for name in ["par_sort", "par_sort_unstable", "smart"]:
                for original in (rng.integers(-2**40, 2**40, 600_000), rng.zipf(1.2, 600_000)):
                    arr = original.copy()
                    getattr(_tarvo, name)(arr)
                    if not np.array_equal(arr, np.sort(original)):
                        raise AssertionError(f"{name} sorted wrongly")
        errors = run_threads(work, 1)
        print(json.dumps({"errors": errors}))
        """
    )
    assert result["errors"] == []
