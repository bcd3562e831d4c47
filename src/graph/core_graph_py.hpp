// The Python-visible CoreGraph object: an immutable wrapper owning one
// native CoreGraph.
#pragma once

#include "graph/core_graph.hpp"
#include "lib/compat.hpp"
#include "lib/entry.hpp"

#include <memory>

namespace fennel::py {

struct PyCoreGraph {
    PyObject_HEAD
    CoreGraph* graph;
};

// Creates the heap type from the method table; called by module exec.
PyObject* create_core_graph_type(PyObject* module, PyMethodDef* methods);

// Wraps a finished graph in a new Python object (nullptr on failure).
PyObject* wrap_graph(std::unique_ptr<CoreGraph> graph);

inline const CoreGraph& graph_of(PyObject* self) {
    return *reinterpret_cast<PyCoreGraph*>(self)->graph;
}

// A CoreGraph method's body may take the native graph as its `self`.
template <>
struct SelfArg<const CoreGraph&> {
    static const CoreGraph& from(PyObject* self) { return graph_of(self); }
};

}  // namespace fennel::py
