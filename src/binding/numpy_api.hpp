#pragma once
// NumPy's array API under NumPy's own names (PyArray_Type, PyArray_DescrFromType,
// PyArray_EquivTypes, the array accessors). The table behind them is fetched from NumPy's capsule
// on the first call that needs it, not at import: importing the module does not import NumPy.
// Only entries and array fields that keep their place across NumPy 1.x and 2.x are used.

#include <Python.h>

#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
// One table for all of the binding's files, defined in numpy_api.cpp.
#define PY_ARRAY_UNIQUE_SYMBOL tarvo_numpy_api_table
#ifndef TARVO_DEFINE_NUMPY_API_TABLE
#define NO_IMPORT_ARRAY
#endif
#include <numpy/arrayobject.h>

namespace tarvo::py::numpy {

// Fills the table once; a failure is a fault, and nothing is cached so the next call retries.
// NumPy's names above may be used only after this has returned.
void ensure_api();

}  // namespace tarvo::py::numpy
