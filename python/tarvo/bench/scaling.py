"""How the work of a pool-backed sort grows with the worker count: the CPU time of all threads of
one sort with 2, 8, 32 and 128 workers, over its CPU time with 2.

With more workers than cores the wall time says nothing, but the CPU time still shows work that
grows with the workers (refills that walk every stripe, cleanup per worker, waiting that spins).
The pool is sized once per process, at its first parallel call, so every worker count runs in a
child process of its own; the child starts its pool with an untimed sort first. The wall-clock
speed-up over 2 workers is shown where the machine has the cores for it.
"""

import json
import os
import resource
import statistics
import subprocess
import sys
import time
from collections.abc import Callable, Sequence
from dataclasses import dataclass

import numpy as np

from tarvo.bench.candidates import sort_function
from tarvo.bench.inputs import HEAVY_AND_RARE, make_input

WORKER_COUNTS = (2, 8, 32, 128)
# 2^23 elements: 64 MiB, big enough that every worker of 128 gets a stripe of its own.
DEFAULT_SIZE = 1 << 23
QUICK_SIZE = 1 << 20
DEFAULT_ROUNDS = 5
QUICK_ROUNDS = 2
FUNCTION = "par_sort_unstable"
PATTERNS = (
    "random",
    "zipf",
    "four-distinct",
    "sqrt-distinct",
    "exponential",
    HEAVY_AND_RARE,
    "gaussian",
    "all-equal",
)
THREADS_VARIABLE = "RAYON_NUM_THREADS"
# A pattern whose work explodes with the workers (hundreds of times the 2-worker CPU time) would
# hold the report for many minutes: its rounds stop once they have taken this long, after one.
PATTERN_BUDGET_SECONDS = 20.0


@dataclass(frozen=True)
class Measurement:
    """Medians over the rounds of one pattern at one worker count: CPU time of all threads and
    wall time, in seconds; `correct` is False if any round left the array unsorted."""

    cpu_seconds: float
    wall_seconds: float
    correct: bool


def _cpu_seconds() -> float:
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime


def measure_here(function: str, patterns: Sequence[str], size: int, rounds: int, seed: int):
    """In this process (its pool as it is sized): a Measurement per pattern."""
    sort = sort_function(function)
    workers = int(os.environ.get(THREADS_VARIABLE) or len(os.sched_getaffinity(0)))
    results = {}
    for pattern in patterns:
        base = make_input(pattern, size, seed, workers=workers)
        expected = np.sort(base)
        buffer = base.copy()
        sort(buffer)  # starts the pool, whose threads' start is no part of a sort
        correct = bool(np.array_equal(buffer, expected))
        cpu, wall = [], []
        started = time.perf_counter()
        for _ in range(rounds):
            if cpu and time.perf_counter() - started > PATTERN_BUDGET_SECONDS:
                break
            np.copyto(buffer, base)
            cpu_before, wall_before = _cpu_seconds(), time.perf_counter()
            sort(buffer)
            wall.append(time.perf_counter() - wall_before)
            cpu.append(_cpu_seconds() - cpu_before)
            correct = correct and bool(np.array_equal(buffer, expected))
        results[pattern] = Measurement(statistics.median(cpu), statistics.median(wall), correct)
    return results


def measure_in_child(workers: int, function, patterns, size, rounds, seed):
    """measure_here in a new process with `workers` workers; None for a child that failed."""
    request = {
        "function": function,
        "patterns": list(patterns),
        "size": size,
        "rounds": rounds,
        "seed": seed,
    }
    child = subprocess.run(
        [sys.executable, "-m", "tarvo.bench.scaling", json.dumps(request)],
        env=dict(os.environ, **{THREADS_VARIABLE: str(workers)}),
        capture_output=True,
        text=True,
        check=False,
    )
    if child.returncode != 0:
        return None
    return {pattern: Measurement(**fields) for pattern, fields in json.loads(child.stdout).items()}


@dataclass(frozen=True)
class ScalingReport:
    function: str
    size: int
    rounds: int
    cores: int
    # pattern -> worker count -> measurement (a missing count: its child failed)
    measured: dict[str, dict[int, Measurement]]

    def cpu_growth(self, pattern: str, workers: int) -> float | None:
        """CPU time with `workers` over CPU time with the first count (2)."""
        row = self.measured[pattern]
        first = row.get(WORKER_COUNTS[0])
        if first is None or workers not in row or first.cpu_seconds <= 0:
            return None
        return row[workers].cpu_seconds / first.cpu_seconds

    def speedup(self, pattern: str, workers: int) -> float | None:
        """Wall time with the first count over wall time with `workers`, where there are cores."""
        row = self.measured[pattern]
        if workers > self.cores or WORKER_COUNTS[0] not in row or workers not in row:
            return None
        return row[WORKER_COUNTS[0]].wall_seconds / row[workers].wall_seconds

    def correct(self, pattern: str) -> bool:
        return all(m.correct for m in self.measured[pattern].values())


def run_scaling(
    patterns: Sequence[str] = PATTERNS,
    size: int = DEFAULT_SIZE,
    rounds: int = DEFAULT_ROUNDS,
    seed: int = 0,
    function: str = FUNCTION,
    progress: Callable[[int], object] = lambda workers: None,
) -> ScalingReport:
    measured: dict[str, dict[int, Measurement]] = {pattern: {} for pattern in patterns}
    for workers in WORKER_COUNTS:
        progress(workers)
        results = measure_in_child(workers, function, patterns, size, rounds, seed) or {}
        for pattern, measurement in results.items():
            measured[pattern][workers] = measurement
    return ScalingReport(function, size, rounds, len(os.sched_getaffinity(0)), measured)


def format_scaling(report: ScalingReport) -> str:
    later = WORKER_COUNTS[1:]
    lines = [
        f"CPU time of all threads of one {report.function} on {report.size:,} elements over its "
        f"CPU time with {WORKER_COUNTS[0]} workers,",
        f"and wall-clock speed-up over {WORKER_COUNTS[0]} workers where the machine has the cores "
        f"(medians of {report.rounds} rounds, one process per worker count)",
        "",
        f"{'pattern':<16}"
        + "".join(f"{f'CPU {w}':>9}" for w in later)
        + "   "
        + "".join(f"{f'speed-up {w}':>20}" for w in later),
    ]
    for pattern in report.measured:
        growth = "".join(f"{_times(report.cpu_growth(pattern, w)):>9}" for w in later)
        speedups = "".join(f"{_speedup_text(report, pattern, w):>20}" for w in later)
        wrong = "" if report.correct(pattern) else "  WRONG RESULT"
        lines.append(f"{pattern:<16}{growth}   {speedups}{wrong}")
    return "\n".join(lines)


def _times(ratio: float | None) -> str:
    return "—" if ratio is None else f"{ratio:.2f}"


def _speedup_text(report: ScalingReport, pattern: str, workers: int) -> str:
    if workers > report.cores:
        return f"n/a ({report.cores} cores)"
    return _times(report.speedup(pattern, workers))


def _serve(request_text: str) -> None:
    request = json.loads(request_text)
    results = measure_here(
        request["function"],
        request["patterns"],
        request["size"],
        request["rounds"],
        request["seed"],
    )
    print(json.dumps({pattern: vars(m) for pattern, m in results.items()}))


if __name__ == "__main__":
    _serve(sys.argv[1])
