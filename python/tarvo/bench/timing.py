"""Side-by-side timing: candidates take turns within every round, each on a fresh copy.

The two vCPUs of the machines this runs on drift by 10-25 % within seconds, so a function timed
a minute after its baseline is compared with a different machine. Here every round times every
candidate once, in an order rotated from round to round, and a ratio is the median of the
per-round ratios. The copy that restores the input happens outside the timed region.
"""

import gc
import resource
import statistics
import time
from collections.abc import Callable, Iterable
from dataclasses import dataclass, field

import numpy as np

# Each timed sample sorts at least this many elements, spread over several copies when the
# input is small, so the clock's resolution and the loop's own overhead stay below 1 %.
SAMPLE_ELEMENTS = 16_384
# With a time budget, a measurement still gets this many rounds so its median means something.
MIN_ROUNDS = 3


@dataclass(frozen=True)
class Candidate:
    """One thing to time: `run` rearranges a buffer in place; `expected` is the result it must
    leave, or None for baselines such as a plain copy whose result is not a sort."""

    name: str
    run: Callable[[np.ndarray], object]
    expected: np.ndarray | None


@dataclass
class Series:
    """Seconds per call, one entry per round in which the candidate ran: wall-clock time, and
    the CPU time of all the process's threads."""

    name: str
    seconds: list[float] = field(default_factory=list)
    cpu_seconds: list[float] = field(default_factory=list)
    wrong: bool = False
    error: str | None = None

    @property
    def median(self) -> float | None:
        return statistics.median(self.seconds) if self.seconds else None


def calls_per_sample(n: int) -> int:
    return max(1, SAMPLE_ELEMENTS // max(n, 1))


def side_by_side(
    base: np.ndarray,
    candidates: Iterable[Candidate],
    rounds: int,
    *,
    calls: int | None = None,
    budget_seconds: float | None = None,
    on_round: Callable[[], object] | None = None,
) -> dict[str, Series]:
    """Times every candidate on copies of `base`, interleaved over up to `rounds` rounds.

    With `budget_seconds`, rounds stop early once the budget is spent and MIN_ROUNDS are done,
    which keeps a run bounded when some function is far slower than expected. A candidate that
    raises is dropped from later rounds and keeps the error's text.
    """
    candidates = list(candidates)
    calls = calls or calls_per_sample(len(base))
    buffers = [np.empty_like(base) for _ in range(calls)]
    series = {candidate.name: Series(candidate.name) for candidate in candidates}
    started = time.perf_counter()
    for round_index in range(rounds):
        active = [c for c in candidates if series[c.name].error is None]
        shift = round_index % len(active) if active else 0
        for candidate in active[shift:] + active[:shift]:
            _sample(candidate, base, buffers, series[candidate.name])
        if on_round is not None:
            on_round()
        spent = time.perf_counter() - started
        if budget_seconds is not None and round_index + 1 >= MIN_ROUNDS and spent > budget_seconds:
            break
    return series


def _sample(candidate: Candidate, base: np.ndarray, buffers: list[np.ndarray], into: Series):
    for buffer in buffers:
        np.copyto(buffer, base)
    run = candidate.run
    collecting = gc.isenabled()
    gc.disable()  # a collection inside the timed loop would be charged to the candidate
    try:
        cpu_start = _process_cpu_seconds()
        start = time.perf_counter_ns()
        for buffer in buffers:
            run(buffer)
        elapsed = time.perf_counter_ns() - start
        cpu_elapsed = _process_cpu_seconds() - cpu_start
    except BaseException as failure:  # noqa: B036 - the module's faults derive from BaseException
        if isinstance(failure, KeyboardInterrupt | SystemExit):
            raise
        into.error = f"{type(failure).__name__}: {failure}"
        return
    finally:
        if collecting:
            gc.enable()
    into.seconds.append(elapsed / 1e9 / len(buffers))
    into.cpu_seconds.append(cpu_elapsed / len(buffers))
    if candidate.expected is not None and not all(
        np.array_equal(buffer, candidate.expected) for buffer in buffers
    ):
        into.wrong = True


def _process_cpu_seconds() -> float:
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime


def paired_ratio(numerator: Series, denominator: Series) -> float | None:
    """Median over the rounds both ran in of numerator / denominator: each ratio compares two
    timings taken seconds apart, so the machine's drift cancels."""
    if numerator.error or denominator.error:
        return None
    ratios = [a / b for a, b in zip(numerator.seconds, denominator.seconds, strict=True) if b > 0]
    return statistics.median(ratios) if ratios else None
