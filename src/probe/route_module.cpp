// tarvo._route: the benchmark's window on the smart dispatcher and on the pool-backed sorts' leaf
// kernel. It answers which sort smart would hand an array to, decided by the dispatcher's own
// smart_route, so a report shows the decision the sort really makes instead of a copy of the
// rules that could drift from it; and it runs the leaf kernel alone, the single-threaded baseline
// of the pool-backed sorts' targets. It is a module of its own so that _tarvo's attributes stay
// exactly its thirteen functions.

#include <Python.h>

#include "adaptive/smart.hpp"
#include "binding/call_path.hpp"
#include "binding/guarded.hpp"
#include "parallel/sort_kernel.hpp"

namespace tarvo::py {
namespace {

// Reads the array through the same acceptance checks as every _tarvo call, so an array that
// smart() would refuse is refused here with the same error; nothing is written.
PyObject* smart_route_of(PyObject* /*module*/, PyObject* arr) noexcept {
    return guarded([arr]() -> PyObject* {
        return PyUnicode_FromString(route_name(smart_route(accept_array(arr))));
    });
}

// The leaf kernel alone on the calling thread: the single-threaded baseline the pool-backed sorts
// are measured against.
PyObject* leaf_sort(PyObject* /*module*/, PyObject* arr) noexcept {
    return guarded([arr]() -> PyObject* {
        kernel_sort(accept_array(arr));
        Py_RETURN_NONE;
    });
}

PyObject* leaf_kernel(PyObject* /*module*/, PyObject* /*unused*/) noexcept {
    const std::string_view name = kernel_name();
    return PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
}

PyMethodDef route_methods[] = {
    {
        .ml_name = "smart_route",
        .ml_meth = smart_route_of,
        .ml_flags = METH_O,
        .ml_doc = "smart_route(arr)\n--\n\n"
                  "The sort smart(arr) hands arr to: \"nothing\", \"insertion\", \"tim\", "
                  "\"radix\",\n\"pdq\" or \"parallel_unstable\". Reads arr only.",
    },
    {
        .ml_name = "leaf_sort",
        .ml_meth = leaf_sort,
        .ml_flags = METH_O,
        .ml_doc =
            "leaf_sort(arr)\n--\n\n"
            "Sorts arr in place with the pool-backed sorts' leaf kernel alone, on the calling "
            "thread.",
    },
    {
        .ml_name = "leaf_kernel",
        .ml_meth = leaf_kernel,
        .ml_flags = METH_NOARGS,
        .ml_doc = "leaf_kernel()\n--\n\n"
                  "The leaf kernel of this build: \"Highway vqsort\" or \"pdq_sort (portable "
                  "fallback)\".",
    },
    {.ml_name = nullptr, .ml_meth = nullptr, .ml_flags = 0, .ml_doc = nullptr},
};

PyModuleDef route_module = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "tarvo._route",
    .m_doc =
        "The route the smart dispatcher takes for an array, and the pool-backed sorts' leaf "
        "kernel,\nfor benchmarks and tests.",
    .m_size = -1,  // no per-module state; the NumPy API table is process-wide
    .m_methods = route_methods,
    .m_slots = nullptr,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

}  // namespace
}  // namespace tarvo::py

PyMODINIT_FUNC PyInit__route(void) {
    return PyModule_Create(&tarvo::py::route_module);
}
