#include "binding/debug_rendering.hpp"

#include "binding/text.hpp"

namespace tarvo::py {

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

}  // namespace tarvo::py
