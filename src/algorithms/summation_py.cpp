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

// sum()'s float path resumed from its running pair over float64 `terms`
// (a buffer): the new pair.
PyObject* py_sum_resume(double partial, double compensation, bool compensated, PyObject* terms) {
    Py_buffer view{};
    if (PyObject_GetBuffer(terms, &view, PyBUF_C_CONTIGUOUS) < 0) return nullptr;
    PySum sum(compensated, partial, compensation);
    const bool whole = view.len % static_cast<Py_ssize_t>(sizeof(double)) == 0;
    if (whole) {
        const auto* x = static_cast<const double*>(view.buf);
        const auto count = static_cast<std::size_t>(view.len) / sizeof(double);
        for (std::size_t i = 0; i < count; ++i) sum.add(x[i]);
    }
    PyBuffer_Release(&view);
    if (!whole) {
        PyErr_SetString(PyExc_ValueError, "terms must hold whole float64 values");
        return nullptr;
    }
    return Py_BuildValue("(dd)", sum.partial(), sum.compensation());
}

constexpr auto PY_SUM = function<py_sum>("_py_sum", "CPython's float `sum()` (exposed for tests).",
                                         arg<Reals>("values"), arg<bool>("compensated"));
constexpr auto PY_SUM_KINDS = function<py_sum_kinds>(
    "_py_sum_kinds", "CPython's `sum()` over values of the given value kinds (exposed for\ntests).",
    arg<Reals>("values"), arg<Positions>("kinds"), arg<bool>("compensated"));
constexpr auto PY_SUM_RESUME = function<py_sum_resume>(
    "_py_sum_resume",
    "CPython's float `sum()` resumed from its running pair `(partial,\ncompensation)` over the float64 buffer "
    "`terms`: the new pair (the total\nis partial + compensation when that is non-zero and finite).",
    arg<double>("partial"), arg<double>("compensation"), arg<bool>("compensated"), arg<PyObject*>("terms"));
constexpr auto NUMPY_SUM = function<numpy_sum>(
    "_numpy_sum", "numpy's float64 `sum()`, or `np.add.reduceat` at `starts` (exposed for tests).",
    arg<Reals>("values"), arg<std::optional<Positions>>("starts", none));

}  // namespace

std::vector<PyMethodDef> summation_functions() { return {row<PY_SUM>(), row<PY_SUM_KINDS>(), row<PY_SUM_RESUME>(), row<NUMPY_SUM>()}; }

}  // namespace fennel::py
