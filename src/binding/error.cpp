#include "binding/error.hpp"

#include "binding/panic.hpp"
#include "binding/text.hpp"
#include "core/fault.hpp"

namespace tarvo::py {

PyObject* Error::exception() {
    if (!exception_) {
        Ref message = Ref::steal(python_text(message_));
        if (!message) return nullptr;
        exception_ = Ref::steal(PyObject_CallOneArg(type_, message.get()));
    }
    return exception_.get();
}

void Error::restore() && {
    if (exception_) {
        PyErr_SetRaisedException(exception_.release());
        return;
    }
    if (!PyExceptionClass_Check(type_)) {
        PyErr_SetString(PyExc_TypeError, "exceptions must derive from BaseException");
        return;
    }
    Ref message = Ref::steal(python_text(message_));
    if (message) PyErr_SetObject(type_, message.get());
}

namespace {

// A call that signalled failure without setting an exception still yields an error to raise.
Error error_from(Ref exception) {
    if (!exception) {
        return Error(PyExc_SystemError, "attempted to fetch exception but none was set");
    }
    return Error(std::move(exception));
}

}  // namespace

Error fetch_plain_error() {
    return error_from(Ref::steal(PyErr_GetRaisedException()));
}

Error fetch_error() {
    Ref exception = Ref::steal(PyErr_GetRaisedException());
    if (exception) {
        // The fault type is created on this first need, with the fetched exception held aside.
        PyObject* panic_type = panic_exception_type();
        if (PyObject_TypeCheck(exception.get(), reinterpret_cast<PyTypeObject*>(panic_type))) {
            resume_panic(std::move(exception));
        }
    }
    return error_from(std::move(exception));
}

void raise_api_failure(std::source_location where) {
    PyErr_Print();
    raise_fault("Python API call failed", where);
}

}  // namespace tarvo::py
