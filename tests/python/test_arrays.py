"""Which arrays a call accepts, and the exact error or fault for every other argument.

Every function gets each case: every element type in both byte orders and at every length, every
dimension count, every stride and layout of short and long arrays, subclasses, memory maps and
foreign buffers, objects that are not arrays and keyword names whose text cannot be had. A refused
argument is left as it was, and the interpreter goes on sorting afterwards.
"""

import array
import ctypes
import mmap
import sys

import numpy as np
import pytest
from numpy.lib.stride_tricks import as_strided

from conftest import panic_type
from test_arguments import vectorcall

STRIDE_FAULT = "called `Option::unwrap()` on a `None` value"

# Every element type NumPy has, with the text the refusal shows for it in native (little-endian)
# and swapped byte order. Types without a byte order show the same text twice.
ELEMENT_TYPES = {
    "?": ("bool", "bool"),
    "i1": ("int8", "int8"),
    "u1": ("uint8", "uint8"),
    "i2": ("int16", ">i2"),
    "u2": ("uint16", ">u2"),
    "i4": ("int32", ">i4"),
    "u4": ("uint32", ">u4"),
    "i8": (None, ">i8"),  # native int64 is the accepted type
    "u8": ("uint64", ">u8"),
    "f2": ("float16", ">f2"),
    "f4": ("float32", ">f4"),
    "f8": ("float64", ">f8"),
    "g": ("float128", ">f16"),
    "F": ("complex64", ">c8"),
    "D": ("complex128", ">c16"),
    "G": ("complex256", ">c32"),
    "O": ("object", "object"),
    "U3": ("<U3", ">U3"),
    "S3": ("|S3", "|S3"),
    "V8": ("|V8", "|V8"),
    # NumPy makes arrays of unitless date types in native order only.
    "M8": ("datetime64", None),
    "M8[s]": ("datetime64[s]", ">M8[s]"),
    "m8": ("timedelta64", None),
    "m8[ns]": ("timedelta64[ns]", ">m8[ns]"),
}
STRUCTURED = {
    "one int64 field": ([("a", "<i8")], "[('a', '<i8')]"),
    "one swapped field": ([("a", ">i8")], "[('a', '>i8')]"),
    "12-byte record": ([("a", "<i8"), ("b", "<i4")], "[('a', '<i8'), ('b', '<i4')]"),
}
LENGTHS = [0, 1, 3]


def element_type_cases():
    for code, (native, swapped) in ELEMENT_TYPES.items():
        if native is not None:
            yield pytest.param(np.dtype(code), native, id=f"{code} native")
        if swapped is not None:
            yield pytest.param(np.dtype(code).newbyteorder(), swapped, id=f"{code} swapped")
    for label, (fields, text) in STRUCTURED.items():
        yield pytest.param(np.dtype(fields), text, id=label)
    # NumPy 1.26 keeps its test dtype elsewhere and has no variable-width strings.
    try:
        from numpy._core._rational_tests import rational
    except ImportError:
        from numpy.core._rational_tests import rational
    yield pytest.param(np.dtype(rational), "rational", id="user dtype")
    if hasattr(np.dtypes, "StringDType"):
        yield pytest.param(np.dtypes.StringDType(), "StringDType()", id="variable-width str")
    yield pytest.param(np.dtype("f8", metadata={"unit": "m"}), "float64", id="metadata")


def snapshot(value):
    """What the argument holds, to compare after the call."""
    if isinstance(value, np.ndarray):
        return (value.dtype, value.shape, np.asarray(value).tobytes())
    if isinstance(value, list | tuple | dict | set):
        return repr(value)
    try:
        return bytes(memoryview(value))
    except TypeError:
        return None  # nothing in it to compare


def assert_healthy(sort):
    a = np.array([3, -7, 2**62, -(2**63), 0], dtype=np.int64)
    assert sort(a) is None
    assert a.tolist() == [-(2**63), -7, 0, 3, 2**62]
    assert sys.exc_info() == (None, None, None)


def refused(sort, value, message, **keywords):
    """Calls sort(value, **keywords) expecting TypeError(message) and an untouched value."""
    before = snapshot(value)
    with pytest.raises(TypeError) as info:
        sort(value, **keywords)
    assert info.value.args == (message,)
    assert info.value.__cause__ is None
    if message.startswith("argument 'arr'"):
        # The argument's refusal is raised afresh, with no conversion error shown behind it.
        assert info.value.__suppress_context__ is True
    del info  # its traceback holds this frame, and so the value (and any buffer it exports)
    assert snapshot(value) == before
    assert_healthy(sort)


def faulted(sort, view, *bases):
    """Calls sort(view) expecting the stride fault, with the arrays behind the view untouched
    (or the view itself if it has none: some views reach far outside any buffer)."""
    watched = bases or (view,)
    before = [snapshot(x) for x in watched]
    with pytest.raises(panic_type()) as info:
        sort(view)
    assert info.value.args == (STRIDE_FAULT,)
    del info
    assert [snapshot(x) for x in watched] == before
    assert_healthy(sort)


def accepted_untouched(sort, view, *bases):
    """Arrays of fewer than two elements are accepted whatever their layout, and stay as they
    were: there is nothing to order."""
    before = [snapshot(x) for x in (view, *bases)]
    assert sort(view) is None
    assert [snapshot(x) for x in (view, *bases)] == before


def type_mismatch(text):
    return f"argument 'arr': type mismatch:\n from={text}, to=int64"


def dimensionality(ndim):
    return f"argument 'arr': dimensionality mismatch:\n from={ndim}, to=1"


# --- element types --------------------------------------------------------------------------


@pytest.mark.parametrize(("dtype", "text"), list(element_type_cases()))
def test_every_other_element_type_is_refused_at_every_length(sort, dtype, text):
    for length in LENGTHS:
        a = np.zeros(length, dtype=dtype)
        assert str(a.dtype) == text  # the refusal shows str() of the array's descriptor
        # The element type is checked before the length: even an empty array is refused.
        refused(sort, a, type_mismatch(text))


@pytest.mark.parametrize(
    "dtype",
    ["<i8", "=i8", "l", "q", "p", np.int_, np.intp, np.longlong, np.dtype("i8", metadata={"a": 1})],
    ids=str,
)
def test_every_spelling_of_native_int64_is_sorted(sort, dtype):
    a = np.array([4, -1, 9, 0, -1], dtype=dtype)
    assert sort(a) is None
    assert a.tolist() == [-1, -1, 0, 4, 9]


# --- dimensions -----------------------------------------------------------------------------


@pytest.mark.parametrize(
    "shape",
    [
        (),
        (0, 0),
        (0, 3),
        (3, 0),
        (1, 1),
        (2, 2),
        (2, 3),
        (1, 1, 1),
        (1, 2, 3),
        (2, 0, 2),
        (2, 2, 2),
    ],
    ids=str,
)
def test_dimensions_are_refused_before_any_element_type(sort, shape):
    for code in ["i8", ">i8", "f8", "O", "U3", "V8", "M8[s]"]:
        a = np.zeros(shape, dtype=code)
        refused(sort, a, dimensionality(len(shape)))


@pytest.mark.filterwarnings("ignore:the matrix subclass:PendingDeprecationWarning")
def test_two_dimensional_layouts_and_types_are_refused_for_their_dimensions(sort):
    c_order = np.arange(12, dtype=np.int64).reshape(3, 4)
    for value in (
        np.asfortranarray(c_order),
        c_order[::-1, ::2],
        c_order.T,
        np.matrix([[2, 1]]),
        np.ma.masked_array(c_order, mask=c_order % 2 == 0),
        np.zeros(3, dtype=("i8", (1,))),  # a sub-array element type adds a dimension
        np.int64(5)[()],
    ):
        ndim = np.ndim(value)
        if ndim == 0:
            # A NumPy scalar is not an array at all.
            refused(
                sort, value, "argument 'arr': 'int64' object cannot be converted to 'PyArray<T, D>'"
            )
        else:
            refused(sort, value, dimensionality(ndim))
    refused(sort, np.array(5, dtype=np.int64), dimensionality(0))


# --- short arrays of every layout -----------------------------------------------------------


def short_layouts(length):
    """Views of `length` (0 or 1) int64 elements in every layout, with the arrays behind them."""
    base = np.arange(40, 0, -1, dtype=np.int64)
    raw = np.zeros(8 * 4 + 1, dtype=np.uint8)
    misaligned = raw[1 : 1 + 8 * length].view(np.int64)
    read_only = base[3 : 3 + length].copy()
    read_only.flags.writeable = False
    frozen_misaligned = np.frombuffer(bytes(9 * 8), dtype=np.int64, count=length, offset=1)
    return {
        "contiguous": (base[5 : 5 + length], base),
        "reversed": (base[::-1][:length], base),
        "step 3": (base[::3][:length], base),
        "step -5": (base[::-5][:length], base),
        "zero stride": (as_strided(base, shape=(length,), strides=(0,)), base),
        "broadcast": (np.broadcast_to(np.int64(7), (length,)),),
        "stride 7": (as_strided(base, shape=(length,), strides=(7,)), base),
        "huge stride": (as_strided(base, shape=(length,), strides=(2**40,)), base),
        "column": (base.reshape(4, 10)[:length, 2], base),
        "misaligned": (misaligned, raw),
        "read-only": (read_only,),
        "read-only misaligned": (frozen_misaligned,),
        "fortran": (np.asfortranarray(base[:length]),),
    }


@pytest.mark.parametrize("length", [0, 1])
@pytest.mark.parametrize("layout", list(short_layouts(0)))
def test_short_arrays_of_every_layout_are_accepted_and_untouched(sort, length, layout):
    view, *bases = short_layouts(length)[layout]
    assert len(view) == length
    accepted_untouched(sort, view, *bases)


# --- long arrays whose elements are not adjacent ---------------------------------------------


def strided_layouts():
    base = np.arange(64, 0, -1, dtype=np.int64)
    record12 = np.zeros(4, dtype=[("a", "<i8"), ("b", "<i4")])
    record16 = np.zeros(4, dtype=[("a", "<i8"), ("b", "<i8")])
    record12["a"] = [4, 3, 2, 1]
    raw = np.zeros(8 * 20 + 1, dtype=np.uint8)
    misaligned = raw[1:].view(np.int64)
    misaligned[:] = np.arange(20, 0, -1)
    frozen = base.copy()
    frozen.flags.writeable = False
    return {
        "step 2": (base[::2], base),
        "step -1": (base[::-1], base),
        "step -2": (base[::-2], base),
        "zero stride": (as_strided(base, shape=(5,), strides=(0,)), base),
        "zero stride, huge length": (as_strided(base, shape=(2**40,), strides=(0,)), base),
        "broadcast (read-only)": (np.broadcast_to(base[:1], (6,)), base),
        "overlapping stride 4": (as_strided(base, shape=(5,), strides=(4,)), base),
        "stride 1": (as_strided(base, shape=(9,), strides=(1,)), base),
        "stride 7": (as_strided(base, shape=(4,), strides=(7,)), base),
        "stride 9": (as_strided(base, shape=(4,), strides=(9,)), base),
        "stride 12": (as_strided(base, shape=(4,), strides=(12,)), base),
        "stride 2**40": (as_strided(base, shape=(2,), strides=(2**40,)), base),
        "stride -2**40": (as_strided(base[-1:], shape=(2,), strides=(-(2**40),)), base),
        "column of a C array": (base.reshape(8, 8)[:, 3], base),
        "row of a Fortran array": (np.asfortranarray(base.reshape(8, 8))[2, :],),
        "misaligned step 2": (misaligned[::2], raw),
        "read-only step 2": (frozen[::2], frozen),
        "two elements, step -1": (base[1::-1], base),
        "12-byte record field": (record12["a"], record12),
        "16-byte record field": (record16["a"], record16),
    }


@pytest.mark.parametrize("layout", list(strided_layouts()))
def test_non_adjacent_elements_fault_before_any_other_array_check(sort, layout):
    # Read-only and misaligned arrays of these layouts get the stride fault, not those errors.
    view, *bases = strided_layouts()[layout]
    faulted(sort, view, *bases)


def test_contiguous_views_sort_only_their_own_elements(sort):
    c_order = np.array([[9, 8, 7, 6], [5, 4, 3, 2], [1, 0, -1, -2]], dtype=np.int64)
    fortran = np.asfortranarray(c_order)
    column = fortran[:, 2]  # adjacent in Fortran order
    assert column.strides == (8,)
    sort(column)
    assert fortran.tolist() == [[9, 8, -1, 6], [5, 4, 3, 2], [1, 0, 7, -2]]

    base = np.arange(10, 0, -1, dtype=np.int64)
    for view in (base[2:6], base[::-1][::-1][6:9], as_strided(base[1:], shape=(3,), strides=(8,))):
        sort(view)
    assert base.tolist() == [10, 5, 6, 9, 7, 8, 2, 3, 4, 1]


# --- subclasses ------------------------------------------------------------------------------


class Liar(np.ndarray):
    """Attributes that contradict the array object's own fields, which are what the call reads."""

    ndim = property(lambda self: 2)
    dtype = property(lambda self: np.dtype(np.float64))
    strides = property(lambda self: (16,))
    shape = property(lambda self: (0,))

    def __len__(self):
        return 0

    def __array_finalize__(self, obj):
        if obj is not None and getattr(obj, "armed", False):
            raise AssertionError("no view may be made of the argument")


def test_subclass_attributes_do_not_fool_the_checks(sort):
    a = np.array([3, 1, 2], dtype=np.int64).view(Liar)
    a.armed = True
    sort(a)
    assert np.asarray(a).tolist() == [1, 2, 3]
    wide = np.zeros((2, 2), dtype=np.int64).view(Liar)
    refused(sort, wide, dimensionality(2))
    floats = np.zeros(2).view(Liar)
    refused(sort, floats, type_mismatch("float64"))


def test_masked_array_sorts_its_data_and_leaves_its_mask(sort):
    a = np.ma.masked_array([5, 3, 9, 1], mask=[True, False, False, False], dtype=np.int64)
    sort(a)
    assert a.data.tolist() == [1, 3, 5, 9]
    assert a.mask.tolist() == [True, False, False, False]
    refused(sort, np.ma.masked_array([1.5, 0.5], mask=[False, True]), type_mismatch("float64"))


@pytest.mark.parametrize(
    "make",
    [
        lambda: np.array([3, 1, 2]).view(type("Sub", (np.ndarray,), {})),
        lambda: np.ma.masked_array([3, 1, 2], dtype=np.int64),
        lambda: np.asfortranarray(np.array([3, 1, 2], dtype=np.int64)),
        lambda: np.array([[9, 3, 1, 2]], dtype=np.int64)[0, 1:],
    ],
    ids=["subclass", "masked", "fortran", "sliced"],
)
def test_subclassed_and_sliced_contiguous_arrays_are_sorted(sort, make):
    a = make()
    sort(a)
    assert np.asarray(a).tolist() == [1, 2, 3]


def test_record_array_view_of_int64_is_sorted(sort):
    a = np.array([2, 1, 3], dtype=np.int64).view(np.recarray)
    sort(a)
    assert np.asarray(a).tolist() == [1, 2, 3]


def test_memmap_is_sorted_in_place(sort, tmp_path):
    path = tmp_path / "data"
    np.array([5, -1, 3, 0], dtype=np.int64).tofile(path)
    m = np.memmap(path, dtype=np.int64, mode="r+")
    sort(m)
    m.flush()
    assert np.fromfile(path, dtype=np.int64).tolist() == [-1, 0, 3, 5]


def test_copy_on_write_memmap_sorts_memory_but_not_the_file(sort, tmp_path):
    path = tmp_path / "data"
    np.array([4, 2, 3, 1], dtype=np.int64).tofile(path)
    m = np.memmap(path, dtype=np.int64, mode="c")
    sort(m)
    assert m.tolist() == [1, 2, 3, 4]
    del m
    assert np.fromfile(path, dtype=np.int64).tolist() == [4, 2, 3, 1]


def test_strided_memmap_view_faults_and_leaves_the_file(sort, tmp_path):
    path = tmp_path / "data"
    np.array([4, 2, 3, 1], dtype=np.int64).tofile(path)
    m = np.memmap(path, dtype=np.int64, mode="r+")
    faulted(sort, m[::-1], m)
    del m
    assert np.fromfile(path, dtype=np.int64).tolist() == [4, 2, 3, 1]


# --- read-only and misaligned arrays ----------------------------------------------------------

READ_ONLY = "argument 'arr': array is read-only"
NOT_ALIGNED = "argument 'arr': array is not aligned"


def test_every_kind_of_read_only_array_is_refused_untouched(sort, tmp_path):
    writeable = np.array([3, 1, 2], dtype=np.int64)
    view = writeable.view()
    view.flags.writeable = False
    refused(sort, view, READ_ONLY)
    assert writeable.tolist() == [3, 1, 2]

    refused(sort, np.frombuffer(b"\x02" + bytes(7) + b"\x01" + bytes(7), dtype=np.int64), READ_ONLY)

    path = tmp_path / "data"
    np.array([2, 1], dtype=np.int64).tofile(path)
    with open(path, "rb") as file, mmap.mmap(file.fileno(), 0, access=mmap.ACCESS_READ) as mapped:
        a = np.frombuffer(mapped, dtype=np.int64)
        refused(sort, a, READ_ONLY)
        del a
    assert np.fromfile(path, dtype=np.int64).tolist() == [2, 1]

    refused(sort, np.memmap(path, dtype=np.int64, mode="r"), READ_ONLY)
    assert np.fromfile(path, dtype=np.int64).tolist() == [2, 1]


def test_misaligned_arrays_are_refused_and_read_only_is_reported_first(sort):
    buffer = bytearray(8 * 3 + 1)
    a = np.frombuffer(buffer, dtype=np.int64, count=3, offset=1)
    a[:] = [3, 1, 2]
    refused(sort, a, NOT_ALIGNED)
    for offset in range(1, 8):
        a = np.frombuffer(bytearray(8 * 2 + 8), dtype=np.int64, count=2, offset=offset)
        refused(sort, a, NOT_ALIGNED)
    both = np.frombuffer(bytes(8 * 2 + 1), dtype=np.int64, count=2, offset=1)
    refused(sort, both, READ_ONLY)


# --- foreign buffers --------------------------------------------------------------------------


def test_arrays_over_foreign_writeable_buffers_sort_the_buffer_itself(sort, tmp_path):
    values = array.array("q", [3, -1, 2])
    sort(np.frombuffer(values, dtype=np.int64))
    assert values.tolist() == [-1, 2, 3]

    c_array = (ctypes.c_int64 * 4)(4, 3, -2, 1)
    sort(np.ctypeslib.as_array(c_array))
    assert list(c_array) == [-2, 1, 3, 4]

    raw = bytearray(np.array([9, 8, 7], dtype=np.int64).tobytes())
    sort(np.frombuffer(memoryview(raw).cast("B").cast("q"), dtype=np.int64))
    assert np.frombuffer(raw, dtype=np.int64).tolist() == [7, 8, 9]
    plain = bytearray(np.array([2, 1, 3], dtype=np.int64).tobytes())
    sort(np.frombuffer(plain, dtype=np.int64))
    assert np.frombuffer(plain, dtype=np.int64).tolist() == [1, 2, 3]

    with mmap.mmap(-1, 16) as anonymous:
        a = np.frombuffer(anonymous, dtype=np.int64)
        a[:] = [2, 1]
        sort(a)
        assert a.tolist() == [1, 2]
        del a

    path = tmp_path / "data"
    np.array([2, 3, 1], dtype=np.int64).tofile(path)
    with open(path, "r+b") as file, mmap.mmap(file.fileno(), 0) as mapped:
        a = np.frombuffer(mapped, dtype=np.int64)
        sort(a)
        del a
        mapped.flush()
    assert np.fromfile(path, dtype=np.int64).tolist() == [1, 2, 3]


# --- objects that are not arrays ---------------------------------------------------------------


class Unprintable:
    def __str__(self):
        raise RuntimeError("no str")

    def __repr__(self):
        raise RuntimeError("no repr")


class ArrayLike:
    """Everything NumPy would convert; the call converts nothing."""

    def __init__(self):
        self.data = np.array([2, 1], dtype=np.int64)
        self.__array_interface__ = self.data.__array_interface__

    def __array__(self, dtype=None, copy=None):
        return self.data

    def __len__(self):
        return 2

    def __getitem__(self, i):
        return self.data[i]


def non_arrays():
    bad_name = type("BadName", (), {})
    bad_name.__qualname__ = "bad\udc80name"
    return [
        ([2, 1], "list"),
        ((2, 1), "tuple"),
        (None, "NoneType"),
        ("x", "str"),
        (np.int64(3), "int64"),
        (memoryview(bytearray(16)).cast("q"), "memoryview"),
        (memoryview(b"12345678"), "memoryview"),
        (array.array("q", [2, 1]), "array"),
        (bytearray(16), "bytearray"),
        (b"\x00" * 16, "bytes"),
        ({2: 1}, "dict"),
        ({2, 1}, "set"),
        (range(3), "range"),
        (3, "int"),
        (2.5, "float"),
        (np.float64(1.0), "float64"),
        (np.int64, "type"),
        (np.ndarray, "type"),
        (np, "module"),
        (Unprintable(), "Unprintable"),
        (ArrayLike(), "ArrayLike"),
        (np.nditer(np.arange(2)), "nditer"),
        (np.arange(4).flat, "flatiter"),
        # A type name that cannot be had as text.
        (bad_name(), "<failed to extract type name>"),
    ]


@pytest.mark.parametrize(
    ("value", "type_name"), non_arrays(), ids=[type_name for _, type_name in non_arrays()]
)
def test_non_arrays_are_refused_by_type_name_only(sort, value, type_name):
    # Only the type's name is read: neither str() nor repr() of the object is called.
    message = f"argument 'arr': '{type_name}' object cannot be converted to 'PyArray<T, D>'"
    refused(sort, value, message)


def test_array_like_by_keyword_is_refused_and_not_converted(sort):
    like = ArrayLike()
    message = "argument 'arr': 'ArrayLike' object cannot be converted to 'PyArray<T, D>'"
    with pytest.raises(TypeError, match="^argument 'arr': 'ArrayLike' object") as info:
        sort(arr=like)
    assert info.value.args == (message,)
    assert like.data.tolist() == [2, 1]


# --- keyword names and descriptors whose text cannot be had ------------------------------------


@pytest.fixture
def unraisable(monkeypatch):
    """The reports of sys.unraisablehook during the test."""
    reports = []
    monkeypatch.setattr(sys, "unraisablehook", reports.append)
    return reports


class RaisingName(str):
    def __str__(self):
        raise RuntimeError("no text for this name")


class NonStrName(str):
    def __str__(self):
        return 5


class OtherTextName(str):
    def __str__(self):
        return "arr"


def unexpected(name, text):
    return f"{name}() got an unexpected keyword argument '{text}'"


def test_keyword_name_whose_str_raises_is_unprintable_and_reported(sort, name, unraisable):
    keyword = RaisingName("x")
    refused(sort, 1, unexpected(name, "<unprintable RaisingName object>"), **{keyword: 2})
    assert len(unraisable) == 1
    report = unraisable[0]
    assert report.exc_type is RuntimeError
    assert str(report.exc_value) == "no text for this name"
    assert report.object is keyword


def test_keyword_name_whose_str_is_not_a_str_is_unprintable(sort, name, unraisable):
    keyword = NonStrName("x")
    with pytest.raises(TypeError) as info:
        sort(**{keyword: 2})
    assert info.value.args == (unexpected(name, "<unprintable NonStrName object>"),)
    assert [(r.exc_type, r.object) for r in unraisable] == [(TypeError, keyword)]
    assert_healthy(sort)


def test_unprintable_keyword_name_of_a_type_with_a_surrogate_in_its_name(sort, name, unraisable):
    odd = type("Odd", (RaisingName,), {})
    odd.__qualname__ = "Odd\udc80"
    with pytest.raises(TypeError) as info:
        sort(**{odd("x"): 2})
    assert info.value.args == (unexpected(name, "<unprintable Odd\ufffd\ufffd\ufffd object>"),)
    assert len(unraisable) == 1


def test_keyword_names_match_by_their_characters_and_show_their_str(sort, name, unraisable):
    # An unprintable name that spells "arr" binds without its text ever being needed.
    a = np.array([2, 1], dtype=np.int64)
    sort(**{RaisingName("arr"): a})
    assert a.tolist() == [1, 2]
    assert unraisable == []
    # The message shows str() of the name, whatever its characters.
    with pytest.raises(TypeError) as info:
        sort(**{OtherTextName("x"): a})
    assert info.value.args == (unexpected(name, "arr"),)
    # Too many positional arguments: the keywords are never looked at.
    with pytest.raises(TypeError) as info:
        sort(a, a, **{RaisingName("x"): a})
    assert info.value.args == (f"{name}() takes 1 positional arguments but 2 were given",)
    assert unraisable == []


@pytest.mark.parametrize(
    ("keyword", "text"),
    [
        ("arr\x00", "arr\x00"),
        ("\x00", "\x00"),
        ("ａrr", "ａrr"),  # fullwidth: a different name
        ("ARR", "ARR"),
        ("arr ", "arr "),
        ("\U0001d51err", "\U0001d51err"),
        ("\ud800", "\ufffd" * 3),
        ("\ud835\udd1e", "\ufffd" * 6),  # a surrogate pair as two code points is two surrogates
        ("a\udfffr\ud800r", "a\ufffd\ufffd\ufffdr\ufffd\ufffd\ufffdr"),
        ("x" * 10_000, "x" * 10_000),
    ],
    ids=[
        "nul suffix",
        "nul",
        "fullwidth",
        "upper",
        "space",
        "astral",
        "surrogate",
        "pair",
        "mixed",
        "long",
    ],
)
def test_odd_keyword_names_match_nothing_and_are_shown_as_text(sort, name, keyword, text):
    a = np.array([2, 1], dtype=np.int64)
    with pytest.raises(TypeError) as info:
        sort(**{keyword: a})
    assert info.value.args == (unexpected(name, text),)
    with pytest.raises(TypeError) as info:
        sort(arr=a, **{keyword: a})
    assert info.value.args == (unexpected(name, text),)
    assert a.tolist() == [2, 1]
    assert_healthy(sort)


@pytest.mark.parametrize(
    ("args", "kwnames", "message"),
    [
        (2, ("arr", "arr"), "{}() got multiple values for argument 'arr'"),
        (2, (b"arr",), "'bytes' object cannot be converted to 'PyString'"),
        (3, ("x", "arr"), "{}() got an unexpected keyword argument 'x'"),
        (3, ("arr", None), "{}() got multiple values for argument 'arr'"),
        (2, (None, "arr"), "'NoneType' object cannot be converted to 'PyString'"),
    ],
    ids=["arr twice", "bytes name", "positional then two", "arr then None", "None then arr"],
)
def test_keyword_names_only_native_callers_can_pass(sort, name, args, kwnames, message):
    a = np.array([2, 1], dtype=np.int64)
    with pytest.raises(TypeError) as info:
        vectorcall(sort, [a] * args, kwnames)
    assert info.value.args == (message.format(name),)
    assert a.tolist() == [2, 1]
    assert_healthy(sort)


class UnprintableTitle:
    def __repr__(self):
        raise RuntimeError("no repr for this title")

    __str__ = __repr__

    def __hash__(self):
        return 1


def test_descriptor_whose_str_raises_is_unprintable_and_reported(sort, unraisable):
    dtype = np.dtype([((UnprintableTitle(), "a"), "<i8")])
    with pytest.raises(RuntimeError):
        str(dtype)
    a = np.zeros(2, dtype=dtype)
    refused(sort, a, type_mismatch("<unprintable VoidDType object>"))
    assert len(unraisable) == 1
    assert unraisable[0].exc_type is RuntimeError
    assert unraisable[0].object is dtype
