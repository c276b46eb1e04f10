#pragma once
// The call path every module function runs: bind the single argument `arr`, check that it is a
// writeable, aligned, contiguous one-dimensional int64 NumPy array, and hand its own buffer to
// the function's sort routine. Nothing is copied or converted.

#include <Python.h>

#include <string_view>

#include "binding/guarded.hpp"
#include "core/slice.hpp"
#include "routine_table.hpp"

namespace tarvo::py {

// The argument `arr` from a fast call with keywords; throws Error with the binding messages,
// which name the function as `function_name` followed by "()".
PyObject* bind_arr(std::string_view function_name, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames);

// The sort slice over `arr`'s buffer; throws Error (wrong argument) or raises a fault
// (elements not adjacent, NumPy unreachable).
Slice accept_array(PyObject* arr);

// The entry point of the module function `entry`, for CPython's fast call with keywords.
template <const RoutineEntry& entry>
PyObject* call_entry(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept {
    return guarded([&]() -> PyObject* {
        entry.sort(accept_array(bind_arr(entry.name, args, nargs, kwnames)));
        Py_RETURN_NONE;
    });
}

}  // namespace tarvo::py
