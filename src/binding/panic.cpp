#include "binding/panic.hpp"

#include <cstdlib>

#include "binding/error.hpp"
#include "core/fault.hpp"

namespace tarvo::py {
namespace {

constexpr const char panic_doc[] =
    "\nThe exception raised when the native code of _tarvo faults when\n"
    "called from Python.\n"
    "\n"
    "Like SystemExit, it derives from BaseException so that it will\n"
    "normally propagate all the way up the stack and cause the Python\n"
    "interpreter to exit.\n";
static_assert(sizeof panic_doc - 1 == 235);

// Created and read only while the interpreter lock is held; never released.
PyObject* panic_type = nullptr;

[[noreturn]] void abort_unreportable() noexcept {
    report_fault("uncaught panic at ffi boundary", std::source_location::current());
    std::abort();
}

}  // namespace

PyObject* panic_exception_type() {
    if (panic_type == nullptr) {
        PyObject* type = PyErr_NewExceptionWithDoc("pyo3_runtime.PanicException", panic_doc,
                                                   PyExc_BaseException, nullptr);
        if (type == nullptr) {
            Error error = fetch_plain_error();
            raise_fault("Failed to initialize new exception type.: " + debug_rendering(error));
        }
        panic_type = type;
    }
    return panic_type;
}

void set_panic_exception(const char* message) noexcept {
    try {
        PyObject* type = panic_exception_type();
        Ref text = Ref::steal(PyUnicode_FromString(message));
        if (!text) abort_unreportable();
        PyErr_SetObject(type, text.get());
    } catch (...) {
        abort_unreportable();
    }
}

}  // namespace tarvo::py
