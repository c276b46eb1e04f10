"""Racing writers: another thread rewrites the array while a function sorts it.

A racy program may get any order and any of the values written, but never a crash, a hang, or
memory from outside the array. Each case runs in a fresh interpreter (a crash is then a failed
test, not a dead suite), with the array placed by np.frombuffer over an anonymous mapping so
that it ends exactly where a page begins. Guard mode makes that page and the one before the
array's first page inaccessible, so a stray access past the end faults; canary mode leaves them
readable and fills them, and the rest of the array's first page, with a marker value that must
never show up in the array, nor be overwritten. Nor may the array ever hold a value outside the
range the writer draws from: such a value comes from memory no one filled, like a buffer slot the
sort never wrote. The writer's copies are not atomic per element (the kernel copies bytes, and
may store them out of order), so the sort or the check may read an element half rewritten: every
range holds any mixture of its values' bytes (all of int64, from 0 up to a power of two, or values
of one byte). A range of [0, 500,000) let such torn values of up to 524,287 fail the check.

The writer thread calls os.preadv without the GIL, rewriting the whole array many times per
call from an in-memory file of pre-drawn values; the values' pattern keeps the smart
dispatcher on the route a case aims at.
"""

import json

import pytest

from conftest import run_python

# Seconds of racing per (pattern, length) step; every step makes at least MIN_CALLS calls.
STEP_SECONDS = 0.08
MIN_CALLS = 2
# A hang shows up as a timeout of the whole case.
CASE_TIMEOUT_SECONDS = 120

SCRIPT = r"""
import ctypes, json, mmap, os, threading, time
import numpy as np
import _tarvo

MARKER = 0x5A5A_5A5A_5A5A_5A5A
PAGE = mmap.PAGESIZE
PROT_NONE = 0
libc = ctypes.CDLL(None, use_errno=True)
libc.mprotect.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int]

# Pattern: the values drawn lie in [low, high), uniformly unless SKEWED says otherwise.
PATTERNS = {
    "wide": (-(2**63), 2**63),  # both signs over the whole range: pdq, parallel, radix's lists
    "narrow": (0, 2**19),  # non-negative, spanning less than 10^6: smart's radix route
    "few": (0, 10),  # mostly duplicates: smart's tim route
    "skewed": (0, 2**62),  # as many values of every magnitude: the pool sorts' split sort
    "counted": (0, 2**12),  # some 250 copies of each value at 10^6: the pool sorts' range count
}
SKEWED = {"skewed"}

def draw(rng, pattern, count):
    low, high = PATTERNS[pattern]
    if pattern in SKEWED:
        return np.exp2(rng.uniform(0, np.log2(high), count)).astype(np.int64).clip(low, high - 1)
    return rng.integers(low, high - 1, count, dtype=np.int64, endpoint=True)

def placed_array(n, canary):
    # Pages: one in front, the array's pages (it ends at the last byte of the last one), one
    # behind.
    data_pages = -(-n * 8 // PAGE) or 1
    region = mmap.mmap(-1, (data_pages + 2) * PAGE)
    words = np.frombuffer(region, dtype=np.int64)
    end = (data_pages + 1) * PAGE // 8
    array = words[end - n : end]
    outside = (words[: end - n], words[end:])
    if canary:
        for part in outside:
            part[:] = MARKER
    else:
        base = ctypes.addressof(ctypes.c_char.from_buffer(region))
        for start in (base, base + (data_pages + 1) * PAGE):
            if libc.mprotect(start, PAGE, PROT_NONE) != 0:
                raise OSError(ctypes.get_errno(), "mprotect")
    return region, array, outside

def race(sort, pattern, n, canary, seconds, min_calls, rng):
    region, a, outside = placed_array(n, canary)
    # Enough variants that one preadv keeps the writer busy for a while even on short arrays.
    variants = max(3, min(1024, (1 << 20) // max(1, n * 8)))
    low, high = PATTERNS[pattern]
    source = draw(rng, pattern, n * variants)
    a[:] = source[:n]
    fd = os.memfd_create("race")
    with open(fd, "wb", closefd=False) as f:
        f.write(source.tobytes())
    stop = threading.Event()
    view = memoryview(a).cast("B")

    def writer():
        while not stop.is_set():
            os.preadv(fd, [view] * variants, 0)

    thread = threading.Thread(target=writer, daemon=True)
    thread.start()
    calls = 0
    deadline = time.monotonic() + seconds
    while calls < min_calls or time.monotonic() < deadline:
        sort(a)
        calls += 1
        if canary:
            assert not (a == MARKER).any(), f"marker read into the array on call {calls}"
            assert low <= a.min() and a.max() <= high - 1, f"foreign value on call {calls}"
            for part in outside:
                assert (part == MARKER).all(), f"written outside the array on call {calls}"
    stop.set()
    thread.join()
    os.close(fd)
    del view
    return calls

name, mode, steps, seconds, min_calls = json.loads(os.environ["TARVO_RACE_CASE"])
sort = getattr(_tarvo, name)
rng = np.random.default_rng(11)
for pattern, n in steps:
    print(f"{pattern} {n}:", end=" ", flush=True)
    print(race(sort, pattern, n, mode == "canary", seconds, min_calls, rng), "calls", flush=True)
print("done")
"""

# Lengths around every threshold of the paths each function can take: insertion cut-offs (16,
# 24, 32), tim's block lengths, pdq's ninther from 128, smart's 16 / 1000 / 100,000 routes,
# par_merge's 8,192 leaves; the pool-backed sorts at lengths generous enough for any cut-off.
LONG = [1_000_000]


def steps(patterns, lengths):
    return [(pattern, n) for pattern in patterns for n in lengths]


PLANS = {
    "bubble": steps(["wide"], [2, 17, 200]),
    "insertion": steps(["wide"], [2, 17, 200]),
    # Lomuto's last-element pivot is quadratic on many duplicates.
    "quick": steps(["wide"], [2, 17, 10_000]),
    "heap": steps(["wide", "few"], [2, 17, 10_000]),
    "intro": steps(["wide", "few"], [16, 17, 1_000, 100_000]),
    "pdq": steps(["wide", "few"], [24, 25, 127, 128, 10_000, 100_000]) + steps(["wide"], LONG),
    "merge": steps(["wide"], [2, 3, 33, 10_000, 100_000] + LONG),
    "tim": steps(["wide"], [31, 32, 33, 64, 513, 10_000, 100_000] + LONG)
    + steps(["few"], [33, 10_000]),
    "radix": steps(["wide", "narrow"], [2, 17, 1_000, 100_000] + LONG),
    # insertion (16), pdq (wide), radix (narrow, 1,000 to 100,000), tim (few, any length).
    "smart": steps(["wide", "few"], [16, 17, 999, 10_000])
    + steps(["narrow"], [999, 1_000, 100_000])
    + steps(["wide"], [100_000])
    + steps(["few"], LONG),
    "smart, parallel route": steps(["wide"], [100_001] + LONG),
    "par_merge": steps(["wide"], [2, 8_191, 8_192, 16_383, 100_000] + LONG),
    "par_sort": steps(["wide", "narrow", "few"], [17, 16_383, 100_000] + LONG)
    + steps(["skewed", "counted"], LONG),
    "par_sort_unstable": steps(["wide", "narrow", "few"], [17, 16_383, 100_000] + LONG)
    + steps(["skewed", "counted"], LONG),
}


def case_params():
    for case in PLANS:
        for mode in ("guard", "canary"):
            yield pytest.param(case, mode, id=f"{case}-{mode}")


@pytest.mark.parametrize(("case", "mode"), list(case_params()))
def test_racing_writer_never_reaches_outside_the_array(case, mode):
    name = case.split(",")[0]
    argument = json.dumps([name, mode, PLANS[case], STEP_SECONDS, MIN_CALLS])
    result = run_python(SCRIPT, env={"TARVO_RACE_CASE": argument}, timeout=CASE_TIMEOUT_SECONDS)
    report = f"stdout: {result.stdout[-2000:]}\nstderr: {result.stderr[-4000:]}"
    assert result.returncode == 0, f"exit {result.returncode}\n{report}"
    assert result.stdout.endswith("done\n")
