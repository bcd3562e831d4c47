// Bindings of the search trees and traversal orders: bfs_tree,
// bfs_tree_many, bfs_edges, dfs_forward, reachable, dijkstra_tree,
// dijkstra_tree_many and dijkstra_path. Arguments are converted in signature
// order and checked before the interpreter is released.
#include "algorithms/shortest_paths.hpp"
#include "algorithms/traversal.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/args.hpp"
#include "lib/entry.hpp"
#include "lib/errors_py.hpp"
#include "lib/path_results_py.hpp"
#include "lib/pyref.hpp"
#include "lib/results.hpp"

namespace fennel::py {

namespace {

PyObject* tree_tuple(const BfsTree& t) {
    return tuple_from([&] { return to_list(t.order); }, [&] { return to_list(t.parents); });
}

PyObject* dijkstra_tuple(const DijkstraTree& t) {
    return tuple_from([&] { return to_list(t.order); }, [&] { return to_list(t.dist); },
                      [&] { return to_list(t.parent); }, [&] { return to_list(t.first_seen); });
}

PyObject* bfs_tree(PyObject* self, Args& a) {
    Node source;
    double cutoff;
    bool reverse = false;
    if (!a.position(0, source) || !a.real(1, cutoff) || !a.flag(2, reverse)) return nullptr;
    const CoreGraph& g = graph_of(self);
    if (source >= g.n) return raise(index_error());
    auto view = g.path_adj(std::nullopt, reverse);
    if (!view.ok()) return raise(view.error());
    BfsTree tree;
    {
        Detached detached;
        tree = fennel::bfs_tree(*view.value().adj, source, cutoff);
    }
    return tree_tuple(tree);
}

PyObject* bfs_tree_many(PyObject* self, Args& a) {
    std::optional<std::vector<Node>> sources;
    double cutoff;
    if (!a.positions(0, sources.emplace()) || !a.real(1, cutoff)) return nullptr;
    const CoreGraph& g = graph_of(self);
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    Result<std::vector<BfsTree>> result = Error{ErrorKind::Internal, {}};
    {
        Detached detached;
        result = fennel::bfs_tree_many(g.succ, list.value(), cutoff);
    }
    if (!result.ok()) return raise(result.error());
    const auto& trees = result.value();
    return list_from(trees.size(), [&](std::size_t i) { return tree_tuple(trees[i]); });
}

PyObject* bfs_edges(PyObject* self, Args& a) {
    Node source;
    std::int64_t depth_limit;
    bool reverse = false;
    if (!a.position(0, source) || !a.integer(1, depth_limit) || !a.flag(2, reverse)) return nullptr;
    const CoreGraph& g = graph_of(self);
    if (source >= g.n) return raise(index_error());
    auto view = g.path_adj(std::nullopt, reverse);
    if (!view.ok()) return raise(view.error());
    BfsTree tree;
    {
        Detached detached;
        tree = fennel::bfs_edges(*view.value().adj, source, depth_limit);
    }
    // The tree edges: every entry but the root, with its discoverer.
    const std::span<const Node> parents(tree.parents), children(tree.order);
    return tuple_from([&] { return to_list(parents.subspan(1)); }, [&] { return to_list(children.subspan(1)); });
}

PyObject* dfs_forward(PyObject* self, Args& a) {
    std::optional<std::vector<Node>> starts;
    std::int64_t depth_limit;
    if (!a.optional_positions(0, starts) || !a.integer(1, depth_limit)) return nullptr;
    const CoreGraph& g = graph_of(self);
    auto list = g.sources_or_all(starts);
    if (!list.ok()) return raise(list.error());
    ForwardEdges edges;
    {
        Detached detached;
        edges = fennel::dfs_forward(g.succ, list.value(), depth_limit);
    }
    return tuple_from([&] { return to_list(edges.parents); }, [&] { return to_list(edges.children); });
}

PyObject* reachable(PyObject* self, Args& a) {
    Node source;
    bool reverse = false;
    if (!a.position(0, source) || !a.flag(1, reverse)) return nullptr;
    const CoreGraph& g = graph_of(self);
    if (source >= g.n) return raise(index_error());
    // The order carries no meaning, so any in-row order will do.
    const Csr& rows = reverse ? g.in_rows() : g.succ;
    std::vector<Node> nodes;
    {
        Detached detached;
        nodes = fennel::reachable(rows, source);
    }
    return to_list(nodes);
}

PyObject* dijkstra_tree(PyObject* self, Args& a) {
    Node source;
    std::optional<std::string> weight;
    std::optional<double> cutoff;
    std::optional<Node> target;
    bool reverse = false;
    if (!a.position(0, source) || !a.optional_string(1, weight) || !a.optional_real(2, cutoff) ||
        !a.optional_position(3, target) || !a.flag(4, reverse)) {
        return nullptr;
    }
    const CoreGraph& g = graph_of(self);
    if (source >= g.n) return raise(index_error());
    if (target && *target >= g.n) target.reset();  // never settled, so never the stop
    auto view = g.path_adj(weight, reverse);
    if (!view.ok()) return raise(view.error());
    Result<DijkstraTree> result = Error{ErrorKind::Internal, {}};
    {
        Detached detached;
        result = fennel::dijkstra_tree(view.value(), source, cutoff, target);
    }
    if (!result.ok()) return raise(result.error());
    return dijkstra_tuple(result.value());
}

PyObject* dijkstra_tree_many(PyObject* self, Args& a) {
    std::optional<std::vector<Node>> sources;
    std::optional<std::string> weight;
    std::optional<double> cutoff;
    if (!a.positions(0, sources.emplace()) || !a.optional_string(1, weight) || !a.optional_real(2, cutoff)) {
        return nullptr;
    }
    const CoreGraph& g = graph_of(self);
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    auto view = g.path_adj(weight, false);
    if (!view.ok()) return raise(view.error());
    Result<std::vector<std::optional<DijkstraTree>>> result = Error{ErrorKind::Internal, {}};
    {
        Detached detached;
        result = fennel::dijkstra_tree_many(view.value(), list.value(), cutoff);
    }
    if (!result.ok()) return raise(result.error());
    const auto& trees = result.value();
    return list_from(trees.size(), [&](std::size_t i) {
        return trees[i] ? dijkstra_tuple(*trees[i]) : Py_NewRef(Py_None);
    });
}

PyObject* dijkstra_path(PyObject* self, Args& a) {
    Node source;
    Node target;
    std::optional<std::string> weight;
    std::optional<double> cutoff;
    if (!a.position(0, source) || !a.position(1, target) || !a.optional_string(2, weight) ||
        !a.optional_real(3, cutoff)) {
        return nullptr;
    }
    const CoreGraph& g = graph_of(self);
    if (source >= g.n || target >= g.n) return raise(index_error());
    auto view = g.path_adj(weight, false);
    if (!view.ok()) return raise(view.error());
    Result<std::optional<DijkstraPath>> result = Error{ErrorKind::Internal, {}};
    {
        Detached detached;
        result = fennel::dijkstra_path(view.value(), source, target, cutoff);
    }
    if (!result.ok()) return raise(result.error());
    const auto& found = result.value();
    if (!found) return Py_NewRef(Py_None);
    // The distance's kind: the source's int 0, the column's one kind, or
    // the one the search followed.
    const int uniform = g.distance_kind(weight);
    const long kind = found->path.size() == 1 ? PY_INT : uniform >= 0 ? uniform : found->kind;
    return tuple_from([&] { return PyFloat_FromDouble(found->distance); }, [&] { return to_list(found->path); },
                      [&] { return PyLong_FromLong(kind); });
}

// The node objects of a path result: `nodes` must name every node.
bool node_objects(const CoreGraph& g, PyObject* nodes, Node root, PyObject* root_obj, NodeObjects& out) {
    if (static_cast<std::uint64_t>(PyTuple_GET_SIZE(nodes)) != g.n) {
        PyErr_SetString(PyExc_ValueError, "nodes must hold one object per node");
        return false;
    }
    out = {nodes, root, root_obj};
    return true;
}

PyObject* bfs_paths(PyObject* self, Args& a) {
    Node source;
    double cutoff;
    PyObject* nodes;
    bool reverse = false;
    bool toward = false;
    if (!a.position(0, source) || !a.real(1, cutoff) || !a.tuple(2, nodes) || !a.flag(4, reverse) ||
        !a.flag(5, toward)) {
        return nullptr;
    }
    const CoreGraph& g = graph_of(self);
    if (source >= g.n) return raise(index_error());
    NodeObjects obj;
    if (!node_objects(g, nodes, source, a[3], obj)) return nullptr;
    auto view = g.path_adj(std::nullopt, reverse);
    if (!view.ok()) return raise(view.error());
    BfsTree tree;
    {
        Detached detached;
        tree = fennel::bfs_tree(*view.value().adj, source, cutoff);
    }
    return tree_paths(obj, tree.order, tree.parents, tree.order, toward);
}

PyObject* bfs_paths_many(PyObject* self, Args& a) {
    std::vector<Node> sources;
    double cutoff;
    PyObject* nodes;
    if (!a.positions(0, sources) || !a.real(1, cutoff) || !a.tuple(2, nodes)) return nullptr;
    const CoreGraph& g = graph_of(self);
    auto checked = g.sources_or_all(sources);
    if (!checked.ok()) return raise(checked.error());
    NodeObjects obj;
    if (!node_objects(g, nodes, NO_PARENT, Py_None, obj)) return nullptr;
    Result<std::vector<BfsTree>> result = Error{ErrorKind::Internal, {}};
    {
        Detached detached;
        result = fennel::bfs_tree_many(g.succ, sources, cutoff);
    }
    if (!result.ok()) return raise(result.error());
    const auto& trees = result.value();
    return list_from(trees.size(), [&](std::size_t i) {
        const BfsTree& t = trees[i];
        return tree_paths(obj, t.order, t.parents, t.order, false);
    });
}

// (dist, paths) of one Dijkstra tree, keyed as NetworkX keys them; dist is
// None unless `distances` (the path-only functions drop it).
struct DijkstraShape {
    bool settle_keys = true;
    bool distances = true;
    DistanceKind kind;
};

PyObject* dijkstra_result(const NodeObjects& obj, const DijkstraTree& t, const DijkstraShape& shape,
                          bool toward = false) {
    const std::span<const Node> keys = shape.settle_keys ? t.order : t.first_seen;
    auto dist = [&] {
        return shape.distances ? distance_dict(obj, t.order, t.dist, shape.kind, t.kinds) : Py_NewRef(Py_None);
    };
    return tuple_from(dist, [&] { return tree_paths(obj, t.order, t.parent, keys, toward); });
}

PyObject* dijkstra_paths(PyObject* self, Args& a) {
    Node source;
    PyObject* nodes;
    std::optional<std::string> weight;
    std::optional<double> cutoff;
    bool reverse = false;
    bool toward = false;
    DijkstraShape shape;
    if (!a.position(0, source) || !a.tuple(1, nodes) || !a.optional_string(3, weight) || !a.optional_real(4, cutoff) ||
        !a.flag(5, reverse) || !a.flag(6, toward) || !a.flag(7, shape.settle_keys) || !a.flag(8, shape.distances)) {
        return nullptr;
    }
    const CoreGraph& g = graph_of(self);
    if (shape.distances && !distance_kind(g, weight, reverse, shape.kind)) return nullptr;
    if (source >= g.n) return raise(index_error());
    NodeObjects obj;
    if (!node_objects(g, nodes, source, a[2], obj)) return nullptr;
    auto view = g.path_adj(weight, reverse);
    if (!view.ok()) return raise(view.error());
    Result<DijkstraTree> result = Error{ErrorKind::Internal, {}};
    {
        Detached detached;
        result = fennel::dijkstra_tree(view.value(), source, cutoff, std::nullopt);
    }
    if (!result.ok()) return raise(result.error());
    return dijkstra_result(obj, result.value(), shape, toward);
}

PyObject* dijkstra_paths_many(PyObject* self, Args& a) {
    std::vector<Node> sources;
    PyObject* nodes;
    std::optional<std::string> weight;
    std::optional<double> cutoff;
    DijkstraShape shape;
    if (!a.positions(0, sources) || !a.tuple(1, nodes) || !a.optional_string(2, weight) ||
        !a.optional_real(3, cutoff) || !a.flag(4, shape.settle_keys) || !a.flag(5, shape.distances)) {
        return nullptr;
    }
    const CoreGraph& g = graph_of(self);
    if (shape.distances && !distance_kind(g, weight, false, shape.kind)) return nullptr;
    auto checked = g.sources_or_all(sources);
    if (!checked.ok()) return raise(checked.error());
    NodeObjects obj;
    if (!node_objects(g, nodes, NO_PARENT, Py_None, obj)) return nullptr;
    auto view = g.path_adj(weight, false);
    if (!view.ok()) return raise(view.error());
    Result<std::vector<std::optional<DijkstraTree>>> result = Error{ErrorKind::Internal, {}};
    {
        Detached detached;
        result = fennel::dijkstra_tree_many(view.value(), sources, cutoff);
    }
    if (!result.ok()) return raise(result.error());
    const auto& trees = result.value();
    return list_from(trees.size(), [&](std::size_t i) {
        return trees[i] ? dijkstra_result(obj, *trees[i], shape) : Py_NewRef(Py_None);
    });
}

constexpr auto BFS_TREE =
    method("bfs_tree", bfs_tree,
           "BFS discovery order and each node's discoverer (`NO_PARENT` for the\n"
           "source). `reverse` searches the reversed graph in exact order.",
           "source", "cutoff", "reverse=False");
constexpr auto BFS_TREE_MANY =
    method("bfs_tree_many", bfs_tree_many, "`bfs_tree` for each source, in parallel.", "sources", "cutoff");
constexpr auto BFS_EDGES =
    method("bfs_edges", bfs_edges,
           "`generic_bfs_edges` tree edges as `(parents, children)`. `reverse`\n"
           "follows in-edges in exact order (directed graphs).",
           "source", "depth_limit", "reverse=False");
constexpr auto DFS_FORWARD =
    method("dfs_forward", dfs_forward,
           "DFS forward edges from `starts` (all nodes if `None`), with\n"
           "`(start, start)` marking each new start.",
           "starts", "depth_limit");
constexpr auto REACHABLE =
    method("reachable", reachable,
           "Nodes reachable from `source` (following in-edges if `reverse`),\n"
           "excluding `source` itself. In no particular order.",
           "source", "reverse=False");
constexpr auto DIJKSTRA_TREE =
    method("dijkstra_tree", dijkstra_tree,
           "Dijkstra with parents: `(order, dist, parent of each order entry,\n"
           "first-seen order)`. Raises ValueError on a negative cycle.",
           "source", "weight=None", "cutoff=None", "target=None", "reverse=False");
constexpr auto DIJKSTRA_TREE_MANY =
    method("dijkstra_tree_many", dijkstra_tree_many,
           "`dijkstra_tree` for each source, in parallel; `None` on a negative cycle.", "sources", "weight=None",
           "cutoff=None");
constexpr auto BFS_PATHS =
    method("bfs_paths", bfs_paths,
           "NetworkX's single-source (or, `toward`, single-target) path dict of a\n"
           "breadth-first search: node objects from the tuple `nodes`, the root\nas `root`.",
           "source", "cutoff", "nodes", "root", "reverse=False", "toward=False");
constexpr auto BFS_PATHS_MANY =
    method("bfs_paths_many", bfs_paths_many, "`bfs_paths` for each source (its own node as root), in parallel.",
           "sources", "cutoff", "nodes");
constexpr auto DIJKSTRA_PATHS =
    method("dijkstra_paths", dijkstra_paths,
           "NetworkX's `(dist, paths)` dicts of a Dijkstra search; paths keyed in\n"
           "settle order, else first-seen order; distances typed as NetworkX's\nsums, `None` unless "
           "`distances`.",
           "source", "nodes", "root", "weight=None", "cutoff=None", "reverse=False", "toward=False",
           "settle_keys=True", "distances=True");
constexpr auto DIJKSTRA_PATHS_MANY =
    method("dijkstra_paths_many", dijkstra_paths_many,
           "`dijkstra_paths` for each source, in parallel; `None` on a negative cycle.", "sources", "nodes",
           "weight=None", "cutoff=None", "settle_keys=True", "distances=True");
constexpr auto DIJKSTRA_PATH =
    method("dijkstra_path", dijkstra_path,
           "Dijkstra from `source` until `target` is finalized: `(distance,\n"
           "path, kind of the distance)`, or `None` if `target` isn't reached.",
           "source", "target", "weight=None", "cutoff=None");

}  // namespace

std::vector<PyMethodDef> traversal_methods() {
    return {row<BFS_TREE>(),  row<BFS_TREE_MANY>(),  row<BFS_EDGES>(),      row<DFS_FORWARD>(),
            row<REACHABLE>(), row<DIJKSTRA_TREE>(), row<DIJKSTRA_TREE_MANY>(), row<DIJKSTRA_PATH>(),
            row<BFS_PATHS>(), row<BFS_PATHS_MANY>(), row<DIJKSTRA_PATHS>(), row<DIJKSTRA_PATHS_MANY>()};
}

}  // namespace fennel::py
