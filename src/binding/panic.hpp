#pragma once
// The fault exception type, "pyo3_runtime.PanicException": one per process, created on first
// need and never placed in any module's namespace.

#include <Python.h>

#include <string>

#include "binding/py_ref.hpp"

namespace tarvo::py {

// Creates the type on first call; a failure to create it is a fault.
PyObject* panic_exception_type();

// Sets a new fault exception with `message` as the current exception. Called only from the
// guarded region; a fault here cannot be reported and aborts the process.
void set_panic_exception(const std::string& message) noexcept;

// Goes on with the fault that a fault exception fetched from the interpreter stands for: its
// diagnostic was written where it arose, so only the Python side of the story is printed.
[[noreturn]] void resume_panic(Ref exception);

}  // namespace tarvo::py
