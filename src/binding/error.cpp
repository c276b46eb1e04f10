#include "binding/error.hpp"

#include <unistd.h>

#include <cstring>

#include "binding/panic.hpp"
#include "core/fault.hpp"

namespace tarvo::py {
namespace {

constexpr const char replacement_triplet[] = "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD";

void append_utf8(std::string& out, Py_UCS4 c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-8 of a str. A lone surrogate has no UTF-8 form; it is shown as the three replacement
// characters a lossy decoder produces for its three-byte surrogate encoding.
std::string lossy_utf8(PyObject* text) {
    Py_ssize_t size = 0;
    if (const char* utf8 = PyUnicode_AsUTF8AndSize(text, &size)) return {utf8, std::size_t(size)};
    PyErr_Clear();
    std::string out;
    const Py_ssize_t length = PyUnicode_GetLength(text);
    for (Py_ssize_t i = 0; i < length; ++i) {
        const Py_UCS4 c = PyUnicode_ReadChar(text, i);
        if (c >= 0xD800 && c <= 0xDFFF) {
            out += replacement_triplet;
        } else {
            append_utf8(out, c);
        }
    }
    return out;
}

std::string repr_text(PyObject* object) {
    Ref repr = Ref::steal(PyObject_Repr(object));
    if (!repr) {
        PyErr_Clear();
        return "<unprintable object>";
    }
    return lossy_utf8(repr.get());
}

void write_stderr(const char* text) noexcept {
    std::size_t length = std::strlen(text);
    while (length > 0) {
        ssize_t written = ::write(STDERR_FILENO, text, length);
        if (written <= 0) return;
        text += written;
        length -= static_cast<std::size_t>(written);
    }
}

// A fault exception fetched from the interpreter goes on as the fault it stands for: its
// diagnostic was written where it arose, so only the Python side of the story is printed.
[[noreturn]] void resume_panic(Ref exception) {
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

}  // namespace

PyObject* Error::exception() {
    if (!exception_) {
        Ref message = Ref::steal(PyUnicode_FromStringAndSize(message_.data(), message_.size()));
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
    Ref message = Ref::steal(PyUnicode_FromStringAndSize(message_.data(), message_.size()));
    if (message) PyErr_SetObject(type_, message.get());
}

Error fetch_plain_error() {
    Ref exception = Ref::steal(PyErr_GetRaisedException());
    if (!exception) {
        return Error(PyExc_SystemError, "attempted to fetch exception but none was set");
    }
    return Error(std::move(exception));
}

Error fetch_error() {
    Ref exception = Ref::steal(PyErr_GetRaisedException());
    if (!exception) {
        return Error(PyExc_SystemError, "attempted to fetch exception but none was set");
    }
    // The fault type is created on this first need, with the fetched exception held aside.
    PyObject* panic_type = panic_exception_type();
    if (PyObject_TypeCheck(exception.get(), reinterpret_cast<PyTypeObject*>(panic_type))) {
        resume_panic(std::move(exception));
    }
    return Error(std::move(exception));
}

void raise_api_failure(std::source_location where) {
    PyErr_Print();
    raise_fault("Python API call failed", where);
}

std::string debug_rendering(Error& error) {
    PyObject* exception = error.exception();
    if (exception == nullptr) {
        PyErr_Clear();
        return std::string("PyErr { type: <unknown>, value: ") + error.what() +
               ", traceback: None }";
    }
    std::string out = "PyErr { type: ";
    out += repr_text(reinterpret_cast<PyObject*>(Py_TYPE(exception)));
    out += ", value: ";
    out += repr_text(exception);
    out += ", traceback: ";
    Ref traceback = Ref::steal(PyException_GetTraceback(exception));
    if (traceback) {
        out += "Some(" + repr_text(traceback.get()) + ")";
    } else {
        out += "None";
    }
    out += " }";
    return out;
}

std::string object_text(PyObject* object) {
    Ref text = Ref::steal(PyObject_Str(object));
    if (text) return lossy_utf8(text.get());
    PyErr_WriteUnraisable(object);
    Ref qualname = Ref::steal(PyType_GetQualName(Py_TYPE(object)));
    if (!qualname) {
        PyErr_Clear();
        return "<unprintable object>";
    }
    Ref qualname_text = Ref::steal(PyObject_Str(qualname.get()));
    if (!qualname_text) {
        PyErr_Clear();
        return "<unprintable object>";
    }
    return "<unprintable " + lossy_utf8(qualname_text.get()) + " object>";
}

std::string type_qualname(PyTypeObject* type) {
    Ref qualname = Ref::steal(PyType_GetQualName(type));
    if (qualname && PyUnicode_Check(qualname.get())) {
        Py_ssize_t size = 0;
        if (const char* utf8 = PyUnicode_AsUTF8AndSize(qualname.get(), &size)) {
            return {utf8, std::size_t(size)};
        }
    }
    PyErr_Clear();
    return "<failed to extract type name>";
}

std::string conversion_message(PyObject* object, const char* target) {
    // Appended piece by piece: g++ 12 warns falsely (-Wrestrict) on the chained operator+ form.
    std::string message = "'";
    message += type_qualname(Py_TYPE(object));
    message += "' object cannot be converted to '";
    message += target;
    message += "'";
    return message;
}

}  // namespace tarvo::py
