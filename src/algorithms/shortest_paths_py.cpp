// Bindings of the shortest-path searches, and the Python objects they hand
// out: NetworkX's path and distance dicts, built straight into Python
// objects, and the AllPaths iterator of all_shortest_paths.
//
// A path dict would cost a single-source call most of its time if the
// Python side created its lists one by one; here each list is allocated at
// its final length and filled from its parent's. Arguments are checked in
// the order each binding lists them, before the interpreter is released.

#include "algorithms/shortest_paths.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"
#include "lib/numpy_types_py.hpp"

#include <atomic>
#include <memory>
#include <new>
#include <vector>

namespace fennel::py {

namespace {

// The objects a result hands out: G's node for each position (a tuple, so
// no other thread can change it under us), except the search's root, which
// NetworkX reports as the caller gave it. Both borrowed.
struct NodeObjects {
    PyObject* nodes;
    Node root;
    PyObject* root_obj;

    PyObject* operator()(Node v) const { return v == root ? root_obj : PyTuple_GET_ITEM(nodes, v); }
};

// The node objects of a result: `nodes` must name every node.
bool node_objects(const CoreGraph& g, TupleRef nodes, Node root, PyObject* root_obj, NodeObjects& out) {
    if (static_cast<Count>(PyTuple_GET_SIZE(nodes.obj)) != g.n) {
        PyErr_SetString(PyExc_ValueError, "nodes must hold one object per node");
        return false;
    }
    out = {nodes.obj, root, root_obj};
    return true;
}

// The path lists made so far, by position; releases them on every exit.
class PathLists {
public:
    explicit PathLists(std::size_t n) : lists_(n, nullptr) {}
    ~PathLists() {
        for (PyObject* list : lists_) Py_XDECREF(list);
    }
    PathLists(const PathLists&) = delete;
    PathLists& operator=(const PathLists&) = delete;

    PyObject*& operator[](Node v) { return lists_[v]; }

private:
    std::vector<PyObject*> lists_;
};

// A new list of `parent`'s items with `item` appended (or, `toward`, put in
// front).
PyObject* extended(PyObject* parent, PyObject* item, bool toward) {
    const Py_ssize_t len = PyList_GET_SIZE(parent);
    PyObject* list = PyList_New(len + 1);
    if (list == nullptr) return nullptr;
    const Py_ssize_t shift = toward ? 1 : 0;
    for (Py_ssize_t k = 0; k < len; ++k) PyList_SET_ITEM(list, k + shift, Py_NewRef(PyList_GET_ITEM(parent, k)));
    PyList_SET_ITEM(list, toward ? 0 : len, Py_NewRef(item));
    return list;
}

// {node: path} of a search tree whose `order[i]` hangs below `parents[i]`
// (the root first): each path runs from the root, or toward it with
// `toward`. Keys are inserted in `keys` order (a permutation of `order`).
PyObject* tree_paths(const NodeObjects& obj, std::span<const Node> order, std::span<const Node> parents,
                     std::span<const Node> keys, bool toward) {
    PathLists path(static_cast<std::size_t>(PyTuple_GET_SIZE(obj.nodes)));
    PyRef out = PyRef::steal(new_dict_for(static_cast<Py_ssize_t>(keys.size())));
    if (!out) return nullptr;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const Node v = order[i];
        if (i > 0 && path[parents[i]] == nullptr) return raise_internal("path tree: parent after child");
        PyObject* list = i == 0 ? PyList_New(1) : extended(path[parents[i]], obj(v), toward);
        if (list == nullptr) return nullptr;
        if (i == 0) PyList_SET_ITEM(list, 0, Py_NewRef(obj(v)));
        path[v] = list;
    }
    for (Node v : keys) {
        if (PyDict_SetItem(out.get(), obj(v), path[v]) < 0) return nullptr;
    }
    return out.release();
}

// How a search's distances are typed: one kind for all (the weights' one
// kind), or the kinds the search reports per order entry.
struct DistanceKind {
    std::uint8_t kind = PY_INT;
    bool per_entry = false;
};

// The typing of the distances of a search over `weight` (reversed, with
// `reverse`); false with NotImplementedError set when the column mixes kinds
// that the search cannot follow (kinds unknown, or kept for succ slots only).
bool distance_kind(const CoreGraph& g, const AttrName& weight, bool reverse, DistanceKind& out) {
    const int kind = g.distance_kind(weight);
    if (kind >= 0) {
        out = {static_cast<std::uint8_t>(kind), false};
        return true;
    }
    auto view = g.path_adj(weight, reverse);
    if (!view.ok() || view.value().kinds == nullptr) {
        PyErr_SetString(PyExc_NotImplementedError, "distances over weights of several kinds");
        return false;
    }
    out = {PY_INT, true};
    return true;
}

// {node: distance} in `order`: the root's distance the int 0, NetworkX's
// starting value, every other of `kind`'s kind, or of its entry in `kinds`.
PyObject* distance_dict(const NodeObjects& obj, std::span<const Node> order, std::span<const double> dist,
                        DistanceKind kind, std::span<const std::uint8_t> kinds) {
    if (kind.per_entry && kinds.size() != order.size()) return raise_internal("distance kinds missing");
    PyRef out = PyRef::steal(new_dict_for(static_cast<Py_ssize_t>(order.size())));
    if (!out) return nullptr;
    for (std::size_t i = 0; i < order.size(); ++i) {
        PyRef value = PyRef::steal(i == 0 ? PyLong_FromLong(0)
                                          : kind_value(dist[i], kind.per_entry ? kinds[i] : kind.kind));
        if (!value || PyDict_SetItem(out.get(), obj(order[i]), value.get()) < 0) return nullptr;
    }
    return out.release();
}

// {node: hop count} in `order`.
PyObject* level_dict(const NodeObjects& obj, std::span<const Node> order, std::span<const std::uint32_t> levels) {
    PyRef out = PyRef::steal(new_dict_for(static_cast<Py_ssize_t>(order.size())));
    if (!out) return nullptr;
    for (std::size_t i = 0; i < order.size(); ++i) {
        PyRef value = PyRef::steal(PyLong_FromUnsignedLong(levels[i]));
        if (!value || PyDict_SetItem(out.get(), obj(order[i]), value.get()) < 0) return nullptr;
    }
    return out.release();
}

// The AllPaths type: the lazy enumerator all_shortest_paths returns. It
// owns its native path state and no Python reference; next_path takes an
// exclusive borrow of it.
struct PyAllPaths {
    PyObject_HEAD
    AllPaths* paths;
    std::atomic<bool> borrowed;
};

PyTypeObject* g_all_paths_type = nullptr;

void all_paths_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    PyAllPaths* p = reinterpret_cast<PyAllPaths*>(self);
    delete p->paths;
    p->borrowed.~atomic();
    type->tp_free(self);
    Py_DECREF(type);
}

// The instance holds no Python references; only its heap type is visited.
int all_paths_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int all_paths_clear(PyObject*) { return 0; }

PyObject* wrap_all_paths(std::unique_ptr<AllPaths> paths) {
    PyAllPaths* self = PyObject_GC_New(PyAllPaths, g_all_paths_type);
    if (self == nullptr) return nullptr;
    self->paths = paths.release();
    new (&self->borrowed) std::atomic<bool>(false);
    PyObject_GC_Track(reinterpret_cast<PyObject*>(self));
    return reinterpret_cast<PyObject*>(self);
}

PyObject* next_path(PyObject* self) {
    PyAllPaths* p = reinterpret_cast<PyAllPaths*>(self);
    Borrow borrow(p->borrowed);
    if (!borrow.held()) return nullptr;
    std::vector<Node> path;
    if (!p->paths->next(path)) Py_RETURN_NONE;
    return to_list(path);
}

constexpr auto NEXT_PATH =
    method<next_path>("next_path", "The next shortest path as node positions, or `None` once exhausted.");

PyMethodDef* all_paths_methods() {
    static PyMethodDef table[] = {row<NEXT_PATH>(), {nullptr, nullptr, 0, nullptr}};
    return table;
}

PyObject* order_and_levels(const BfsLengths& t) {
    return tuple_from([&] { return to_list(t.order); }, [&] { return to_list(t.levels); });
}

PyObject* tree_tuple(const BfsTree& t) {
    return tuple_from([&] { return to_list(t.order); }, [&] { return to_list(t.parents); });
}

PyObject* dijkstra_tuple(const DijkstraTree& t) {
    return tuple_from([&] { return to_list(t.order); }, [&] { return to_list(t.dist); },
                      [&] { return to_list(t.parent); }, [&] { return to_list(t.first_seen); });
}

PyObject* bfs_lengths(const CoreGraph& g, Node source, double cutoff) {
    if (source >= g.n) return raise(index_error());
    return detached([&] { return fennel::bfs_lengths(g.succ, source, cutoff); }, order_and_levels);
}

PyObject* bfs_many(const CoreGraph& g, const Positions& sources, double cutoff) {
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    return detached([&] { return fennel::bfs_many(g.succ, list.value(), cutoff); },
                    [](const std::vector<BfsLengths>& found) {
                        return list_from(found.size(), [&](std::size_t i) { return order_and_levels(found[i]); });
                    });
}

// The node objects of the all-pairs dicts: every key is G's own node.
PyObject* bfs_length_dicts(const CoreGraph& g, const Positions& sources, double cutoff, TupleRef nodes) {
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    NodeObjects obj;
    if (!node_objects(g, nodes, NO_PARENT, Py_None, obj)) return nullptr;
    return detached([&] { return fennel::bfs_many(g.succ, list.value(), cutoff); },
                    [&](const std::vector<BfsLengths>& found) {
                        return list_from(found.size(), [&](std::size_t i) {
                            return level_dict(obj, found[i].order, found[i].levels);
                        });
                    });
}

// The per-source searches of dijkstra_many over succ: the weight column is
// looked up before the sources are checked.
Result<std::pair<PathAdj, std::vector<Node>>> dijkstra_runs(const CoreGraph& g, const AttrName& weight,
                                                            const Positions& sources) {
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return column.error();
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return list.error();
    auto view = g.path_adj(weight, false);
    if (!view.ok()) return view.error();
    return std::pair{view.value(), std::move(list.value())};
}

PyObject* dijkstra_many(const CoreGraph& g, const Positions& sources, const AttrName& weight,
                        std::optional<double> cutoff) {
    auto runs = dijkstra_runs(g, weight, sources);
    if (!runs.ok()) return raise(runs.error());
    const auto& [view, list] = runs.value();
    return detached([&] { return fennel::dijkstra_many(view, list, cutoff); },
                    [](const std::vector<std::optional<DijkstraLengths>>& found) {
                        return list_from(found.size(), [&](std::size_t i) {
                            if (!found[i]) return Py_NewRef(Py_None);
                            const DijkstraLengths& t = *found[i];
                            return tuple_from([&] { return to_list(t.order); }, [&] { return to_list(t.dist); },
                                              [&] { return t.kinds.empty() ? Py_NewRef(Py_None) : to_list(t.kinds); });
                        });
                    });
}

PyObject* dijkstra_length_dicts(const CoreGraph& g, const Positions& sources, TupleRef nodes, const AttrName& weight,
                                std::optional<double> cutoff) {
    auto runs = dijkstra_runs(g, weight, sources);
    if (!runs.ok()) return raise(runs.error());
    DistanceKind kind;
    if (!distance_kind(g, weight, false, kind)) return nullptr;
    NodeObjects obj;
    if (!node_objects(g, nodes, NO_PARENT, Py_None, obj)) return nullptr;
    const auto& [view, list] = runs.value();
    return detached([&] { return fennel::dijkstra_many(view, list, cutoff); },
                    [&](const std::vector<std::optional<DijkstraLengths>>& found) {
                        return list_from(found.size(), [&](std::size_t i) {
                            if (!found[i]) return Py_NewRef(Py_None);
                            return distance_dict(obj, found[i]->order, found[i]->dist, kind, found[i]->kinds);
                        });
                    });
}

PyObject* bfs_tree(const CoreGraph& g, Node source, double cutoff, bool reverse) {
    if (source >= g.n) return raise(index_error());
    auto view = g.path_adj(std::nullopt, reverse);
    if (!view.ok()) return raise(view.error());
    return detached([&] { return fennel::bfs_tree(*view.value().adj, source, cutoff); }, tree_tuple);
}

PyObject* bfs_tree_many(const CoreGraph& g, const Positions& sources, double cutoff) {
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    return detached([&] { return fennel::bfs_tree_many(g.succ, list.value(), cutoff); },
                    [](const std::vector<BfsTree>& trees) {
                        return list_from(trees.size(), [&](std::size_t i) { return tree_tuple(trees[i]); });
                    });
}

PyObject* bfs_paths(const CoreGraph& g, Node source, double cutoff, TupleRef nodes, PyObject* root, bool reverse,
                    bool toward) {
    if (source >= g.n) return raise(index_error());
    NodeObjects obj;
    if (!node_objects(g, nodes, source, root, obj)) return nullptr;
    auto view = g.path_adj(std::nullopt, reverse);
    if (!view.ok()) return raise(view.error());
    return detached([&] { return fennel::bfs_tree(*view.value().adj, source, cutoff); },
                    [&](const BfsTree& tree) { return tree_paths(obj, tree.order, tree.parents, tree.order, toward); });
}

PyObject* bfs_paths_many(const CoreGraph& g, const Positions& sources, double cutoff, TupleRef nodes) {
    auto checked = g.sources_or_all(sources);
    if (!checked.ok()) return raise(checked.error());
    NodeObjects obj;
    if (!node_objects(g, nodes, NO_PARENT, Py_None, obj)) return nullptr;
    return detached([&] { return fennel::bfs_tree_many(g.succ, sources, cutoff); },
                    [&](const std::vector<BfsTree>& trees) {
                        return list_from(trees.size(), [&](std::size_t i) {
                            return tree_paths(obj, trees[i].order, trees[i].parents, trees[i].order, false);
                        });
                    });
}

PyObject* dijkstra_tree(const CoreGraph& g, Node source, const AttrName& weight, std::optional<double> cutoff,
                        std::optional<Node> target, bool reverse) {
    if (source >= g.n) return raise(index_error());
    if (target && *target >= g.n) target.reset();  // never settled, so never the stop
    auto view = g.path_adj(weight, reverse);
    if (!view.ok()) return raise(view.error());
    return detached([&] { return fennel::dijkstra_tree(view.value(), source, cutoff, target); }, dijkstra_tuple);
}

PyObject* dijkstra_tree_many(const CoreGraph& g, const Positions& sources, const AttrName& weight,
                             std::optional<double> cutoff) {
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    auto view = g.path_adj(weight, false);
    if (!view.ok()) return raise(view.error());
    return detached([&] { return fennel::dijkstra_tree_many(view.value(), list.value(), cutoff); },
                    [](const std::vector<std::optional<DijkstraTree>>& trees) {
                        return list_from(trees.size(), [&](std::size_t i) {
                            return trees[i] ? dijkstra_tuple(*trees[i]) : Py_NewRef(Py_None);
                        });
                    });
}

// (dist, paths) of one Dijkstra tree, keyed as NetworkX keys them; dist is
// None unless `distances` (the path-only functions drop it).
struct DijkstraShape {
    bool settle_keys = true;
    bool distances = true;
    DistanceKind kind;
};

PyObject* dijkstra_result(const NodeObjects& obj, const DijkstraTree& t, const DijkstraShape& shape, bool toward) {
    const std::span<const Node> keys = shape.settle_keys ? t.order : t.first_seen;
    auto dist = [&] {
        return shape.distances ? distance_dict(obj, t.order, t.dist, shape.kind, t.kinds) : Py_NewRef(Py_None);
    };
    return tuple_from(dist, [&] { return tree_paths(obj, t.order, t.parent, keys, toward); });
}

PyObject* dijkstra_paths(const CoreGraph& g, Node source, TupleRef nodes, PyObject* root, const AttrName& weight,
                         std::optional<double> cutoff, bool reverse, bool toward, bool settle_keys, bool distances) {
    DijkstraShape shape{settle_keys, distances, {}};
    if (shape.distances && !distance_kind(g, weight, reverse, shape.kind)) return nullptr;
    if (source >= g.n) return raise(index_error());
    NodeObjects obj;
    if (!node_objects(g, nodes, source, root, obj)) return nullptr;
    auto view = g.path_adj(weight, reverse);
    if (!view.ok()) return raise(view.error());
    return detached([&] { return fennel::dijkstra_tree(view.value(), source, cutoff, std::nullopt); },
                    [&](const DijkstraTree& tree) { return dijkstra_result(obj, tree, shape, toward); });
}

PyObject* dijkstra_paths_many(const CoreGraph& g, const Positions& sources, TupleRef nodes, const AttrName& weight,
                              std::optional<double> cutoff, bool settle_keys, bool distances) {
    DijkstraShape shape{settle_keys, distances, {}};
    if (shape.distances && !distance_kind(g, weight, false, shape.kind)) return nullptr;
    auto checked = g.sources_or_all(sources);
    if (!checked.ok()) return raise(checked.error());
    NodeObjects obj;
    if (!node_objects(g, nodes, NO_PARENT, Py_None, obj)) return nullptr;
    auto view = g.path_adj(weight, false);
    if (!view.ok()) return raise(view.error());
    return detached([&] { return fennel::dijkstra_tree_many(view.value(), sources, cutoff); },
                    [&](const std::vector<std::optional<DijkstraTree>>& trees) {
                        return list_from(trees.size(), [&](std::size_t i) {
                            return trees[i] ? dijkstra_result(obj, *trees[i], shape, false) : Py_NewRef(Py_None);
                        });
                    });
}

PyObject* dijkstra_path(const CoreGraph& g, Node source, Node target, const AttrName& weight,
                        std::optional<double> cutoff) {
    if (source >= g.n || target >= g.n) return raise(index_error());
    auto view = g.path_adj(weight, false);
    if (!view.ok()) return raise(view.error());
    // The distance's kind: the source's int 0, the column's one kind, or
    // the one the search followed.
    const int uniform = g.distance_kind(weight);
    return detached([&] { return fennel::dijkstra_path(view.value(), source, target, cutoff); },
                    [&](const std::optional<DijkstraPath>& found) {
                        if (!found) return Py_NewRef(Py_None);
                        const long kind = found->path.size() == 1 ? PY_INT : uniform >= 0 ? uniform : found->kind;
                        return tuple_from([&] { return PyFloat_FromDouble(found->distance); },
                                          [&] { return to_list(found->path); }, [&] { return PyLong_FromLong(kind); });
                    });
}

PyObject* all_shortest_paths(const CoreGraph& g, Node source, Node target, const AttrName& weight,
                             bool skip_ends_pass) {
    if (source >= g.n || target >= g.n) return raise(index_error());
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    return detached([&] { return shortest_path_predecessors({&g.succ, column.value()}, source); },
                    [&](PredLists& lists) {
                        if (!lists.reached[target]) return Py_NewRef(Py_None);
                        return wrap_all_paths(
                            std::make_unique<AllPaths>(std::move(lists), source, target, skip_ends_pass));
                    });
}

// The predecessor search behind all_shortest_paths, for callers that walk
// every target: `(order, lists)`, the reached nodes in first-seen order and
// each one's predecessors.
PyObject* predecessors(const CoreGraph& g, Node source, const AttrName& weight) {
    if (source >= g.n) return raise(index_error());
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    return detached([&] { return shortest_path_predecessors({&g.succ, column.value()}, source); },
                    [](const PredLists& found) {
                        return tuple_from([&] { return to_list(found.order); }, [&] {
                            return list_from(found.order.size(),
                                             [&](std::size_t i) { return to_list(found.rows.row(found.order[i])); });
                        });
                    });
}

PyObject* bidirectional_bfs(const CoreGraph& g, Node source, Node target, bool with_meet) {
    if (source >= g.n || target >= g.n) return raise(index_error());
    auto back = g.path_adj(std::nullopt, true);
    if (!back.ok()) return raise(back.error());
    return detached([&] { return fennel::bidirectional_bfs(g.succ, *back.value().adj, source, target); },
                    [&](const std::optional<MetPath>& found) {
                        if (!found) return Py_NewRef(Py_None);
                        if (!with_meet) return to_list(found->path);
                        return tuple_from([&] { return to_list(found->path); }, [&] { return to_python(found->meet); });
                    });
}

PyObject* bidirectional_dijkstra(const CoreGraph& g, Node source, Node target, const AttrName& weight,
                                 bool with_meet) {
    if (source >= g.n || target >= g.n) return raise(index_error());
    auto forward = g.path_adj(weight, false);
    if (!forward.ok()) return raise(forward.error());
    auto back = g.path_adj(weight, true);
    if (!back.ok()) return raise(back.error());
    return detached([&] { return fennel::bidirectional_dijkstra(forward.value(), back.value(), source, target); },
                    [&](const std::optional<WeightedPath>& found) {
                        if (!found) return Py_NewRef(Py_None);
                        auto distance = [&] { return to_python(found->distance); };
                        auto path = [&] { return to_list(found->path); };
                        if (!with_meet) return tuple_from(distance, path);
                        return tuple_from(distance, path, [&] { return to_python(found->meet); });
                    });
}

constexpr auto BFS_LENGTHS = method<bfs_lengths>(
    "bfs_lengths", "Breadth-first hop counts from `source`: `(order, levels)` in discovery order.",
    arg<Node>("source"), arg<double>("cutoff"));
constexpr auto BFS_MANY = method<bfs_many>("bfs_many", "BFS orders and levels for each source (parallel).",
                                           arg<Positions>("sources"), arg<double>("cutoff"));
constexpr auto BFS_LENGTH_DICTS =
    method<bfs_length_dicts>("bfs_length_dicts", "`bfs_many` as NetworkX's length dicts, keyed by the tuple `nodes`.",
                             arg<Positions>("sources"), arg<double>("cutoff"), arg<TupleRef>("nodes"));
constexpr auto DIJKSTRA_MANY = method<dijkstra_many>(
    "dijkstra_many",
    "Dijkstra orders, distances and their kinds (None: the column's one\nkind) per source, `None` on a negative "
    "cycle.",
    arg<Positions>("sources"), arg<AttrName>("weight", none), arg<std::optional<double>>("cutoff", none));
constexpr auto DIJKSTRA_LENGTH_DICTS = method<dijkstra_length_dicts>(
    "dijkstra_length_dicts",
    "`dijkstra_many` as NetworkX's length dicts (typed as NetworkX's sums),\nkeyed by the tuple `nodes`; `None` on a "
    "negative cycle.",
    arg<Positions>("sources"), arg<TupleRef>("nodes"), arg<AttrName>("weight", none),
    arg<std::optional<double>>("cutoff", none));
constexpr auto BFS_TREE = method<bfs_tree>(
    "bfs_tree",
    "BFS discovery order and each node's discoverer (`NO_PARENT` for the\nsource). `reverse` searches the reversed "
    "graph in exact order.",
    arg<Node>("source"), arg<double>("cutoff"), arg<bool>("reverse", false));
constexpr auto BFS_TREE_MANY = method<bfs_tree_many>("bfs_tree_many", "`bfs_tree` for each source, in parallel.",
                                                     arg<Positions>("sources"), arg<double>("cutoff"));
constexpr auto BFS_PATHS = method<bfs_paths>(
    "bfs_paths",
    "NetworkX's single-source (or, `toward`, single-target) path dict of a\nbreadth-first search: node objects from "
    "the tuple `nodes`, the root\nas `root`.",
    arg<Node>("source"), arg<double>("cutoff"), arg<TupleRef>("nodes"), arg<PyObject*>("root"),
    arg<bool>("reverse", false), arg<bool>("toward", false));
constexpr auto BFS_PATHS_MANY =
    method<bfs_paths_many>("bfs_paths_many", "`bfs_paths` for each source (its own node as root), in parallel.",
                           arg<Positions>("sources"), arg<double>("cutoff"), arg<TupleRef>("nodes"));
constexpr auto DIJKSTRA_TREE = method<dijkstra_tree>(
    "dijkstra_tree",
    "Dijkstra with parents: `(order, dist, parent of each order entry,\nfirst-seen order)`. Raises ValueError on a "
    "negative cycle.",
    arg<Node>("source"), arg<AttrName>("weight", none), arg<std::optional<double>>("cutoff", none),
    arg<std::optional<Node>>("target", none), arg<bool>("reverse", false));
constexpr auto DIJKSTRA_TREE_MANY = method<dijkstra_tree_many>(
    "dijkstra_tree_many", "`dijkstra_tree` for each source, in parallel; `None` on a negative cycle.",
    arg<Positions>("sources"), arg<AttrName>("weight", none), arg<std::optional<double>>("cutoff", none));
constexpr auto DIJKSTRA_PATHS = method<dijkstra_paths>(
    "dijkstra_paths",
    "NetworkX's `(dist, paths)` dicts of a Dijkstra search; paths keyed in\nsettle order, else first-seen order; "
    "distances typed as NetworkX's\nsums, `None` unless `distances`.",
    arg<Node>("source"), arg<TupleRef>("nodes"), arg<PyObject*>("root"), arg<AttrName>("weight", none),
    arg<std::optional<double>>("cutoff", none), arg<bool>("reverse", false), arg<bool>("toward", false),
    arg<bool>("settle_keys", true), arg<bool>("distances", true));
constexpr auto DIJKSTRA_PATHS_MANY = method<dijkstra_paths_many>(
    "dijkstra_paths_many", "`dijkstra_paths` for each source, in parallel; `None` on a negative cycle.",
    arg<Positions>("sources"), arg<TupleRef>("nodes"), arg<AttrName>("weight", none),
    arg<std::optional<double>>("cutoff", none), arg<bool>("settle_keys", true), arg<bool>("distances", true));
constexpr auto DIJKSTRA_PATH = method<dijkstra_path>(
    "dijkstra_path",
    "Dijkstra from `source` until `target` is finalized: `(distance,\npath, kind of the distance)`, or `None` if "
    "`target` isn't reached.",
    arg<Node>("source"), arg<Node>("target"), arg<AttrName>("weight", none), arg<std::optional<double>>("cutoff", none));
constexpr auto ALL_SHORTEST_PATHS = method<all_shortest_paths>(
    "all_shortest_paths",
    "`all_shortest_paths` from `source` to `target` as a lazy path\niterator, or `None` if `target` isn't reached. "
    "`weight=None` uses\n`nx.predecessor` (BFS).",
    arg<Node>("source"), arg<Node>("target"), arg<AttrName>("weight", none), arg<bool>("skip_ends_pass", false));
constexpr auto SHORTEST_PATH_PREDECESSORS = method<predecessors>(
    "shortest_path_predecessors",
    "Predecessor lists of `all_shortest_paths` from `source`: `(order,\nlists)` with the reached nodes in "
    "first-seen order.",
    arg<Node>("source"), arg<AttrName>("weight", none));
constexpr auto BIDIRECTIONAL_BFS = method<bidirectional_bfs>(
    "bidirectional_bfs",
    "`bidirectional_shortest_path` as node positions, or `None` if no path. With\n`meet`, `(path, position where "
    "the two searches met)`.",
    arg<Node>("source"), arg<Node>("target"), kwarg<bool>("meet", false));
constexpr auto BIDIRECTIONAL_DIJKSTRA = method<bidirectional_dijkstra>(
    "bidirectional_dijkstra",
    "`bidirectional_dijkstra` for `source != target`: `(distance, path)`\nor `None` if there is no path. Directed "
    "graphs need the exact\npredecessor order loaded. With `meet`, `(distance, path, position\nwhere the two "
    "searches met)`.",
    arg<Node>("source"), arg<Node>("target"), arg<AttrName>("weight", none), kwarg<bool>("meet", false));

}  // namespace

std::vector<PyMethodDef> shortest_paths_methods() {
    return {row<BFS_LENGTHS>(),              row<BFS_MANY>(),
            row<BFS_LENGTH_DICTS>(),   row<DIJKSTRA_MANY>(),         row<DIJKSTRA_LENGTH_DICTS>(),
            row<BFS_TREE>(),           row<BFS_TREE_MANY>(),         row<BFS_PATHS>(),
            row<BFS_PATHS_MANY>(),     row<DIJKSTRA_TREE>(),         row<DIJKSTRA_TREE_MANY>(),
            row<DIJKSTRA_PATHS>(),     row<DIJKSTRA_PATHS_MANY>(),   row<DIJKSTRA_PATH>(),
            row<ALL_SHORTEST_PATHS>(), row<SHORTEST_PATH_PREDECESSORS>(), row<BIDIRECTIONAL_BFS>(),
            row<BIDIRECTIONAL_DIJKSTRA>()};
}

PyObject* create_all_paths_type(PyObject* module) {
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(all_paths_dealloc)},
        {Py_tp_traverse, reinterpret_cast<void*>(all_paths_traverse)},
        {Py_tp_clear, reinterpret_cast<void*>(all_paths_clear)},
        {Py_tp_methods, all_paths_methods()},
        {Py_tp_doc, const_cast<char*>("Lazy iterator over `all_shortest_paths` results (node positions).")},
        {0, nullptr},
    };
    PyType_Spec spec = {
        "fennel._core.AllPaths",
        sizeof(PyAllPaths),
        0,
        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
        slots,
    };
    PyObject* type = PyType_FromModuleAndSpec(module, &spec, nullptr);
    if (type != nullptr && g_all_paths_type == nullptr) {
        g_all_paths_type = reinterpret_cast<PyTypeObject*>(Py_NewRef(type));
    }
    return type;
}

}  // namespace fennel::py
