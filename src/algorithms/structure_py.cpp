// Bindings of the component, generation, core-number and triangle methods.
#include "algorithms/bipartite.hpp"
#include "algorithms/cluster.hpp"
#include "algorithms/coloring.hpp"
#include "algorithms/community.hpp"
#include "algorithms/components.hpp"
#include "algorithms/core.hpp"
#include "algorithms/dag.hpp"
#include "algorithms/tree.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/args.hpp"
#include "lib/entry.hpp"
#include "lib/errors_py.hpp"
#include "lib/pyref.hpp"
#include "lib/results.hpp"

namespace fennel::py {

namespace {

PyObject* components_list(const Components& parts) {
    return list_from(parts.size(), [&](std::size_t i) { return to_list(parts[i]); });
}

// Each part as a set of the objects in `nodes` (a tuple, one per position),
// filled in the part's order: the set NetworkX builds by adding them so.
PyObject* component_sets(const Components& parts, PyObject* nodes) {
    return list_from(parts.size(), [&](std::size_t i) -> PyObject* {
        PyObject* set = PySet_New(nullptr);
        if (set == nullptr) return nullptr;
        for (Node v : parts[i]) {
            if (PySet_Add(set, PyTuple_GET_ITEM(nodes, v)) < 0) {
                Py_DECREF(set);
                return nullptr;
            }
        }
        return set;
    });
}

// The optional `nodes` argument (index i): a tuple of one object per node.
bool node_objects(const CoreGraph& g, Args& a, std::size_t i, PyObject*& nodes) {
    nodes = nullptr;
    if (!a.given(i) || a[i] == Py_None) return true;
    if (!a.tuple(i, nodes)) return false;
    if (static_cast<Count>(PyTuple_GET_SIZE(nodes)) != g.n) {
        PyErr_SetString(PyExc_ValueError, "nodes must hold one object per node");
        return false;
    }
    return true;
}

// Runs compute() detached; the parts as position lists, or as sets of
// `nodes` when given.
template <class Compute>
PyObject* detached_components(PyObject* nodes, Compute&& compute) {
    Components parts;
    {
        Detached detached;
        parts = compute();
    }
    return nodes ? component_sets(parts, nodes) : components_list(parts);
}

PyObject* connected(PyObject* self, Args& a) {
    const CoreGraph& g = graph_of(self);
    PyObject* nodes = nullptr;
    if (!node_objects(g, a, 0, nodes)) return nullptr;
    return detached_components(nodes, [&] { return connected_components(g.succ, nullptr); });
}

// Predecessors are scanned in G._pred's own order, as NetworkX's BFS scans them.
PyObject* weakly_connected(PyObject* self, Args& a) {
    const CoreGraph& g = graph_of(self);
    PyObject* nodes = nullptr;
    if (!node_objects(g, a, 0, nodes)) return nullptr;
    const Csr* back = nullptr;
    if (g.directed) {
        auto exact = g.path_adj(std::nullopt, true);
        if (!exact.ok()) return raise(exact.error());
        back = exact.value().adj;
    }
    return detached_components(nodes, [&] { return connected_components(g.succ, back); });
}

PyObject* strongly_connected(PyObject* self, Args& a) {
    const CoreGraph& g = graph_of(self);
    bool shortcut = true;
    PyObject* nodes = nullptr;
    if (!a.flag(0, shortcut) || !node_objects(g, a, 1, nodes)) return nullptr;
    return detached_components(nodes, [&] { return strongly_connected_components(g.succ, shortcut); });
}

PyObject* bipartite(PyObject* self, Args&) {
    const CoreGraph& g = graph_of(self);
    bool result = false;
    {
        Detached detached;
        result = is_bipartite(g.succ, g.pred ? &*g.pred : nullptr);
    }
    return to_python(result);
}

PyObject* generations(PyObject* self, Args&) {
    const CoreGraph& g = graph_of(self);
    Generations result;
    {
        Detached detached;
        result = topological_generations(g.succ, g.in_rows());
    }
    return tuple_from([&] { return components_list(result.generations); },
                      [&] { return to_python(result.has_cycle); });
}

PyObject* indegrees(PyObject* self, Args& a) {
    const CoreGraph& g = graph_of(self);
    std::vector<Node> processed;
    if (!a.positions(0, processed)) return nullptr;
    Result<std::vector<Count>> r = indegrees_after(g.succ, g.in_rows(), processed);
    if (!r.ok()) return raise(r.error());
    return to_list(r.value());
}

PyObject* cores(PyObject* self, Args&) {
    const CoreGraph& g = graph_of(self);
    std::optional<std::vector<Count>> core;
    {
        Detached detached;
        core = core_number(g.succ, g.pred ? &*g.pred : nullptr);
    }
    if (!core) Py_RETURN_NONE;
    return to_list(*core);
}

PyObject* triangles(PyObject* self, Args& a) {
    const CoreGraph& g = graph_of(self);
    std::optional<std::vector<Node>> nodes;
    bool successors_only = false;
    bool totals = false;
    if (!a.optional_positions(0, nodes) || !a.flag(1, successors_only) || !a.flag(2, totals)) return nullptr;
    auto list = g.sources_or_all(nodes);
    if (!list.ok()) return raise(list.error());
    const Csr* in = g.directed && !successors_only ? &g.in_rows() : nullptr;
    Result<std::vector<TriangleCount>> r = Error{ErrorKind::Internal, {}};
    {
        Detached detached;
        r = triangle_counts(g.succ, in, list.value(), !g.directed);
    }
    if (!r.ok()) return raise(r.error());
    const std::vector<TriangleCount>& counts = r.value();
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
        return tuple_from([&] { return to_python(counts[i].t); }, [&] { return to_python(counts[i].d); },
                          [&] { return to_python(counts[i].db); });
    });
}

PyObject* colour(PyObject* self, Args&) {
    const CoreGraph& g = graph_of(self);
    const std::vector<Count> degrees = g.degrees();
    Colouring c;
    {
        Detached detached;
        c = greedy_colour(g.succ, degrees);
    }
    return tuple_from([&] { return to_list(c.order); }, [&] { return to_list(c.colours); });
}

PyObject* propagate(PyObject* self, Args& a) {
    const CoreGraph& g = graph_of(self);
    std::vector<Node> order;
    if (!a.positions(0, order)) return nullptr;
    // On directed rows labels can cycle for ever (NetworkX serves undirected graphs only).
    if (g.directed) return raise(not_implemented("label propagation needs an undirected graph"));
    Result<std::vector<Node>> labels = Error{ErrorKind::Internal, {}};
    {
        Detached detached;
        labels = label_propagation(g.succ, order);
    }
    if (!labels.ok()) return raise(labels.error());
    return to_list(labels.value());
}

PyObject* spanning_forest(PyObject* self, Args& a) {
    const CoreGraph& g = graph_of(self);
    std::optional<std::string> weight;
    bool maximum = false;
    if (!a.optional_string(0, weight) || !a.flag(1, maximum)) return nullptr;
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    Result<KeptEdges> kept = Error{ErrorKind::Internal, {}};
    {
        Detached detached;
        kept = kruskal(g.view(column.value()), maximum);
    }
    if (!kept.ok()) return raise(kept.error());
    return tuple_from([&] { return to_list(kept.value().us); }, [&] { return to_list(kept.value().vs); });
}

constexpr auto CONNECTED = method("connected_components", connected, "", "*nodes=None");
constexpr auto WEAKLY = method("weakly_connected_components", weakly_connected, "", "*nodes=None");
constexpr auto STRONGLY =
    method("strongly_connected_components", strongly_connected, "", "*shortcut=True", "*nodes=None");
constexpr auto BIPARTITE = method("is_bipartite", bipartite, "");
constexpr auto GENERATIONS = method("topological_generations", generations, "`(generations, has_cycle)`");
constexpr auto INDEGREES = method("indegrees_after", indegrees,
                                  "In-degrees left after removing the out-edges of `processed` nodes:\nthe state "
                                  "of `nx.topological_generations` after those generations.",
                                  "processed");
constexpr auto CORE_NUMBER =
    method("core_number", cores, "Core numbers in node order, or `None` if the graph has self-loops.");
constexpr auto GREEDY_COLOR =
    method("greedy_color", colour, "`greedy_color` (largest_first): processing order and each node's color.");
constexpr auto LABEL_PROPAGATION = method("label_propagation", propagate,
                                          "Final labels of `label_propagation_communities`, visiting `order`.",
                                          "order");
constexpr auto KRUSKAL = method("kruskal", spanning_forest,
                                "Kruskal's spanning forest: kept edges as `(us, vs)` in yield order.", "weight=None",
                                "maximum=False");
constexpr auto TRIANGLES = method("triangle_counts", triangles,
                                  "`(t, d, db)` triangle counts per node (see `cluster::triangle_counts`),\nfor "
                                  "`nodes` or every node. `successors_only` counts a directed graph\nwith the "
                                  "undirected formula over its successors. With `totals`, only the sums of\n"
                                  "`t` and of `d * (d - 1)` over the nodes.",
                                  "nodes=None", "successors_only=False", "*totals=False");

}  // namespace

std::vector<PyMethodDef> structure_methods() {
    return {row<CONNECTED>(), row<WEAKLY>(),      row<STRONGLY>(),    row<BIPARTITE>(),
            row<GENERATIONS>(), row<INDEGREES>(), row<CORE_NUMBER>(), row<GREEDY_COLOR>(),
            row<LABEL_PROPAGATION>(), row<KRUSKAL>(), row<TRIANGLES>()};
}

}  // namespace fennel::py
