#include "binding/text.hpp"

#include "binding/error.hpp"
#include "binding/py_ref.hpp"

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

}  // namespace

PyObject* python_text(const std::string& text) noexcept {
    const auto size = static_cast<Py_ssize_t>(text.size());
    if (PyObject* utf8 = PyUnicode_DecodeUTF8(text.data(), size, nullptr)) return utf8;
    PyErr_Clear();
    // Needs the terminating null that std::string keeps; fails on embedded nulls.
    if (PyObject* local = PyUnicode_DecodeLocaleAndSize(text.c_str(), size, nullptr)) return local;
    PyErr_Clear();
    return PyUnicode_DecodeUTF8(text.data(), size, "replace");
}

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
        fetch_error();  // a fault exception resumes as its fault; any other error is dropped
        return "<unprintable object>";
    }
    return lossy_utf8(repr.get());
}

std::string object_text(PyObject* object) {
    Ref text = Ref::steal(PyObject_Str(object));
    if (text) return lossy_utf8(text.get());
    // A fault exception resumes as its fault (fetch_error throws it); any other error is reported.
    fetch_error().restore();
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
