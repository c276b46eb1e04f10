#pragma once
// Text across the module boundary: Python objects as UTF-8 for messages, and the module's
// messages, some of which carry text from the system, as Python strings.

#include <Python.h>

#include <string>

namespace tarvo::py {

// A new str holding `text`: UTF-8 (the module's own messages), or else bytes in the locale's
// encoding (text from the system, such as strerror); bytes that neither decodes become U+FFFD.
// Never fails to decode; null with MemoryError set only when memory is exhausted.
PyObject* python_text(const std::string& text) noexcept;

// UTF-8 of a str. A lone surrogate has no UTF-8 form; it is shown as the three replacement
// characters a lossy decoder produces for its three-byte surrogate encoding.
std::string lossy_utf8(PyObject* text);

// repr() of the object as UTF-8, or "<unprintable object>". A fault exception raised by repr()
// resumes as the fault it stands for.
std::string repr_text(PyObject* object);

// str() of the object as UTF-8 (lossy_utf8). If str() fails, the failure is reported as
// unraisable and "<unprintable T object>" is returned; a fault exception raised by str() resumes
// as the fault it stands for instead.
std::string object_text(PyObject* object);

// "'<qualname>' object cannot be converted to '<target>'", the qualified name of the object's type
// as UTF-8, or "<failed to extract type name>".
std::string conversion_message(PyObject* object, const char* target);

}  // namespace tarvo::py
