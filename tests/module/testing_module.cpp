// _tarvo_testing: a private module for the Python tests, built only with the tests. It reaches
// internals that _tarvo itself must not expose, through the same guarded region.
//
// This module is a shared object of its own, linked with the test build of the core: it has the
// allocation counter and the failure switch that _tarvo lacks, and a worker pool of its own.
// Tests that inject allocation failures therefore sort through sort() below, which runs _tarvo's
// call path and routines from this copy.

#include <Python.h>

#include <string>
#include <string_view>

#include "binding/call_path.hpp"
#include "binding/error.hpp"
#include "binding/guarded.hpp"
#include "core/fault.hpp"
#include "core/memory.hpp"
#include "parallel/pool/join.hpp"
#include "parallel/sort_pool.hpp"
#include "routine_table.hpp"

namespace tarvo::py {
namespace {

std::string_view utf8_argument(PyObject* text) {
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(text, &size);
    if (utf8 == nullptr) throw fetch_error();
    return {utf8, std::size_t(size)};
}

// join_fault(side): a join on the pool whose task `side` ("a" or "b") faults.
PyObject* join_fault(PyObject*, PyObject* side) {
    return guarded([&]() -> PyObject* {
        const bool in_a = utf8_argument(side) == "a";
        join(
            sort_pool(),
            [&](const WorkerContext&) {
                if (in_a) raise_fault("fault in task a");
            },
            [&](const WorkerContext&) {
                if (!in_a) raise_fault("fault in task b");
            });
        Py_RETURN_NONE;
    });
}

// fault_with_bytes(message): a fault whose message is the given bytes, whatever their encoding,
// as a message carrying text from the system (strerror in the process's locale) would be.
PyObject* fault_with_bytes(PyObject*, PyObject* message) {
    return guarded([&]() -> PyObject* {
        char* bytes = nullptr;
        Py_ssize_t size = 0;
        if (PyBytes_AsStringAndSize(message, &bytes, &size) < 0) throw fetch_error();
        raise_fault(std::string(bytes, std::size_t(size)));
    });
}

// sort(name, arr): what _tarvo.<name>(arr) does after binding its argument.
PyObject* sort(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        if (nargs != 2) throw Error(PyExc_TypeError, "sort(name, arr) takes two arguments");
        const std::string_view name = utf8_argument(args[0]);
        const RoutineEntry* entry = find_routine(name);
        if (entry == nullptr) {
            throw Error(PyExc_ValueError, "no module function named '" + std::string(name) + "'");
        }
        entry->sort(accept_array(args[1]));
        Py_RETURN_NONE;
    });
}

// routine_names(): the names sort() knows, in _tarvo's table order.
PyObject* routine_names(PyObject*, PyObject*) {
    return guarded([]() -> PyObject* {
        Ref names = expect(PyTuple_New(std::size(routine_table)));
        for (std::size_t i = 0; i < std::size(routine_table); ++i) {
            const std::string_view name = routine_table[i].name;
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

PyMethodDef method(const char* name, PyCFunction function, int flags) {
    return {.ml_name = name, .ml_meth = function, .ml_flags = flags, .ml_doc = nullptr};
}

PyMethodDef methods[] = {
    method("join_fault", join_fault, METH_O),
    method("fault_with_bytes", fault_with_bytes, METH_O),
    method("sort", as_cfunction(sort), METH_FASTCALL),
    method("routine_names", routine_names, METH_NOARGS),
    method("fail_allocation_after", fail_allocation_after, METH_O),
    method("allocations_made", allocations_made, METH_NOARGS),
    method("reset_allocation_count", reset_allocation_count, METH_NOARGS),
    method(nullptr, nullptr, 0),
};

PyModuleDef definition = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "_tarvo_testing",
    .m_doc = nullptr,
    .m_size = 0,
    .m_methods = methods,
    .m_slots = nullptr,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

}  // namespace
}  // namespace tarvo::py

PyMODINIT_FUNC PyInit__tarvo_testing(void) {
    return PyModule_Create(&tarvo::py::definition);
}
