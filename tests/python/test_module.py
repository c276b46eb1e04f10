import ast
import inspect
import pathlib
import shutil
import subprocess
import sys

import pytest

import _tarvo
from conftest import FUNCTION_NAMES, run_python


def test_all_lists_the_thirteen_functions_in_table_order():
    assert type(_tarvo.__all__) is list
    assert _tarvo.__all__ == FUNCTION_NAMES


def test_type_stub_lists_the_same_functions_in_the_same_order():
    stub = pathlib.Path(__file__).parents[2] / "src" / "_tarvo.pyi"
    tree = ast.parse(stub.read_text())
    declared = [node.name for node in tree.body if isinstance(node, ast.FunctionDef)]
    (exported,) = [
        ast.literal_eval(node.value)
        for node in tree.body
        if isinstance(node, ast.Assign) and node.targets[0].id == "__all__"
    ]
    assert declared == FUNCTION_NAMES
    assert exported == FUNCTION_NAMES


def test_module_has_empty_docstring_and_nothing_but_the_functions():
    assert _tarvo.__doc__ == ""
    public = {n for n in vars(_tarvo) if not n.startswith("__")}
    assert public == set(FUNCTION_NAMES)
    assert not hasattr(_tarvo, "PanicException")


def test_function_objects_carry_name_signature_and_module(name):
    function = getattr(_tarvo, name)
    assert type(function).__name__ == "builtin_function_or_method"
    assert function.__name__ == name
    assert function.__doc__ is None
    assert function.__text_signature__ == "(arr)"
    assert function.__module__ == "_tarvo"
    assert function.__self__ is _tarvo
    assert list(inspect.signature(function).parameters) == ["arr"]


def test_reimport_returns_the_identical_module_and_functions():
    first = sys.modules.pop("_tarvo")
    functions = [getattr(first, n) for n in FUNCTION_NAMES]
    try:
        import _tarvo as again

        assert again is first
        assert [getattr(again, n) for n in FUNCTION_NAMES] == functions
    finally:
        sys.modules["_tarvo"] = first


def test_reimport_returns_the_cached_module_in_its_current_state():
    result = run_python(
        """
        import sys, _tarvo
        _tarvo.extra = 42
        del sys.modules["_tarvo"]
        import _tarvo as again
        print(again.extra)
        """
    )
    assert result.stdout.strip() == "42", result.stderr


def test_import_without_numpy_succeeds_and_starts_no_thread():
    result = run_python(
        """
        import os, sys
        sys.modules["numpy"] = None
        import _tarvo
        print(len(os.listdir("/proc/self/task")), "numpy" in sys.modules and sys.modules["numpy"])
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == ["1", "None"]


def test_subinterpreter_import_is_refused_after_the_main_interpreter():
    result = run_python(
        r"""
        import _tarvo, _testcapi
        _testcapi.run_in_subinterp(
            "try:\n"
            "    import _tarvo\n"
            "    print('imported')\n"
            "except ImportError as error:\n"
            "    print('refused:', error)\n"
        )
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout.startswith(
        "refused: PyO3 modules do not yet support subinterpreters, see "
    ), result.stdout


def test_first_interpreter_to_initialise_keeps_the_module():
    result = run_python(
        """
        import _testcapi
        _testcapi.run_in_subinterp("import _tarvo")
        try:
            import _tarvo
            print("imported")
        except ImportError as error:
            print("refused:", error)
        """
    )
    assert result.returncode == 0, result.stderr
    refusal = "PyO3 modules do not yet support subinterpreters"
    if sys.version_info >= (3, 13):
        # CPython 3.13 runs a single-phase init function in the main interpreter first, so the
        # main interpreter owns the module and the subinterpreter is the one refused.
        assert result.stdout == "imported\n"
        assert f"ImportError: {refusal}" in result.stderr
    else:
        assert result.stdout.startswith(f"refused: {refusal}")


def test_the_init_function_is_the_only_exported_symbol():
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("nm is not installed")
    listing = subprocess.run(
        [nm, "-D", "--defined-only", _tarvo.__file__], capture_output=True, text=True, check=True
    )
    assert [line.split()[-1] for line in listing.stdout.splitlines()] == ["PyInit__tarvo"]
