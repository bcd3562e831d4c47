#include "graph/edge_value_py.hpp"

#include "lib/args.hpp"
#include "lib/numpy_types_py.hpp"

#include <cmath>

namespace fennel::py {

namespace {

// Integers are exact in a double up to 2^53; compared as integers, since
// converting first would round 2^53 + 1 down to 2^53.
constexpr long long MAX_EXACT_INT = 1LL << 53;

ReadStatus exact_long(PyObject* v, double& out) {
    int overflow = 0;
    const long long x = PyLong_AsLongLongAndOverflow(v, &overflow);
    if (x == -1 && PyErr_Occurred()) return ReadStatus::Raised;
    if (overflow != 0 || x > MAX_EXACT_INT || x < -MAX_EXACT_INT) return ReadStatus::TooLarge;
    out = static_cast<double>(x);
    return ReadStatus::Ok;
}

ReadStatus read_float(double d, EdgeValue& out) {
    if (std::isnan(d)) return ReadStatus::NaN;
    out.value = d;
    out.kind = KIND_FLOAT;
    return ReadStatus::Ok;
}

}  // namespace

bool read_plain_value(PyObject* v, EdgeValue& out, ReadStatus& status) {
    out = EdgeValue{};
    status = ReadStatus::Ok;
    if (v == Py_None) {
        out.value = std::nan("");
        out.builtin = out.fast = true;
        return true;
    }
    // Exact ints first: testing for a float subclass costs a subtype walk.
    if (PyLong_CheckExact(v)) {
        out.kind = KIND_INT;
        out.builtin = out.fast = true;
        // An exact int converts without raising: no error to look for.
        int overflow = 0;
        const long long x = PyLong_AsLongLongAndOverflow(v, &overflow);
        if (overflow != 0 || x > MAX_EXACT_INT || x < -MAX_EXACT_INT) {
            status = ReadStatus::TooLarge;
        } else {
            out.value = static_cast<double>(x);
        }
        return true;
    }
    if (PyFloat_Check(v)) {
        out.arith = PY_FLOAT;
        out.builtin = out.fast = PyFloat_CheckExact(v);
        const NumpyTypes* numpy = numpy_types();
        if (!out.builtin && numpy != nullptr && Py_TYPE(v) == numpy->float64) {
            out.arith = NP_FLOAT;
            out.fast = true;
        }
        status = read_float(PyFloat_AS_DOUBLE(v), out);
        return true;
    }
    if (PyBool_Check(v)) {
        out.kind = KIND_BOOL;
        out.value = v == Py_True ? 1.0 : 0.0;
        out.builtin = out.fast = true;
        return true;
    }
    return false;
}

bool read_fast_value(PyObject* v, EdgeValue& out, ReadStatus& status) {
    if (read_plain_value(v, out, status)) return true;
    const NumpyTypes* numpy = numpy_types();
    if (numpy != nullptr && Py_TYPE(v) == numpy->bool_) {
        out.kind = KIND_BOOL;
        out.arith = NP_INT;
        out.numpy_bool = out.fast = true;
        const int truth = PyObject_IsTrue(v);  // numpy's own C code
        if (truth < 0) status = ReadStatus::Raised;
        out.value = truth > 0 ? 1.0 : 0.0;
        return true;
    }
    if (numpy != nullptr && Py_TYPE(v) == numpy->int64) {
        out.kind = KIND_INT;
        out.arith = NP_INT;
        out.fast = true;
        status = exact_long(v, out.value);
        return true;
    }
    return false;
}

ReadStatus read_other_value(PyObject* v, EdgeValue& out) {
    // Anything else runs its own code: int subclasses and other integer
    // types through the index protocol, numpy's other scalars through float().
    const int has_index = PyLong_Check(v) ? 1 : has_attribute(v, "__index__");
    if (has_index < 0) return ReadStatus::Raised;
    if (has_index == 1) {
        out.kind = KIND_INT;
        switch (exact_integer(v, out.value)) {
            case ExactInt::Ok: return ReadStatus::Ok;
            case ExactInt::TooLarge: return ReadStatus::TooLarge;
            case ExactInt::Raised: return ReadStatus::Raised;
        }
    }
    const int has_dtype = has_attribute(v, "dtype");
    if (has_dtype < 0) return ReadStatus::Raised;
    if (has_dtype == 0) return ReadStatus::Unsupported;
    out.arith = PY_FLOAT;
    const double d = PyFloat_AsDouble(v);
    if (d == -1.0 && PyErr_Occurred()) {
        // A value that does not convert is unsupported; anything else (an
        // interrupt, no memory) propagates.
        if (!PyErr_ExceptionMatches(PyExc_TypeError) && !PyErr_ExceptionMatches(PyExc_ValueError)) {
            return ReadStatus::Raised;
        }
        PyErr_Clear();
        return ReadStatus::Unsupported;
    }
    return read_float(d, out);
}

}  // namespace fennel::py
