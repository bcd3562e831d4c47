// Binding of the triangle counts behind triangles, clustering and
// transitivity.
#include "algorithms/cluster.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

#include <cstring>

namespace fennel::py {

namespace {

PyObject* triangle_counts(const CoreGraph& g, const std::optional<Positions>& nodes, bool successors_only, bool totals) {
    auto list = g.sources_or_all(nodes);
    if (!list.ok()) return raise(list.error());
    const Csr* in = g.directed && !successors_only ? &g.in_rows() : nullptr;
    return detached([&] { return fennel::triangle_counts(g.succ, in, list.value(), !g.directed); },
                    [&](const std::vector<TriangleCount>& counts) -> PyObject* {
                        if (totals) {
                            // Transitivity's two sums, exact: sum of t and sum of d * (d - 1).
                            __int128 t = 0;
                            __int128 pairs = 0;
                            for (const TriangleCount& c : counts) {
                                t += c.t;
                                pairs += static_cast<__int128>(c.d) * (static_cast<__int128>(c.d) - 1);
                            }
                            return tuple_from([&] { return to_python(t); }, [&] { return to_python(pairs); });
                        }
                        return list_from(counts.size(), [&](std::size_t i) {
                            return tuple_from([&] { return to_python(counts[i].t); },
                                              [&] { return to_python(counts[i].d); },
                                              [&] { return to_python(counts[i].db); });
                        });
                    });
}

// NetworkX's triangles for every node of an undirected graph: {nodes[i]:
// triangles at i}, in G's order.
PyObject* triangles(const CoreGraph& g, const TupleRef& nodes) {
    if (g.directed) return raise(value_error("triangles counts undirected graphs"));
    if (static_cast<Count>(PyTuple_GET_SIZE(nodes.obj)) != g.n) {
        return raise(value_error("nodes must hold one object per node"));
    }
    std::vector<Node> all(g.n);
    for (Count v = 0; v < g.n; ++v) all[v] = static_cast<Node>(v);
    return detached([&] { return fennel::triangle_counts(g.succ, nullptr, all, true); },
                    [&](const std::vector<TriangleCount>& counts) {
                        return dict_from(nodes.obj, [&](std::size_t i) { return to_python(counts[i].t / 2); });
                    });
}

constexpr auto TRIANGLES_BY_NODE = method<triangles>(
    "triangles", "{nodes[i]: triangles at node i} for every node of an undirected graph\n(`nodes`: one object per "
    "node).",
    arg<TupleRef>("nodes"));

constexpr auto TRIANGLES = method<triangle_counts>(
    "triangle_counts",
    "`(t, d, db)` triangle counts per node (see `cluster::triangle_counts`),\nfor `nodes` or every node. "
    "`successors_only` counts a directed graph\nwith the undirected formula over its successors. With `totals`, "
    "only the sums of\n`t` and of `d * (d - 1)` over the nodes.",
    arg<std::optional<Positions>>("nodes", none), arg<bool>("successors_only", false), kwarg<bool>("totals", false));

PyObject* square_counts(const CoreGraph& g, const std::optional<Positions>& nodes) {
    auto list = g.sources_or_all(nodes);
    if (!list.ok()) return raise(list.error());
    return detached([&] { return fennel::square_counts(g.succ, list.value(), !g.directed); },
                    [&](const std::vector<SquareCount>& counts) -> PyObject* {
                        return list_from(counts.size(), [&](std::size_t i) -> PyObject* {
                            if (counts[i].short_row) Py_RETURN_NONE;
                            return tuple_from([&] { return PyLong_FromLongLong(counts[i].squares); },
                                              [&] { return PyLong_FromLongLong(counts[i].potential); });
                        });
                    });
}

// Each node's Counter, made as dict.__new__ makes an instance of `counter`
// (Counter's __init__ only fills it) and filled key by key.
PyObject* generalized_degrees(const CoreGraph& g, const BytesRef& hashes, PyObject* counter,
                              const std::optional<Positions>& nodes) {
    if (!PyType_Check(counter) || !PyType_IsSubtype(reinterpret_cast<PyTypeObject*>(counter), &PyDict_Type)) {
        return raise(value_error("counter must be a dict subclass"));
    }
    std::vector<std::int64_t> hash;
    if (!read_int64s(hashes, g.n, hash)) return nullptr;
    auto list = g.sources_or_all(nodes);
    if (!list.ok()) return raise(list.error());
    auto* type = reinterpret_cast<PyTypeObject*>(counter);
    return detached([&] { return fennel::generalized_degrees(g.succ, list.value(), hash); },
                    [&](const DegreeCounts& d) -> PyObject* {
                        PyObject* no_args = PyTuple_New(0);
                        if (no_args == nullptr) return nullptr;
                        PyObject* out = list_from(d.bounds.size() - 1, [&](std::size_t i) -> PyObject* {
                            PyObject* c = type->tp_new(type, no_args, nullptr);
                            if (c == nullptr) return nullptr;
                            for (std::size_t at = d.bounds[i]; at < d.bounds[i + 1]; ++at) {
                                PyObject* key = to_python(d.keys[at]);
                                PyObject* value = key ? to_python(d.counts[at]) : nullptr;
                                const int failed = value ? PyDict_SetItem(c, key, value) : -1;
                                Py_XDECREF(key);
                                Py_XDECREF(value);
                                if (failed) {
                                    Py_DECREF(c);
                                    return nullptr;
                                }
                            }
                            return c;
                        });
                        Py_DECREF(no_args);
                        return out;
                    });
}

PyObject* weighted_terms(const CoreGraph& g, const AttrName& weight, const BytesRef& hashes,
                         const std::optional<Positions>& nodes) {
    std::vector<std::int64_t> hash;
    if (!read_int64s(hashes, g.n, hash)) return nullptr;
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    if (column.value() == nullptr) return raise(value_error("weighted clustering needs a weight column"));
    auto list = g.sources_or_all(nodes);
    if (!list.ok()) return raise(list.error());
    const std::vector<double>& weights = *column.value();
    // A directed graph's predecessors in G._pred's own order (loaded by the caller).
    auto back = g.directed ? g.search_view(weight, true) : Result<GraphView>(GraphView{});
    if (!back.ok()) return raise(back.error());
    return detached(
        [&] {
            if (!g.directed) return weighted_triangle_terms(g.succ, weights, list.value(), hash);
            return directed_weighted_triangle_terms(g.succ, weights, *back.value().out, *back.value().weights,
                                                    list.value(), hash);
        },
        [&](const WeightedTerms& t) -> PyObject* {
            return tuple_from(
                [&] {
                    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(t.products.data()),
                                                     static_cast<Py_ssize_t>(t.products.size() * sizeof(double)));
                },
                [&] {
                    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(t.group_sizes.data()),
                                                     static_cast<Py_ssize_t>(t.group_sizes.size() * 8));
                },
                [&] { return to_python(t.degree); }, [&] { return to_python(t.bidirectional); });
        });
}

PyObject* weighted_totals(const CoreGraph& g, const BytesRef& roots, const BytesRef& group_sizes,
                          const Positions& degree) {
    const auto bytes = [](const BytesRef& b) { return static_cast<std::size_t>(PyBytes_GET_SIZE(b.obj)); };
    if (bytes(roots) % 8 != 0 || bytes(group_sizes) % 8 != 0) return raise(value_error("8-byte values expected"));
    std::vector<double> root(bytes(roots) / 8);
    std::vector<std::uint64_t> size(bytes(group_sizes) / 8);
    // (an empty vector's data() may be null, which memcpy may not take)
    if (!root.empty()) std::memcpy(root.data(), PyBytes_AS_STRING(roots.obj), root.size() * 8);
    if (!size.empty()) std::memcpy(size.data(), PyBytes_AS_STRING(group_sizes.obj), size.size() * 8);
    std::vector<Count> degree_of(degree.begin(), degree.end());
    const Count per_degree = g.directed ? 4 : 1;
    std::uint64_t groups = 0;
    std::uint64_t terms = 0;
    for (Count d : degree_of) groups += d * per_degree;
    for (std::uint64_t s : size) terms += s;
    if (groups != size.size() || terms != root.size()) return raise(value_error("groups do not match the terms"));
    return to_python(weighted_triangle_totals(root, size, degree_of, per_degree, !g.directed));
}

constexpr auto WEIGHTED_TERMS = method<weighted_terms>(
    "weighted_triangle_terms",
    "(products, group sizes, degrees, reciprocal degrees): weighted clustering's\nnp.cbrt arguments in NetworkX's "
    "order (float64 and uint64 bytes); `hashes`:\nhash() of each node as int64 bytes. A directed graph's exact "
    "predecessor\norder must be loaded.",
    arg<AttrName>("weight"), arg<BytesRef>("hashes"),
    arg<std::optional<Positions>>("nodes", none));
constexpr auto WEIGHTED_TOTALS = method<weighted_totals>(
    "weighted_triangle_totals",
    "Each node's total (undirected: 2 * float(total)) from the cube roots of\nweighted_triangle_terms' products "
    "(float64 bytes).",
    arg<BytesRef>("roots"), arg<BytesRef>("group_sizes"), arg<Positions>("degree"));
constexpr auto SQUARES = method<square_counts>(
    "square_counts",
    "square_clustering's (squares, potential) for `nodes` or every node; None for\na node of fewer than two "
    "neighbours.",
    arg<std::optional<Positions>>("nodes", none));
constexpr auto GENERALIZED = method<generalized_degrees>(
    "generalized_degrees",
    "generalized_degree's Counter of each node (instances of `counter`), keys in\nNetworkX's order; `hashes`: "
    "hash() of each node as int64 bytes.",
    arg<BytesRef>("hashes"), arg<PyObject*>("counter"), arg<std::optional<Positions>>("nodes", none));

}  // namespace

std::vector<PyMethodDef> cluster_methods() { return {row<TRIANGLES>(), row<TRIANGLES_BY_NODE>(), row<SQUARES>(), row<GENERALIZED>(), row<WEIGHTED_TERMS>(),
            row<WEIGHTED_TOTALS>()}; }

}  // namespace fennel::py
