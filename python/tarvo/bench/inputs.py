"""The input patterns, each rebuilt identically from a seed, the pattern and the size.

Each pattern exercises a different path: full-range random values the comparison sorts, a
small value range radix sort and smart's range test, ordered and nearly ordered input smart's
sortedness estimate and the early exits of bubble and insertion sort (tim, which looks for no
natural runs, does its full block-and-merge work on them), and repeated values the equal-element
handling of pdq and the quadratic worst case of the textbook quicksort.
"""

import math
from collections.abc import Callable

import numpy as np

INT64 = np.iinfo(np.int64)
DEFAULT_SEED = 20_240_611

# Values of the small-range pattern lie in [0, SMALL_RANGE): smart's range test sends spans
# below this to radix sort, and the second speed target draws from the same range.
SMALL_RANGE = 1_000_000
# Few enough distinct values that nearly every element has thousands of equals.
FEW_DISTINCT = 16
# Share of positions exchanged in random pairs: the runs are broken, yet smart's sampled
# sortedness stays well above its nearly-sorted threshold.
NEARLY_SORTED_SWAPPED = 0.01
ALL_EQUAL_VALUE = 42

Generator = Callable[[np.random.Generator, int], np.ndarray]


def _random(rng: np.random.Generator, n: int) -> np.ndarray:
    return rng.integers(INT64.min, INT64.max, size=n, dtype=np.int64, endpoint=True)


def _small_range(rng: np.random.Generator, n: int) -> np.ndarray:
    return rng.integers(0, SMALL_RANGE, size=n, dtype=np.int64)


def _sorted(rng: np.random.Generator, n: int) -> np.ndarray:
    return np.arange(n, dtype=np.int64)


def _reversed(rng: np.random.Generator, n: int) -> np.ndarray:
    return np.arange(n, 0, -1, dtype=np.int64)


def _nearly_sorted(rng: np.random.Generator, n: int) -> np.ndarray:
    values = np.arange(n, dtype=np.int64)
    pairs = min(max(1, round(n * NEARLY_SORTED_SWAPPED / 2)), n // 2)
    if pairs:
        chosen = rng.choice(n, size=2 * pairs, replace=False)
        left, right = chosen[:pairs], chosen[pairs:]
        # Fancy indexing copies, so both sides are read before either is written.
        values[left], values[right] = values[right], values[left]
    return values


def _few_distinct(rng: np.random.Generator, n: int) -> np.ndarray:
    return rng.integers(0, FEW_DISTINCT, size=n, dtype=np.int64)


def _all_equal(rng: np.random.Generator, n: int) -> np.ndarray:
    return np.full(n, ALL_EQUAL_VALUE, dtype=np.int64)


# Skewed: value k drawn with probability about 1/k from [1, SKEWED_SPAN] (Zipf-like), so a few
# small values repeat very often and the rest thin out.
SKEWED_SPAN = 1_000_000
# Gaussian: standard deviation of the normal distribution the values are drawn from.
GAUSSIAN_SIGMA = 1e12
# Outliers: most values within [0, OUTLIER_BULK), one in OUTLIER_EVERY anywhere in int64.
OUTLIER_BULK = 1_000
OUTLIER_EVERY = 100


# Zipf-like: rng.zipf with this exponent; values 1, 2, 3 ... with probability about k^-1.2, so a
# handful of values fill most of the array and a long tail of rare ones the rest.
ZIPF_EXPONENT = 1.2
# The few category codes of real data.
FOUR_DISTINCT = 4
# Heavy values plus rare ones: HEAVY_VALUES values everywhere but at RARE_PER_STRIPE places of
# every stripe (a stripe being the slice's share of one worker), which hold values of that stripe
# alone, all distinct and below the heavy ones. A sample sees the heavy values only; the stripes
# then differ in values it never saw. 200: a few hundred, yet with the heavy ones fewer than 256
# distinct values a stripe, so that a sort that treats few values apart per stripe takes it up.
HEAVY_VALUES = 3
RARE_PER_STRIPE = 200
HEAVY_BASE = 10**12


def _skewed(rng: np.random.Generator, n: int) -> np.ndarray:
    return np.exp(rng.random(n) * np.log(SKEWED_SPAN)).astype(np.int64)


def _gaussian(rng: np.random.Generator, n: int) -> np.ndarray:
    return rng.normal(0, GAUSSIAN_SIGMA, n).astype(np.int64)


def _outliers(rng: np.random.Generator, n: int) -> np.ndarray:
    values = rng.integers(0, OUTLIER_BULK, size=n, dtype=np.int64)
    values[::OUTLIER_EVERY] = _random(rng, len(values[::OUTLIER_EVERY]))
    return values


def _zipf(rng: np.random.Generator, n: int) -> np.ndarray:
    return rng.zipf(ZIPF_EXPONENT, n).astype(np.int64)


def _four_distinct(rng: np.random.Generator, n: int) -> np.ndarray:
    return rng.integers(0, FOUR_DISTINCT, size=n, dtype=np.int64)


def _sqrt_distinct(rng: np.random.Generator, n: int) -> np.ndarray:
    values = np.arange(n, dtype=np.int64) % max(math.isqrt(n), 1)
    rng.shuffle(values)
    return values


def _exponential(rng: np.random.Generator, n: int) -> np.ndarray:
    """Uniform in [2^k, 2^(k+1)) with k uniform below log2 n: as many values of every magnitude."""
    k = rng.integers(0, max(int(math.log2(max(n, 2))), 1), size=n)
    low = np.left_shift(1, k, dtype=np.int64)
    return low + (rng.random(n) * low).astype(np.int64)


def _heavy_and_rare(rng: np.random.Generator, n: int, workers: int) -> np.ndarray:
    values = HEAVY_BASE + rng.integers(0, HEAVY_VALUES, size=n, dtype=np.int64)
    bounds = np.linspace(0, n, max(workers, 1) + 1).astype(np.int64)
    for stripe, (start, end) in enumerate(zip(bounds[:-1], bounds[1:], strict=True)):
        places = rng.choice(end - start, size=min(RARE_PER_STRIPE, end - start), replace=False)
        values[start + places] = stripe * RARE_PER_STRIPE + np.arange(len(places))
    return values


PATTERNS: dict[str, Generator] = {
    "random": _random,
    "small-range": _small_range,
    "sorted": _sorted,
    "reversed": _reversed,
    "nearly-sorted": _nearly_sorted,
    "few-distinct": _few_distinct,
    "all-equal": _all_equal,
}
PATTERN_NAMES = tuple(PATTERNS)
# Patterns only the pool-backed sorts' targets and scaling report use: the distributions of the
# samplesort literature's benchmarks and of real data (IDs, category codes, counts).
TARGET_PATTERNS: dict[str, Generator] = {
    "skewed": _skewed,
    "gaussian": _gaussian,
    "outliers": _outliers,
    "zipf": _zipf,
    "four-distinct": _four_distinct,
    "sqrt-distinct": _sqrt_distinct,
    "exponential": _exponential,
}
# Patterns built for a worker count: HEAVY_AND_RARE gives each worker's stripe values of its own.
HEAVY_AND_RARE = "heavy-rare"
_PER_WORKERS = {HEAVY_AND_RARE: _heavy_and_rare}
# The worker count a pattern built for workers assumes when none is given: the targets' two.
DEFAULT_WORKERS = 2
_ALL_PATTERNS = {**PATTERNS, **TARGET_PATTERNS, **_PER_WORKERS}
ALL_PATTERN_NAMES = tuple(_ALL_PATTERNS)


def make_input(
    pattern: str, n: int, seed: int = DEFAULT_SEED, workers: int = DEFAULT_WORKERS
) -> np.ndarray:
    """A fresh contiguous int64 array; the same arguments give the same values in any process,
    so worker processes measure exactly the input the parent does. `workers` matters only to the
    patterns built for a worker count."""
    rng = np.random.default_rng([seed, list(_ALL_PATTERNS).index(pattern), n])
    if pattern in _PER_WORKERS:
        return np.ascontiguousarray(_PER_WORKERS[pattern](rng, n, workers))
    return np.ascontiguousarray(_ALL_PATTERNS[pattern](rng, n))
