#pragma once
// Errors at the module boundary: a Python exception the module raises or fetched from the
// interpreter, carried as a C++ exception until the guarded region hands it back.

#include <Python.h>

#include <exception>
#include <source_location>
#include <string>

#include "binding/py_ref.hpp"

namespace tarvo::py {

class Error : public std::exception {
  public:
    // An exception type (borrowed; a built-in or the fault type) and its message.
    Error(PyObject* type, std::string message) : type_(type), message_(std::move(message)) {}
    // An exception object fetched from the interpreter.
    explicit Error(Ref exception) : exception_(std::move(exception)) {}

    const char* what() const noexcept override { return message_.c_str(); }

    // The exception object, created from type and message on first need; null if that fails.
    PyObject* exception();
    // Sets the error as the interpreter's current exception (replacing any pending one).
    void restore() &&;

  private:
    PyObject* type_ = nullptr;
    std::string message_;
    Ref exception_;
};

// The error the interpreter has just reported, after a call signalled failure. A fault
// exception coming back from Python is resumed as a fault instead (it throws tarvo::Fault).
Error fetch_error();

// The same without looking for a fault exception (used while the fault type is being created).
Error fetch_plain_error();

// For an interpreter call that unexpectedly yields nothing and without which the module cannot
// go on: prints the pending exception and raises the fault "Python API call failed".
[[noreturn]] void raise_api_failure(std::source_location where = std::source_location::current());

// The result of an interpreter call that must not be null (see raise_api_failure).
inline Ref expect(PyObject* result, std::source_location where = std::source_location::current()) {
    if (result == nullptr) raise_api_failure(where);
    return Ref::steal(result);
}

}  // namespace tarvo::py
