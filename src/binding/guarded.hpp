#pragma once
// The guarded region around module initialisation and every call: whatever the operation ends
// with — a result, a Python error, a fault or exhausted memory — becomes what the interpreter
// expects from an extension function: a new reference, or null with the exception set.

#include <Python.h>

#include <new>

#include "binding/error.hpp"
#include "binding/panic.hpp"
#include "core/fault.hpp"
#include "core/memory.hpp"

namespace tarvo::py {

template <class Operation>
PyObject* guarded(Operation&& operation) noexcept {
    try {
        return operation();
    } catch (Error& error) {
        std::move(error).restore();
    } catch (const Fault& fault) {
        set_panic_exception(fault.message());
    } catch (const OutOfMemory& exhausted) {
        PyErr_SetString(PyExc_MemoryError, exhausted.what());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& failure) {
        // Nothing in the module throws other exceptions; should the standard library do so,
        // the call still ends as a fault rather than taking the process down.
        report_fault(failure.what(), std::source_location::current());
        set_panic_exception(failure.what());
    } catch (...) {
        report_fault("unknown C++ exception", std::source_location::current());
        set_panic_exception("unknown C++ exception");
    }
    return nullptr;
}

}  // namespace tarvo::py
