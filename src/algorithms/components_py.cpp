// Bindings of connected, weakly and strongly connected components.
#include "algorithms/components.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

// Each part as a set of the objects in `nodes` (one per position), filled
// in the part's order: the set NetworkX builds by adding them so.
PyObject* component_sets(const Components& parts, PyObject* nodes) {
    return list_from(parts.size(), [&](std::size_t i) {
        return set_from(&PyTuple_GET_ITEM(nodes, 0), std::span<const Node>(parts[i]));
    });
}

// Runs compute() detached; the parts as position lists, or as sets of
// `nodes` (a tuple of one object per node) when given.
template <class Compute>
PyObject* components(const CoreGraph& g, const std::optional<TupleRef>& nodes, Compute&& compute) {
    if (nodes && static_cast<Count>(PyTuple_GET_SIZE(nodes->obj)) != g.n) {
        PyErr_SetString(PyExc_ValueError, "nodes must hold one object per node");
        return nullptr;
    }
    return detached(compute, [&](const Components& parts) {
        return nodes ? component_sets(parts, nodes->obj) : to_python(parts);
    });
}

PyObject* connected(const CoreGraph& g, const std::optional<TupleRef>& nodes) {
    return components(g, nodes, [&] { return weak_components(g.succ, nullptr); });
}

// Predecessors are scanned in G._pred's own order, as NetworkX's BFS scans them.
PyObject* weakly_connected(const CoreGraph& g, const std::optional<TupleRef>& nodes) {
    const Csr* back = nullptr;
    if (g.directed) {
        auto exact = g.search_view(std::nullopt, true);
        if (!exact.ok()) return raise(exact.error());
        back = exact.value().out;
    }
    return components(g, nodes, [&] { return weak_components(g.succ, back); });
}

PyObject* strongly_connected(const CoreGraph& g, bool shortcut, const std::optional<TupleRef>& nodes) {
    return components(g, nodes, [&] { return strong_components(g.succ, shortcut); });
}

constexpr auto CONNECTED = method<connected>(
    "connected", "Connected components as position lists, or as sets of `nodes`' objects\nfilled in NetworkX's order.",
    kwarg<std::optional<TupleRef>>("nodes", none));
constexpr auto WEAKLY = method<weakly_connected>(
    "weakly_connected", "Weakly connected components, shaped as `connected`'s.",
    kwarg<std::optional<TupleRef>>("nodes", none));
constexpr auto STRONGLY = method<strongly_connected>(
    "strongly_connected", "Strongly connected components in Tarjan's order, shaped as `connected`'s.",
    kwarg<bool>("shortcut", true), kwarg<std::optional<TupleRef>>("nodes", none));

}  // namespace

std::vector<PyMethodDef> components_methods() { return {row<CONNECTED>(), row<WEAKLY>(), row<STRONGLY>()}; }

}  // namespace fennel::py
