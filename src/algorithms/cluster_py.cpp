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

}  // namespace

std::vector<PyMethodDef> cluster_methods() { return {row<TRIANGLES>()}; }

}  // namespace fennel::py
