"""The fault exception and the diagnostic written to standard error."""

import json
import os
import re
import shutil
import subprocess

import numpy as np
import pytest

import _tarvo
from conftest import FUNCTION_NAMES, panic_type, private_module, run_python

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


RESUMED = (
    "--- PyO3 is resuming a panic after fetching a PanicException from Python. ---\n"
    "Python stack trace below:\n"
)


def test_fault_exception_raised_while_a_message_is_formatted_resumes_as_a_fault():
    # The unexpected keyword's name is shown with str(), which raises the fault exception.
    result = run_python(
        """
        import numpy as np, _tarvo
        try:
            _tarvo.bubble(np.arange(4)[::2])
        except BaseException as error:
            panic = type(error)
        class Name(str):
            def __str__(self):
                raise panic("raised while formatting")
        try:
            _tarvo.bubble(**{Name("x"): 1})
        except BaseException as error:
            print(type(error) is panic, error.args)
        """
    )
    assert result.stdout.strip() == "True ('raised while formatting',)", result.stderr
    resumed = result.stderr[result.stderr.index(RESUMED) :]
    assert "pyo3_runtime.PanicException: raised while formatting" in resumed
    assert "panicked at" not in resumed
    assert "Exception ignored" not in result.stderr


@pytest.fixture(scope="module")
def latin1_locale(tmp_path_factory):
    """Environment for a child that may set the locale "de_DE.ISO-8859-1", made by localedef."""
    localedef = shutil.which("localedef")
    if localedef is None:
        pytest.skip("localedef is not installed")
    directory = tmp_path_factory.mktemp("locales")
    made = directory / "de_DE.ISO-8859-1"
    subprocess.run([localedef, "-i", "de_DE", "-f", "ISO-8859-1", str(made)], capture_output=True)
    if not (made / "LC_CTYPE").exists():
        pytest.skip("localedef could not make de_DE.ISO-8859-1")
    return {"LOCPATH": str(directory), "LC_ALL": "C.UTF-8"}


FAULT_WITH_BYTES = """
import json, locale, sys
if {locale!r}:
    locale.setlocale(locale.LC_ALL, {locale!r})
sys.path.insert(0, {module_dir!r})
import _tarvo_testing
try:
    _tarvo_testing.fault_with_bytes(b"Ressource vor\\xfcbergehend nicht verf\\xfcgbar")
except BaseException as error:
    print(json.dumps([type(error).__name__, error.args]))
"""


@pytest.mark.parametrize(
    "locale, text",
    [
        # Neither UTF-8 nor the locale's encoding: each undecodable byte is replaced.
        ("", "Ressource vor\ufffdbergehend nicht verf\ufffdgbar"),
        # Text from the system in the locale's own encoding reads as it was meant.
        ("de_DE.ISO-8859-1", "Ressource vor\u00fcbergehend nicht verf\u00fcgbar"),
    ],
)
def test_fault_message_in_any_encoding_becomes_the_fault_exception(latin1_locale, locale, text):
    testing = private_module()
    result = run_python(
        FAULT_WITH_BYTES.format(locale=locale, module_dir=os.path.dirname(testing.__file__)),
        env=latin1_locale,
    )
    assert result.returncode == 0, result.stderr
    assert json.loads(result.stdout) == ["PanicException", [text]]


POOL_FAILURE_IN_LATIN1 = """
import errno, json, locale, os, re, resource
import numpy as np
locale.setlocale(locale.LC_ALL, "de_DE.ISO-8859-1")
import _tarvo

def address_space():
    for line in open("/proc/self/status"):
        if line.startswith("VmSize:"):
            return int(line.split()[1]) * 1024

# Long enough for the pool-backed sorts to need the pool.
values = np.random.default_rng(3).integers(-10**9, 10**9, 600_000, dtype=np.int64)
# The catalogue and converter behind strerror are loaded before memory runs short.
os.strerror(errno.EAGAIN)
# Room for one worker stack of 2 MiB but not for two.
resource.setrlimit(resource.RLIMIT_AS, (address_space() + (3 << 20), resource.RLIM_INFINITY))
try:
    _tarvo.par_sort_unstable(values)
    outcome = None
except BaseException as error:
    outcome = [type(error).__name__, str(error)]
resource.setrlimit(resource.RLIMIT_AS, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
code = re.search(r"\\(os error (\\d+)\\)$", outcome[1]) if outcome else None
print(json.dumps({"outcome": outcome, "strerror": code and os.strerror(int(code.group(1)))}))
"""


def test_pool_that_cannot_start_in_a_latin1_locale_raises_the_fault(latin1_locale):
    result = run_python(POOL_FAILURE_IN_LATIN1, env={**latin1_locale, "RAYON_NUM_THREADS": "2"})
    assert result.returncode == 0, result.stderr  # not aborted for want of a decodable message
    report = json.loads(result.stdout)
    assert report["strerror"] is not None, report["outcome"]
    if report["strerror"].isascii():
        pytest.skip("the C library has no German messages to test with")
    kind, message = report["outcome"]
    assert kind == "PanicException"
    assert message.startswith("The global thread pool has not been initialized.: ")
    assert message.endswith(f": {report['strerror']} (os error 11)")


FRAME = re.compile(r"^ *\d+: (?:(\S.*)\+0x[0-9a-f]+ )?\((.+)\+(0x[0-9a-f]+)\)$", re.MULTILINE)


def test_backtrace_names_functions_or_gives_offsets_that_addr2line_resolves():
    addr2line = shutil.which("addr2line")
    if addr2line is None:
        pytest.skip("addr2line is not installed")
    testing = private_module()  # built unstripped, unlike the installed _tarvo
    result = run_python(
        f"""
        import sys
        sys.path.insert(0, {os.path.dirname(testing.__file__)!r})
        import _tarvo_testing
        try:
            _tarvo_testing.fault_with_bytes(b"traced")
        except BaseException:
            pass
        """,
        env={"TARVO_BACKTRACE": "1"},
    )
    assert result.returncode == 0, result.stderr
    frames = FRAME.findall(result.stderr)
    # Exported functions of the interpreter are named from the dynamic symbols.
    assert any(name.startswith("PyObject_") for name, _, _ in frames), result.stderr
    offsets = [offset for _, path, offset in frames if path == testing.__file__]
    assert offsets, result.stderr
    resolved = subprocess.run(
        [addr2line, "-f", "-C", "-e", testing.__file__, *offsets],
        capture_output=True,
        text=True,
        check=True,
    ).stdout
    assert "tarvo::raise_fault" in resolved
    assert "fault_with_bytes" in resolved
