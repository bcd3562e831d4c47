// Bindings of pagerank, eigenvector and katz.
#include "algorithms/centrality.hpp"
#include "algorithms/link_analysis.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/args.hpp"
#include "lib/entry.hpp"
#include "lib/errors_py.hpp"
#include "lib/pyref.hpp"
#include "lib/results.hpp"

namespace fennel::py {

namespace {

using Scores = std::optional<std::vector<double>>;

// The scores as a list, None when the iteration did not converge.
PyObject* scores_result(Result<Scores>& r) {
    if (!r.ok()) return raise(r.error());
    if (!r.value()) Py_RETURN_NONE;
    return to_list(*r.value());
}

// The scores, or with `kinds` the pair (scores, which nodes' values are
// numpy.float64 in NetworkX's vector, None when no weight is numpy).
PyObject* typed_scores_result(Result<Scores>& r, bool kinds, const NodeKinds& numpy) {
    if (!kinds || !r.ok() || !r.value()) return scores_result(r);
    return tuple_from([&] { return scores_result(r); },
                      [&] { return numpy.empty() ? Py_NewRef(Py_None) : to_list(numpy); });
}

// The weights' kinds when some are numpy (the iteration then follows them).
const Weights* numpy_kinds(const CoreGraph& g, const std::optional<std::string>& weight) {
    const Weights* w = weight ? g.find_weights(*weight) : nullptr;
    return w != nullptr && (w->slot_kinds & ((1u << NP_INT) | (1u << NP_FLOAT))) != 0 ? w : nullptr;
}

PyObject* pagerank(PyObject* self, Args& a) {
    const CoreGraph& g = graph_of(self);
    PageRankInput in;
    std::optional<std::string> weight;
    if (!a.real(0, in.alpha) || !a.optional_reals(1, in.personalization) || !a.count(2, in.max_iter) ||
        !a.real(3, in.tol) || !a.optional_reals(4, in.nstart) || !a.optional_string(5, weight) ||
        !a.optional_reals(6, in.dangling) || !a.flag(7, in.return_previous) || !a.flag(8, in.numpy_dangling)) {
        return nullptr;
    }
    for (const Scores* v : {&in.personalization, &in.nstart, &in.dangling}) {
        if (*v && (*v)->size() != g.n) {
            PyErr_SetString(PyExc_ValueError, "vector length must equal the node count");
            return nullptr;
        }
    }
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    auto in_column = g.weight_slice(weight, true);
    if (!in_column.ok()) return raise(in_column.error());
    Result<Scores> r = Scores{};
    {
        Detached detached;
        r = fennel::pagerank(g, column.value(), in_column.value(), in);
    }
    return scores_result(r);
}

// The arguments eigenvector and katz share: order, then weight (after
// whatever the caller checks in between).
bool order_in_range(const CoreGraph& g, const std::vector<Node>& order) {
    auto checked = g.sources_or_all(order);
    if (!checked.ok()) {
        raise(checked.error());
        return false;
    }
    return true;
}

PyObject* eigenvector(PyObject* self, Args& a) {
    const CoreGraph& g = graph_of(self);
    std::vector<Node> order;
    std::vector<double> x0;
    std::optional<std::string> weight;
    std::uint64_t max_iter = 0;
    double tol = 0.0;
    bool compensated = false;
    bool kinds = false;
    if (!a.positions(0, order) || !a.reals(1, x0) || !a.optional_string(2, weight) || !a.count(3, max_iter) ||
        !a.real(4, tol) || !a.flag(6, compensated) || !a.flag(7, kinds)) {
        return nullptr;
    }
    PyObject* hypot = a[5];
    if (!order_in_range(g, order)) return nullptr;
    if (x0.size() != g.n) {
        PyErr_SetString(PyExc_ValueError, "x0 must have one value per node");
        return nullptr;
    }
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    const Iteration it{g.succ, order, column.value(), compensated, numpy_kinds(g, weight)};
    NodeKinds numpy;
    // The products run detached, so other threads run meanwhile; each
    // iteration reattaches to check for signals (a pending one stops the
    // iteration here as it would NetworkX's), to report progress and to
    // call Python's math.hypot over the iterate in `order`. The arguments
    // are float objects made once and refilled in place at every iteration
    // while this function holds their only reference (the callee kept
    // none); otherwise a fresh float takes the slot.
    std::vector<PyRef> values(order.size());
    std::vector<PyObject*> args(order.size());
    auto norm = [&](const std::vector<double>& x) -> std::optional<double> {
        if (PyErr_CheckSignals() < 0 || !report_progress()) return std::nullopt;
        for (std::size_t i = 0; i < order.size(); ++i) {
            const double v = x[order[i]];
            if (values[i] && Py_REFCNT(values[i].get()) == 1) {
                reinterpret_cast<PyFloatObject*>(values[i].get())->ob_fval = v;
            } else {
                values[i] = PyRef::steal(PyFloat_FromDouble(v));
                if (!values[i]) return std::nullopt;
            }
            args[i] = values[i].get();
        }
        PyRef length = PyRef::steal(PyObject_Vectorcall(hypot, args.data(), args.size(), nullptr));
        if (!length) return std::nullopt;
        const double value = PyFloat_AsDouble(length.get());
        if (value == -1.0 && PyErr_Occurred()) return std::nullopt;
        return value;
    };
    Result<Scores> r = Error{ErrorKind::Internal, {}};
    {
        Detached detached;
        r = fennel::eigenvector(it, std::move(x0), max_iter, tol, [&](const std::vector<double>& x) {
            return detached.attached([&] { return norm(x); });
        }, numpy);
    }
    return typed_scores_result(r, kinds, numpy);
}

PyObject* katz(PyObject* self, Args& a) {
    const CoreGraph& g = graph_of(self);
    std::vector<Node> order;
    double alpha = 0.0, beta = 0.0, tol = 0.0;
    std::optional<std::string> weight;
    std::uint64_t max_iter = 0;
    bool compensated = false;
    Scores x0;
    bool kinds = false;
    if (!a.positions(0, order) || !a.real(1, alpha) || !a.real(2, beta) || !a.optional_string(3, weight) ||
        !a.count(4, max_iter) || !a.real(5, tol) || !a.flag(6, compensated) || !a.optional_reals(7, x0) ||
        !a.flag(8, kinds)) {
        return nullptr;
    }
    if (!order_in_range(g, order)) return nullptr;
    if (x0 && x0->size() != g.n) {
        PyErr_SetString(PyExc_ValueError, "x0 must have one value per node");
        return nullptr;
    }
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    const Iteration it{g.succ, order, column.value(), compensated, numpy_kinds(g, weight)};
    NodeKinds numpy;
    Result<Scores> r = Scores{};
    {
        Detached detached;
        r = fennel::katz(it, std::move(x0), alpha, beta, max_iter, tol, numpy);
    }
    return typed_scores_result(r, kinds, numpy);
}

constexpr auto PAGERANK = method("pagerank", pagerank,
                                 "PageRank scores in node order, or `None` if it didn't converge.", "alpha",
                                 "personalization", "max_iter", "tol", "nstart", "weight", "dangling",
                                 "return_previous=False", "*numpy_dangling=False");
constexpr auto EIGENVECTOR = method(
    "eigenvector", eigenvector,
    "`eigenvector_centrality` from the normalized start vector `x0` (by\nnode position), iterating nodes in "
    "`order`; `hypot` is Python's\n`math.hypot`. `None` if it doesn't converge. With `kinds`, the scores\n"
    "and which nodes' values NetworkX holds as numpy.float64 (None: no\nnumpy weights).",
    "order", "x0", "weight", "max_iter", "tol", "hypot", "compensated_sum", "*kinds=False");
constexpr auto KATZ = method("katz", katz,
                             "`katz_centrality` before normalization, with scalar `beta` and a\nzero start vector. "
                             "`None` if it doesn't converge. `kinds` as for `eigenvector`.",
                             "order", "alpha", "beta", "weight", "max_iter", "tol", "compensated_sum", "*x0=None",
                             "*kinds=False");

}  // namespace

std::vector<PyMethodDef> link_analysis_methods() { return {row<PAGERANK>(), row<EIGENVECTOR>(), row<KATZ>()}; }

}  // namespace fennel::py
