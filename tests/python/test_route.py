"""tarvo._route reports the dispatcher's own decision; checked against hand-worked routes."""

import numpy as np
import pytest

import _tarvo
from conftest import panic_type
from tarvo import _route

INT64 = np.iinfo(np.int64)


def _descending(n):
    return np.arange(n, 0, -1, dtype=np.int64)


def _shuffled_distinct_full_range(n):
    rng = np.random.default_rng(7)
    values = np.unique(rng.integers(INT64.min, INT64.max, size=n + 64, dtype=np.int64))
    return rng.permutation(values[:n])


CASES = [
    # Up to 16 elements nothing is sampled.
    ("descending-16", lambda: _descending(16), "insertion"),
    # 17 descending distinct values: sortedness 0.0, no duplicates, too short for radix.
    ("descending-17", lambda: _descending(17), "pdq"),
    # Every sampled pair ordered: nearly sorted.
    ("sorted-1000", lambda: np.arange(1000, dtype=np.int64), "tim"),
    # Sortedness near 0.5, no repeats, sampled span below 1,000,000.
    (
        "permutation-50000",
        lambda: np.random.default_rng(3).permutation(50_000).astype(np.int64),
        "radix",
    ),
    # Unordered, distinct and wide, one past the sequential limit.
    ("wide-100001", lambda: _shuffled_distinct_full_range(100_001), "parallel_unstable"),
    ("empty", lambda: np.empty(0, dtype=np.int64), "nothing"),
    ("one", lambda: np.array([5], dtype=np.int64), "nothing"),
]


@pytest.mark.parametrize(("make", "route"), [c[1:] for c in CASES], ids=[c[0] for c in CASES])
def test_route_matches_the_hand_worked_decision_and_leaves_the_array_alone(make, route):
    arr = make()
    before = arr.copy()
    assert _route.smart_route(arr) == route
    np.testing.assert_array_equal(arr, before)


def test_route_module_stands_apart_from_tarvo():
    assert _route.__name__ == "tarvo._route"
    assert not hasattr(_tarvo, "_route")
    assert not hasattr(_tarvo, "smart_route")


def test_route_refuses_what_smart_refuses():
    with pytest.raises(TypeError):
        _route.smart_route([3, 1, 2])
    with pytest.raises(TypeError):
        _route.smart_route(np.arange(20, dtype=np.int32))
    # The fault type lives in each extension's own copy of the binding library: alike in name
    # and base, not the same object as _tarvo's.
    strided = np.arange(40, dtype=np.int64)[::2]
    with pytest.raises(BaseException) as fault:
        _route.smart_route(strided)
    with pytest.raises(panic_type()) as smart_fault:
        _tarvo.smart(strided)
    fault_type = type(fault.value)
    assert f"{fault_type.__module__}.{fault_type.__qualname__}" == "pyo3_runtime.PanicException"
    assert not issubclass(fault_type, Exception)
    assert fault.value.args == smart_fault.value.args
