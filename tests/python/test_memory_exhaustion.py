"""merge, tim and radix when their working memory cannot be had.

Each case runs in a fresh interpreter that lowers its address-space limit just above what it
already uses, so that the routine's buffer cannot be mapped. The call must raise MemoryError with
the byte count of the request that failed, leave the array a permutation of its input, and leave
the process able to sort again once memory is back.
"""

import json

import pytest

from conftest import run_python

N = 1 << 22  # 32 MiB of int64: each routine's first buffer is as large as the array
MIB = 1 << 20
# Room for the interpreter's own small allocations, but not for a buffer of 8 * N bytes.
BELOW_ONE_BUFFER = 16 * MIB
# Room for radix's two lists (8 * N bytes), but not for its pass buffer of 4 * N bytes as well.
BELOW_LISTS_AND_PASS_BUFFER = 40 * MIB

CHILD = """
import json, resource
import numpy as np
import _tarvo

def address_space():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmSize:"):
                return int(line.split()[1]) * 1024
    raise RuntimeError("no VmSize in /proc/self/status")

rng = np.random.default_rng(7)
n = {n}
kind = {kind!r}
if kind == "full range":
    arr = rng.integers(-2**63, 2**63 - 1, size=n, dtype=np.int64, endpoint=True)
elif kind == "non-negative":
    arr = rng.integers(0, 10**6, size=n, dtype=np.int64)
else:  # exactly half negative
    arr = np.concatenate([rng.integers(-10**12, 0, size=n // 2, dtype=np.int64),
                          rng.integers(0, 10**12, size=n // 2, dtype=np.int64)])
    rng.shuffle(arr)
original = arr.copy()
sort = getattr(_tarvo, {name!r})
sort(np.array([3, 1, 2], dtype=np.int64))  # the first call obtains the NumPy API

soft, hard = resource.getrlimit(resource.RLIMIT_AS)
resource.setrlimit(resource.RLIMIT_AS, (address_space() + {headroom}, hard))
try:
    sort(arr)
    raised = None
except MemoryError as error:
    raised = list(error.args)
finally:
    resource.setrlimit(resource.RLIMIT_AS, (soft, hard))

small = np.array([5, -1, 3, -1], dtype=np.int64)
sort(small)
again = arr.copy()
sort(again)
print(json.dumps({{
    "raised": raised,
    "untouched": bool(np.array_equal(arr, original)),
    "permutation": bool(np.array_equal(np.sort(arr), np.sort(original))),
    "small": small.tolist(),
    "again_sorted": bool(np.array_equal(again, np.sort(original))),
}}))
"""


def exhaust(name, kind, headroom):
    child = run_python(CHILD.format(n=N, kind=kind, name=name, headroom=headroom))
    assert child.returncode == 0, child.stderr
    return json.loads(child.stdout)


def message(nbytes):
    return f"memory allocation of {nbytes} bytes failed"


@pytest.mark.parametrize(
    ("name", "kind", "headroom", "failed_bytes"),
    [
        # merge's one buffer of n elements, obtained before anything moves.
        ("merge", "full range", BELOW_ONE_BUFFER, 8 * N),
        # tim's one scratch buffer, as long as its last merge: the whole array.
        ("tim", "full range", BELOW_ONE_BUFFER, 8 * N),
        # No negative value: radix sorts in place through one pass buffer of n keys.
        ("radix", "non-negative", BELOW_ONE_BUFFER, 8 * N),
        # Both signs: first the two lists, n keys together ...
        ("radix", "half negative", BELOW_ONE_BUFFER, 8 * N),
        # ... then the pass buffer of the longer list, n / 2 keys.
        ("radix", "half negative", BELOW_LISTS_AND_PASS_BUFFER, 4 * N),
    ],
)
def test_exhausted_memory_raises_memory_error_and_keeps_every_element(
    name, kind, headroom, failed_bytes
):
    outcome = exhaust(name, kind, headroom)
    assert outcome["raised"] == [message(failed_bytes)]
    assert outcome["permutation"]
    # Each of these routines obtains all its memory before it writes to the array.
    assert outcome["untouched"]
    assert outcome["small"] == [-1, -1, 3, 5]
    assert outcome["again_sorted"]
