// One reader of Python edge-attribute values, shared by the conversion of
// NetworkX graphs and the native builders. It classifies a value as
// NetworkX's arithmetic sees it; each caller maps the failures to its own
// answer (the conversion refuses, a native builder raises).
#pragma once

#include "graph/value_kind.hpp"
#include "lib/compat.hpp"

namespace fennel::py {

struct EdgeValue {
    double value = 0;            // NaN for None; bools read as 0 or 1
    AttrKind kind = KIND_NONE;   // KIND_NONE, KIND_INT, KIND_FLOAT or KIND_BOOL
    ValueKind arith = PY_INT;    // how NetworkX's sums type it (bools weigh as ints)
    bool numpy_bool = false;     // numpy.bool_, which sums as numpy.int64
    bool builtin = false;        // exactly None, bool, int or float
    bool fast = false;           // a builtin or a registered numpy scalar, read in C (no Python code ran)
};

enum class ReadStatus {
    Ok,
    TooLarge,     // an integer beyond 2^53, which the double columns cannot hold exactly
    NaN,          // NaN, which no column stores
    Unsupported,  // neither a number nor convertible to one (no exception set)
    Raised,       // the value's own code raised (the exception is set)
};

// Reads None, exact ints, bools and floats (a float subclass by its stored
// value): reading them touches nothing but the object's own memory, no
// reference count, allocation or exception, so a thread that does not hold
// the interpreter may read them while the one that does runs no Python code.
// False for any other value.
bool read_plain_value(PyObject* v, EdgeValue& out, ReadStatus& status);
// Reads the fast values in C (the plain ones and numpy's registered
// scalars); false for any other value.
bool read_fast_value(PyObject* v, EdgeValue& out, ReadStatus& status);
// Reads any other value through its own code (`__index__`, `__float__`).
ReadStatus read_other_value(PyObject* v, EdgeValue& out);

// Reads `v`, calling `before_python()` first if the value's own code must
// run (which may do anything: hold a strong reference to `v`).
template <class BeforePython>
ReadStatus read_edge_value(PyObject* v, EdgeValue& out, BeforePython&& before_python) {
    ReadStatus status;
    if (read_fast_value(v, out, status)) return status;
    before_python();
    return read_other_value(v, out);
}

}  // namespace fennel::py
