#pragma once
// The call path every module function runs: bind the single argument `arr`, check that it is a
// writeable, aligned, contiguous one-dimensional int64 NumPy array, and hand its own buffer to
// the function's sort routine. Nothing is copied or converted.

#include <Python.h>

#include "binding/guarded.hpp"
#include "core/slice.hpp"

namespace tarvo::py {

struct CallDescriptor {
    const char* function_name;  // as in the function table; messages add "()"
};

// The argument `arr` from a fast call with keywords; throws Error with the binding messages.
PyObject* bind_arr(const CallDescriptor& descriptor, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames);

// The sort slice over `arr`'s buffer; throws Error (wrong argument) or raises a fault
// (elements not adjacent, NumPy unreachable).
Slice accept_array(PyObject* arr);

using SortRoutine = void (*)(Slice);

template <const CallDescriptor& descriptor, SortRoutine sort>
PyObject* call_entry(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept {
    return guarded([&]() -> PyObject* {
        sort(accept_array(bind_arr(descriptor, args, nargs, kwnames)));
        Py_RETURN_NONE;
    });
}

}  // namespace tarvo::py
