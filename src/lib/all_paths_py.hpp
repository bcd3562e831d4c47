// The Python-visible AllPaths object: the lazy enumerator that
// CoreGraph.all_shortest_paths returns. It owns its native path state and no
// Python reference; next_path takes an exclusive borrow of it.
#pragma once

#include "algorithms/shortest_paths.hpp"
#include "lib/compat.hpp"

#include <memory>

namespace fennel::py {

// Creates the heap type; called by module exec.
PyObject* create_all_paths_type(PyObject* module);

// Wraps a path state in a new Python object (nullptr on failure).
PyObject* wrap_all_paths(std::unique_ptr<AllPaths> paths);

}  // namespace fennel::py
