#include "binding/call_path.hpp"

#include <cstdint>
#include <cstring>
#include <string>

#include "binding/error.hpp"
#include "binding/numpy_api.hpp"
#include "core/fault.hpp"

namespace tarvo::py {
namespace {

constexpr const char parameter_name[] = "arr";
constexpr int int64_type_number = 7;  // NPY_LONG: int64 on the 64-bit Linux targets

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

    PyTypeObject* array_type = numpy::array_type();
    if (Py_TYPE(arr) != array_type && !PyType_IsSubtype(Py_TYPE(arr), array_type)) {
        raise_argument_error(conversion_message(arr, "PyArray<T, D>"));
    }
    PyArrayObject_fields* array = numpy::fields(arr);
    if (array->nd != 1) {
        raise_argument_error("dimensionality mismatch:\n from=" + std::to_string(array->nd) +
                             ", to=1");
    }
    Ref int64_descr =
        expect(reinterpret_cast<PyObject*>(numpy::descr_from_type(int64_type_number)));
    auto* expected = reinterpret_cast<PyArray_Descr*>(int64_descr.get());
    if (array->descr != expected && !numpy::equivalent_types(array->descr, expected)) {
        raise_argument_error("type mismatch:\n from=" + descriptor_text(array->descr) +
                             ", to=" + descriptor_text(expected));
    }

    const auto length = static_cast<std::size_t>(array->dimensions[0]);
    if (length < 2) return {reinterpret_cast<std::int64_t*>(array->data), length};
    if (array->strides[0] != static_cast<npy_intp>(sizeof(std::int64_t))) {
        raise_fault("called `Option::unwrap()` on a `None` value");
    }
    // Writing through a read-only buffer would corrupt immutable memory or crash; a misaligned
    // buffer cannot be accessed as int64 safely. Both are refused before anything is written.
    if ((array->flags & NPY_ARRAY_WRITEABLE) == 0) {
        raise_argument_error("array is read-only");
    }
    if (reinterpret_cast<std::uintptr_t>(array->data) % alignof(std::int64_t) != 0) {
        raise_argument_error("array is not aligned");
    }
    return {reinterpret_cast<std::int64_t*>(array->data), length};
}

}  // namespace tarvo::py
