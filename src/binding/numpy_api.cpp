#include "binding/numpy_api.hpp"

#include <atomic>

#include "binding/error.hpp"
#include "core/fault.hpp"

namespace tarvo::py::numpy {
namespace {

// Slots of NumPy's array API table (stable since NumPy 1.x).
constexpr int slot_array_type = 2;
constexpr int slot_descr_from_type = 45;
constexpr int slot_equiv_types = 182;

constexpr const char capsule_module[] = "numpy.core.multiarray";
constexpr const char capsule_attribute[] = "_ARRAY_API";
constexpr const char capsule_failure[] = "Failed to access NumPy array API capsule: ";

std::atomic<void**> api_table{nullptr};

[[noreturn]] void raise_capsule_fault(Error error) {
    raise_fault(capsule_failure + debug_rendering(error));
}

void** table() noexcept {
    return api_table.load(std::memory_order_acquire);
}

}  // namespace

void ensure_api() {
    if (table() != nullptr) return;
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
    void** expected = nullptr;
    if (api_table.compare_exchange_strong(expected, static_cast<void**>(pointer))) {
        capsule.release();  // kept alive for ever: the table lives inside it
    }
}

PyTypeObject* array_type() noexcept {
    return static_cast<PyTypeObject*>(table()[slot_array_type]);
}

PyArray_Descr* descr_from_type(int type_number) noexcept {
    using Function = PyArray_Descr* (*)(int);
    return reinterpret_cast<Function>(table()[slot_descr_from_type])(type_number);
}

bool equivalent_types(PyArray_Descr* a, PyArray_Descr* b) noexcept {
    using Function = unsigned char (*)(PyArray_Descr*, PyArray_Descr*);
    return reinterpret_cast<Function>(table()[slot_equiv_types])(a, b) != 0;
}

}  // namespace tarvo::py::numpy
