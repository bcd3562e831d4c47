// Module initialisation and registration of fennel._core. Multi-phase
// initialisation; the module declares that it does not need the GIL. Each
// topic file declares its entry points and exports their rows; this file
// only puts them together.
#include "graph/value_kind.hpp"
#include "lib/compat.hpp"
#include "lib/errors_py.hpp"

#include <initializer_list>
#include <vector>

namespace fennel::py {

// The rows each topic file exports: CoreGraph methods and module functions.
std::vector<PyMethodDef> graph_methods();
std::vector<PyMethodDef> graph_functions();
std::vector<PyMethodDef> native_methods();
std::vector<PyMethodDef> native_functions();
std::vector<PyMethodDef> serialize_methods();
std::vector<PyMethodDef> serialize_functions();
std::vector<PyMethodDef> rx_methods();
std::vector<PyMethodDef> rx_functions();
std::vector<PyMethodDef> pool_functions();
std::vector<PyMethodDef> numpy_functions();
std::vector<PyMethodDef> summation_functions();
std::vector<PyMethodDef> louvain_functions();
std::vector<PyMethodDef> leiden_functions();
std::vector<PyMethodDef> biconnected_methods();
std::vector<PyMethodDef> bipartite_methods();
std::vector<PyMethodDef> bridges_methods();
std::vector<PyMethodDef> centrality_methods();
std::vector<PyMethodDef> clique_methods();
std::vector<PyMethodDef> clique_functions();
std::vector<PyMethodDef> cluster_methods();
std::vector<PyMethodDef> efficiency_methods();
std::vector<PyMethodDef> reaching_methods();
std::vector<PyMethodDef> reciprocity_methods();
std::vector<PyMethodDef> triads_methods();
std::vector<PyMethodDef> coloring_methods();
std::vector<PyMethodDef> community_methods();
std::vector<PyMethodDef> leiden_methods();
std::vector<PyMethodDef> components_methods();
std::vector<PyMethodDef> core_methods();
std::vector<PyMethodDef> dag_methods();
std::vector<PyMethodDef> dominating_methods();
std::vector<PyMethodDef> betweenness_subset_methods();
std::vector<PyMethodDef> load_methods();
std::vector<PyMethodDef> group_methods();
std::vector<PyMethodDef> assortativity_methods();
std::vector<PyMethodDef> assortativity_functions();
std::vector<PyMethodDef> richclub_methods();
std::vector<PyMethodDef> current_flow_methods();
std::vector<PyMethodDef> laplacian_functions();
std::vector<PyMethodDef> centrality_functions();
std::vector<PyMethodDef> voterank_methods();
std::vector<PyMethodDef> dispersion_methods();
std::vector<PyMethodDef> vitality_methods();
std::vector<PyMethodDef> percolation_methods();
std::vector<PyMethodDef> structuralholes_methods();
std::vector<PyMethodDef> structuralholes_functions();
std::vector<PyMethodDef> flow_methods();
std::vector<PyMethodDef> preflowpush_methods();
std::vector<PyMethodDef> connectivity_methods();
std::vector<PyMethodDef> kcutsets_methods();
std::vector<PyMethodDef> kcutsets_functions();
std::vector<PyMethodDef> stoerwagner_methods();
std::vector<PyMethodDef> gomory_hu_methods();
std::vector<PyMethodDef> disjoint_paths_methods();
std::vector<PyMethodDef> edge_kcomponents_methods();
std::vector<PyMethodDef> shortestaugmentingpath_methods();
std::vector<PyMethodDef> dinitz_alg_methods();
std::vector<PyMethodDef> boykovkolmogorov_methods();
std::vector<PyMethodDef> dag_functions();
std::vector<PyMethodDef> lowest_common_ancestors_methods();
std::vector<PyMethodDef> lowest_common_ancestors_functions();
std::vector<PyMethodDef> isolate_methods();
std::vector<PyMethodDef> cycles_methods();
std::vector<PyMethodDef> cycles_functions();
std::vector<PyMethodDef> mincost_functions();
std::vector<PyMethodDef> capacityscaling_functions();
std::vector<PyMethodDef> matching_methods();
std::vector<PyMethodDef> distance_measures_methods();
std::vector<PyMethodDef> link_analysis_methods();
std::vector<PyMethodDef> link_prediction_methods();
std::vector<PyMethodDef> link_prediction_functions();
std::vector<PyMethodDef> modularity_max_methods();
std::vector<PyMethodDef> kernighan_lin_methods();
std::vector<PyMethodDef> label_propagation_methods();
std::vector<PyMethodDef> shortest_paths_methods();
std::vector<PyMethodDef> traversal_methods();
std::vector<PyMethodDef> tree_methods();
std::vector<PyMethodDef> watch_functions();

// The types besides CoreGraph, created when the module is executed.
PyObject* create_core_graph_type(PyObject* module, PyMethodDef* methods);
PyObject* create_all_paths_type(PyObject* module);
PyObject* create_cursor_type(PyObject* module);
PyObject* create_while_unchanged_type(PyObject* module);
int add_search_result_types(PyObject* module);

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
    static PyMethodDef* methods =
        table({graph_methods, native_methods, serialize_methods, rx_methods, components_methods, dag_methods,
               core_methods, clique_methods, cluster_methods, coloring_methods, community_methods, leiden_methods, tree_methods, biconnected_methods, bipartite_methods, bridges_methods,
               shortest_paths_methods, traversal_methods, centrality_methods, link_analysis_methods, link_prediction_methods,
               distance_measures_methods, modularity_max_methods, kernighan_lin_methods,
               label_propagation_methods, isolate_methods, cycles_methods, matching_methods, dominating_methods,
               lowest_common_ancestors_methods, flow_methods, connectivity_methods, kcutsets_methods,
               stoerwagner_methods, gomory_hu_methods, disjoint_paths_methods,
               edge_kcomponents_methods, shortestaugmentingpath_methods, dinitz_alg_methods, boykovkolmogorov_methods,
               preflowpush_methods, betweenness_subset_methods, load_methods, group_methods,
               assortativity_methods, richclub_methods, efficiency_methods, reaching_methods,
               reciprocity_methods, triads_methods, current_flow_methods, voterank_methods,
               dispersion_methods, vitality_methods, percolation_methods, structuralholes_methods});
    return methods;
}

PyMethodDef* module_functions() {
    static PyMethodDef* functions =
        table({graph_functions, serialize_functions, native_functions, rx_functions, summation_functions,
               clique_functions, dag_functions, kcutsets_functions, lowest_common_ancestors_functions,
               cycles_functions, mincost_functions, capacityscaling_functions, louvain_functions,
               leiden_functions, pool_functions, numpy_functions, link_prediction_functions,
               assortativity_functions, laplacian_functions, centrality_functions, structuralholes_functions,
               watch_functions});
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
    if (PyModule_Add(module, "WhileUnchanged", create_while_unchanged_type(module)) < 0) return -1;
    if (add_search_result_types(module) < 0) return -1;
    for (PyMethodDef* def = module_functions(); def->ml_name != nullptr; ++def) {
        if (add_function(module, def) < 0) return -1;
    }
    for (const KindName& kind : VALUE_KIND_NAMES) {
        if (PyModule_AddIntConstant(module, kind.name, kind.value) < 0) return -1;
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
