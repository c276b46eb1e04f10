"""The benchmark package: a tiny run end to end, and the pieces whose output is hand-checked."""

import json
import os
import sys

import numpy as np
import pytest

from tarvo.bench import main
from tarvo.bench.candidates import cap_for, is_capped
from tarvo.bench.checks import (
    Check,
    Target,
    format_check,
    format_summary,
    format_target,
    size_label,
)
from tarvo.bench.cli import build_parser, parse_size
from tarvo.bench.inputs import (
    ALL_PATTERN_NAMES,
    FEW_DISTINCT,
    FOUR_DISTINCT,
    HEAVY_VALUES,
    RARE_PER_STRIPE,
    SMALL_RANGE,
    make_input,
)
from tarvo.bench.scaling import WORKER_COUNTS, format_scaling, run_scaling
from tarvo.bench.timing import Candidate, Series, paired_ratio, side_by_side

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
RESULT_KEYS = {
    "function",
    "pattern",
    "size",
    "status",
    "median_seconds",
    "ns_per_element",
    "ratio_to_numpy",
    "seconds",
    "calls_per_sample",
    "route",
    "cap",
    "error",
}


@pytest.fixture(scope="module")
def tiny_run(tmp_path_factory):
    """bubble and smart on two patterns at 50 and 4,000 elements, past bubble's cap."""
    out_dir = tmp_path_factory.mktemp("bench")
    argv = ["--sizes", "50,4000", "--patterns", "random,sorted", "--functions", "smart,bubble"]
    argv += ["--repeats", "2", "--out-dir", str(out_dir), "--no-progress"]
    return out_dir, argv


def test_tiny_run_prints_the_table_and_writes_json_and_png(tiny_run, capsys):
    out_dir, argv = tiny_run
    assert main(argv) == 0
    printed = capsys.readouterr().out

    document = json.loads((out_dir / "bench-report.json").read_text())
    assert document["meta"]["functions"] == ["numpy.sort", "bubble", "smart"]
    assert document["meta"]["sizes"] == [50, 4000]
    results = document["results"]
    assert len(results) == 2 * 2 * 3
    assert all(set(result) == RESULT_KEYS for result in results)
    by_key = {(r["function"], r["pattern"], r["size"]): r for r in results}

    capped = by_key[("bubble", "random", 4000)]
    assert (capped["status"], capped["cap"], capped["median_seconds"]) == ("capped", 3000, None)
    # Sorted input is linear for bubble: measured at any size.
    assert by_key[("bubble", "sorted", 4000)]["status"] == "ok"
    for pattern, route in (("random", "pdq"), ("sorted", "tim")):
        for size in (50, 4000):
            smart = by_key[("smart", pattern, size)]
            assert (smart["status"], smart["route"]) == ("ok", route)
            assert len(smart["seconds"]) == 2 and smart["ns_per_element"] > 0
            assert by_key[("numpy.sort", pattern, size)]["ratio_to_numpy"] == 1.0

    assert (out_dir / "bench-report.png").read_bytes()[:8] == PNG_SIGNATURE
    lines = printed.splitlines()
    assert lines[0].split()[:3] == ["pattern", "size", "function"]
    capped_line = next(
        line for line in lines if "bubble" in line and "4,000" in line and line.startswith("random")
    )
    assert "capped" in capped_line and "3,000" in capped_line
    smart_line = next(line for line in lines if line.startswith("sorted") and "smart" in line)
    assert "tim" in smart_line.split()
    assert f"picture: {(out_dir / 'bench-report.png').resolve()}" in lines[-1]


SMALL_RUN = ["--sizes", "50", "--patterns", "sorted", "--functions", "smart", "--repeats", "1"]
EXTRA_NOTE = 'pip install "tarvo[bench]" adds the progress bar and the picture'


def test_without_the_bench_extra_the_report_is_the_table_and_one_note(
    tmp_path, capsys, monkeypatch
):
    # A None entry in sys.modules makes the import system report the package as absent.
    monkeypatch.setitem(sys.modules, "tqdm", None)
    monkeypatch.setitem(sys.modules, "matplotlib", None)
    assert main([*SMALL_RUN, "--out-dir", str(tmp_path)]) == 0
    captured = capsys.readouterr()
    lines = captured.out.splitlines()
    assert lines[0].split()[:3] == ["pattern", "size", "function"]
    assert lines.count(EXTRA_NOTE) == 1 and lines[-1] == EXTRA_NOTE
    assert not any(line.startswith("picture:") for line in lines)
    assert (tmp_path / "bench-report.json").exists()
    assert not (tmp_path / "bench-report.png").exists()
    assert captured.err == ""


def test_the_progress_bar_stays_out_of_a_stderr_that_is_no_terminal(tmp_path, capsys):
    # Captured stderr is not a terminal, as when it goes to a file or a pipe.
    assert main([*SMALL_RUN, "--out-dir", str(tmp_path)]) == 0
    captured = capsys.readouterr()
    assert captured.err == ""
    assert "\r" not in captured.out and EXTRA_NOTE not in captured.out


def test_a_wrong_result_and_a_raising_candidate_are_told_apart():
    base = np.array([3, 1, 2], dtype=np.int64)
    expected = np.sort(base)

    def fail(buffer):
        raise MemoryError("memory allocation of 24 bytes failed")

    candidates = [
        Candidate("sorts", np.ndarray.sort, expected),
        Candidate("leaves", lambda buffer: None, expected),
        Candidate("raises", fail, expected),
    ]
    series = side_by_side(base, candidates, rounds=3, calls=2)
    assert not series["sorts"].wrong and len(series["sorts"].seconds) == 3
    assert series["leaves"].wrong
    assert series["raises"].error == "MemoryError: memory allocation of 24 bytes failed"
    assert paired_ratio(series["raises"], series["sorts"]) is None


def test_paired_ratio_is_the_median_of_per_round_ratios():
    fast = Series("fast", [1.0, 2.0, 9.0])
    slow = Series("slow", [4.0, 4.0, 9.0])
    # Per round 0.25, 0.5, 1.0: the median 0.5, not 12 / 17 from the totals.
    assert paired_ratio(fast, slow) == 0.5


def test_quadratic_caps_apply_only_where_the_sort_is_quadratic():
    assert cap_for("bubble", "random") == 3000 and cap_for("bubble", "sorted") is None
    assert is_capped("quick", "sorted", 10_001) and not is_capped("quick", "sorted", 10_000)
    assert not is_capped("quick", "random", 10**6)
    assert not is_capped("insertion", "all-equal", 10**6)
    assert cap_for("pdq", "all-equal") is None


@pytest.mark.parametrize("pattern", ALL_PATTERN_NAMES)
def test_inputs_are_reproducible_contiguous_int64(pattern):
    arr = make_input(pattern, 2000, seed=5)
    assert arr.dtype == np.int64 and arr.flags.c_contiguous and arr.shape == (2000,)
    np.testing.assert_array_equal(arr, make_input(pattern, 2000, seed=5))


def test_inputs_have_their_patterns_shape():
    n = 2000
    assert np.all(np.diff(make_input("sorted", n)) == 1)
    assert np.all(np.diff(make_input("reversed", n)) == -1)
    assert len(np.unique(make_input("all-equal", n))) == 1
    small = make_input("small-range", n)
    assert small.min() >= 0 and small.max() < SMALL_RANGE
    assert len(np.unique(make_input("few-distinct", n))) <= FEW_DISTINCT
    nearly = make_input("nearly-sorted", n)
    # 1 % of the positions, exchanged in ten pairs, and nothing else.
    assert np.count_nonzero(nearly != np.arange(n)) == 20
    np.testing.assert_array_equal(np.sort(nearly), np.arange(n))


def test_the_target_patterns_have_their_shape():
    n = 4096  # isqrt 64
    assert set(np.unique(make_input("four-distinct", n))) <= set(range(FOUR_DISTINCT))
    roots = make_input("sqrt-distinct", n)
    np.testing.assert_array_equal(np.sort(roots), np.repeat(np.arange(64), 64))
    assert not np.array_equal(roots, np.sort(roots))  # shuffled
    exponential = make_input("exponential", n)
    assert exponential.min() >= 1 and exponential.max() < 2**12
    # Every magnitude 2^0 .. 2^11 holds about a twelfth of the values.
    magnitudes = np.bincount(np.floor(np.log2(exponential)).astype(int), minlength=12)
    assert len(magnitudes) == 12 and magnitudes.min() > n / 12 / 2
    assert make_input("zipf", n).min() >= 1


@pytest.mark.parametrize("workers", [2, 8])
def test_heavy_and_rare_values_give_every_stripe_values_of_its_own(workers):
    n = 1 << 16
    values = make_input("heavy-rare", n, workers=workers)
    heavy = np.unique(values[values >= 10**12])
    assert len(heavy) == HEAVY_VALUES
    for index, stripe in enumerate(np.array_split(values, workers)):
        rare = stripe[stripe < heavy.min()]
        own = np.arange(index * RARE_PER_STRIPE, (index + 1) * RARE_PER_STRIPE)
        np.testing.assert_array_equal(np.sort(rare), own)


def test_sizes_are_labelled_as_powers_where_they_are():
    assert [size_label(n) for n in (10**7, 2**23, 100, 2_000, 8_388)] == [
        "10^7",
        "2^23",
        "10^2",
        "2,000",
        "8,388",
    ]


def test_scaling_measures_every_worker_count_in_a_process_of_its_own_round_by_round():
    report = run_scaling(("four-distinct", "heavy-rare"), size=1 << 12, rounds=2, seed=3)
    assert set(report.measured) == {"four-distinct", "heavy-rare"}
    for pattern, row in report.measured.items():
        assert set(row) == set(WORKER_COUNTS) and report.correct(pattern)
        assert all(len(series.cpu_seconds) == 2 for series in row.values())
        assert report.cpu_growth(pattern, WORKER_COUNTS[0]) == 1.0
    text = format_scaling(report)
    cores = len(os.sched_getaffinity(0))
    above = [w for w in WORKER_COUNTS[1:] if w > cores]
    row = next(line for line in text.splitlines() if line.startswith("heavy-rare"))
    assert row.count(f"n/a ({cores} cores)") == len(above)
    assert "WRONG" not in text


def test_a_short_run_of_the_targets_prints_every_target_with_its_verdict(capfd):
    assert main(["--targets", "--quick", "--repeats", "1", "--no-progress"]) == 0
    lines = capfd.readouterr().out.splitlines()
    assert lines[0].startswith("CPU: ") and "family" in lines[0]
    assert "workers: 2;" in lines[2]
    numbered = [line for line in lines if line[:1].isdigit() and "targets met" not in line]
    assert [int(line.split()[0]) for line in numbered] == list(range(1, 12))
    assert all(line.split("  (worst")[0].rstrip().endswith(("PASS", "MISS")) for line in numbered)
    assert lines[-1].endswith("of 11 targets met")


def test_options_parse_sizes_lists_and_the_targets_mode():
    assert [parse_size(text) for text in ("1e6", "10**3", "1_000", "7")] == [10**6, 1000, 1000, 7]
    options = build_parser().parse_args(["--targets", "--repeats", "3", "--threads", "2"])
    assert (options.targets, options.repeats, options.threads) == (True, 3, 2)
    options = build_parser().parse_args(["--sizes", "1e3,5000", "--patterns", "sorted,random"])
    assert (options.sizes, options.patterns) == ([1000, 5000], ["sorted", "random"])
    with pytest.raises(SystemExit):
        build_parser().parse_args(["--patterns", "shuffled"])
    with pytest.raises(SystemExit):
        build_parser().parse_args(["--functions", "sorted"])
    options = build_parser().parse_args(["--scaling", "--sizes", "2**20", "--patterns", "zipf"])
    assert (options.scaling, options.sizes, options.patterns) == (True, [2**20], ["zipf"])


def test_checks_format_their_ratio_limit_and_verdict():
    met = Check("par_sort", "numpy.sort", 0.42, 0.5)
    assert met.passed
    assert format_check(met).split() == ["par_sort", "0.42×", "numpy.sort", "(≤", "0.5×)", "PASS"]

    slow_scaling = Check("par_merge 2 threads", "1 thread", 1.5, 1.7, at_least=True)
    assert not slow_scaling.passed
    assert "1.50× 1 thread (≥ 1.7×)" in format_check(slow_scaling)
    assert format_check(slow_scaling).endswith("MISS")

    fast_but_wrong = Check("smart", "copy", 0.1, 12.0, correct=False)
    assert not fast_but_wrong.passed and format_check(fast_but_wrong).endswith("MISS  wrong result")

    failed = Check("par_sort", "copy", None, 4.0, note="MemoryError: out of memory")
    assert "— copy (≤ 4×)" in format_check(failed) and "MISS" in format_check(failed)


def test_a_target_is_met_only_when_all_its_checks_are_and_shows_the_worst():
    near_miss = Check("par_sort", "numpy.sort", 0.55, 0.5)  # 10 % past the limit
    far_miss = Check("smart (tim)", "copy", 40.0, 12.0)  # more than three times the limit
    met = Check("par_sort_unstable", "numpy.sort", 0.3, 0.5)
    target = Target(1, "10^7 random int64", (near_miss, met, far_miss))
    assert not target.passed and target.governing is far_miss
    line = format_target(target)
    assert line.startswith("1  10^7 random int64")
    assert "40.00× copy (≤ 12×)" in line and "MISS" in line and "smart (tim)" in line

    passing = Target(5, "call overhead", (Check("insertion", "a.sort()", 0.8, 1.0),))
    assert passing.passed and "PASS" in format_target(passing)
    assert format_summary([target, passing]) == "1 of 2 targets met"


def test_informational_checks_are_shown_but_do_not_decide():
    met = Check("par_sort on sorted", "copy", 0.9, 4.0)
    shown = Check("smart (tim) on sorted", "copy", 60.0, 4.0, informational=True, note="why")
    target = Target(3, "10^7 sorted, reversed, all equal", (met, shown))
    assert target.passed and target.governing is met
    assert format_check(shown).endswith("info  why")
