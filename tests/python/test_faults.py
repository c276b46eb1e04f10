"""The fault exception and the diagnostic written to standard error."""

import re

import numpy as np
import pytest

import _tarvo
from conftest import FUNCTION_NAMES, panic_type, run_python

DIAGNOSTIC = re.compile(
    r"\nthread '<unnamed>' \((\d+)\) panicked at src/binding/call_path\.cpp:\d+:\d+:\n"
    r"called `Option::unwrap\(\)` on a `None` value\n"
)
NOTE = "note: run with `TARVO_BACKTRACE=1` environment variable to display a backtrace\n"


def test_fault_exception_type_is_a_base_exception_outside_the_module():
    panic = panic_type()
    assert panic.__module__ == "pyo3_runtime"
    assert panic.__name__ == "PanicException"
    assert panic.__bases__ == (BaseException,)
    assert not issubclass(panic, Exception)
    assert len(panic.__doc__) == 235
    assert panic is panic_type()  # one type per process


def test_fault_escapes_except_exception_and_carries_its_message_alone():
    a = np.arange(6, dtype=np.int64)[::2]
    with pytest.raises(BaseException) as info:
        try:
            _tarvo.bubble(a)
        except Exception:  # noqa: BLE001 - proving the fault is not caught here
            pytest.fail("the fault was caught as an Exception")
    assert type(info.value) is panic_type()
    assert info.value.args == ("called `Option::unwrap()` on a `None` value",)


def test_module_works_normally_after_a_fault(sort):
    with pytest.raises(panic_type()):
        sort(np.arange(6, dtype=np.int64)[::-1])
    a = np.array([3, -1, 2], dtype=np.int64)
    sort(a)
    assert a.tolist() == [-1, 2, 3]


FAULT_TWICE = """
import os, numpy as np, _tarvo
for _ in range(2):
    try:
        _tarvo.bubble(np.arange(4)[::2])
    except BaseException:
        pass
print(os.getpid(), flush=True)
"""


def test_diagnostic_names_the_thread_and_place_and_the_note_comes_once():
    result = run_python(FAULT_TWICE, env={"TARVO_BACKTRACE": ""})
    assert result.returncode == 0
    pid = result.stdout.strip()
    first, second = DIAGNOSTIC.findall(result.stderr)
    assert first == second == pid  # the interpreter's main thread: its id is the pid
    assert result.stderr.count(NOTE) == 1
    assert result.stderr.index(NOTE) < result.stderr.rindex("\nthread '<unnamed>'")


def test_backtrace_is_written_after_every_fault_when_enabled():
    result = run_python(FAULT_TWICE, env={"TARVO_BACKTRACE": "1"})
    assert result.returncode == 0
    assert len(DIAGNOSTIC.findall(result.stderr)) == 2
    assert result.stderr.count("stack backtrace:") == 2
    assert NOTE not in result.stderr


def test_without_numpy_every_function_faults_past_argument_binding():
    result = run_python(
        f"""
        import sys
        sys.modules["numpy"] = None
        import _tarvo
        for name in {FUNCTION_NAMES!r}:
            function = getattr(_tarvo, name)
            try:
                function()
            except TypeError as error:
                print("bound:", error)
            try:
                function([1])
            except BaseException as error:
                print(type(error).__name__, error)
        """
    )
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    for name, (bound, fault) in zip(
        FUNCTION_NAMES, zip(lines[::2], lines[1::2], strict=True), strict=True
    ):
        assert bound == f"bound: {name}() missing 1 required positional argument: 'arr'"
        assert fault.startswith(
            "PanicException Failed to access NumPy array API capsule: PyErr { type: "
        )
    assert result.stderr.count("Failed to access NumPy array API capsule: PyErr { type: ") == 13


def test_numpy_import_is_retried_until_it_succeeds():
    result = run_python(
        """
        import sys
        sys.modules["numpy"] = None
        import _tarvo
        try:
            _tarvo.insertion([1])
        except BaseException as error:
            print(type(error).__name__)
        del sys.modules["numpy"]
        import numpy as np
        a = np.array([2, 1])
        _tarvo.insertion(a)
        print(a.tolist())
        """
    )
    assert result.stdout.split() == ["PanicException", "[1,", "2]"], result.stderr


def test_capsule_of_the_wrong_type_is_a_fault_with_the_conversion_error():
    result = run_python(
        """
        import sys, types
        fake = types.ModuleType("numpy.core.multiarray")
        fake._ARRAY_API = 42
        sys.modules.update({"numpy": fake, "numpy.core": fake, "numpy.core.multiarray": fake})
        import _tarvo
        try:
            _tarvo.insertion([1])
        except BaseException as error:
            print(error)
        """
    )
    assert result.stdout.strip() == (
        "Failed to access NumPy array API capsule: PyErr { type: <class 'TypeError'>, "
        "value: TypeError(\"'int' object cannot be converted to 'PyCapsule'\"), "
        "traceback: None }"
    ), result.stderr


def test_capsule_without_a_readable_pointer_is_a_fault_not_a_null_table():
    result = run_python(
        """
        import ctypes, sys, types
        new = ctypes.pythonapi.PyCapsule_New
        new.restype = ctypes.py_object
        new.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_void_p]
        capsule = new(1, None, None)
        # Clear the capsule's pointer field (after the object header) behind its back.
        ctypes.c_void_p.from_address(id(capsule) + 16).value = None
        fake = types.ModuleType("numpy.core.multiarray")
        fake._ARRAY_API = capsule
        sys.modules.update({"numpy": fake, "numpy.core": fake, "numpy.core.multiarray": fake})
        import _tarvo
        for _ in range(2):
            try:
                _tarvo.insertion([1])
            except BaseException as error:
                print(type(error).__name__, error)
        """
    )
    assert result.returncode == 0, result.stderr
    assert (
        result.stdout.splitlines()
        == [
            "PanicException Failed to access NumPy array API capsule: PyErr { type: "
            "<class 'ValueError'>, value: ValueError('PyCapsule_GetPointer called with invalid "
            "PyCapsule object'), traceback: None }"
        ]
        * 2
    )


def test_fault_exception_coming_back_from_python_resumes_as_a_fault():
    result = run_python(
        """
        import sys, types
        fake = types.ModuleType("numpy.core.multiarray")
        sys.modules.update({"numpy": fake, "numpy.core": fake, "numpy.core.multiarray": fake})
        import _tarvo
        try:
            _tarvo.insertion([1])  # no _ARRAY_API: a first fault gives us the type
        except BaseException as error:
            panic = type(error)
        def raise_panic(name):
            raise panic("raised by Python code")
        fake.__getattr__ = raise_panic
        try:
            _tarvo.insertion([1])
        except BaseException as error:
            print(type(error) is panic, error.args)
        """
    )
    assert result.stdout.strip() == "True ('raised by Python code',)", result.stderr
    err = result.stderr
    resumed = err[err.index("--- PyO3 is resuming a panic") :]
    assert resumed.startswith(
        "--- PyO3 is resuming a panic after fetching a PanicException from Python. ---\n"
        "Python stack trace below:\n"
    )
    assert "raised by Python code" in resumed
    assert "panicked at" not in resumed  # no second diagnostic for it
