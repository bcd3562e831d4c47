// Module initialisation and registration of fennel._core. Multi-phase
// initialisation; the module declares that it does not need the GIL. Each
// topic file declares its entry points and exports their rows; this file
// only puts them together.
#include "algorithms/cursor_py.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/all_paths_py.hpp"
#include "lib/entry.hpp"
#include "lib/errors_py.hpp"

#include <vector>

namespace fennel::py {

namespace {

// A null-terminated method table from topic rows, built once and kept for
// the life of the process (types and functions point into it).
PyMethodDef* table(std::initializer_list<std::vector<PyMethodDef> (*)()> parts) {
    auto* rows = new std::vector<PyMethodDef>;
    for (auto part : parts) {
        for (const PyMethodDef& def : part()) rows->push_back(def);
    }
    rows->push_back({nullptr, nullptr, 0, nullptr});
    return rows->data();
}

PyMethodDef* core_graph_methods() {
    static PyMethodDef* methods = table({graph_methods, native_methods, serialize_methods, rx_methods, path_methods, traversal_methods, cursor_methods, distance_methods, centrality_methods,
                                                 link_analysis_methods, structure_methods});
    return methods;
}

PyMethodDef* module_functions() {
    static PyMethodDef* functions = table({graph_functions, serialize_functions, native_functions, rx_functions,
                                            sum_functions, pool_functions, numpy_functions});
    return functions;
}

int add_function(PyObject* module, PyMethodDef* def) {
    PyObject* name = PyModule_GetNameObject(module);
    if (name == nullptr) return -1;
    PyObject* fn = PyCFunction_NewEx(def, nullptr, name);
    Py_DECREF(name);
    return PyModule_Add(module, def->ml_name, fn);
}

int exec_module(PyObject* module) {
    if (init_internal_error() < 0) return -1;
    PyObject* core_graph = create_core_graph_type(module, core_graph_methods());
    if (core_graph == nullptr || PyModule_Add(module, "CoreGraph", core_graph) < 0) return -1;
    if (PyModule_Add(module, "AllPaths", create_all_paths_type(module)) < 0) return -1;
    if (PyModule_Add(module, "Cursor", create_cursor_type(module)) < 0) return -1;
    for (PyMethodDef* def = module_functions(); def->ml_name != nullptr; ++def) {
        if (add_function(module, def) < 0) return -1;
    }
    return 0;
}

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
#if PY_VERSION_HEX >= 0x030C0000
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
#endif
#if PY_VERSION_HEX >= 0x030D0000
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "_core",
    nullptr,
    0,
    nullptr,
    slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

}  // namespace fennel::py

PyMODINIT_FUNC PyInit__core() { return PyModuleDef_Init(&fennel::py::module_def); }
