// Bindings of the centrality kernels: betweenness, edge_betweenness,
// closeness, harmonic, eigenvector and katz. Arguments are checked in the
// order each binding lists them, before the interpreter is released.
#include "algorithms/centrality.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

#include <cstring>

namespace fennel::py {

namespace {

// Whether a per-node argument has one value per node (else ValueError).
bool one_per_node(const CoreGraph& g, std::size_t size, const char* name) {
    if (size == g.n) return true;
    PyErr_Format(PyExc_ValueError, "%s must have one value per node", name);
    return false;
}

// Weight column then sources, in that order of precedence; then the
// computation, detached.
template <class Compute>
PyObject* run_betweenness(const CoreGraph& g, const AttrName& weight, const std::optional<Positions>& sources,
                          Compute&& compute) {
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    return detached([&] { return compute(g.view(column.value()), list.value()); });
}

PyObject* betweenness(const CoreGraph& g, const AttrName& weight, bool endpoints,
                      const std::optional<Positions>& sources) {
    return run_betweenness(g, weight, sources, [&](const GraphView& view, const std::vector<Node>& s) {
        return fennel::betweenness(view, endpoints, s);
    });
}

PyObject* edge_betweenness(const CoreGraph& g, const AttrName& weight, const std::optional<Positions>& sources) {
    return run_betweenness(g, weight, sources, [&](const GraphView& view, const std::vector<Node>& s) {
        return fennel::edge_betweenness(view, s);
    });
}

// Bytes holding a vector's values as they lie in memory.
template <class T>
PyObject* raw_bytes(const std::vector<T>& v) {
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(v.data()),
                                     static_cast<Py_ssize_t>(v.size() * sizeof(T)));
}

// (rows, extra, hit) as bytes: float64 rows, the extras as packed
// (uint32 row, uint32 entry, float64 value), one byte per entry of `hit`.
PyObject* rows_to_python(const SourceRows& r) {
    static_assert(sizeof(RowExtra) == 16);
    return tuple_from([&] { return raw_bytes(r.rows); }, [&] { return raw_bytes(r.extra); },
                      [&] { return raw_bytes(r.hit); });
}

PyObject* betweenness_rows(const CoreGraph& g, const AttrName& weight, bool endpoints, const Positions& sources,
                           bool edges) {
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    const GraphView view = g.view(column.value());
    return detached(
        [&] {
            return edges ? fennel::edge_betweenness_rows(view, list.value())
                         : fennel::betweenness_rows(view, endpoints, list.value());
        },
        rows_to_python);
}

// Sources, then the nbunch flags, then the weight column, in that order of
// precedence; then the computation, detached.
template <class Compute, class Convert>
PyObject* run_harmonic(const CoreGraph& g, const Positions& sources, const Flags& in_nbunch, const AttrName& weight,
                       Compute&& compute, Convert&& convert) {
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    if (!one_per_node(g, in_nbunch.size(), "in_nbunch")) return nullptr;
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    const GraphView view = g.view(column.value());
    return detached([&] { return compute(view, list.value()); }, convert);
}

PyObject* harmonic_rows(const CoreGraph& g, const Positions& sources, const Flags& in_nbunch,
                        const AttrName& weight) {
    return run_harmonic(
        g, sources, in_nbunch, weight,
        [&](const GraphView& view, const std::vector<Node>& s) { return fennel::harmonic_rows(view, s, in_nbunch); },
        rows_to_python);
}

// A C-contiguous buffer of the object, released with the guard.
struct BufferGuard {
    Py_buffer view{};
    bool held = false;
    bool get(PyObject* obj, int flags) { return held = PyObject_GetBuffer(obj, &view, flags | PyBUF_C_CONTIGUOUS) == 0; }
    ~BufferGuard() {
        if (held) PyBuffer_Release(&view);
    }
};

// NetworkX's {n: d * s for n, d in G.degree()} (or in_degree, out_degree)
// over `nodes`, G's node objects in order, s = 1 / (n - 1): an int degree
// times a float is the degree as a double times s, as Python multiplies.
PyObject* degree_centrality(const CoreGraph& g, const TupleRef& nodes, std::uint64_t kind) {
    if (static_cast<Count>(PyTuple_GET_SIZE(nodes.obj)) != g.n || g.n < 2) {
        return raise(value_error("nodes must hold one object per node, and at least two"));
    }
    if (kind > 2 || (kind > 0 && !g.directed)) return raise(value_error("kind: 0 degree, 1 in-degree, 2 out-degree (directed)"));
    const std::vector<Count> total = kind == 0 ? g.degrees() : std::vector<Count>{};
    const double scale = 1.0 / (static_cast<double>(g.n) - 1.0);
    return dict_from(nodes.obj, [&](std::size_t i) {
        const auto v = static_cast<Node>(i);
        const Count d = kind == 0 ? total[v] : kind == 1 ? g.in_rows().row(v).size() : g.succ.row(v).size();
        return PyFloat_FromDouble(static_cast<double>(d) * scale);
    });
}

// py_hypot over `values`, None where it leaves them to math.hypot.
PyObject* hypot_of(const Reals& values) {
    const auto length = py_hypot(values.size(), [&](std::size_t i) { return values[i]; });
    return length ? PyFloat_FromDouble(*length) : Py_NewRef(Py_None);
}

PyObject* add_rows(PyObject* totals, PyObject* rows, PyObject* extra) {
    BufferGuard t, r, x;
    if (!t.get(totals, PyBUF_WRITABLE) || !r.get(rows, PyBUF_SIMPLE) || !x.get(extra, PyBUF_SIMPLE)) return nullptr;
    const auto entries = static_cast<std::size_t>(t.view.len) / sizeof(double);
    const auto row_bytes = entries * sizeof(double);
    if (t.view.len % sizeof(double) != 0 || x.view.len % sizeof(RowExtra) != 0 ||
        (row_bytes == 0 ? r.view.len != 0 : r.view.len % row_bytes != 0)) {
        return raise(value_error("totals, rows and extra must hold whole float64 rows and 16-byte extras"));
    }
    const std::size_t count = row_bytes == 0 ? 0 : static_cast<std::size_t>(r.view.len) / row_bytes;
    std::vector<RowExtra> extras(static_cast<std::size_t>(x.view.len) / sizeof(RowExtra));
    if (!extras.empty()) std::memcpy(extras.data(), x.view.buf, static_cast<std::size_t>(x.view.len));
    for (std::size_t k = 0; k < extras.size(); ++k) {
        if (extras[k].source >= count || extras[k].entry >= entries || (k > 0 && extras[k].source < extras[k - 1].source)) {
            return raise(value_error("extra names a row or an entry out of range, or is out of order"));
        }
    }
    std::span<double> sums(static_cast<double*>(t.view.buf), entries);
    const auto* data = static_cast<const double*>(r.view.buf);
    return detached(
        [&]() -> Result<bool> {
            fennel::add_rows(sums, data, count, extras);
            return true;
        },
        [](bool) { return Py_NewRef(Py_None); });
}

PyObject* cut_central_edges(const CoreGraph& g, const AttrName& weight, const Positions& gone, double scale,
                            std::uint64_t target) {
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    const std::vector<Slot> edges(gone.begin(), gone.end());
    return detached([&] { return fennel::cut_central_edges(g.view(column.value()), edges, scale, target); },
                    [](const EdgeCuts& cuts) -> PyObject* {
                        PyObject* removed = to_python(cuts.removed);
                        if (removed == nullptr) return nullptr;
                        PyObject* parts = to_python(cuts.parts);
                        if (parts == nullptr) {
                            Py_DECREF(removed);
                            return nullptr;
                        }
                        return Py_BuildValue("(NN)", removed, parts);
                    });
}

PyObject* closeness(const CoreGraph& g, const AttrName& distance, bool wf_improved,
                    const std::optional<Positions>& sources, bool compensated_sum) {
    ClosenessOptions options{wf_improved, false, compensated_sum};
    // Towards each node: NetworkX searches its reversed copy of a directed
    // graph, whose rows list in-neighbours by ascending position.
    auto column = g.weight_slice(distance, g.directed);
    if (!column.ok()) return raise(column.error());
    if (distance) options.int_weights = g.all_int(*distance);
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    const GraphView view{.out = &g.in_rows(), .in = &g.succ, .weights = column.value(), .directed = g.directed};
    return detached([&] { return fennel::closeness(view, list.value(), options); });
}

PyObject* harmonic(const CoreGraph& g, const Positions& sources, const Flags& in_nbunch, const AttrName& weight) {
    return run_harmonic(
        g, sources, in_nbunch, weight,
        [&](const GraphView& view, const std::vector<Node>& s) { return fennel::harmonic(view, s, in_nbunch); },
        [](const HarmonicSums& h) {
            return tuple_from([&] { return to_list(h.sums); }, [&] {
                return list_from(h.hit.size(), [&](std::size_t i) { return to_python(h.hit[i] != 0); });
            });
        });
}

using Scores = std::optional<std::vector<double>>;

// The scores (None when the iteration did not converge), or with `kinds`
// the pair (scores, which nodes' values are numpy.float64 in NetworkX's
// vector, None when no weight is numpy).
PyObject* typed_scores(const Scores& scores, bool kinds, const NodeKinds& numpy) {
    if (!kinds || !scores) return to_python(scores);
    return tuple_from([&] { return to_list(*scores); },
                      [&] { return numpy.empty() ? Py_NewRef(Py_None) : to_list(numpy); });
}

// The weights' kinds when some are numpy (the iteration then follows them).
const Weights* numpy_kinds(const CoreGraph& g, const AttrName& weight) {
    const Weights* w = weight ? g.find_weights(*weight) : nullptr;
    return w != nullptr && (w->slot_kinds & ((1u << NP_INT) | (1u << NP_FLOAT))) != 0 ? w : nullptr;
}

PyObject* eigenvector(const CoreGraph& g, const std::optional<Positions>& order, Reals x0, const AttrName& weight,
                      std::uint64_t max_iter, double tol, PyObject* hypot, bool compensated_sum, bool kinds,
                      bool own_hypot, const std::optional<TupleRef>& objects) {
    auto checked = g.sources_or_all(order);
    if (!checked.ok()) return raise(checked.error());
    const std::vector<Node>& nodes = checked.value();
    if (!one_per_node(g, x0.size(), "x0")) return nullptr;
    if (objects && (order || static_cast<Count>(PyTuple_GET_SIZE(objects->obj)) != g.n)) {
        return raise(value_error("objects must hold one key per node, with no order"));
    }
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    Iteration it{g.succ, nodes, column.value(), compensated_sum, numpy_kinds(g, weight)};
    NodeKinds numpy;
    // The products run detached, so other threads run meanwhile; each
    // iteration reattaches to check for signals (a pending one stops the
    // iteration here as it would NetworkX's), to report progress and to
    // take the iterate's length in `order`: the core's own math.hypot with
    // `own_hypot` (where the caller found it equal to the interpreter's),
    // Python's otherwise or outside the core's range. The float objects
    // passed to Python's are the previous call's, rewritten, where only this
    // call still holds them; one the callee kept is replaced by a new one.
    std::vector<PyRef> values(nodes.size());
    std::vector<PyObject*> args(nodes.size());
    auto norm = [&](const std::vector<double>& x) -> std::optional<double> {
        if (PyErr_CheckSignals() < 0 || !report_progress()) return std::nullopt;
        if (own_hypot) {
            if (auto length = py_hypot(nodes.size(), [&](std::size_t i) { return x[nodes[i]]; })) return length;
        }
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            const double v = x[nodes[i]];
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
    return detached(
        [&](Detached& d) -> Result<Scores> {
            it.prepare();
            return fennel::eigenvector(it, std::move(x0), max_iter, tol, [&](const std::vector<double>& x) {
                return d.attached([&] { return norm(x); });
            }, numpy);
        },
        [&](const Scores& scores) {
            if (objects && scores && numpy.empty()) {
                return dict_from(objects->obj, [&](std::size_t i) { return PyFloat_FromDouble((*scores)[i]); });
            }
            return typed_scores(scores, kinds, numpy);
        });
}

PyObject* katz(const CoreGraph& g, const std::optional<Positions>& order, double alpha, double beta,
               const AttrName& weight, std::uint64_t max_iter, double tol, bool compensated_sum,
               std::optional<Reals> x0, bool kinds) {
    auto checked = g.sources_or_all(order);
    if (!checked.ok()) return raise(checked.error());
    const std::vector<Node>& nodes = checked.value();
    if (x0 && !one_per_node(g, x0->size(), "x0")) return nullptr;
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    Iteration it{g.succ, nodes, column.value(), compensated_sum, numpy_kinds(g, weight)};
    NodeKinds numpy;
    return detached([&]() -> Result<Scores> {
        it.prepare();
        return fennel::katz(it, std::move(x0), alpha, beta, max_iter, tol, numpy);
    }, [&](const Scores& scores) { return typed_scores(scores, kinds, numpy); });
}

constexpr auto BETWEENNESS =
    method<betweenness>("betweenness", "Unscaled betweenness sums, one value per node position.",
                        arg<AttrName>("weight", none), arg<bool>("endpoints", false),
                        arg<std::optional<Positions>>("sources", none));
constexpr auto EDGE_BETWEENNESS =
    method<edge_betweenness>("edge_betweenness", "Unscaled edge betweenness, one value per edge in `edges_in_order`.",
                             arg<AttrName>("weight", none), arg<std::optional<Positions>>("sources", none));
constexpr auto BETWEENNESS_ROWS = method<betweenness_rows>(
    "betweenness_rows",
    "Each source's betweenness terms on a row of its own (see\n`centrality::betweenness_rows`), over node positions or, with `edges`,\n"
    "over `edges_in_order`: (rows, extra, hit) as bytes.",
    arg<AttrName>("weight"), arg<bool>("endpoints"), arg<Positions>("sources"), kwarg<bool>("edges", false));
constexpr auto HARMONIC_ROWS = method<harmonic_rows>(
    "harmonic_rows", "Each source's harmonic terms on a row of its own: (rows, extra, hit) as bytes.",
    arg<Positions>("sources"), arg<Flags>("in_nbunch"), arg<AttrName>("weight", none));
constexpr auto DEGREE_CENTRALITY = method<degree_centrality>(
    "degree_centrality",
    "{nodes[v]: degree(v) / (n - 1)} as NetworkX computes it; `kind` 0 degree,\n1 in-degree, 2 out-degree.",
    arg<TupleRef>("nodes"), arg<std::uint64_t>("kind"));
constexpr auto HYPOT = function<hypot_of>(
    "_hypot", "The core's math.hypot(*values), or None where it leaves them to math.hypot.",
    arg<Reals>("values"));
constexpr auto ADD_ROWS = function<add_rows>(
    "_add_rows",
    "Adds float64 `rows` into the writable float64 buffer `totals` row after row,\neach row followed by its "
    "`extra` terms (as `betweenness_rows` packs them).",
    arg<PyObject*>("totals"), arg<PyObject*>("rows"), arg<PyObject*>("extra"));
constexpr auto CUT_CENTRAL_EDGES = method<cut_central_edges>(
    "cut_central_edges",
    "NetworkX's divisive loop on an undirected graph: from the graph without the\nedges `gone` (indices in "
    "`edges_in_order`), cut the first edge of highest\nedge betweenness (raw sum times `scale`) until there are "
    "`target`\ncomponents or no edges. The edges cut, and the components after the\nlast cut as position lists "
    "in NetworkX's order.",
    arg<AttrName>("weight"), arg<Positions>("gone"), arg<double>("scale"), arg<std::uint64_t>("target"));
constexpr auto CLOSENESS = method<closeness>("closeness", "", arg<AttrName>("distance", none),
                                             arg<bool>("wf_improved", true), arg<std::optional<Positions>>("sources", none),
                                             kwarg<bool>("compensated_sum", false));
constexpr auto HARMONIC =
    method<harmonic>("harmonic", "Harmonic centrality sums (see `centrality::harmonic`).", arg<Positions>("sources"),
                     arg<Flags>("in_nbunch"), arg<AttrName>("weight", none));
constexpr auto EIGENVECTOR = method<eigenvector>(
    "eigenvector",
    "`eigenvector_centrality` from the normalized start vector `x0` (by\nnode position), iterating nodes in "
    "`order` (None: position order); `hypot`\nis Python's `math.hypot`. `None` if it doesn't converge. With "
    "`kinds`,\nthe scores and which nodes' values NetworkX holds as numpy.float64\n(None: no numpy weights). With "
    "`own_hypot`, lengths are the core's\n`_hypot` where it gives one. With `objects` (every node, `order` None)\nand "
    "no numpy weights, the dict of the scores keyed by them.",
    arg<std::optional<Positions>>("order"), arg<Reals>("x0"), arg<AttrName>("weight"),
    arg<std::uint64_t>("max_iter"), arg<double>("tol"), arg<PyObject*>("hypot"), arg<bool>("compensated_sum"),
    kwarg<bool>("kinds", false), kwarg<bool>("own_hypot", false), kwarg<std::optional<TupleRef>>("objects", none));
constexpr auto KATZ = method<katz>(
    "katz",
    "`katz_centrality` before normalization, with scalar `beta` and a\nzero start vector. `None` if it doesn't "
    "converge. `order` and `kinds` as for `eigenvector`.",
    arg<std::optional<Positions>>("order"), arg<double>("alpha"), arg<double>("beta"), arg<AttrName>("weight"),
    arg<std::uint64_t>("max_iter"), arg<double>("tol"), arg<bool>("compensated_sum"),
    kwarg<std::optional<Reals>>("x0", none), kwarg<bool>("kinds", false));

}  // namespace

std::vector<PyMethodDef> centrality_methods() {
    return {row<BETWEENNESS>(), row<EDGE_BETWEENNESS>(), row<CUT_CENTRAL_EDGES>(), row<CLOSENESS>(),
            row<HARMONIC>(),    row<EIGENVECTOR>(),      row<KATZ>(),
            row<BETWEENNESS_ROWS>(), row<HARMONIC_ROWS>(), row<DEGREE_CENTRALITY>()};
}

std::vector<PyMethodDef> centrality_functions() { return {row<ADD_ROWS>(), row<HYPOT>()}; }

}  // namespace fennel::py
