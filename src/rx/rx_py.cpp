// Bindings of the rustworkx-ordered graph: build_rx, rx_scc, rx_toposort and
// rx_dijkstra.
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"
#include "lib/errors_py.hpp"
#include "lib/pyref.hpp"
#include "lib/results.hpp"
#include "rx/rx_graph.hpp"

namespace fennel::py {

namespace {

PyObject* build(PyObject*, Args& a) {
    std::uint64_t n = 0;
    bool directed = false;
    std::vector<Node> src;
    std::vector<Node> dst;
    std::optional<std::vector<double>> costs;
    if (!a.count(0, n) || !a.flag(1, directed) || !a.positions(2, src) || !a.positions(3, dst) ||
        !a.optional_reals(4, costs)) {
        return nullptr;
    }
    auto built = build_rx(n, directed, src, dst, costs);
    if (!built.ok()) return raise(built.error());
    return wrap_graph(std::move(built.value()));
}

PyObject* scc(PyObject* self, Args&) {
    const CoreGraph& g = graph_of(self);
    std::vector<std::vector<Node>> components;
    {
        Detached detached;
        components = rx_scc(g.view(nullptr));
    }
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(components.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < components.size(); ++i) {
        PyObject* c = to_list(std::span<const Node>(components[i]));
        if (c == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), c);
    }
    return list.release();
}

PyObject* toposort(PyObject* self, Args&) {
    const CoreGraph& g = graph_of(self);
    std::optional<std::vector<Node>> order;
    {
        Detached detached;
        order = rx_toposort(g.view(nullptr));
    }
    if (!order) Py_RETURN_NONE;
    return to_list(std::span<const Node>(*order));
}

PyObject* dijkstra(PyObject* self, Args& a) {
    Node source = 0;
    std::optional<Node> goal;
    if (!a.position(0, source) || !a.optional_position(1, goal)) return nullptr;
    const CoreGraph& g = graph_of(self);
    if (source >= g.n) return raise(index_error());
    auto column = g.weight_slice(std::string(RX_COST), false);
    if (!column.ok()) return raise(column.error());
    const PathAdj view{&g.succ, column.value()};
    auto dist = [&] {
        Detached detached;
        return rx_dijkstra(view, source, goal);
    }();
    if (!dist.ok()) return raise(dist.error());
    return to_list(dist.value());
}

constexpr auto BUILD_RX = function("build_rx", build,
                                   "Build from compact node positions. `src`/`dst` are edges in insertion\n"
                                   "order; `costs`, if given, has one value per edge.",
                                   "n", "directed", "src", "dst", "costs=None");
constexpr auto RX_SCC = method("rx_scc", scc, "rustworkx's strongly connected components (petgraph Kosaraju order).");
constexpr auto RX_TOPOSORT = method("rx_toposort", toposort, "rustworkx's topological order, or `None` on a cycle.");
constexpr auto RX_DIJKSTRA = method("rx_dijkstra", dijkstra,
                                    "rustworkx Dijkstra lengths from `source` (NaN = unreached). Raises\n"
                                    "ValueError, as rustworkx does, on a NaN or negative cost it reaches.",
                                    "source", "goal=None");

}  // namespace

std::vector<PyMethodDef> rx_functions() { return {row<BUILD_RX>()}; }

std::vector<PyMethodDef> rx_methods() { return {row<RX_SCC>(), row<RX_TOPOSORT>(), row<RX_DIJKSTRA>()}; }

}  // namespace fennel::py
