// _tarvo_testing: a private module for the Python tests, built only with the tests. It reaches
// internals that _tarvo itself must not expose, through the same guarded region.

#include <Python.h>

#include <cstring>

#include "binding/guarded.hpp"
#include "core/fault.hpp"
#include "parallel/join.hpp"

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

PyMethodDef methods[] = {
    {"join_fault", join_fault, METH_O, nullptr},
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
