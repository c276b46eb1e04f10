"""The leaf kernel of the pool-backed sorts as the benchmark sees it through tarvo._route."""

import numpy as np
import pytest

from tarvo import _route
from tarvo.bench.kernel_targets import peak_extra_bytes


def test_the_build_names_its_leaf_kernel():
    assert _route.leaf_kernel() in {"Highway vqsort", "pdq_sort (portable fallback)"}


@pytest.mark.parametrize("n", [0, 1, 2, 1000, 100_000])
def test_leaf_sort_sorts_in_place_like_numpy(n):
    values = np.random.default_rng(n).integers(-(2**63), 2**63 - 1, n, dtype=np.int64)
    arr = values.copy()
    assert _route.leaf_sort(arr) is None
    assert np.array_equal(arr, np.sort(values))


def test_leaf_sort_refuses_what_the_module_refuses():
    with pytest.raises(TypeError):
        _route.leaf_sort(np.zeros(3))


def test_peak_extra_memory_sees_a_temporary_block():
    block = 64 << 20

    def touch_a_block(_):
        np.ones(block // 8, dtype=np.int64)

    extra = peak_extra_bytes(touch_a_block, np.empty(0, dtype=np.int64))
    if extra is None:
        pytest.skip("no /proc/self/clear_refs here")
    assert block * 0.9 <= extra <= block * 1.5
