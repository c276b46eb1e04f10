"""The pool-backed sorts against their leaf kernel alone on one thread (Highway's vqsort where
the build has it), the best single-threaded sort at hand: with two workers they should beat it
clearly on long input and never lose to it from 10^4 elements on. numpy.sort is timed beside
them for comparison only, and the 10^8 target also holds the sort's peak extra memory.
"""

import subprocess
import sys
from collections.abc import Callable
from dataclasses import replace

import numpy as np

from tarvo import _route
from tarvo.bench.candidates import BASELINE, sort_function
from tarvo.bench.inputs import make_input
from tarvo.bench.targets import PARALLEL_ROUTE, Check, Target, Tick, _check
from tarvo.bench.timing import Candidate, side_by_side

KERNEL = "kernel 1 thread"
POOL_SORTS = ("par_sort_unstable", "par_sort", "smart")
PATTERNS = (
    "random",
    "small-range",
    "few-distinct",
    "skewed",
    "gaussian",
    "outliers",
    "nearly-sorted",
)

# 10^7 random values on two workers: well under two thirds of one thread's time.
RANDOM_SIZE = 10_000_000
RANDOM_LIMIT = 0.60
# 10^8 random values: the first partition is memory-bound, so a little less gain; extra memory
# at most 1 % of the array plus 16 MiB of buffers.
HUGE_SIZE = 100_000_000
HUGE_LIMIT = 0.70
HUGE_MEMORY_SHARE = 0.01
HUGE_MEMORY_SLACK = 16 << 20
# Every distribution, long and short input.
LONG_SIZES = (1_000_000, 10_000_000)
LONG_LIMIT = 0.80
SHORT_SIZES = (10_000, 100_000)
SHORT_LIMIT = 1.10
# 10^8 values take seconds a sort: fewer rounds than the rest.
HUGE_ROUNDS = 3


def _measure(pattern: str, size: int, names, rounds: int, seed: int, tick: Tick):
    """The series of the kernel and of `names` on one input, and smart's route for it."""
    base = make_input(pattern, size, seed)
    expected = np.sort(base)
    candidates = [Candidate(KERNEL, _route.leaf_sort, expected)]
    candidates += [Candidate(name, sort_function(name), expected) for name in names]
    return side_by_side(base, candidates, rounds, on_round=tick), _route.smart_route(base)


def _pool_check(series, name, limit, route, label=None) -> Check:
    """smart counts only where it takes its parallel route; elsewhere its own rules pick a
    sequential sort (up to 100,000 elements, or nearly sorted and duplicate-heavy input)."""
    check = _check(series, name, KERNEL, limit, label)
    if name == "smart" and route != PARALLEL_ROUTE:
        return replace(check, informational=True, note=f"smart takes {route} here")
    return check


def random_target(rounds: int, seed: int, tick: Tick) -> Target:
    series, route = _measure("random", RANDOM_SIZE, (*POOL_SORTS, BASELINE), rounds, seed, tick)
    checks = [_pool_check(series, name, RANDOM_LIMIT, route) for name in POOL_SORTS]
    checks.append(replace(_check(series, BASELINE, KERNEL, RANDOM_LIMIT), informational=True))
    return Target(6, f"10^7 random vs {_route.leaf_kernel()}", tuple(checks))


def peak_extra_bytes(sort: Callable[[np.ndarray], object], array: np.ndarray) -> int | None:
    """How far one sort raises the resident size above where it started (Linux: the high-water
    mark is reset first), or None where that cannot be measured."""
    try:
        with open("/proc/self/clear_refs", "w") as clear:
            clear.write("5")
        before = _status_bytes("VmRSS:")
        sort(array)
        return _status_bytes("VmHWM:") - before
    except OSError:
        return None


def _status_bytes(field: str) -> int:
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field):
                return int(line.split()[1]) * 1024
    raise OSError(f"no {field} in /proc/self/status")


_FRESH_PEAK = """
import sys
from tarvo.bench.candidates import sort_function
from tarvo.bench.inputs import make_input
from tarvo.bench.kernel_targets import peak_extra_bytes
array = make_input("random", {size}, {seed})
print(peak_extra_bytes(sort_function({name!r}), array))
"""


def fresh_peak_extra_bytes(name: str, size: int, seed: int) -> int | None:
    """peak_extra_bytes of one call in a new process, whose allocator holds no memory freed by
    earlier sorts that the call could reuse unseen."""
    child = subprocess.run(
        [sys.executable, "-c", _FRESH_PEAK.format(size=size, seed=seed, name=name)],
        capture_output=True,
        text=True,
        check=False,
    )
    text = child.stdout.strip()
    return int(text) if child.returncode == 0 and text.isdigit() else None


def huge_target(rounds: int, seed: int, tick: Tick) -> Target:
    name = "par_sort_unstable"
    series, _ = _measure("random", HUGE_SIZE, (name,), min(rounds, HUGE_ROUNDS), seed, tick)
    checks = [_check(series, name, KERNEL, HUGE_LIMIT)]
    extra = fresh_peak_extra_bytes(name, HUGE_SIZE, seed)
    allowed = HUGE_MEMORY_SHARE * HUGE_SIZE * 8 + HUGE_MEMORY_SLACK
    checks.append(
        Check(
            f"{name} peak extra memory",
            "1 % of the array + 16 MiB",
            None if extra is None else extra / allowed,
            1.0,
            note="" if extra is None else f"{extra / 2**20:.1f} MiB",
        )
    )
    return Target(7, "10^8 random, time and memory", tuple(checks))


def _patterns_target(number, sizes, limit, rounds, seed, tick) -> Target:
    checks = []
    for size in sizes:
        for pattern in PATTERNS:
            series, route = _measure(pattern, size, POOL_SORTS, rounds, seed, tick)
            for name in POOL_SORTS:
                label = f"{name} {pattern} {size:.0e}".replace("+0", "")
                checks.append(_pool_check(series, name, limit, route, label))
    sizes_text = " and ".join(f"{size:.0e}".replace("+0", "") for size in sizes)
    return Target(number, f"{sizes_text}, every distribution", tuple(checks))


def long_target(rounds: int, seed: int, tick: Tick) -> Target:
    return _patterns_target(8, LONG_SIZES, LONG_LIMIT, rounds, seed, tick)


def short_target(rounds: int, seed: int, tick: Tick) -> Target:
    return _patterns_target(9, SHORT_SIZES, SHORT_LIMIT, rounds, seed, tick)


def total_ticks(rounds: int) -> int:
    patterns = len(PATTERNS) * (len(LONG_SIZES) + len(SHORT_SIZES))
    return rounds * (1 + patterns) + min(rounds, HUGE_ROUNDS)


MEASURES = (random_target, huge_target, long_target, short_target)
