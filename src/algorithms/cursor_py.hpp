// The Python-visible Cursor type (see cursor_py.cpp) and the CoreGraph
// methods that make one.
#pragma once

#include "lib/compat.hpp"

#include <vector>

namespace fennel::py {

// Creates the heap type; called by module exec before any cursor is made.
PyObject* create_cursor_type(PyObject* module);

std::vector<PyMethodDef> cursor_methods();

}  // namespace fennel::py
