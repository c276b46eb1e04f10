#include "binding/call_path.hpp"

#include <cstdint>
#include <cstring>
#include <string>

#include "binding/error.hpp"
#include "binding/numpy_api.hpp"
#include "binding/text.hpp"
#include "core/fault.hpp"

namespace tarvo::py {
namespace {

constexpr const char parameter_name[] = "arr";
// The element type: NPY_LONG, which is int64 on the 64-bit Linux targets.
constexpr int element_type_number = NPY_LONG;
static_assert(sizeof(long) == sizeof(std::int64_t));

std::string qualified(std::string_view function_name) {
    return std::string(function_name) + "()";
}

[[noreturn]] void raise_type_error(std::string message) {
    throw Error(PyExc_TypeError, std::move(message));
}

// Array errors name the argument; the inner error's own cause (always empty here) becomes the
// cause, which also suppresses the context.
[[noreturn]] void raise_argument_error(const std::string& message) {
    Error error(PyExc_TypeError, "argument '" + std::string(parameter_name) + "': " + message);
    if (PyObject* exception = error.exception()) {
        PyException_SetCause(exception, nullptr);
    } else {
        throw fetch_error();
    }
    throw error;
}

// Matches a keyword name against the single parameter; a name without a UTF-8 form (lone
// surrogates) matches nothing.
bool names_parameter(PyObject* name) {
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(name, &size);
    if (utf8 == nullptr) {
        PyErr_Clear();
        return false;
    }
    return std::size_t(size) == std::strlen(parameter_name) &&
           std::memcmp(utf8, parameter_name, std::size_t(size)) == 0;
}

std::string descriptor_text(PyArray_Descr* descr) {
    return object_text(reinterpret_cast<PyObject*>(descr));
}

}  // namespace

PyObject* bind_arr(std::string_view function_name, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames) {
    if (nargs > 1) {
        raise_type_error(qualified(function_name) + " takes 1 positional arguments but " +
                         std::to_string(nargs) + " were given");
    }
    PyObject* arr = nargs == 1 ? args[0] : nullptr;
    const Py_ssize_t keywords = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < keywords; ++k) {
        PyObject* name = PyTuple_GET_ITEM(kwnames, k);
        if (!PyUnicode_Check(name)) raise_type_error(conversion_message(name, "PyString"));
        if (!names_parameter(name)) {
            raise_type_error(qualified(function_name) + " got an unexpected keyword argument '" +
                             object_text(name) + "'");
        }
        if (arr != nullptr) {
            raise_type_error(qualified(function_name) + " got multiple values for argument '" +
                             parameter_name + "'");
        }
        arr = args[nargs + k];
    }
    if (arr == nullptr) {
        raise_type_error(qualified(function_name) + " missing 1 required positional argument: '" +
                         parameter_name + "'");
    }
    return arr;
}

Slice accept_array(PyObject* arr) {
    numpy::ensure_api();

    if (!PyArray_Check(arr)) raise_argument_error(conversion_message(arr, "PyArray<T, D>"));
    auto* array = reinterpret_cast<PyArrayObject*>(arr);
    if (PyArray_NDIM(array) != 1) {
        raise_argument_error(
            "dimensionality mismatch:\n from=" + std::to_string(PyArray_NDIM(array)) + ", to=1");
    }
    Ref element_descr =
        expect(reinterpret_cast<PyObject*>(PyArray_DescrFromType(element_type_number)));
    auto* expected = reinterpret_cast<PyArray_Descr*>(element_descr.get());
    PyArray_Descr* actual = PyArray_DESCR(array);
    if (actual != expected && !PyArray_EquivTypes(actual, expected)) {
        raise_argument_error("type mismatch:\n from=" + descriptor_text(actual) +
                             ", to=" + descriptor_text(expected));
    }

    auto* data = static_cast<std::int64_t*>(PyArray_DATA(array));
    const auto length = static_cast<std::size_t>(PyArray_DIM(array, 0));
    if (length < 2) return {data, length};
    if (PyArray_STRIDE(array, 0) != static_cast<npy_intp>(sizeof(std::int64_t))) {
        raise_fault("called `Option::unwrap()` on a `None` value");
    }
    // Writing through a read-only buffer would corrupt immutable memory or crash; a misaligned
    // buffer cannot be accessed as int64 safely. Both are refused before anything is written.
    if (!PyArray_ISWRITEABLE(array)) raise_argument_error("array is read-only");
    if (reinterpret_cast<std::uintptr_t>(data) % alignof(std::int64_t) != 0) {
        raise_argument_error("array is not aligned");
    }
    return {data, length};
}

}  // namespace tarvo::py
