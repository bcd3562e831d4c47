// numpy's scalar types that edge values may hold. The backend registers
// numpy.float64, numpy.int64 and numpy.bool_ once numpy is loaded (the
// extension never imports numpy), after checking that numpy promotes them as
// ValueKind says; conversion then recognises them by exact type, in C, and
// results carry them where NetworkX's results do.
#pragma once

#include "graph/core_graph.hpp"
#include "lib/compat.hpp"

namespace fennel::py {

struct NumpyTypes {
    PyTypeObject* float64;
    PyTypeObject* int64;
    PyTypeObject* bool_;
};

// The registered types (held for the life of the process), or nullptr.
const NumpyTypes* numpy_types();

// `x` as an object of kind `kind` (a new reference): an int, a float, or
// numpy's int64 or float64 made by calling the registered type. `x` is exact
// in its kind (ints within 2**53).
PyObject* kind_value(double x, std::uint8_t kind);

}  // namespace fennel::py
