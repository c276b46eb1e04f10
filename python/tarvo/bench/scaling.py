"""How the work of a pool-backed sort grows with the worker count: the CPU time of all threads of
one sort with 2, 8, 32 and 128 workers, over its CPU time with 2.

With more workers than cores the wall time says nothing, but the CPU time still shows work that
grows with the workers (refills that walk every stripe, cleanup per worker, waiting that spins).
The pool is sized once per process, at its first parallel call, so every worker count has a
process of its own, kept for the whole run; the counts take turns within every round, and each
figure is the median of the per-round ratios, so that the machine's drift hits every count alike
(counts measured one after the other, a minute apart, spread by +-0.3). Each process sorts every
pattern once untimed first, which starts its pool. The wall-clock speed-up over 2 workers is
shown where the machine has the cores for it.
"""

import os
import statistics
import time
from collections.abc import Callable, Sequence
from contextlib import ExitStack
from dataclasses import dataclass

from tarvo.bench.inputs import HEAVY_AND_RARE
from tarvo.bench.timing import Series
from tarvo.bench.worker import Worker, record

WORKER_COUNTS = (2, 8, 32, 128)
# 2^23 elements: 64 MiB, big enough that every worker of 128 gets a stripe of its own.
DEFAULT_SIZE = 1 << 23
QUICK_SIZE = 1 << 20
DEFAULT_ROUNDS = 7
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
# A pattern whose work explodes with the workers (hundreds of times the 2-worker CPU time) would
# hold the report for many minutes: its rounds stop once they have taken this long, after one.
PATTERN_BUDGET_SECONDS = 40.0


@dataclass(frozen=True)
class ScalingReport:
    function: str
    size: int
    rounds: int
    cores: int
    # pattern -> worker count -> its series (an error in the series: that count's process failed)
    measured: dict[str, dict[int, Series]]

    def cpu_growth(self, pattern: str, workers: int) -> float | None:
        """CPU time with `workers` over CPU time with the first count (2), the median of the
        rounds' ratios."""
        return self._paired(pattern, workers, lambda series: series.cpu_seconds, inverse=False)

    def speedup(self, pattern: str, workers: int) -> float | None:
        """Wall time with the first count over wall time with `workers`, where there are cores."""
        if workers > self.cores:
            return None
        return self._paired(pattern, workers, lambda series: series.seconds, inverse=True)

    def correct(self, pattern: str) -> bool:
        return not any(series.wrong for series in self.measured[pattern].values())

    def _paired(self, pattern: str, workers: int, values, inverse: bool) -> float | None:
        first, this = self.measured[pattern][WORKER_COUNTS[0]], self.measured[pattern][workers]
        if first.error or this.error:
            return None
        pairs = [(a, b) for a, b in zip(values(this), values(first), strict=True) if a > 0 < b]
        if not pairs:
            return None
        return statistics.median(b / a if inverse else a / b for a, b in pairs)


def run_scaling(
    patterns: Sequence[str] = PATTERNS,
    size: int = DEFAULT_SIZE,
    rounds: int = DEFAULT_ROUNDS,
    seed: int = 0,
    function: str = FUNCTION,
    progress: Callable[[str], object] = lambda pattern: None,
) -> ScalingReport:
    measured = {pattern: {w: Series(f"{w} workers") for w in WORKER_COUNTS} for pattern in patterns}
    with ExitStack() as stack:
        children = {w: stack.enter_context(Worker(w)) for w in WORKER_COUNTS}
        for pattern in patterns:
            progress(pattern)
            row = measured[pattern]
            for workers, child in children.items():
                warm_up = child.time(function, pattern, size, seed)
                if "error" in warm_up:
                    row[workers].error = warm_up["error"]
            started = time.perf_counter()
            for round_index in range(rounds):
                if round_index > 0 and time.perf_counter() - started > PATTERN_BUDGET_SECONDS:
                    break
                shift = round_index % len(WORKER_COUNTS)
                for workers in WORKER_COUNTS[shift:] + WORKER_COUNTS[:shift]:
                    if row[workers].error is None:
                        record(children[workers].time(function, pattern, size, seed), row[workers])
    return ScalingReport(function, size, rounds, len(os.sched_getaffinity(0)), measured)


def format_scaling(report: ScalingReport) -> str:
    later = WORKER_COUNTS[1:]
    lines = [
        f"CPU time of all threads of one {report.function} on {report.size:,} elements over its "
        f"CPU time with {WORKER_COUNTS[0]} workers,",
        f"and wall-clock speed-up over {WORKER_COUNTS[0]} workers where the machine has the cores "
        f"(medians of {report.rounds} rounds' ratios, the counts taking turns in every round)",
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
