"""The speed targets against numpy.sort, a plain copy, one thread and ``a.sort()``, and the run
of every target: these first, then those against the leaf kernel (kernel_targets).

Each is measured side by side and reported as a ratio against its limit (checks.py).
"""

import statistics
import timeit
from collections.abc import Callable
from dataclasses import replace

import numpy as np

import _tarvo
from tarvo import _route
from tarvo.bench import kernel_targets
from tarvo.bench.candidates import BASELINE, sort_function
from tarvo.bench.checks import Check, Run, Target, series_check, size_label
from tarvo.bench.inputs import make_input
from tarvo.bench.timing import Candidate, Series, paired_ratio, side_by_side
from tarvo.bench.worker import Worker, record

TARGET_SIZE = 10_000_000
# The sorts held to the throughput targets; smart takes its parallel route on random input.
TARGET_FUNCTIONS = ("par_sort_unstable", "par_sort", "smart")
# The sorts held to the scaling target: everything that runs on the worker pool.
SCALING_FUNCTIONS = ("par_sort", "par_sort_unstable", "par_merge")
PRESORTED_PATTERNS = ("sorted", "reversed", "all-equal")

# Two threads should sort random input at least twice as fast as numpy's single-threaded sort.
PARALLEL_VS_NUMPY = 0.5
# Sorting 10^7 values should cost no more than a dozen passes over the memory they occupy.
PARALLEL_VS_COPY = 12.0
# Ordered or constant input needs little more than a check that it is ordered.
PRESORTED_VS_COPY = 4.0
# Two threads should give at least 85 % of a perfect doubling.
SCALING_MIN_SPEEDUP = 1.7
# On one thread the parallel sorts lose their edge but should not fall far behind numpy.
ONE_THREAD_VS_NUMPY = 1.2
# A call on a one-element array is pure call overhead; it should not exceed ndarray.sort's.
CALL_OVERHEAD_VS_SORT = 1.0
# Calls per timing of the call-overhead target, and its rounds: each round takes milliseconds.
CALL_OVERHEAD_CALLS = 50_000
CALL_OVERHEAD_ROUNDS = 9

COPY = "copy"
FIXED_ALGORITHM = ("par_merge",)
FIXED_ALGORITHM_NOTE = "its algorithm is fixed: sequential stable sort leaves, sequential top merge"
PARALLEL_ROUTE = kernel_targets.PARALLEL_ROUTE
NOT_PARALLEL_NOTE = "not its parallel route: timsort has no sorted shortcut"
ONE_THREAD = "1 thread"
ARRAY_SORT = "a.sort()"


def _smart_label(base: np.ndarray) -> str:
    return f"smart ({_route.smart_route(base)})"


def _measure(run: Run, pattern, names) -> tuple[dict[str, Series], str]:
    base = make_input(pattern, run.size(TARGET_SIZE), run.seed)
    expected = np.sort(base)
    candidates = [
        Candidate(COPY, lambda buffer: np.copyto(buffer, base), None)
        if name == COPY
        else Candidate(name, sort_function(name), expected)
        for name in names
    ]
    series = side_by_side(base, candidates, run.rounds, calls=1, on_round=run.tick)
    return series, _smart_label(base)


def throughput_target(run: Run) -> Target:
    series, smart = _measure(run, "random", (BASELINE, COPY, *TARGET_FUNCTIONS))
    checks = []
    for name in TARGET_FUNCTIONS:
        label = smart if name == "smart" else name
        checks.append(series_check(series, name, BASELINE, PARALLEL_VS_NUMPY, label))
        checks.append(series_check(series, name, COPY, PARALLEL_VS_COPY, label))
    return Target(1, f"{size_label(run.size(TARGET_SIZE))} random int64", tuple(checks))


def small_range_target(run: Run) -> Target:
    series, smart = _measure(run, "small-range", (BASELINE, *TARGET_FUNCTIONS))
    checks = tuple(
        series_check(series, name, BASELINE, PARALLEL_VS_NUMPY, smart if name == "smart" else None)
        for name in TARGET_FUNCTIONS
    )
    return Target(2, f"{size_label(run.size(TARGET_SIZE))} values from [0, 10^6)", checks)


def presorted_target(run: Run) -> Target:
    checks = []
    for pattern in PRESORTED_PATTERNS:
        series, smart = _measure(run, pattern, (COPY, *TARGET_FUNCTIONS))
        for name in TARGET_FUNCTIONS:
            label = f"{smart if name == 'smart' else name} on {pattern}"
            check = series_check(series, name, COPY, PRESORTED_VS_COPY, label)
            if name == "smart" and smart != f"smart ({PARALLEL_ROUTE})":
                # smart's own rules send nearly sorted and duplicate-heavy input to timsort,
                # which by its definition merges every block: no linear shortcut to hold it to.
                check = replace(check, informational=True, note=NOT_PARALLEL_NOTE)
            checks.append(check)
    title = f"{size_label(run.size(TARGET_SIZE))} sorted, reversed, all equal"
    return Target(3, title, tuple(checks))


def scaling_target(run: Run) -> Target:
    """Each thread count in a process of its own, asked in turn within every round."""
    size = run.size(TARGET_SIZE)
    one_thread = {name: Series(name) for name in (*SCALING_FUNCTIONS, BASELINE)}
    two_threads = {name: Series(name) for name in SCALING_FUNCTIONS}
    numpy_beside = {name: Series(BASELINE) for name in SCALING_FUNCTIONS}
    with Worker(1) as one, Worker(2) as two:
        for round_index in range(run.rounds):
            for name in SCALING_FUNCTIONS:
                asks = [(one, name, one_thread[name]), (two, name, two_threads[name])]
                asks.append((one, BASELINE, numpy_beside[name]))
                shift = round_index % len(asks)
                for worker, function, into in asks[shift:] + asks[:shift]:
                    record(worker.time(function, "random", size, run.seed), into)
            run.tick()
    checks = []
    for name in SCALING_FUNCTIONS:
        speedup = paired_ratio(one_thread[name], two_threads[name])
        checks.append(
            Check(
                f"{name} 2 threads",
                ONE_THREAD,
                speedup,
                SCALING_MIN_SPEEDUP,
                at_least=True,
                correct=not (one_thread[name].wrong or two_threads[name].wrong),
                note=one_thread[name].error or two_threads[name].error or "",
            )
        )
        # par_merge's stable sort leaves are fixed by its definition: it is held to scaling only.
        fixed_algorithm = name in FIXED_ALGORITHM
        checks.append(
            Check(
                f"{name} 1 thread",
                BASELINE,
                paired_ratio(one_thread[name], numpy_beside[name]),
                ONE_THREAD_VS_NUMPY,
                correct=not one_thread[name].wrong,
                note=one_thread[name].error or (FIXED_ALGORITHM_NOTE if fixed_algorithm else ""),
                informational=fixed_algorithm,
            )
        )
    return Target(4, f"scaling, {size_label(size)} random, 1 vs 2 threads", tuple(checks))


def call_overhead_target(run: Run) -> Target:
    """insertion and ndarray.sort on the same one-element array, in alternating timeit runs."""
    array = np.array([7], dtype=np.int64)
    ours = timeit.Timer("insertion(a)", globals={"insertion": _tarvo.insertion, "a": array})
    theirs = timeit.Timer("a.sort()", globals={"a": array})
    ratios = []
    for round_index in range(CALL_OVERHEAD_ROUNDS):
        pair = [ours, theirs] if round_index % 2 == 0 else [theirs, ours]
        seconds = {id(timer): timer.timeit(CALL_OVERHEAD_CALLS) for timer in pair}
        ratios.append(seconds[id(ours)] / seconds[id(theirs)])
        run.tick()
    check = Check(
        "insertion, 1 element", ARRAY_SORT, statistics.median(ratios), CALL_OVERHEAD_VS_SORT
    )
    return Target(5, "call overhead", (check,))


def total_ticks(rounds: int) -> int:
    """Ticks of a whole run: `rounds` for targets 1, 2 and 4, three times that for target 3's
    three patterns, the call-overhead rounds, and those of the targets against the kernel."""
    return 6 * rounds + CALL_OVERHEAD_ROUNDS + kernel_targets.total_ticks(rounds)


MEASURES = (
    throughput_target,
    small_range_target,
    presorted_target,
    scaling_target,
    call_overhead_target,
    *kernel_targets.MEASURES,
)


def run_targets(run: Run, report: Callable[[Target], object]) -> list[Target]:
    """Measures the targets in order, handing each to `report` as soon as it is done."""
    targets = []
    for measure in MEASURES:
        targets.append(measure(run))
        report(targets[-1])
    return targets
