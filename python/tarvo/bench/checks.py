"""What every speed target is made of: checks of one measured ratio against its limit, the
target that holds them, their PASS/MISS lines, and the machine they ran on.

A target is met only when every check under it is; each check compares one function with one
baseline timed in the same rounds. A result that is not sorted fails its check whatever its speed.
"""

import math
import os
import subprocess
from collections.abc import Callable, Mapping, Sequence
from dataclasses import dataclass

from tarvo.bench.timing import Series, paired_ratio

Tick = Callable[[], object]
# A short run (--quick) divides every size by QUICK_SHRINK, down to QUICK_SIZE_MIN: the same
# targets, in seconds, for tests of the benchmark itself.
QUICK_SHRINK = 1000
QUICK_SIZE_MIN = 2_000


@dataclass(frozen=True)
class Run:
    """How a run of the targets measures: rounds per input, the inputs' seed, the progress tick,
    and whether it is a short run on smaller inputs."""

    rounds: int
    seed: int
    tick: Tick
    quick: bool = False

    def size(self, full: int) -> int:
        return max(full // QUICK_SHRINK, QUICK_SIZE_MIN) if self.quick else full


def size_label(n: int) -> str:
    """10^k and 2^k as such, other sizes with digit groups."""
    for base in (10, 2):
        k = round(math.log(n, base)) if n > 0 else 0
        if k > 1 and base**k == n:
            return f"{base}^{k}"
    return f"{n:,}"


@dataclass(frozen=True)
class Check:
    """One comparison: `subject` timed against `baseline`, ratio = subject / baseline time,
    except for speed-ups (at_least), where ratio = baseline / subject time."""

    subject: str
    baseline: str
    ratio: float | None
    limit: float
    at_least: bool = False
    correct: bool = True
    note: str = ""
    # Shown for comparison only: it does not decide the target.
    informational: bool = False

    @property
    def passed(self) -> bool:
        if self.ratio is None or not self.correct:
            return False
        return self.ratio >= self.limit if self.at_least else self.ratio <= self.limit

    @property
    def shortfall(self) -> float:
        """How far the ratio sits from its limit; above 1 misses."""
        if self.ratio is None or not self.correct:
            return math.inf
        if self.at_least:
            return self.limit / self.ratio if self.ratio > 0 else math.inf
        return self.ratio / self.limit


@dataclass(frozen=True)
class Target:
    number: int
    title: str
    checks: tuple[Check, ...]

    @property
    def deciding(self) -> tuple[Check, ...]:
        return tuple(check for check in self.checks if not check.informational)

    @property
    def passed(self) -> bool:
        return all(check.passed for check in self.deciding)

    @property
    def governing(self) -> Check:
        """The check closest to (or furthest past) its limit: the one that decides."""
        return max(self.deciding, key=lambda check: check.shortfall)


def series_check(
    series: Mapping[str, Series], subject: str, baseline: str, limit: float, label=None
) -> Check:
    """`subject`'s time over `baseline`'s, both series of the same rounds."""
    measured = series[subject]
    return Check(
        subject=label or subject,
        baseline=baseline,
        ratio=paired_ratio(measured, series[baseline]),
        limit=limit,
        correct=not measured.wrong,
        note=measured.error or "",
    )


def verdict(passed: bool) -> str:
    return "PASS" if passed else "MISS"


def format_ratio(check: Check) -> str:
    relation = "≥" if check.at_least else "≤"
    measured = "—" if check.ratio is None else f"{check.ratio:.2f}×"
    return f"{measured:>7} {check.baseline} ({relation} {check.limit:g}×)"


def format_check(check: Check) -> str:
    notes = [] if check.correct else ["wrong result"]
    if check.note:
        notes.append(check.note)
    suffix = f"  {'; '.join(notes)}" if notes else ""
    mark = "info" if check.informational else verdict(check.passed)
    return f"      {check.subject:<44} {format_ratio(check):<34} {mark}{suffix}"


def format_target(target: Target) -> str:
    worst = target.governing
    return (
        f"{target.number}  {target.title:<46} {format_ratio(worst):<34} "
        f"{verdict(target.passed)}  (worst: {worst.subject})"
    )


def format_target_block(target: Target) -> str:
    """The target's own line, then one line per check under it."""
    return "\n".join([format_target(target), *(format_check(check) for check in target.checks)])


def format_summary(targets: Sequence[Target]) -> str:
    met = sum(target.passed for target in targets)
    return f"{met} of {len(targets)} targets met"


# The lscpu fields that identify a CPU well enough to compare figures across machines.
CPU_FIELDS = ("Model name", "CPU family", "Model")


def cpu_description() -> str:
    """'<model name> (family F, model M), N CPUs': lscpu's fields, /proc/cpuinfo's without it."""
    fields = _lscpu_fields() or _cpuinfo_fields()
    name = fields.get("Model name", "unknown CPU")
    family, model = fields.get("CPU family", "?"), fields.get("Model", "?")
    return f"{name} (family {family}, model {model}), {len(os.sched_getaffinity(0))} CPUs"


def _lscpu_fields() -> dict[str, str]:
    try:
        text = subprocess.run(["lscpu"], capture_output=True, text=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return {}
    return _fields(text, CPU_FIELDS)


def _cpuinfo_fields() -> dict[str, str]:
    try:
        with open("/proc/cpuinfo") as cpuinfo:
            text = cpuinfo.read().split("\n\n")[0]
    except OSError:
        return {}
    as_lscpu = dict(zip(("model name", "cpu family", "model"), CPU_FIELDS, strict=True))
    return {as_lscpu[key]: value for key, value in _fields(text, tuple(as_lscpu)).items()}


def _fields(text: str, wanted: Sequence[str]) -> dict[str, str]:
    found = {}
    for line in text.splitlines():
        key, _, value = line.partition(":")
        if key.strip() in wanted and key.strip() not in found:
            found[key.strip()] = value.strip()
    return {key: found[key] for key in wanted if key in found}
