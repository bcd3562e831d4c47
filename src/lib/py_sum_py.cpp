// The summation routines, exposed for tests: CPython's float sum() and
// numpy's pairwise float64 reductions.
#include "lib/args.hpp"
#include "lib/entry.hpp"
#include "lib/numpy_types_py.hpp"
#include "algorithms/summation.hpp"
#include "algorithms/summation.hpp"
#include "lib/results.hpp"

namespace fennel::py {

namespace {

PyObject* py_sum(PyObject*, Args& a) {
    std::vector<double> values;
    bool compensated = false;
    if (!a.reals(0, values) || !a.flag(1, compensated)) return nullptr;
    return PyFloat_FromDouble(fennel::py_sum(values, compensated));
}

// sum() over `values` of the value kinds `kinds`, as the object sum() returns.
PyObject* py_sum_kinds(PyObject*, Args& a) {
    std::vector<double> values;
    std::vector<std::uint32_t> kinds;
    bool compensated = false;
    if (!a.reals(0, values) || !a.positions(1, kinds) || !a.flag(2, compensated)) return nullptr;
    if (kinds.size() != values.size()) {
        PyErr_SetString(PyExc_ValueError, "one kind per value");
        return nullptr;
    }
    KindSum sum(compensated);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (kinds[i] > NP_FLOAT) {
            PyErr_SetString(PyExc_ValueError, "unknown value kind");
            return nullptr;
        }
        sum.add(values[i], static_cast<std::uint8_t>(kinds[i]));
    }
    return kind_value(sum.value(), sum.kind());
}

// ndarray.sum(), or np.add.reduceat(values, starts) when `starts` is given
// (increasing positions below len(values)).
PyObject* numpy_sum(PyObject*, Args& a) {
    std::vector<double> values;
    std::optional<std::vector<std::uint32_t>> starts;
    if (!a.reals(0, values) || !a.optional_positions(1, starts)) return nullptr;
    auto term = [&](std::size_t i) { return values[i]; };
    if (!starts) return PyFloat_FromDouble(fennel::numpy_sum(term, values.size()));
    std::vector<double> out;
    for (std::size_t k = 0; k < starts->size(); ++k) {
        const std::size_t lo = (*starts)[k];
        const std::size_t hi = k + 1 < starts->size() ? (*starts)[k + 1] : values.size();
        if (lo >= values.size() || hi <= lo) {
            PyErr_SetString(PyExc_ValueError, "starts must increase and stay below the length");
            return nullptr;
        }
        out.push_back(numpy_segment_sum(term, lo, hi - lo));
    }
    return to_list(out);
}

constexpr auto PY_SUM = function("_py_sum", py_sum, "CPython's float `sum()` (exposed for tests).", "values",
                                 "compensated");
constexpr auto PY_SUM_KINDS = function("_py_sum_kinds", py_sum_kinds,
                                       "CPython's `sum()` over values of the given value kinds (exposed for\ntests).",
                                       "values", "kinds", "compensated");
constexpr auto NUMPY_SUM = function("_numpy_sum", numpy_sum,
                                    "numpy's float64 `sum()`, or `np.add.reduceat` at `starts` (exposed for tests).",
                                    "values", "starts=None");

}  // namespace

std::vector<PyMethodDef> sum_functions() { return {row<PY_SUM>(), row<PY_SUM_KINDS>(), row<NUMPY_SUM>()}; }

}  // namespace fennel::py
