// Bindings of the rustworkx-ordered graph: build_rx, rx_scc, rx_toposort and
// rx_dijkstra.
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"
#include "rx/rx_graph.hpp"

namespace fennel::py {

namespace {

PyObject* build(std::uint64_t n, bool directed, const Positions& src, const Positions& dst,
                const std::optional<Reals>& costs) {
    auto built = build_rx(n, directed, src, dst, costs);
    if (!built.ok()) return raise(built.error());
    return wrap_graph(std::move(built.value()));
}

PyObject* scc(const CoreGraph& g) {
    return detached([&] { return rx_scc(g.view(nullptr)); });
}

PyObject* toposort(const CoreGraph& g) {
    return detached([&] { return rx_toposort(g.view(nullptr)); });
}

PyObject* dijkstra(const CoreGraph& g, Node source, std::optional<Node> goal) {
    if (source >= g.n) return raise(index_error());
    auto column = g.weight_slice(std::string(RX_COST), false);
    if (!column.ok()) return raise(column.error());
    const GraphView view = g.view(column.value());
    return detached([&] { return rx_dijkstra(view, source, goal); });
}

constexpr auto BUILD_RX = function<build>("build_rx",
                                          "Build from compact node positions. `src`/`dst` are edges in insertion\n"
                                          "order; `costs`, if given, has one value per edge.",
                                          arg<std::uint64_t>("n"), arg<bool>("directed"), arg<Positions>("src"),
                                          arg<Positions>("dst"), arg<std::optional<Reals>>("costs", none));
constexpr auto RX_SCC =
    method<scc>("rx_scc", "rustworkx's strongly connected components (petgraph Kosaraju order).");
constexpr auto RX_TOPOSORT = method<toposort>("rx_toposort", "rustworkx's topological order, or `None` on a cycle.");
constexpr auto RX_DIJKSTRA = method<dijkstra>("rx_dijkstra",
                                              "rustworkx Dijkstra lengths from `source` (NaN = unreached). Raises\n"
                                              "ValueError, as rustworkx does, on a NaN or negative cost it reaches.",
                                              arg<Node>("source"), arg<std::optional<Node>>("goal", none));

}  // namespace

std::vector<PyMethodDef> rx_functions() { return {row<BUILD_RX>()}; }

std::vector<PyMethodDef> rx_methods() { return {row<RX_SCC>(), row<RX_TOPOSORT>(), row<RX_DIJKSTRA>()}; }

}  // namespace fennel::py
