// Every function and method of fennel._core, as registered by module.cpp.
#pragma once

#include "lib/compat.hpp"

namespace fennel::py {

using FastFn = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

// Module functions.
PyObject* build_graph(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

// CoreGraph methods: graph queries.
PyObject* load_exact_pred(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* has_exact_pred(PyObject*, PyObject*);
PyObject* is_native(PyObject*, PyObject*);
PyObject* neighbors(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* predecessors(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* has_edge(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* degrees(PyObject*, PyObject*);
PyObject* edges_in_order(PyObject*, PyObject*);
PyObject* attribute_names(PyObject*, PyObject*);
PyObject* number_of_edges(PyObject*, PyObject*);
PyObject* weight_info(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* weight_mixed(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* weight_facts(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* keys_are_nodes(PyObject*, PyObject*);

// CoreGraph methods: shortest-path lengths and betweenness.
PyObject* bfs_lengths(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* dijkstra_lengths(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* betweenness(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
PyObject* edge_betweenness(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

}  // namespace fennel::py
