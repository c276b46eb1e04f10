"""The picture of a run: time per element against size, one panel per pattern.

Log axes on both sides, since sizes span four orders of magnitude and the quadratic sorts sit
orders of magnitude above the rest; a line ends where a quadratic sort was capped.
"""

import math
from collections.abc import Sequence
from pathlib import Path

from tarvo.bench.candidates import BASELINE, FUNCTION_NAMES
from tarvo.bench.suite import Result

PANEL_COLUMNS = 4
PANEL_INCHES = 4.2
DPI = 110
# Line styles cycle so that thirteen functions stay apart where colours come close.
_MARKERS = ("o", "s", "^", "v", "D", "P", "X", "<", ">", "*", "h", "p", "d")


def write_plot(path: Path, results: Sequence[Result], patterns: Sequence[str], title: str):
    import matplotlib

    matplotlib.use("Agg")  # files only: no display, and no dependence on one
    import matplotlib.pyplot as plt

    functions = [BASELINE] + [name for name in FUNCTION_NAMES if _has(results, name)]
    tab20 = plt.get_cmap("tab20").colors
    colours = tab20[::2] + tab20[1::2]  # the ten strong shades before their pale partners
    panels = len(patterns) + 1  # the last panel holds the legend
    rows = math.ceil(panels / PANEL_COLUMNS)
    figure, axes = plt.subplots(
        rows,
        PANEL_COLUMNS,
        figsize=(PANEL_COLUMNS * PANEL_INCHES, rows * PANEL_INCHES * 0.85),
        squeeze=False,
    )
    flat = axes.ravel()
    handles = {}
    for axis, pattern in zip(flat, patterns, strict=False):
        for index, name in enumerate(functions):
            points = sorted(
                (r.size, r.ns_per_element)
                for r in results
                if r.function == name and r.pattern == pattern and r.ns_per_element
            )
            if not points:
                continue
            sizes, values = zip(*points, strict=True)
            if name == BASELINE:
                style = {"color": "black", "linewidth": 2.4, "linestyle": "--", "marker": "o"}
            else:
                style = {
                    "color": colours[(index - 1) % len(colours)],
                    "linewidth": 1.3,
                    "marker": _MARKERS[index % len(_MARKERS)],
                    "markersize": 4,
                }
            (handles[name],) = axis.plot(sizes, values, label=name, **style)
        axis.set_xscale("log")
        axis.set_yscale("log")
        axis.set_title(pattern)
        axis.set_xlabel("elements")
        axis.set_ylabel("ns per element")
        axis.grid(True, which="major", alpha=0.35)
        axis.grid(True, which="minor", alpha=0.1)
    for axis in flat[len(patterns) :]:
        axis.axis("off")
    legend_axis = flat[len(patterns)]
    legend_axis.legend(
        [handles[n] for n in functions if n in handles],
        [n for n in functions if n in handles],
        loc="center",
        frameon=False,
        fontsize="medium",
    )
    figure.suptitle(title)
    figure.tight_layout()
    figure.savefig(path, dpi=DPI)
    plt.close(figure)


def _has(results: Sequence[Result], name: str) -> bool:
    return any(r.function == name for r in results)
