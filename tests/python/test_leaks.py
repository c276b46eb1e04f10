"""Repeated calls, on success and on every error and fault path, leak neither references nor
memory.

Each path is taken ten thousand times, going round all thirteen functions, after a warm-up. Then
the reference counts of everything a call touches are what they were, and so are the number of
Python memory blocks in use, the native heap in use and the resident size of the process.
"""

import contextlib
import ctypes
import gc
import itertools
import os
import sys

import numpy as np
import pytest

import _tarvo
from conftest import FUNCTION_NAMES, panic_type, private_module

CALLS = 10_000
WARM_UP = 500
FUNCTIONS = [getattr(_tarvo, name) for name in FUNCTION_NAMES]
# Tolerances far below what one leaked object or byte string per call would add up to.
PYTHON_BLOCKS_TOLERANCE = 200  # a leaked object per call: 10,000 blocks
NATIVE_HEAP_TOLERANCE = 64 << 10  # a leaked 16-byte block per call: 160 KiB, plus malloc's headers
RESIDENT_TOLERANCE = 1 << 20


class MallInfo2(ctypes.Structure):
    _fields_ = [
        (field, ctypes.c_size_t)
        for field in (
            "arena",
            "ordblks",
            "smblks",
            "hblks",
            "hblkhd",
            "usmblks",
            "fsmblks",
            "uordblks",
            "fordblks",
            "keepcost",
        )
    ]


# Under AddressSanitizer freed memory is held in quarantine, so the process grows whatever the
# calls do; LeakSanitizer then finds leaked blocks itself, and only the counts are compared here.
UNDER_SANITIZER = hasattr(ctypes.CDLL(None), "__asan_init")


def native_heap_in_use():
    """Bytes the C allocator has handed out and not had back (glibc), or None elsewhere."""
    libc = ctypes.CDLL(None)
    mallinfo2 = getattr(libc, "mallinfo2", None)
    if mallinfo2 is None:
        return None
    mallinfo2.restype = MallInfo2
    info = mallinfo2()
    return info.uordblks + info.hblkhd


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@contextlib.contextmanager
def stderr_silenced():
    """Faults write a diagnostic each time; ten thousand of them stay out of the test output."""
    sys.stderr.flush()
    saved = os.dup(2)
    with open(os.devnull, "wb") as devnull:
        os.dup2(devnull.fileno(), 2)
    try:
        yield
    finally:
        os.dup2(saved, 2)
        os.close(saved)


def repeat(call, expected, calls):
    """Runs call(function) `calls` times, going round all functions; each call must raise
    `expected` (or return None when expected is None)."""
    for i in range(calls):
        function = FUNCTIONS[i % len(FUNCTIONS)]
        if expected is None:
            assert call(function) is None
            continue
        try:
            call(function)
        except expected:
            pass
        else:
            raise AssertionError(f"call {i} did not raise {expected.__name__}")


def measure(watched):
    gc.collect()
    return (
        [sys.getrefcount(obj) for obj in watched],
        sys.getallocatedblocks(),
        native_heap_in_use(),
        resident_bytes(),
    )


def leaks(before, after):
    """What grew (or shrank) between two measurements, beyond the tolerances."""
    references, blocks, heap, resident = before
    references_after, blocks_after, heap_after, resident_after = after
    found = []
    if references_after != references:
        found.append(f"references {references} -> {references_after}")
    if UNDER_SANITIZER:
        return found
    if blocks_after - blocks >= PYTHON_BLOCKS_TOLERANCE:
        found.append(f"Python blocks {blocks} -> {blocks_after}")
    if heap is not None and heap_after - heap >= NATIVE_HEAP_TOLERANCE:
        found.append(f"native heap {heap} -> {heap_after}")
    if resident_after - resident >= RESIDENT_TOLERANCE:
        found.append(f"resident {resident} -> {resident_after}")
    return found


# A leak grows with every round of calls; what the rest of the process does (a finaliser of an
# earlier test's objects, a background thread) changes one round at most.
ROUNDS = 3


def assert_no_leak(call, expected, watched, calls=CALLS):
    repeat(call, expected, WARM_UP)
    found = []
    for _ in range(ROUNDS):
        before = measure(watched)
        repeat(call, expected, calls)
        found = leaks(before, measure(watched))
        if not found:
            return
    raise AssertionError(f"every round of {calls} calls changed: {found}")


INT64 = np.dtype(np.int64)


def always_watched():
    return [None, TypeError, panic_type(), MemoryError, INT64, _tarvo]


def test_successful_calls_leak_nothing():
    arr = np.arange(16, 0, -1, dtype=np.int64)
    empty = np.array([], dtype=np.int64)

    def call(function):
        function(arr)
        function(arr=empty)

    assert_no_leak(call, None, [arr, empty, "arr", *always_watched()])
    assert arr.tolist() == list(range(1, 17))


def test_parallel_calls_on_the_pool_leak_nothing():
    original = np.random.default_rng(1).integers(-(10**9), 10**9, 20_000, dtype=np.int64)
    arr = original.copy()
    parallel = itertools.cycle([_tarvo.par_sort, _tarvo.par_sort_unstable, _tarvo.par_merge])

    def call(_):
        np.copyto(arr, original)
        next(parallel)(arr)

    # Each call sorts 20,000 elements on the pool: fewer of them.
    assert_no_leak(call, None, [arr, original, *always_watched()], calls=300)
    assert np.array_equal(arr, np.sort(original))


class Name(str):
    pass


class UnprintableName(str):
    def __str__(self):
        raise RuntimeError("no text")


def argument_paths():
    a = np.array([2, 1], dtype=np.int64)
    name = Name("x")
    unprintable = UnprintableName("y")
    surrogate = "arr\udc80"
    return {
        "missing": (lambda f: f(), [a]),
        "too many positional": (lambda f: f(a, a), [a]),
        "unexpected keyword": (lambda f: f(a, **{name: a}), [a, name]),
        "multiple values": (lambda f: f(a, arr=a), [a]),
        "lone surrogate keyword": (lambda f: f(**{surrogate: a}), [a, surrogate]),
        "unprintable keyword": (lambda f: f(**{unprintable: a}), [a, unprintable]),
    }


@pytest.mark.parametrize("path", list(argument_paths()))
def test_argument_errors_leak_nothing(path, monkeypatch):
    monkeypatch.setattr(sys, "unraisablehook", lambda report: None)
    call, watched = argument_paths()[path]
    assert_no_leak(call, TypeError, [*watched, *always_watched()])


def array_paths():
    raw = np.zeros(8 * 3 + 1, dtype=np.uint8)
    misaligned = raw[1:].view(np.int64)
    frozen = np.array([3, 1, 2], dtype=np.int64)
    frozen.flags.writeable = False
    values = [3, 1, 2]
    floats = np.zeros(3)
    wide = np.zeros((2, 2), dtype=np.int64)
    swapped = np.zeros(3, dtype=">i8")
    return {
        "not an array": (values, [values, list]),
        "dimensions": (wide, [wide, wide.dtype]),
        "element type": (floats, [floats, floats.dtype]),
        "swapped element type": (swapped, [swapped, swapped.dtype]),
        "read-only": (frozen, [frozen]),
        "misaligned": (misaligned, [misaligned, raw]),
    }


@pytest.mark.parametrize("path", list(array_paths()))
def test_array_errors_leak_nothing(path):
    arr, watched = array_paths()[path]
    assert_no_leak(lambda f: f(arr), TypeError, [*watched, *always_watched()])


def test_unprintable_descriptor_leaks_nothing(monkeypatch):
    monkeypatch.setattr(sys, "unraisablehook", lambda report: None)

    class Title:
        def __repr__(self):
            raise RuntimeError("no repr")

        def __hash__(self):
            return 1

    arr = np.zeros(2, dtype=[((Title(), "a"), "<i8")])
    # Each message runs NumPy's Python code for str(dtype): fewer calls.
    watched = [arr, arr.dtype, *always_watched()]
    assert_no_leak(lambda f: f(arr), TypeError, watched, calls=2000)


def test_stride_faults_leak_nothing():
    base = np.arange(12, dtype=np.int64)
    view = base[::-2]
    with stderr_silenced():
        assert_no_leak(lambda f: f(view), panic_type(), [view, base, *always_watched()])


def test_memory_errors_leak_nothing():
    testing = private_module()
    original = np.random.default_rng(3).integers(-100, 100, 10_000, dtype=np.int64)
    arr = original.copy()
    # par_sort obtains memory only for arrays long enough to go to the pool.
    long_original = np.random.default_rng(4).integers(-100, 100, 600_000, dtype=np.int64)
    long_arr = long_original.copy()
    names = itertools.cycle(["merge", "tim", "radix", "smart", "par_merge", "par_sort"])

    def call(_):
        name = next(names)
        source, target = (long_original, long_arr) if name == "par_sort" else (original, arr)
        np.copyto(target, source)
        testing.fail_allocation_after(0)
        try:
            testing.sort(name, target)
        finally:
            testing.fail_allocation_after(-1)

    assert_no_leak(call, MemoryError, [arr, long_arr, testing, *always_watched()])
