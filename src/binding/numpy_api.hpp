#pragma once
// NumPy's array API, fetched from its capsule on the first call that needs it (importing the
// module does not import NumPy). Only three entries of the table are used, plus fields of the
// array object that keep their layout across NumPy 1.x and 2.x.

#include <Python.h>

#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#include <numpy/ndarraytypes.h>

namespace tarvo::py::numpy {

// Obtains the table once; a failure is a fault, and nothing is cached so the next call retries.
void ensure_api();

PyTypeObject* array_type() noexcept;
// New reference to the descriptor of the type number, or null with an exception set.
PyArray_Descr* descr_from_type(int type_number) noexcept;
bool equivalent_types(PyArray_Descr* a, PyArray_Descr* b) noexcept;

inline PyArrayObject_fields* fields(PyObject* array) noexcept {
    return reinterpret_cast<PyArrayObject_fields*>(array);
}

}  // namespace tarvo::py::numpy
