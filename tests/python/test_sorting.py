"""Every function against numpy.sort over lengths around the thresholds and hard patterns."""

import threading

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from hypothesis.extra import numpy as hnp

from conftest import FUNCTION_NAMES, QUADRATIC, sort_function

INT64_MIN = np.iinfo(np.int64).min
INT64_MAX = np.iinfo(np.int64).max

# Lengths on both sides of every cutoff the algorithms have (16, 24, 32, 128, 8192, ...).
LENGTHS = [
    0,
    1,
    2,
    3,
    4,
    5,
    16,
    17,
    24,
    25,
    31,
    32,
    33,
    63,
    64,
    70,
    100,
    101,
    127,
    128,
    129,
    513,
    999,
    1000,
    1001,
    8191,
    8192,
    8193,
]
LARGE_LENGTHS = [100_000, 100_001, 1_000_000]


def pattern(kind, n, rng):
    if kind == "random":
        return rng.integers(INT64_MIN, INT64_MAX, n, dtype=np.int64, endpoint=True)
    if kind == "small range":
        return rng.integers(-50, 50, n, dtype=np.int64)
    if kind == "sorted":
        return np.arange(n, dtype=np.int64) * 3 - n
    if kind == "reversed":
        return np.arange(n, 0, -1, dtype=np.int64)
    if kind == "all equal":
        return np.full(n, 7, dtype=np.int64)
    if kind == "few distinct":
        return rng.choice(np.array([INT64_MIN, -1, 0, INT64_MAX], dtype=np.int64), n)
    if kind == "sawtooth":
        return np.arange(n, dtype=np.int64) % 37
    if kind == "organ pipe":
        half = np.arange((n + 1) // 2, dtype=np.int64)
        return np.concatenate([half, half[::-1]])[:n]
    if kind == "extremes":
        return rng.choice(np.array([INT64_MIN, INT64_MAX, INT64_MIN + 1, INT64_MAX - 1]), n)
    raise ValueError(kind)


PATTERNS = [
    "random",
    "small range",
    "sorted",
    "reversed",
    "all equal",
    "few distinct",
    "sawtooth",
    "organ pipe",
    "extremes",
]


def check_sorts(name, values):
    a = values.copy()
    assert sort_function(name)(a) is None
    np.testing.assert_array_equal(a, np.sort(values, kind="stable"))


@pytest.mark.parametrize("kind", PATTERNS)
@pytest.mark.parametrize("n", LENGTHS)
def test_sorts_like_numpy(name, n, kind):
    if name in QUADRATIC and n > 1001:
        pytest.skip("quadratic sort: kept to short arrays")
    check_sorts(name, pattern(kind, n, np.random.default_rng(n)))


@pytest.mark.parametrize("kind", ["random", "small range", "sorted", "reversed", "all equal"])
@pytest.mark.parametrize("n", LARGE_LENGTHS)
@pytest.mark.parametrize("name", [f for f in FUNCTION_NAMES if f not in QUADRATIC])
def test_n_log_n_sorts_like_numpy_on_large_arrays(name, n, kind):
    check_sorts(name, pattern(kind, n, np.random.default_rng(n)))


@pytest.mark.parametrize("kind", ["few distinct", "narrow range, outliers"])
@pytest.mark.parametrize("name", ["par_sort", "par_sort_unstable"])
def test_pool_sorts_count_arrays_larger_than_the_caches(name, kind):
    # The countings write 2^22 elements and more back past the caches.
    n = 2**22 + 3
    rng = np.random.default_rng(n)
    if kind == "few distinct":
        values = pattern(kind, n, rng)
    else:
        values = rng.integers(-1000, 1000, n)
        values[:: 1 << 12] = rng.integers(INT64_MIN, INT64_MAX, len(values[:: 1 << 12]))
    check_sorts(name, values)


def test_signed_extremes_sort_by_value(sort):
    a = np.array([INT64_MAX, -1, INT64_MIN, 0], dtype=np.int64)
    sort(a)
    assert a.tolist() == [INT64_MIN, -1, 0, INT64_MAX]


def test_sorts_in_place_through_a_view(sort):
    base = np.array([9, 5, 4, 3, 2, 1, 0], dtype=np.int64)
    sort(base[1:6])
    assert base.tolist() == [9, 1, 2, 3, 4, 5, 0]


@pytest.mark.parametrize("name", FUNCTION_NAMES)
@settings(max_examples=60, deadline=None)
@given(values=hnp.arrays(np.int64, st.integers(0, 300)))
def test_any_int64_array_is_sorted(name, values):
    check_sorts(name, values)


@pytest.mark.parametrize("name", [f for f in FUNCTION_NAMES if f not in QUADRATIC])
@settings(max_examples=15, deadline=None)
@given(
    seed=st.integers(0, 2**32 - 1),
    n=st.integers(8000, 20000),
    spread=st.sampled_from([1, 10, 1000, 10**6, 2**62]),
    presorted=st.floats(0, 1),
)
def test_any_longer_array_is_sorted(name, seed, n, spread, presorted):
    rng = np.random.default_rng(seed)
    values = rng.integers(-spread, spread, n, dtype=np.int64, endpoint=True)
    head = int(n * presorted)
    values[:head].sort()
    check_sorts(name, values)


@pytest.mark.parametrize("name", [f for f in FUNCTION_NAMES if f not in ("bubble", "insertion")])
def test_sorted_input_survives_a_small_thread_stack(name):
    # Quicksort nests a call per partition on sorted input unless it recurses into the smaller
    # part; 30,000 frames would overflow this 512 KiB stack.
    values = np.arange(30_000, dtype=np.int64)
    outcome = {}

    def run():
        a = values.copy()
        sort_function(name)(a)
        outcome["sorted"] = bool((a == values).all())

    previous = threading.stack_size(512 * 1024)
    try:
        thread = threading.Thread(target=run)
        thread.start()
        thread.join()
    finally:
        threading.stack_size(previous)
    assert outcome == {"sorted": True}
