"""Which arrays a call accepts, and the exact error or fault for the others."""

import mmap

import numpy as np
import pytest

from conftest import panic_type


def argument_error(sort, arr):
    with pytest.raises(TypeError) as info:
        sort(arr)
    error = info.value
    assert error.__cause__ is None
    assert error.__suppress_context__ is True
    return str(error)


@pytest.mark.parametrize(
    "value, type_name",
    [([1, 2], "list"), (None, "NoneType"), ((1, 2), "tuple"), (np.int64(3), "int64"), ("x", "str")],
)
def test_non_arrays_are_refused_by_type_name(sort, value, type_name):
    assert (
        argument_error(sort, value)
        == f"argument 'arr': '{type_name}' object cannot be converted to 'PyArray<T, D>'"
    )


def test_memoryview_and_array_module_objects_are_not_arrays(sort):
    import array

    assert "'memoryview' object cannot" in argument_error(sort, memoryview(b"12345678"))
    assert "'array' object cannot" in argument_error(sort, array.array("q", [2, 1]))


@pytest.mark.parametrize("shape, ndim", [((), 0), ((2, 2), 2), ((1, 2, 3), 3), ((0, 0), 2)])
def test_dimensions_other_than_one_are_refused(sort, shape, ndim):
    a = np.zeros(shape, dtype=np.int64)
    assert (
        argument_error(sort, a) == f"argument 'arr': dimensionality mismatch:\n from={ndim}, to=1"
    )


def test_dimensions_are_checked_before_the_element_type(sort):
    a = np.zeros((2, 2), dtype=np.float64)
    assert argument_error(sort, a) == "argument 'arr': dimensionality mismatch:\n from=2, to=1"


@pytest.mark.parametrize(
    "dtype",
    [
        np.bool_,
        np.int8,
        np.int16,
        np.int32,
        np.uint8,
        np.uint16,
        np.uint32,
        np.uint64,
        np.float16,
        np.float32,
        np.float64,
        np.longdouble,
        np.complex64,
        np.complex128,
        np.object_,
        "U3",
        "S3",
        "V8",
        "M8[s]",
        "m8[ns]",
        ">i8",
        [("a", "<i8")],
    ],
)
def test_other_element_types_are_refused_with_both_descriptors(sort, dtype):
    a = np.zeros(3, dtype=dtype)
    assert argument_error(sort, a) == f"argument 'arr': type mismatch:\n from={a.dtype}, to=int64"


def test_named_messages_for_common_mismatches(sort):
    assert (
        argument_error(sort, np.zeros(2))
        == "argument 'arr': type mismatch:\n from=float64, to=int64"
    )
    assert argument_error(sort, np.zeros(2, np.uint64)).endswith("from=uint64, to=int64")
    assert argument_error(sort, np.zeros(2, np.int32)).endswith("from=int32, to=int64")
    assert argument_error(sort, np.zeros(2, ">i8")).endswith("from=>i8, to=int64")


@pytest.mark.parametrize(
    "make",
    [
        lambda: np.array([3, 1, 2], dtype=np.longlong),
        lambda: np.array([3, 1, 2], dtype="<i8"),
        lambda: np.array([3, 1, 2]).view(type("Sub", (np.ndarray,), {})),
        lambda: np.ma.masked_array([3, 1, 2], dtype=np.int64),
        lambda: np.asfortranarray(np.array([3, 1, 2], dtype=np.int64)),
        lambda: np.array([[9, 3, 1, 2]], dtype=np.int64)[0, 1:],
    ],
    ids=["longlong", "little-endian", "subclass", "masked", "fortran", "sliced"],
)
def test_equivalent_and_subclassed_contiguous_arrays_are_sorted(sort, make):
    a = make()
    sort(a)
    assert np.asarray(a).tolist() == [1, 2, 3]


def test_memmap_is_sorted_in_place(sort, tmp_path):
    path = tmp_path / "data"
    np.array([5, -1, 3, 0], dtype=np.int64).tofile(path)
    m = np.memmap(path, dtype=np.int64, mode="r+")
    sort(m)
    m.flush()
    assert np.fromfile(path, dtype=np.int64).tolist() == [-1, 0, 3, 5]


def test_empty_and_single_element_arrays_are_accepted_whatever_their_stride(sort):
    for a in (
        np.array([], dtype=np.int64),
        np.array([7]),
        np.arange(10)[::-3][:1],
        np.arange(5)[::2][:1],
    ):
        before = a.copy()
        assert sort(a) is None
        assert a.tolist() == before.tolist()


def strided_views():
    base = np.array([5, 4, 3, 2, 1, 0], dtype=np.int64)
    record12 = np.zeros(4, dtype=[("a", "<i8"), ("b", "<i4")])
    record16 = np.zeros(4, dtype=[("a", "<i8"), ("b", "<i8")])
    record12["a"] = [4, 3, 2, 1]
    return {
        "step 2": base[::2],
        "reversed": base[::-1],
        "zero stride": np.broadcast_to(np.int64(3), (4,)),
        "12-byte field": record12["a"],
        "16-byte field": record16["a"],
        "column": np.arange(12, dtype=np.int64).reshape(3, 4)[:, 1],
    }


@pytest.mark.parametrize("view_name", list(strided_views()))
def test_non_adjacent_elements_are_a_fault_and_leave_the_array_untouched(sort, view_name):
    view = strided_views()[view_name]
    before = view.copy()
    with pytest.raises(panic_type()) as info:
        sort(view)
    assert info.value.args == ("called `Option::unwrap()` on a `None` value",)
    assert view.tolist() == before.tolist()


def test_read_only_arrays_are_refused_untouched(sort):
    a = np.array([3, 1, 2], dtype=np.int64)
    a.flags.writeable = False
    assert argument_error(sort, a) == "argument 'arr': array is read-only"
    frozen = np.frombuffer(np.array([3, 1, 2], dtype=np.int64).tobytes(), dtype=np.int64)
    assert argument_error(sort, frozen) == "argument 'arr': array is read-only"
    assert frozen.tolist() == [3, 1, 2]


def test_read_only_short_arrays_are_still_accepted(sort):
    for values in ([], [1]):
        a = np.array(values, dtype=np.int64)
        a.flags.writeable = False
        assert sort(a) is None


def test_read_only_memory_map_is_refused(sort, tmp_path):
    path = tmp_path / "data"
    np.array([2, 1], dtype=np.int64).tofile(path)
    a = np.memmap(path, dtype=np.int64, mode="r")
    assert argument_error(sort, a) == "argument 'arr': array is read-only"
    assert np.fromfile(path, dtype=np.int64).tolist() == [2, 1]


def test_writeable_mmap_buffer_is_sorted(sort):
    with mmap.mmap(-1, 16) as mapped:
        a = np.frombuffer(mapped, dtype=np.int64)
        a[:] = [2, 1]
        sort(a)
        assert a.tolist() == [1, 2]
        del a


def test_writeable_foreign_buffer_is_sorted(sort):
    buffer = bytearray(np.array([2, 1, 3], dtype=np.int64).tobytes())
    sort(np.frombuffer(buffer, dtype=np.int64))
    assert np.frombuffer(buffer, dtype=np.int64).tolist() == [1, 2, 3]


def test_misaligned_arrays_are_refused_untouched(sort):
    raw = np.zeros(8 * 3 + 1, dtype=np.uint8)
    a = raw[1:].view(np.int64)
    a[:] = [3, 1, 2]
    assert argument_error(sort, a) == "argument 'arr': array is not aligned"
    assert a.tolist() == [3, 1, 2]


def test_read_only_is_reported_after_the_stride_fault(sort):
    a = np.arange(6, dtype=np.int64)[::2]
    a.flags.writeable = False
    with pytest.raises(panic_type()):
        sort(a)
