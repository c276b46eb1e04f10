"""A fault inside a task of the pool's join reaches the caller as the fault exception."""

import pytest

from conftest import panic_type, private_module


@pytest.mark.parametrize("side", ["a", "b"])
def test_fault_in_a_join_task_is_raised_in_the_caller(side):
    testing = private_module()
    with pytest.raises(BaseException) as info:
        testing.join_fault(side)
    # The private module has a fault type of its own, made the same way as _tarvo's.
    assert type(info.value).__name__ == "PanicException"
    assert type(info.value).__module__ == "pyo3_runtime"
    assert type(info.value) is not panic_type()
    assert info.value.args == (f"fault in task {side}",)
    # The pool is still usable afterwards.
    with pytest.raises(type(info.value), match="fault in task"):
        testing.join_fault("a" if side == "b" else "b")
