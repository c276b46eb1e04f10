"""smart sorts in place on both sides of every routing threshold, whichever sort it picks."""

import numpy as np
import pytest

import _tarvo

INT64 = np.iinfo(np.int64)


def _wide(rng, n):
    return rng.integers(INT64.min, INT64.max, size=n, dtype=np.int64, endpoint=True)


def _descending(rng, n):
    return np.arange(n, 0, -1, dtype=np.int64)


def _small_range_permutation(rng, n):
    return rng.permutation(n).astype(np.int64)


def _few_distinct(rng, n):
    return rng.integers(0, 10, size=n, dtype=np.int64)


def _sorted(rng, n):
    return np.arange(n, dtype=np.int64)


def _exact_half_repeated(rng, n):
    # Descending pairs: half of every sample repeats, sortedness far below 0.9.
    return (np.arange(n, 0, -1, dtype=np.int64) - 1) // 2


CASES = [
    ("descending-16", _descending, 16),
    ("descending-17", _descending, 17),
    ("wide-999", _wide, 999),
    ("small-range-999", _small_range_permutation, 999),
    ("small-range-1000", _small_range_permutation, 1000),
    ("wide-1000", _wide, 1000),
    ("half-repeated-100", _exact_half_repeated, 100),
    ("few-distinct-500", _few_distinct, 500),
    ("small-range-50000", _small_range_permutation, 50_000),
    ("wide-100000", _wide, 100_000),
    ("wide-100001", _wide, 100_001),
    ("small-range-100001", _small_range_permutation, 100_001),
    ("sorted-1000000", _sorted, 1_000_000),
    ("few-distinct-200000", _few_distinct, 200_000),
]


@pytest.mark.parametrize(("make", "n"), [(m, n) for _, m, n in CASES], ids=[c[0] for c in CASES])
def test_smart_matches_numpy_sort_at_route_boundaries(make, n):
    rng = np.random.default_rng(n)
    arr = make(rng, n)
    expected = np.sort(arr, kind="stable")
    buffer_before = arr.ctypes.data
    assert _tarvo.smart(arr) is None
    assert arr.ctypes.data == buffer_before
    np.testing.assert_array_equal(arr, expected)


@pytest.mark.parametrize("n", range(0, 21))
def test_smart_sorts_every_short_length(n):
    rng = np.random.default_rng(1000 + n)
    arr = _wide(rng, n)
    expected = np.sort(arr)
    _tarvo.smart(arr)
    np.testing.assert_array_equal(arr, expected)


def test_smart_sorts_the_int64_extremes_passed_by_keyword():
    arr = np.array([INT64.max, 0, INT64.min, -1, INT64.max, INT64.min] * 5, dtype=np.int64)
    expected = np.sort(arr)
    _tarvo.smart(arr=arr)
    np.testing.assert_array_equal(arr, expected)
