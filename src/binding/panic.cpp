#include "binding/panic.hpp"

#include <cstdlib>

#include "binding/debug_rendering.hpp"
#include "binding/error.hpp"
#include "binding/text.hpp"
#include "core/fault.hpp"
#include "core/stderr.hpp"

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

void set_panic_exception(const std::string& message) noexcept {
    try {
        PyObject* type = panic_exception_type();
        // Decoding cannot fail (the message may carry the system's text in any encoding); only
        // exhausted memory leaves no text.
        Ref text = Ref::steal(python_text(message));
        if (!text) abort_unreportable();
        PyErr_SetObject(type, text.get());
    } catch (...) {
        abort_unreportable();
    }
}

void resume_panic(Ref exception) {
    write_stderr("--- PyO3 is resuming a panic after fetching a PanicException from Python. ---\n");
    write_stderr("Python stack trace below:\n");
    Ref text = Ref::steal(PyObject_Str(exception.get()));
    std::string message;
    if (text) {
        message = lossy_utf8(text.get());
    } else {
        PyErr_Clear();
        message = "Unwrapped panic from Python code";
    }
    PyErr_SetRaisedException(exception.release());
    PyErr_PrintEx(0);
    raise_reported_fault(std::move(message));
}

}  // namespace tarvo::py
