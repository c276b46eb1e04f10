"""The text table and the JSON file of a run.

The table is for reading in a terminal: one line per function, pattern and size, grouped by
pattern. The JSON file keeps every per-round timing, so later comparisons need not re-run.
"""

import json
from collections.abc import Sequence
from pathlib import Path

from tarvo.bench.suite import Result

CAPPED_MARK = "capped"
WRONG_MARK = "WRONG RESULT"
# Error texts are cut to this many characters to keep the table one line per result.
NOTE_WIDTH = 60

_HEADER = ("pattern", "size", "function", "median", "ns/elem", "× numpy", "smart route", "note")
_WIDTHS = (13, 11, 17, 9, 9, 8, 17)


def format_duration(seconds: float | None) -> str:
    if seconds is None:
        return "—"
    if seconds < 1e-6:
        return f"{seconds * 1e9:.0f} ns"
    if seconds < 1e-3:
        return f"{seconds * 1e6:.1f} µs"
    if seconds < 1:
        return f"{seconds * 1e3:.1f} ms"
    return f"{seconds:.2f} s"


def _number(value: float | None, digits: int) -> str:
    return "—" if value is None else f"{value:.{digits}f}"


def _note(result: Result) -> str:
    if result.status == "capped":
        return f"{CAPPED_MARK}: quadratic here, runs up to {result.cap:,}"
    if result.status == "wrong":
        return WRONG_MARK
    if result.status == "error":
        return (result.error or "error")[:NOTE_WIDTH]
    return ""


def _line(cells: Sequence[str]) -> str:
    *fixed, note = cells
    left = (fixed[0].ljust(_WIDTHS[0]), fixed[1].rjust(_WIDTHS[1]), fixed[2].ljust(_WIDTHS[2]))
    numbers = (cell.rjust(width) for cell, width in zip(fixed[3:6], _WIDTHS[3:6], strict=True))
    route = fixed[6].ljust(_WIDTHS[6])
    return "  ".join((*left, *numbers, route, note)).rstrip()


def format_table(results: Sequence[Result]) -> str:
    lines = [_line(_HEADER)]
    previous_pattern = None
    for result in results:
        if result.pattern != previous_pattern and previous_pattern is not None:
            lines.append("")
        previous_pattern = result.pattern
        lines.append(
            _line(
                (
                    result.pattern,
                    f"{result.size:,}",
                    result.function,
                    format_duration(result.median_seconds),
                    _number(result.ns_per_element, 1),
                    _number(result.ratio_to_numpy, 2),
                    result.route or "",
                    _note(result),
                )
            )
        )
    return "\n".join(lines)


def write_json(path: Path, meta: dict, results: Sequence[Result]) -> None:
    document = {"meta": meta, "results": [result.to_json() for result in results]}
    path.write_text(json.dumps(document, indent=1) + "\n", encoding="utf-8")
