"""Command line of the benchmark: options, the thread-count re-run, and what gets written.

The worker pool reads RAYON_NUM_THREADS once per process, at its first parallel call, so
``--threads`` cannot take effect in a running interpreter: the run is repeated in a child
process with the variable set, before anything here has sorted.
"""

import argparse
import datetime
import importlib.util
import os
import platform
import subprocess
import sys
import time
from pathlib import Path

import numpy as np

from tarvo.bench.candidates import BASELINE, FUNCTION_NAMES
from tarvo.bench.inputs import ALL_PATTERN_NAMES, DEFAULT_SEED, PATTERN_NAMES

DEFAULT_SIZES = (100, 1_000, 10_000, 100_000, 1_000_000)
# --quick: three sizes and three rounds, well under a minute even with slow stand-ins.
QUICK_SIZES = (1_000, 10_000, 100_000)
QUICK_REPEATS = 3
# Five rounds give a median that one disturbed round cannot move.
DEFAULT_REPEATS = 5
THREADS_VARIABLE = "RAYON_NUM_THREADS"
TARGET_WORKERS = 2
# The bench extra: without it the report is the table and the JSON, and one line says so.
BENCH_EXTRA = ("tqdm", "matplotlib")
EXTRA_NOTE = 'pip install "tarvo[bench]" adds the progress bar and the picture'
PNG_NAME = "bench-report.png"
JSON_NAME = "bench-report.json"


def parse_size(text: str) -> int:
    """A size written 1000000, 1_000_000, 1e6 or 10**6; commas separate list items."""
    text = text.strip().replace("_", "")
    if "**" in text:
        base, exponent = text.split("**", 1)
        value = int(base) ** int(exponent)
    else:
        value = int(float(text)) if ("e" in text.lower() or "." in text) else int(text)
    if value < 1:
        raise argparse.ArgumentTypeError(f"size must be at least 1: {text}")
    return value


def _list_of(parse, choices=None):
    def parse_list(text: str):
        items = [parse(item) for item in text.split(",") if item.strip()]
        unknown = [item for item in items if choices is not None and item not in choices]
        if unknown:
            raise argparse.ArgumentTypeError(
                f"unknown: {', '.join(map(str, unknown))}; choose from {', '.join(choices)}"
            )
        if not items:
            raise argparse.ArgumentTypeError("empty list")
        return items

    return parse_list


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="tarvo-bench",
        description="Times the _tarvo sorts against numpy.sort, side by side, and checks "
        "every result against it.",
    )
    parser.add_argument(
        "--sizes",
        type=_list_of(parse_size),
        help="comma-separated sizes, e.g. 1e3,1e5 (default: 10^2 to 10^6)",
    )
    parser.add_argument(
        "--patterns",
        type=_list_of(str.strip, ALL_PATTERN_NAMES),
        help=f"comma-separated, from: {', '.join(PATTERN_NAMES)} (default: all); "
        f"--scaling also takes {', '.join(ALL_PATTERN_NAMES[len(PATTERN_NAMES) :])}",
    )
    parser.add_argument(
        "--functions",
        type=_list_of(str.strip, FUNCTION_NAMES),
        help=f"comma-separated, from the thirteen sorts (default: all); {BASELINE} always runs",
    )
    parser.add_argument("--repeats", type=int, help="rounds per measurement (default: 5)")
    parser.add_argument(
        "--threads", type=int, help=f"worker-pool threads: runs in a child with {THREADS_VARIABLE}"
    )
    parser.add_argument(
        "--quick", action="store_true", help="sizes 10^3 to 10^5, three rounds: under a minute"
    )
    parser.add_argument(
        "--targets",
        action="store_true",
        help="measure the numbered speed targets instead (2 workers; --quick: small inputs)",
    )
    parser.add_argument(
        "--scaling",
        action="store_true",
        help="CPU time of par_sort_unstable with 2, 8, 32 and 128 workers instead "
        "(--sizes: one size, default 2^23; --quick: 2^20)",
    )
    parser.add_argument(
        "--out-dir", type=Path, default=Path("."), help="where the PNG and JSON go (default: .)"
    )
    parser.add_argument("--seed", type=int, default=DEFAULT_SEED, help="seed of the inputs")
    parser.add_argument("--no-progress", action="store_true", help="no progress bar")
    return parser


def main(argv: list[str] | None = None) -> int:
    argv = sys.argv[1:] if argv is None else list(argv)
    options = build_parser().parse_args(argv)
    if options.repeats is not None and options.repeats < 1:
        build_parser().error("--repeats must be at least 1")
    if options.targets and options.scaling:
        build_parser().error("--targets and --scaling are separate runs")
    if options.targets:
        # The targets are defined for two workers; other counts run in children of their own.
        options.threads = TARGET_WORKERS
    if options.threads is not None:
        if options.threads < 1:
            build_parser().error("--threads must be at least 1")
        if os.environ.get(THREADS_VARIABLE) != str(options.threads):
            return _rerun_with_threads(argv, options.threads)
    if options.targets:
        return _run_targets(options)
    if options.scaling:
        return _run_scaling(options)
    return _run_suite(options)


def _rerun_with_threads(argv: list[str], threads: int) -> int:
    environment = dict(os.environ, **{THREADS_VARIABLE: str(threads)})
    return subprocess.run([sys.executable, "-m", "tarvo.bench", *argv], env=environment).returncode


def _progress_bar(total: int, options, unit: str):
    """tqdm's bar on a terminal; elsewhere (a file, a pipe, no tqdm) a stand-in that draws nothing,
    so that no carriage-return frames end up in a log."""
    if options.no_progress or not sys.stderr.isatty() or not _installed("tqdm"):
        return _NoBar()
    from tqdm import tqdm

    return tqdm(total=total, unit=unit, file=sys.stderr, leave=False)


class _NoBar:
    """The parts of tqdm's bar this module uses, doing nothing but printing through."""

    def __enter__(self):
        return self

    def __exit__(self, *exception) -> None:
        pass

    def update(self, count: int) -> None:
        pass

    def set_description(self, text: str) -> None:
        pass

    def write(self, text: str, file) -> None:
        print(text, file=file)


def _installed(name: str) -> bool:
    return importlib.util.find_spec(name) is not None


def _note_missing_extras() -> None:
    if not all(map(_installed, BENCH_EXTRA)):
        print(EXTRA_NOTE)


class _SuiteProgress:
    def __init__(self, bar):
        self._bar = bar

    def cell(self, pattern: str, size: int) -> None:
        self._bar.set_description(f"{pattern} {size:,}")

    def advance(self, rounds: int) -> None:
        self._bar.update(rounds)


def _run_suite(options) -> int:
    from tarvo.bench.plot import write_plot
    from tarvo.bench.report import format_table, write_json
    from tarvo.bench.suite import run_suite

    sizes = options.sizes or list(QUICK_SIZES if options.quick else DEFAULT_SIZES)
    repeats = options.repeats or (QUICK_REPEATS if options.quick else DEFAULT_REPEATS)
    patterns = options.patterns or list(PATTERN_NAMES)
    if not set(patterns) <= set(PATTERN_NAMES):
        build_parser().error(f"the report's patterns are {', '.join(PATTERN_NAMES)}")
    functions = options.functions or list(FUNCTION_NAMES)
    functions = [name for name in FUNCTION_NAMES if name in functions]  # table order

    started = time.perf_counter()
    started_at = datetime.datetime.now(datetime.UTC).isoformat(timespec="seconds")
    with _progress_bar(len(patterns) * len(sizes) * repeats, options, "round") as bar:
        results = run_suite(sizes, patterns, functions, repeats, options.seed, _SuiteProgress(bar))
    elapsed = time.perf_counter() - started

    print(format_table(results))
    options.out_dir.mkdir(parents=True, exist_ok=True)
    png, report_json = options.out_dir / PNG_NAME, options.out_dir / JSON_NAME
    meta = _meta(options, sizes, patterns, functions, repeats, started_at, elapsed)
    write_json(report_json, meta, results)
    drawn = _installed("matplotlib")
    if drawn:
        write_plot(png, results, patterns, _title(meta))

    failed = [r for r in results if r.status in ("wrong", "error")]
    print()
    if failed:
        names = ", ".join(sorted({f"{r.function} ({r.status})" for r in failed}))
        print(f"{len(failed)} results failed their check against {BASELINE}: {names}")
    else:
        print(f"every result matched {BASELINE}")
    print(f"finished in {elapsed:.0f} s; data: {report_json.resolve()}")
    if drawn:
        print(f"picture: {png.resolve()}")
    _note_missing_extras()
    return 1 if failed else 0


def _run_targets(options) -> int:
    from tarvo import _route
    from tarvo.bench import targets
    from tarvo.bench.checks import Run, cpu_description, format_summary, format_target_block

    repeats = options.repeats or (QUICK_REPEATS if options.quick else DEFAULT_REPEATS)
    print(f"CPU: {cpu_description()}")
    print(f"leaf kernel of the pool-backed sorts: {_route.leaf_kernel()}")
    print(f"workers: {os.environ.get(THREADS_VARIABLE)}; median of {repeats} interleaved rounds")
    with _progress_bar(targets.total_ticks(repeats), options, "round") as bar:
        run = Run(repeats, options.seed, tick=lambda: bar.update(1), quick=options.quick)
        results = targets.run_targets(
            run, report=lambda target: bar.write(format_target_block(target), file=sys.stdout)
        )
    print(format_summary(results))
    _note_missing_extras()
    return 0


def _run_scaling(options) -> int:
    from tarvo.bench import scaling
    from tarvo.bench.checks import cpu_description

    if options.sizes and len(options.sizes) > 1:
        build_parser().error("--scaling takes one size")
    quick = options.quick
    size = options.sizes[0] if options.sizes else (scaling.QUICK_SIZE if quick else None)
    rounds = options.repeats or (scaling.QUICK_ROUNDS if quick else scaling.DEFAULT_ROUNDS)
    patterns = options.patterns or scaling.PATTERNS
    print(f"CPU: {cpu_description()}")
    with _progress_bar(len(patterns), options, "pattern") as bar:

        def progress(pattern: str) -> None:
            bar.set_description(pattern)
            bar.update(0 if pattern == patterns[0] else 1)

        report = scaling.run_scaling(
            patterns, size or scaling.DEFAULT_SIZE, rounds, options.seed, progress=progress
        )
    print(scaling.format_scaling(report))
    return 0 if all(map(report.correct, report.measured)) else 1


def _meta(options, sizes, patterns, functions, repeats, started_at, elapsed) -> dict:
    import _tarvo
    from tarvo import _route

    return {
        "started": started_at,
        "elapsed_seconds": round(elapsed, 2),
        "sizes": list(sizes),
        "patterns": list(patterns),
        "functions": [BASELINE, *functions],
        "repeats": repeats,
        "seed": options.seed,
        "threads": os.environ.get(THREADS_VARIABLE),
        "cpus": len(os.sched_getaffinity(0)),
        "machine": platform.machine(),
        "python": platform.python_version(),
        "numpy": np.__version__,
        "module": _tarvo.__file__,
        "leaf_kernel": _route.leaf_kernel(),
    }


def _title(meta: dict) -> str:
    threads = meta["threads"] or f"default ({meta['cpus']} CPUs)"
    return (
        f"_tarvo sorts, ns per element (median of {meta['repeats']} rounds); "
        f"pool threads: {threads}; leaf kernel: {meta.get('leaf_kernel', '?')}; "
        f"numpy {meta['numpy']}"
    )
