// _tarvo_testing: a private module for the Python tests, built only with the tests. It reaches
// internals that _tarvo itself must not expose, through the same guarded region.
//
// This module is a shared object of its own, with its own copy of the core: its allocation
// counter, its fault-injection switch and its worker pool are not _tarvo's. Tests that inject
// allocation failures therefore sort through sort() below, which runs _tarvo's call path and
// routines from this copy.

#include <Python.h>

#include <cstring>
#include <string_view>

#include "binding/call_path.hpp"
#include "binding/guarded.hpp"
#include "core/fault.hpp"
#include "core/memory.hpp"
#include "parallel/join.hpp"
#include "sort_routines.hpp"

namespace tarvo::py {
namespace {

// join_fault(side): a join on the pool whose task `side` ("a" or "b") faults.
PyObject* join_fault(PyObject*, PyObject* side) {
    return guarded([&]() -> PyObject* {
        const char* which = PyUnicode_AsUTF8(side);
        if (which == nullptr) throw fetch_error();
        const bool in_a = std::strcmp(which, "a") == 0;
        join(
            [&] {
                if (in_a) raise_fault("fault in task a");
            },
            [&] {
                if (!in_a) raise_fault("fault in task b");
            });
        Py_RETURN_NONE;
    });
}

routines::SortRoutine routine_named(PyObject* name) {
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(name, &size);
    if (utf8 == nullptr) throw fetch_error();
    const std::string_view wanted(utf8, std::size_t(size));
    for (const routines::NamedRoutine& entry : routines::by_name) {
        if (entry.name == wanted) return entry.routine;
    }
    throw Error(PyExc_ValueError, "no module function named '" + std::string(wanted) + "'");
}

// sort(name, arr): what _tarvo.<name>(arr) does after binding its argument.
PyObject* sort(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        if (nargs != 2) throw Error(PyExc_TypeError, "sort(name, arr) takes two arguments");
        const routines::SortRoutine routine = routine_named(args[0]);
        routine(accept_array(args[1]));
        Py_RETURN_NONE;
    });
}

// routine_names(): the names sort() knows, in _tarvo's table order.
PyObject* routine_names(PyObject*, PyObject*) {
    return guarded([]() -> PyObject* {
        Ref names = expect(PyTuple_New(routines::by_name.size()));
        for (std::size_t i = 0; i < routines::by_name.size(); ++i) {
            const std::string_view name = routines::by_name[i].name;
            PyTuple_SET_ITEM(
                names.get(), i,
                expect(PyUnicode_FromStringAndSize(name.data(), name.size())).release());
        }
        return names.release();
    });
}

// fail_allocation_after(k): the allocation after k successful ones fails; k < 0 disarms.
PyObject* fail_allocation_after(PyObject*, PyObject* skip) {
    const long k = PyLong_AsLong(skip);
    if (k == -1 && PyErr_Occurred()) return nullptr;
    tarvo::fail_allocation_after(k);
    Py_RETURN_NONE;
}

PyObject* allocations_made(PyObject*, PyObject*) {
    return PyLong_FromLong(tarvo::allocations_made());
}

PyObject* reset_allocation_count(PyObject*, PyObject*) {
    tarvo::reset_allocation_count();
    Py_RETURN_NONE;
}

template <class Function>
PyCFunction as_cfunction(Function* function) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

PyMethodDef methods[] = {
    {"join_fault", join_fault, METH_O, nullptr},
    {"sort", as_cfunction(sort), METH_FASTCALL, nullptr},
    {"routine_names", routine_names, METH_NOARGS, nullptr},
    {"fail_allocation_after", fail_allocation_after, METH_O, nullptr},
    {"allocations_made", allocations_made, METH_NOARGS, nullptr},
    {"reset_allocation_count", reset_allocation_count, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef definition = {PyModuleDef_HEAD_INIT,
                          "_tarvo_testing",
                          nullptr,
                          0,
                          methods,
                          nullptr,
                          nullptr,
                          nullptr,
                          nullptr};

}  // namespace
}  // namespace tarvo::py

PyMODINIT_FUNC PyInit__tarvo_testing(void) {
    return PyModule_Create(&tarvo::py::definition);
}
