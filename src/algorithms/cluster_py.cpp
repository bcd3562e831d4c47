// Binding of the triangle counts behind triangles, clustering and
// transitivity.
#include "algorithms/cluster.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

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

PyObject* generalized_degrees(const CoreGraph& g, const BytesRef& hashes, const std::optional<Positions>& nodes) {
    std::vector<std::int64_t> hash;
    if (!read_int64s(hashes, g.n, hash)) return nullptr;
    auto list = g.sources_or_all(nodes);
    if (!list.ok()) return raise(list.error());
    return detached([&] { return fennel::generalized_degrees(g.succ, list.value(), hash); },
                    [&](const DegreeCounts& d) -> PyObject* {
                        return tuple_from([&] { return to_python(d.keys); }, [&] { return to_python(d.counts); },
                                          [&] { return to_python(d.bounds); });
                    });
}

constexpr auto SQUARES = method<square_counts>(
    "square_counts",
    "square_clustering's (squares, potential) for `nodes` or every node; None for\na node of fewer than two "
    "neighbours.",
    arg<std::optional<Positions>>("nodes", none));
constexpr auto GENERALIZED = method<generalized_degrees>(
    "generalized_degrees",
    "(keys, counts, bounds): generalized_degree's Counter pairs per node in key\norder, node i's in "
    "[bounds[i], bounds[i + 1]); `hashes`: hash() of each\nnode as int64 bytes.",
    arg<BytesRef>("hashes"), arg<std::optional<Positions>>("nodes", none));

}  // namespace

std::vector<PyMethodDef> cluster_methods() { return {row<TRIANGLES>(), row<SQUARES>(), row<GENERALIZED>()}; }

}  // namespace fennel::py
