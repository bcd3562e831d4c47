// Module initialisation and registration of fennel._core. Multi-phase
// initialisation; the module declares that it does not need the GIL.
#include "graph/core_graph_py.hpp"
#include "lib/entry_points.hpp"
#include "lib/errors.hpp"

namespace fennel::py {

namespace {

using NoArgsFn = PyObject* (*)(PyObject*, PyObject*);

// Every entry point is registered through one of these two wrappers, which
// keep C++ exceptions from reaching the interpreter.
template <FastFn F>
PyObject* guard_fast(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&] { return F(self, args, nargsf, kwnames); });
}

template <NoArgsFn F>
PyObject* guard_noargs(PyObject* self, PyObject* unused) {
    return guarded([&] { return F(self, unused); });
}

template <FastFn F>
constexpr PyCFunction fast() {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(guard_fast<F>));
}

template <NoArgsFn F>
constexpr PyCFunction noargs() {
    return guard_noargs<F>;
}

constexpr int FAST = METH_FASTCALL | METH_KEYWORDS;

// Each docstring starts with the signature line, "--" and a blank line, which
// CPython exposes as __text_signature__.
PyMethodDef core_graph_methods[] = {
    {"load_exact_pred", fast<load_exact_pred>(), FAST,
     "load_exact_pred($self, nodes, index, pred, weight_attrs, multigraph=False)\n--\n\n"
     "Record the exact predecessor order of `G._pred` for reverse searches."},
    {"has_exact_pred", noargs<has_exact_pred>(), METH_NOARGS,
     "has_exact_pred($self)\n--\n\nWhether reverse searches can follow NetworkX's predecessor order."},
    {"is_native", noargs<is_native>(), METH_NOARGS,
     "is_native($self)\n--\n\nBuilt natively (not converted from a NetworkX graph)."},
    {"neighbors", fast<neighbors>(), FAST,
     "neighbors($self, v)\n--\n\nNeighbors of `v` (successors for directed graphs), in NetworkX order."},
    {"predecessors", fast<predecessors>(), FAST,
     "predecessors($self, v)\n--\n\nPredecessors of `v`, by ascending position."},
    {"has_edge", fast<has_edge>(), FAST, "has_edge($self, u, v)\n--\n\nWhether the edge u -> v exists."},
    {"degrees", noargs<degrees>(), METH_NOARGS,
     "degrees($self)\n--\n\nNetworkX degrees: self-loops count twice; directed = in + out."},
    {"edges_in_order", noargs<edges_in_order>(), METH_NOARGS,
     "edges_in_order($self)\n--\n\n"
     "Edges in `G.edges` order: `(u, v, edge id or None)` positions. For\n"
     "undirected graphs each edge once, from its earlier endpoint."},
    {"attribute_names", noargs<attribute_names>(), METH_NOARGS,
     "attribute_names($self)\n--\n\nNames of the converted edge attributes, sorted."},
    {"number_of_edges", noargs<number_of_edges>(), METH_NOARGS,
     "number_of_edges($self)\n--\n\nNumber of edges, as NetworkX counts them."},
    {"weight_info", fast<weight_info>(), FAST,
     "weight_info($self, attr=None)\n--\n\n"
     "`(all_int, has_hidden)` for an edge attribute (unit weights: `(True, False)`)."},
    {"weight_mixed", fast<weight_mixed>(), FAST,
     "weight_mixed($self, attr=None)\n--\n\nWhether an edge attribute mixes int and float values."},
    {"weight_facts", fast<weight_facts>(), FAST,
     "weight_facts($self, attr)\n--\n\n"
     "`(plain, min_finite, max_finite, has_pos_inf, has_neg_inf)` of every value read for\n"
     "an edge attribute (`plain`: all Python int, float, bool or None; the bounds are\n"
     "None without finite values), or None if it was not converted."},
    {"keys_are_nodes", noargs<keys_are_nodes>(), METH_NOARGS,
     "keys_are_nodes($self)\n--\n\n"
     "Whether every neighbour key of the converted adjacency is its node object (or an\n"
     "int or str equal to it), so results keyed by either read the same."},
    {"bfs_lengths", fast<bfs_lengths>(), FAST,
     "bfs_lengths($self, source, cutoff)\n--\n\n"
     "Breadth-first hop counts from `source`: `(order, levels)` in discovery order."},
    {"dijkstra_lengths", fast<dijkstra_lengths>(), FAST,
     "dijkstra_lengths($self, source, weight=None, cutoff=None)\n--\n\n"
     "Dijkstra distances from `source`: `(order, distances)` in finalization order."},
    {"betweenness", fast<betweenness>(), FAST,
     "betweenness($self, weight=None, endpoints=False, sources=None)\n--\n\n"},
    {"edge_betweenness", fast<edge_betweenness>(), FAST,
     "edge_betweenness($self, weight=None, sources=None)\n--\n\n"
     "Unscaled edge betweenness, one value per edge in `edges_in_order`."},
    {nullptr, nullptr, 0, nullptr},
};

PyMethodDef module_functions[] = {
    {"build_graph", fast<build_graph>(), FAST,
     "build_graph(nodes, index, succ, directed, weight_attrs, multigraph=False)\n--\n\n"
     "Build a `CoreGraph` from NetworkX internals.\n\n"
     "`nodes` is `list(G)`, `index` maps node -> position in `nodes`, `succ` is\n"
     "`G._adj`, and `weight_attrs` is a list of `(attribute name, default)`."},
    {nullptr, nullptr, 0, nullptr},
};

int add_function(PyObject* module, PyMethodDef* def) {
    PyObject* name = PyModule_GetNameObject(module);
    if (name == nullptr) return -1;
    PyObject* fn = PyCFunction_NewEx(def, nullptr, name);
    Py_DECREF(name);
    return PyModule_Add(module, def->ml_name, fn);
}

int exec_module(PyObject* module) {
    if (init_internal_error() < 0) return -1;
    PyObject* core_graph = create_core_graph_type(module, core_graph_methods);
    if (core_graph == nullptr || PyModule_Add(module, "CoreGraph", core_graph) < 0) return -1;
    for (PyMethodDef* def = module_functions; def->ml_name != nullptr; ++def) {
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
