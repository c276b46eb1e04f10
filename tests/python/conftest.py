import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import _tarvo

FUNCTION_NAMES = [
    "bubble",
    "insertion",
    "merge",
    "quick",
    "heap",
    "intro",
    "tim",
    "pdq",
    "radix",
    "smart",
    "par_sort",
    "par_sort_unstable",
    "par_merge",
]
# Quadratic on some inputs: kept to small arrays.
QUADRATIC = {"bubble", "insertion", "quick"}


def sort_function(name):
    return getattr(_tarvo, name)


@pytest.fixture(params=FUNCTION_NAMES)
def name(request):
    return request.param


@pytest.fixture
def sort(name):
    return sort_function(name)


def run_python(code, env=None, timeout=120):
    """Runs `code` in a fresh interpreter; returns the completed process (text output, in which
    bytes that are not UTF-8, such as the system's text in another locale, read as U+FFFD)."""
    full_env = dict(os.environ)
    full_env.update(env or {})
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        capture_output=True,
        text=True,
        errors="replace",
        env=full_env,
        timeout=timeout,
    )


def panic_type():
    """The fault exception type, obtained from a fault (it is not exposed on the module)."""
    try:
        _tarvo.insertion(np.arange(4, dtype=np.int64)[::2])
    except BaseException as error:  # noqa: B036 - the fault type derives from BaseException
        return type(error)
    raise AssertionError("a strided view was accepted")


def private_module():
    """The private test module of the test build (`make test` sets TARVO_TEST_MODULE_DIR)."""
    directory = os.environ.get("TARVO_TEST_MODULE_DIR")
    if directory is None:
        pytest.skip("the private test module is built by `make test` (TARVO_TEST_MODULE_DIR)")
    if directory not in sys.path:
        sys.path.insert(0, directory)
    import _tarvo_testing

    return _tarvo_testing
