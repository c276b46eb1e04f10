"""Binding of the single argument `arr`: every message, positional and keyword."""

import ctypes

import numpy as np
import pytest


def raised(call):
    with pytest.raises(TypeError) as info:
        call()
    return str(info.value)


def test_keyword_and_positional_calls_both_sort(sort):
    a = np.array([3, 1, 2], dtype=np.int64)
    b = a.copy()
    assert sort(a) is None
    assert sort(arr=b) is None
    assert a.tolist() == b.tolist() == [1, 2, 3]


def test_missing_argument(sort, name):
    assert raised(lambda: sort()) == f"{name}() missing 1 required positional argument: 'arr'"


def test_too_many_positional_arguments_are_reported_before_keywords(sort, name):
    message = f"{name}() takes 1 positional arguments but 2 were given"
    assert raised(lambda: sort(1, 2)) == message
    assert raised(lambda: sort(1, 2, x=3)) == message
    assert (
        raised(lambda: sort(1, 2, 3)) == f"{name}() takes 1 positional arguments but 3 were given"
    )


def test_unexpected_keyword(sort, name):
    assert raised(lambda: sort(x=1)) == f"{name}() got an unexpected keyword argument 'x'"
    a = np.arange(3)
    assert raised(lambda: sort(a, x=1)) == f"{name}() got an unexpected keyword argument 'x'"


def test_keywords_are_checked_in_the_order_given(sort, name):
    a = np.arange(3)
    assert (
        raised(lambda: sort(arr=a, **{"y": 1}))
        == f"{name}() got an unexpected keyword argument 'y'"
    )
    assert raised(lambda: sort(a, arr=a)) == f"{name}() got multiple values for argument 'arr'"


def test_keyword_with_lone_surrogate_matches_nothing(sort, name):
    message = raised(lambda: sort(**{"arr\udc80": 1}))
    assert message == f"{name}() got an unexpected keyword argument 'arr\ufffd\ufffd\ufffd'"


def test_str_subclass_keyword_name_binds(sort):
    class Name(str):
        pass

    a = np.array([2, 1], dtype=np.int64)
    sort(**{Name("arr"): a})
    assert a.tolist() == [1, 2]


def vectorcall(function, args, kwnames):
    """Calls through PyObject_Vectorcall with keyword names Python code cannot pass."""
    api = ctypes.pythonapi
    api.PyObject_Vectorcall.restype = ctypes.py_object
    api.PyObject_Vectorcall.argtypes = [
        ctypes.py_object,
        ctypes.POINTER(ctypes.py_object),
        ctypes.c_size_t,
        ctypes.py_object,
    ]
    values = (ctypes.py_object * len(args))(*args)
    return api.PyObject_Vectorcall(function, values, 1 if len(args) > len(kwnames) else 0, kwnames)


def test_non_str_keyword_name_is_a_conversion_error(sort):
    with pytest.raises(TypeError) as info:
        vectorcall(sort, [np.arange(2)], (5,))
    assert str(info.value) == "'int' object cannot be converted to 'PyString'"
