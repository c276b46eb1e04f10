// The _tarvo extension module: its definition, the function table and the init function.

#include <Python.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <string_view>
#include <utility>

#include "binding/call_path.hpp"
#include "binding/debug_rendering.hpp"
#include "binding/error.hpp"
#include "binding/guarded.hpp"
#include "binding/text.hpp"
#include "routine_table.hpp"

namespace tarvo::py {
namespace {

constexpr int module_api_version = 1013;
constexpr const char subinterpreter_message[] =
    "PyO3 modules do not yet support subinterpreters, see "
    "https://github.com/PyO3/pyo3/issues/576";

// CPython stores every entry point as a PyCFunction and calls it by its flags.
template <class Function>
PyCFunction as_cfunction(Function* function) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

// "<name>(arr)\n--\n\n": the docstring form from which CPython derives the text signature "(arr)"
// and leaves __doc__ None.
template <std::size_t index>
constexpr auto docstring = [] {
    constexpr std::string_view name = routine_table[index].name;
    constexpr std::string_view signature = "(arr)\n--\n\n";
    std::array<char, name.size() + signature.size() + 1> text{};
    std::ranges::copy(name, text.begin());
    std::ranges::copy(signature, text.begin() + name.size());
    return text;
}();

template <std::size_t index>
PyMethodDef method_definition() {
    constexpr std::string_view name = routine_table[index].name;
    static_assert(name.data()[name.size()] == '\0', "names are string literals");
    return {
        .ml_name = name.data(),
        .ml_meth = as_cfunction(call_entry<routine_table[index]>),
        .ml_flags = METH_FASTCALL | METH_KEYWORDS,
        .ml_doc = docstring<index>.data(),
    };
}

template <std::size_t... index>
auto make_function_table(std::index_sequence<index...>) {
    return std::array{method_definition<index>()...};
}

// The entries stay in place for the life of the process: the function objects refer to them.
auto function_table = make_function_table(std::make_index_sequence<std::size(routine_table)>());

PyModuleDef module_definition = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "_tarvo",
    .m_doc = "",  // an empty docstring, not None
    .m_size = 0,
    .m_methods = nullptr,  // the functions are added one by one, see add_function
    .m_slots = nullptr,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

// The id of the interpreter that first ran the init function; -1 until then.
std::atomic<std::int64_t> bound_interpreter{-1};
// The module once built; read and written only with the interpreter lock held, never released.
PyObject* cached_module = nullptr;

[[noreturn]] void raise_fetched() {
    throw fetch_error();
}

// The module's __all__ list, created empty when the attribute does not exist yet.
Ref all_list(PyObject* module) {
    Ref all = Ref::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        Error error = fetch_error();
        if (!PyErr_GivenExceptionMatches(error.exception(), PyExc_AttributeError)) throw error;
        all = expect(PyList_New(0));
        if (PyObject_SetAttrString(module, "__all__", all.get()) < 0) raise_fetched();
        return all;
    }
    if (!PyList_Check(all.get())) {
        throw Error(PyExc_TypeError, conversion_message(all.get(), "PyList"));
    }
    return all;
}

void add_function(PyObject* module, PyMethodDef& entry) {
    const char* module_name = PyModule_GetName(module);
    if (module_name == nullptr) raise_fetched();
    Ref module_name_text = Ref::steal(PyUnicode_FromString(module_name));
    if (!module_name_text) raise_fetched();
    Ref function = Ref::steal(PyCMethod_New(&entry, module, module_name_text.get(), nullptr));
    if (!function) raise_fetched();

    Ref name = Ref::steal(PyObject_GetAttrString(function.get(), "__name__"));
    if (!name) raise_fetched();
    const char* name_utf8 = PyUnicode_AsUTF8(name.get());
    if (name_utf8 == nullptr) raise_fetched();

    Ref all = all_list(module);
    Ref name_text = expect(PyUnicode_FromString(name_utf8));
    if (PyList_Append(all.get(), name_text.get()) < 0) {
        Error error = fetch_error();
        raise_fault("could not append __name__ to __all__: " + debug_rendering(error));
    }
    if (PyObject_SetAttr(module, name_text.get(), function.get()) < 0) raise_fetched();
}

PyObject* initialise() {
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) raise_fetched();
    std::int64_t expected = -1;
    if (!bound_interpreter.compare_exchange_strong(expected, id) && expected != id) {
        throw Error(PyExc_ImportError, subinterpreter_message);
    }
    if (cached_module != nullptr) return Py_NewRef(cached_module);

    Ref module = Ref::steal(PyModule_Create2(&module_definition, module_api_version));
    if (!module) raise_fetched();
    for (PyMethodDef& entry : function_table) add_function(module.get(), entry);

    if (cached_module == nullptr) cached_module = Py_NewRef(module.get());
    return Py_NewRef(cached_module);
}

}  // namespace
}  // namespace tarvo::py

PyMODINIT_FUNC PyInit__tarvo(void) {
    return tarvo::py::guarded(tarvo::py::initialise);
}
