#define TARVO_DEFINE_NUMPY_API_TABLE
#include "binding/numpy_api.hpp"

#include "binding/debug_rendering.hpp"
#include "binding/error.hpp"
#include "binding/text.hpp"
#include "core/fault.hpp"

namespace tarvo::py::numpy {
namespace {

constexpr const char capsule_module[] = "numpy.core.multiarray";
constexpr const char capsule_attribute[] = "_ARRAY_API";
constexpr const char capsule_failure[] = "Failed to access NumPy array API capsule: ";

[[noreturn]] void raise_capsule_fault(Error error) {
    raise_fault(capsule_failure + debug_rendering(error));
}

}  // namespace

// Every access to the table happens with the interpreter lock held. The import below runs Python
// code, during which another thread may have filled the table: the first one stays.
void ensure_api() {
    if (PyArray_API != nullptr) return;
    Ref name = expect(PyUnicode_FromString(capsule_module));
    Ref module = Ref::steal(PyImport_Import(name.get()));
    if (!module) raise_capsule_fault(fetch_error());
    Ref capsule = Ref::steal(PyObject_GetAttrString(module.get(), capsule_attribute));
    if (!capsule) raise_capsule_fault(fetch_error());
    if (Py_TYPE(capsule.get()) != &PyCapsule_Type) {
        raise_capsule_fault(Error(PyExc_TypeError, conversion_message(capsule.get(), "PyCapsule")));
    }
    const char* capsule_name = PyCapsule_GetName(capsule.get());
    if (capsule_name == nullptr) PyErr_Clear();
    void* pointer = PyCapsule_GetPointer(capsule.get(), capsule_name);
    // A capsule without a readable pointer would leave a null table behind: refuse it as a
    // failure to obtain the table instead.
    if (pointer == nullptr) raise_capsule_fault(fetch_error());
    if (PyArray_API == nullptr) {
        PyArray_API = static_cast<void**>(pointer);
        capsule.release();  // kept alive for ever: the table lives inside it
    }
}

}  // namespace tarvo::py::numpy
