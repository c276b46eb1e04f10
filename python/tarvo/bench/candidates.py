"""The functions a run measures, numpy's baseline, and where the quadratic sorts stop.

The quadratic sorts would take hours on a million elements; each gets the largest size at which
one call stays around ten milliseconds, on the patterns where it is quadratic, so a full run
still covers them at the sizes where they are meant to be used.
"""

from collections.abc import Callable

import numpy as np

import _tarvo

# Every function the module offers, in its table order.
FUNCTION_NAMES = tuple(_tarvo.__all__)
# The reference every function is timed against and checked by: NumPy's own in-place sort.
BASELINE = "numpy.sort"
# The pool-backed sorts' leaf kernel alone on the calling thread: what they must beat.
KERNEL = "kernel 1 thread"

# bubble: n(n - 1)/2 compare-and-exchange steps, about 15 ms at 3,000 elements.
BUBBLE_CAP = 3_000
# insertion: about n²/4 shifts on random input, some 15 ms at 10,000 elements.
INSERTION_CAP = 10_000
# quick: the last-element pivot peels one element per partition off ordered or repetitive
# input, n²/2 comparisons, some 50 ms at 10,000 elements.
QUICK_CAP = 10_000

# bubble and insertion are linear only on ascending input (all equal counts as ascending).
_ELEMENTARY_QUADRATIC = frozenset(
    {"random", "small-range", "reversed", "nearly-sorted", "few-distinct"}
)
# quick is quadratic wherever the last element of a range is its maximum or has many equals.
_QUICK_QUADRATIC = frozenset({"sorted", "reversed", "nearly-sorted", "few-distinct", "all-equal"})
_CAPS = {
    "bubble": (BUBBLE_CAP, _ELEMENTARY_QUADRATIC),
    "insertion": (INSERTION_CAP, _ELEMENTARY_QUADRATIC),
    "quick": (QUICK_CAP, _QUICK_QUADRATIC),
}


def cap_for(function: str, pattern: str) -> int | None:
    """The largest size `function` runs on for `pattern`, or None where it is never capped."""
    cap, patterns = _CAPS.get(function, (None, frozenset()))
    return cap if pattern in patterns else None


def is_capped(function: str, pattern: str, size: int) -> bool:
    cap = cap_for(function, pattern)
    return cap is not None and size > cap


def sort_function(name: str) -> Callable[[np.ndarray], object]:
    """The in-place sort called `name`; the baseline is ``ndarray.sort`` on the same buffer."""
    if name == BASELINE:
        return np.ndarray.sort
    if name == KERNEL:
        from tarvo import _route

        return _route.leaf_sort
    if name not in FUNCTION_NAMES:
        raise KeyError(name)
    return getattr(_tarvo, name)
