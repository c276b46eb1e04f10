"""The benchmark grid: every chosen function on every pattern and size, against numpy.sort.

A cell is one pattern at one size. All functions of a cell are timed side by side with the
baseline on the same input, so each ratio compares timings taken moments apart; every result
is checked against numpy's sort of that input.
"""

from collections.abc import Sequence
from dataclasses import asdict, dataclass
from typing import Protocol

import numpy as np

from tarvo import _route
from tarvo.bench.candidates import BASELINE, cap_for, is_capped, sort_function
from tarvo.bench.inputs import make_input
from tarvo.bench.timing import Candidate, calls_per_sample, paired_ratio, side_by_side

# A cell whose rounds have taken this long stops after its minimum rounds, so a sort that is
# still a slow stand-in cannot push the default run past its few minutes.
CELL_BUDGET_SECONDS = 12.0


@dataclass
class Result:
    """One function on one cell. status is "ok", "capped", "wrong" or "error"."""

    function: str
    pattern: str
    size: int
    status: str
    median_seconds: float | None = None
    ns_per_element: float | None = None
    ratio_to_numpy: float | None = None
    seconds: list[float] | None = None
    calls_per_sample: int | None = None
    route: str | None = None
    cap: int | None = None
    error: str | None = None

    def to_json(self) -> dict:
        return asdict(self)


class Progress(Protocol):
    """What run_suite reports while it works: the cell it starts, and rounds done or skipped."""

    def cell(self, pattern: str, size: int) -> object: ...

    def advance(self, rounds: int) -> object: ...


def run_suite(
    sizes: Sequence[int],
    patterns: Sequence[str],
    functions: Sequence[str],
    repeats: int,
    seed: int,
    progress: Progress | None = None,
) -> list[Result]:
    """Results in table order: pattern, then size, then numpy.sort followed by `functions`.

    `progress` advances by one per round, and by the rounds a cell's budget cut when it ends,
    so a bar over patterns x sizes x repeats always completes.
    """
    results: list[Result] = []
    for pattern in patterns:
        for size in sizes:
            if progress is not None:
                progress.cell(pattern, size)
            advance = (lambda: progress.advance(1)) if progress is not None else None
            cell, rounds_done = _run_cell(pattern, size, functions, repeats, seed, advance)
            results.extend(cell)
            if progress is not None and rounds_done < repeats:
                progress.advance(repeats - rounds_done)
    return results


def _run_cell(pattern, size, functions, repeats, seed, round_done) -> tuple[list[Result], int]:
    base = make_input(pattern, size, seed)
    expected = np.sort(base)
    measured = [f for f in functions if not is_capped(f, pattern, size)]
    candidates = [Candidate(name, sort_function(name), expected) for name in (BASELINE, *measured)]
    series = side_by_side(
        base, candidates, repeats, budget_seconds=CELL_BUDGET_SECONDS, on_round=round_done
    )
    route = _route.smart_route(base) if "smart" in functions else None
    results = [
        _result(name, pattern, size, series.get(name), series[BASELINE], route)
        for name in (BASELINE, *functions)
    ]
    return results, len(series[BASELINE].seconds)


def _result(name, pattern, size, measurement, baseline, route) -> Result:
    """The record of one function on one cell; no measurement means it was capped there."""
    result = Result(name, pattern, size, "ok", cap=cap_for(name, pattern))
    result.route = route if name == "smart" else None
    if measurement is None:
        result.status = "capped"
        return result
    result.seconds = measurement.seconds
    result.calls_per_sample = calls_per_sample(size)
    result.median_seconds = measurement.median
    if result.median_seconds is not None:
        result.ns_per_element = result.median_seconds * 1e9 / size
    result.ratio_to_numpy = paired_ratio(measurement, baseline)
    if measurement.error is not None:
        result.status, result.error = "error", measurement.error
    elif measurement.wrong:
        result.status = "wrong"
    return result
