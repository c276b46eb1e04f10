"""The pool-backed sorts against their leaf kernel alone on one thread (Highway's vqsort where
the build has it), the best single-threaded sort at hand, on the same input in the same process:
with two workers they should beat it clearly on long input of every distribution, never lose to
it from 10^4 elements on, not even with one worker, and do work that does not grow with the
workers. The 10^8 target also holds the sort's peak extra memory, at 2 and at 64 workers.
"""

import os
import subprocess
import sys
import time
from collections.abc import Callable
from dataclasses import replace

import numpy as np

from tarvo import _route
from tarvo.bench import scaling
from tarvo.bench.candidates import KERNEL, sort_function
from tarvo.bench.checks import Check, Run, Target, series_check, size_label
from tarvo.bench.inputs import HEAVY_AND_RARE, make_input
from tarvo.bench.timing import Candidate, Series, side_by_side
from tarvo.bench.worker import Worker, record

POOL_SORTS = ("par_sort_unstable", "par_sort", "smart")
PARALLEL_ROUTE = "parallel_unstable"
PATTERNS = (
    "random",
    "small-range",
    "four-distinct",
    "zipf",
    "sqrt-distinct",
    "exponential",
    "all-equal",
    "gaussian",
    "outliers",
    "nearly-sorted",
)

# 10^7 on two workers: random well under two thirds of one thread, every pattern under 0.7.
LONG_SIZE = 10_000_000
LONG_RANDOM_LIMIT = 0.55
LONG_LIMIT = 0.70
# 10^8 random: the first partition is memory-bound, so a little less gain; extra memory
# bounded by a constant, whatever the worker count.
HUGE_SIZE = 100_000_000
HUGE_LIMIT = 0.60
HUGE_MEMORY_LIMIT = 24 << 20
HUGE_MEMORY_WORKERS = (2, 64)
# 10^8 values take seconds a sort: fewer rounds than the rest.
HUGE_ROUNDS = 3
# 10^6, the first call after a single-threaded one: the workers have gone to sleep meanwhile,
# as for a user who calls once.
MID_SIZE = 1_000_000
MID_LIMIT = 0.85
# Short input: the pool-backed sorts should cost no more than the kernel they fall back to.
SHORT_SIZES = (10_000, 100_000)
SHORT_LIMIT = 1.05
# One worker (RAYON_NUM_THREADS=1, or a container with one core's quota): the kernel alone.
ONE_WORKER_SIZES = (1_000_000, 10_000_000)
ONE_WORKER_LIMIT = 1.05
# CPU time of all threads from 2 workers to 32 and to 128.
GROWTH_LIMITS = {32: 1.25, 128: 1.6}
GROWTH_PATTERNS = (*PATTERNS, HEAVY_AND_RARE)


def _pool_check(series, name, limit, route, label=None) -> Check:
    """smart counts only where it takes its parallel route; elsewhere its own rules pick a
    sequential sort (up to 100,000 elements, or nearly sorted and duplicate-heavy input)."""
    check = series_check(series, name, KERNEL, limit, label)
    if name == "smart" and route != PARALLEL_ROUTE:
        return replace(check, informational=True, note=f"smart takes {route} here")
    return check


def _label(name: str, pattern: str, size: int) -> str:
    return f"{name} {pattern} {size_label(size)}"


def _pool_checks(series, limit, route, pattern: str, size: int) -> list[Check]:
    """One check per pool sort on one input, against the kernel's series of the same rounds."""
    return [
        _pool_check(series, name, limit, route, _label(name, pattern, size)) for name in POOL_SORTS
    ]


def _measure(run: Run, pattern: str, size: int, rounds: int | None = None):
    """The series of the kernel and of the pool sorts on one input, and smart's route for it."""
    base = make_input(pattern, size, run.seed)
    expected = np.sort(base)
    candidates = [Candidate(KERNEL, _route.leaf_sort, expected)]
    candidates += [Candidate(name, sort_function(name), expected) for name in POOL_SORTS]
    series = side_by_side(base, candidates, rounds or run.rounds, on_round=run.tick)
    return series, _route.smart_route(base)


def long_target(run: Run) -> Target:
    size = run.size(LONG_SIZE)
    checks = []
    for pattern in PATTERNS:
        series, route = _measure(run, pattern, size)
        limit = LONG_RANDOM_LIMIT if pattern == "random" else LONG_LIMIT
        checks += _pool_checks(series, limit, route, pattern, size)
    return Target(6, f"{size_label(size)}, every pattern, 2 workers", tuple(checks))


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
from tarvo.bench.candidates import sort_function
from tarvo.bench.inputs import make_input
from tarvo.bench.kernel_targets import peak_extra_bytes
array = make_input("random", {size}, {seed})
print(peak_extra_bytes(sort_function({name!r}), array))
"""


def fresh_peak_extra_bytes(name: str, size: int, seed: int, workers: int) -> int | None:
    """peak_extra_bytes of one call in a new process with `workers` workers, whose allocator holds
    no memory freed by earlier sorts that the call could reuse unseen."""
    child = subprocess.run(
        [sys.executable, "-c", _FRESH_PEAK.format(size=size, seed=seed, name=name)],
        env=dict(os.environ, RAYON_NUM_THREADS=str(workers)),
        capture_output=True,
        text=True,
        check=False,
    )
    text = child.stdout.strip()
    return int(text) if child.returncode == 0 and text.lstrip("-").isdigit() else None


def huge_target(run: Run) -> Target:
    name, size = "par_sort_unstable", run.size(HUGE_SIZE)
    base = make_input("random", size, run.seed)
    expected = np.sort(base)
    candidates = [Candidate(KERNEL, _route.leaf_sort, expected)]
    candidates.append(Candidate(name, sort_function(name), expected))
    rounds = min(run.rounds, HUGE_ROUNDS)
    series = side_by_side(base, candidates, rounds, on_round=run.tick)
    del base, expected
    checks = [series_check(series, name, KERNEL, HUGE_LIMIT, _label(name, "random", size))]
    for workers in HUGE_MEMORY_WORKERS:
        extra = fresh_peak_extra_bytes(name, size, run.seed, workers)
        checks.append(
            Check(
                f"{name} peak extra memory, {workers} workers",
                "24 MiB",
                None if extra is None else extra / HUGE_MEMORY_LIMIT,
                1.0,
                note="" if extra is None else f"{extra / 2**20:.1f} MiB",
            )
        )
    return Target(7, f"{size_label(size)} random, time and memory", tuple(checks))


def after_single_threaded_call(base: np.ndarray, subject: Candidate, rounds: int, tick) -> tuple:
    """Per round: the kernel on one copy, then at once `subject` on another, both timed. The pool
    has had nothing to do during the kernel's call, as after any single-threaded work."""
    kernel_series, subject_series = Series(KERNEL), Series(subject.name)
    kernel_buffer, subject_buffer = np.empty_like(base), np.empty_like(base)
    for _ in range(rounds):
        np.copyto(kernel_buffer, base)
        np.copyto(subject_buffer, base)
        start = time.perf_counter()
        _route.leaf_sort(kernel_buffer)
        middle = time.perf_counter()
        subject.run(subject_buffer)
        kernel_series.seconds.append(middle - start)
        subject_series.seconds.append(time.perf_counter() - middle)
        subject_series.wrong |= not np.array_equal(subject_buffer, subject.expected)
        tick()
    return kernel_series, subject_series


def mid_target(run: Run) -> Target:
    size = run.size(MID_SIZE)
    checks = []
    for pattern in PATTERNS:
        base = make_input(pattern, size, run.seed)
        expected = np.sort(base)
        route = _route.smart_route(base)
        for name in POOL_SORTS:
            candidate = Candidate(name, sort_function(name), expected)
            kernel, measured = after_single_threaded_call(base, candidate, run.rounds, run.tick)
            series = {KERNEL: kernel, name: measured}
            checks.append(_pool_check(series, name, MID_LIMIT, route, _label(name, pattern, size)))
    return Target(8, f"{size_label(size)}, every pattern, pool asleep", tuple(checks))


def short_target(run: Run) -> Target:
    checks = []
    sizes = tuple(dict.fromkeys(run.size(size) for size in SHORT_SIZES))
    for size in sizes:
        for pattern in PATTERNS:
            series, route = _measure(run, pattern, size)
            checks += _pool_checks(series, SHORT_LIMIT, route, pattern, size)
    title = " and ".join(map(size_label, sizes))
    return Target(9, f"{title}, every pattern", tuple(checks))


def one_worker_target(run: Run) -> Target:
    """The kernel and the pool sorts in one child with one worker, asked in turn every round."""
    checks = []
    sizes = tuple(dict.fromkeys(run.size(size) for size in ONE_WORKER_SIZES))
    with Worker(1) as child:
        for size in sizes:
            for pattern in PATTERNS:
                names = (KERNEL, *POOL_SORTS)
                series = {name: Series(name) for name in names}
                for round_index in range(run.rounds):
                    shift = round_index % len(names)
                    for name in names[shift:] + names[:shift]:
                        record(child.time(name, pattern, size, run.seed), series[name])
                    run.tick()
                route = _route.smart_route(make_input(pattern, size, run.seed))
                checks += _pool_checks(series, ONE_WORKER_LIMIT, route, pattern, size)
    title = " and ".join(map(size_label, sizes))
    return Target(10, f"1 worker, {title}, every pattern", tuple(checks))


def growth_target(run: Run) -> Target:
    size = run.size(scaling.DEFAULT_SIZE)
    report = scaling.run_scaling(GROWTH_PATTERNS, size, run.rounds, run.seed)
    run.tick()
    checks = []
    for pattern in GROWTH_PATTERNS:
        for workers, limit in GROWTH_LIMITS.items():
            checks.append(
                Check(
                    f"{scaling.FUNCTION} {pattern}, {workers} workers",
                    f"{scaling.WORKER_COUNTS[0]} workers' CPU time",
                    report.cpu_growth(pattern, workers),
                    limit,
                    correct=report.correct(pattern),
                )
            )
    return Target(11, f"CPU-time growth with the workers, {size_label(size)}", tuple(checks))


def total_ticks(rounds: int) -> int:
    long = len(PATTERNS) * rounds
    mid = len(PATTERNS) * len(POOL_SORTS) * rounds
    short = len(PATTERNS) * len(SHORT_SIZES) * rounds
    one_worker = len(PATTERNS) * len(ONE_WORKER_SIZES) * rounds
    return long + min(rounds, HUGE_ROUNDS) + mid + short + one_worker + 1


MEASURES = (long_target, huge_target, mid_target, short_target, one_worker_target, growth_target)
