// The summation routines, exposed for tests: CPython's float sum() and
// numpy's pairwise float64 reductions.
#include "algorithms/summation.hpp"
#include "lib/entry.hpp"
#include "lib/numpy_types_py.hpp"

namespace fennel::py {

namespace {

PyObject* py_sum(const Reals& values, bool compensated) {
    return PyFloat_FromDouble(fennel::py_sum(values, compensated));
}

// sum() over `values` of the value kinds `kinds`, as the object sum() returns.
PyObject* py_sum_kinds(const Reals& values, const Positions& kinds, bool compensated) {
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
PyObject* numpy_sum(const Reals& values, const std::optional<Positions>& starts) {
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

constexpr auto PY_SUM = function<py_sum>("_py_sum", "CPython's float `sum()` (exposed for tests).",
                                         arg<Reals>("values"), arg<bool>("compensated"));
constexpr auto PY_SUM_KINDS = function<py_sum_kinds>(
    "_py_sum_kinds", "CPython's `sum()` over values of the given value kinds (exposed for\ntests).",
    arg<Reals>("values"), arg<Positions>("kinds"), arg<bool>("compensated"));
constexpr auto NUMPY_SUM = function<numpy_sum>(
    "_numpy_sum", "numpy's float64 `sum()`, or `np.add.reduceat` at `starts` (exposed for tests).",
    arg<Reals>("values"), arg<std::optional<Positions>>("starts", none));

}  // namespace

std::vector<PyMethodDef> summation_functions() { return {row<PY_SUM>(), row<PY_SUM_KINDS>(), row<NUMPY_SUM>()}; }

}  // namespace fennel::py
