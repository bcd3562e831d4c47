// Bindings of the shortest-path searches, and the Python objects they hand
// out: one result object per search kind (BfsResult, BfsResults,
// DijkstraResult, DijkstraResults), whose methods shape the stored arrays
// into each result NetworkX needs (hop counts, typed distances, path dicts,
// trees, tree edges), and the AllPaths iterator of all_shortest_paths.
//
// A search runs detached (the many-source forms on the worker pool) and its
// arrays move into the result object, which holds no Python reference and
// never changes afterwards: any number of threads may shape results from it
// at once, and it needs neither the graph nor the garbage collector.
//
// A path dict would cost a single-source call most of its time if the
// Python side created its lists one by one; here each list is allocated at
// its final length and filled from its parent's. Arguments are checked in
// the order each binding lists them, before the interpreter is released.

#include "algorithms/level_bfs.hpp"
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
bool node_objects(Count n, TupleRef nodes, Node root, PyObject* root_obj, NodeObjects& out) {
    if (static_cast<Count>(PyTuple_GET_SIZE(nodes.obj)) != n) {
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
// kind), or the kinds the search recorded per order entry.
struct DistanceKind {
    std::uint8_t kind = PY_INT;
    bool per_entry = false;
};

// What a search over `weight` knows of its distances' kinds: the column's
// one kind (-1 when it mixes kinds), and whether the search followed the
// kinds (it cannot over a column whose kinds are unknown or kept for succ
// slots only).
struct DistanceTyping {
    int uniform = PY_INT;
    bool followed = false;

    // The typing of a dict of distances; false with NotImplementedError set
    // when the search could not follow mixed kinds.
    bool of_dict(DistanceKind& out) const {
        if (uniform >= 0) {
            out = {static_cast<std::uint8_t>(uniform), false};
            return true;
        }
        if (!followed) {
            PyErr_SetString(PyExc_NotImplementedError, "distances over weights of several kinds");
            return false;
        }
        out = {PY_INT, true};
        return true;
    }
};

// Most of a large search's result time goes into its dict rather than into
// the search: the keys come in search order, so each insertion reads a
// node's tuple slot and then its object (hash, reference count) from
// scattered places. Both are fetched some insertions ahead of entry i.
[[gnu::always_inline]] inline void prefetch_key_ahead(const NodeObjects& obj, const Node* order, std::size_t i,
                                                      std::size_t end) {
    constexpr std::size_t AHEAD = 8;  // insertions between fetching an object and inserting it
    if (i + 2 * AHEAD < end) __builtin_prefetch(&PyTuple_GET_ITEM(obj.nodes, 0) + order[i + 2 * AHEAD]);
    if (i + AHEAD < end) __builtin_prefetch(obj(order[i + AHEAD]));
}

// {node: distance} in `order`: the root's distance the int 0, NetworkX's
// starting value, every other of `kind`'s kind, or of its entry in `kinds`.
// Adds entries [from, to) of such a dict to `dict`.
bool add_distances(PyObject* dict, const NodeObjects& obj, const Node* order, const double* dist, DistanceKind kind,
                   const std::uint8_t* kinds, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
        prefetch_key_ahead(obj, order, i, to);
        PyRef value = PyRef::steal(i == 0 ? PyLong_FromLong(0)
                                          : kind_value(dist[i], kind.per_entry ? kinds[i] : kind.kind));
        if (!value || PyDict_SetItem(dict, obj(order[i]), value.get()) < 0) return false;
    }
    return true;
}

PyObject* distance_dict(const NodeObjects& obj, std::span<const Node> order, std::span<const double> dist,
                        DistanceKind kind, std::span<const std::uint8_t> kinds) {
    if (kind.per_entry && kinds.size() != order.size()) return raise_internal("distance kinds missing");
    PyRef out = PyRef::steal(new_dict_for(static_cast<Py_ssize_t>(order.size())));
    if (!out || !add_distances(out.get(), obj, order.data(), dist.data(), kind, kinds.data(), 0, order.size())) {
        return nullptr;
    }
    return out.release();
}

// Adds order[i]: levels[i] to `dict` for every i in [from, to).
bool add_levels(PyObject* dict, const NodeObjects& obj, const Node* order, const std::uint32_t* levels,
                std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
        prefetch_key_ahead(obj, order, i, to);
        PyRef value = PyRef::steal(PyLong_FromUnsignedLong(levels[i]));
        if (!value || PyDict_SetItem(dict, obj(order[i]), value.get()) < 0) return false;
    }
    return true;
}

// {node: hop count} in `order`.
PyObject* level_dict(const NodeObjects& obj, std::span<const Node> order, std::span<const std::uint32_t> levels) {
    PyRef out = PyRef::steal(new_dict_for(static_cast<Py_ssize_t>(order.size())));
    if (!out || !add_levels(out.get(), obj, order.data(), levels.data(), 0, order.size())) return nullptr;
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

// The native side of the result objects. `n` is the node count of the
// searched graph, which the `nodes` tuple of every shaping call must match.
struct BfsResult {
    BfsTree tree;
    Node source;
    Count n;
};

struct BfsResults {
    std::vector<BfsTree> trees;
    Count n;
};

struct DijkstraResult {
    DijkstraTree tree;
    Node source;
    Count n;
    DistanceTyping typing;
};

struct DijkstraResults {
    std::vector<std::optional<DijkstraTree>> trees;  // nullopt: the search met a negative cycle
    Count n;
    DistanceTyping typing;
};

// A result object: the native result it owns. Immutable, and holding no
// Python reference, it needs no garbage-collector support.
template <class T>
struct PyResult {
    PyObject_HEAD
    T* value;

    static inline PyTypeObject* type = nullptr;
};

template <class T>
void result_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    delete reinterpret_cast<PyResult<T>*>(self)->value;
    type->tp_free(self);
    Py_DECREF(type);
}

template <class T>
PyObject* wrap_result(T&& value) {
    auto owned = std::make_unique<T>(std::move(value));
    PyResult<T>* self = PyObject_New(PyResult<T>, PyResult<T>::type);
    if (self == nullptr) return nullptr;
    self->value = owned.release();
    return reinterpret_cast<PyObject*>(self);
}

template <class T>
struct ResultSelf {
    static const T& from(PyObject* self) { return *reinterpret_cast<PyResult<T>*>(self)->value; }
};

}  // namespace

template <>
struct SelfArg<const BfsResult&> : ResultSelf<BfsResult> {};
template <>
struct SelfArg<const BfsResults&> : ResultSelf<BfsResults> {};
template <>
struct SelfArg<const DijkstraResult&> : ResultSelf<DijkstraResult> {};
template <>
struct SelfArg<const DijkstraResults&> : ResultSelf<DijkstraResults> {};

namespace {

// The node objects of a single search's result: `root` (None: the graph's
// own node) stands for its source.
bool rooted_objects(Count n, TupleRef nodes, Node source, PyObject* root, NodeObjects& out) {
    if (!node_objects(n, nodes, source, root, out)) return false;
    if (root == Py_None) out.root_obj = PyTuple_GET_ITEM(nodes.obj, source);
    return true;
}

PyObject* order_and_levels(const BfsTree& t) {
    return tuple_from([&] { return to_list(t.order); }, [&] { return to_list(t.levels); });
}

PyObject* order_and_parents(const BfsTree& t) {
    return tuple_from([&] { return to_list(t.order); }, [&] { return to_list(t.parents); });
}

PyObject* dijkstra_tuple(const DijkstraTree& t) {
    return tuple_from([&] { return to_list(t.order); }, [&] { return to_list(t.dist); },
                      [&] { return to_list(t.parent); }, [&] { return to_list(t.first_seen); });
}

PyObject* dijkstra_lengths(const DijkstraTree& t) {
    return tuple_from([&] { return to_list(t.order); }, [&] { return to_list(t.dist); },
                      [&] { return t.kinds.empty() ? Py_NewRef(Py_None) : to_list(t.kinds); });
}

// Each search of a many-source result, None where it met a negative cycle.
template <class Make>
PyObject* each_tree(const DijkstraResults& r, Make&& make) {
    return list_from(r.trees.size(), [&](std::size_t i) { return r.trees[i] ? make(*r.trees[i]) : Py_NewRef(Py_None); });
}

// (dist, paths) of one Dijkstra tree, keyed as NetworkX keys them; dist is
// None unless `distances` (the path-only functions drop it).
PyObject* dijkstra_result(const NodeObjects& obj, const DijkstraTree& t, bool settle_keys,
                          const std::optional<DistanceKind>& kind, bool toward) {
    const std::span<const Node> keys = settle_keys ? t.order : t.first_seen;
    auto dist = [&] { return kind ? distance_dict(obj, t.order, t.dist, *kind, t.kinds) : Py_NewRef(Py_None); };
    return tuple_from(dist, [&] { return tree_paths(obj, t.order, t.parent, keys, toward); });
}

// The typing of a path-dict call's distances: none without `distances`.
bool path_typing(const DistanceTyping& typing, bool distances, std::optional<DistanceKind>& out) {
    if (!distances) return true;
    return typing.of_dict(out.emplace());
}

// The searches. The arrays of a finished search move into its result.

PyObject* bfs(const CoreGraph& g, Node source, double cutoff, bool reverse) {
    if (source >= g.n) return raise(index_error());
    auto view = g.search_view(std::nullopt, reverse);
    if (!view.ok()) return raise(view.error());
    return detached([&] { return fennel::breadth_first_tree(*view.value().out, source, cutoff); },
                    [&](BfsTree& tree) { return wrap_result(BfsResult{std::move(tree), source, g.n}); });
}

// Whether a search of `g` makes its dict beside the search: a large graph
// with two threads or more.
bool made_beside(const CoreGraph& g) { return g.n >= beside_nodes() && thread_count() >= 2; }

// The dict of a search run beside this thread: `search(beside)` fills the
// result's arrays and returns how many entries it found, and add(dict,
// from, to) adds entries [from, to) once the search has published them. The
// dict grows as NetworkX's does: its final size is not known in advance.
template <class Search, class Add>
PyObject* dict_beside(Search&& search, Add&& add) {
    Result<std::size_t> found = std::size_t{0};
    Beside beside([&](Beside& b) { found = search(b); });
    PyRef out;
    Status st = consume_beside(beside, 4 * beside_step(), [&](std::size_t from, std::size_t to) {
        if (!out) out = PyRef::steal(beside.finished() ? new_dict_for(static_cast<Py_ssize_t>(to)) : PyDict_New());
        return out && add(out.get(), from, to);
    });
    if (!st.ok()) return raise(st.error());
    if (!found.ok()) return raise(found.error());
    return out.release();
}

// NetworkX's {node: hop count} of one search, made beside the search on a
// large graph.
PyObject* search_length_dict(const CoreGraph& g, Node source, double cutoff, TupleRef nodes, PyObject* root,
                          bool reverse) {
    if (source >= g.n) return raise(index_error());
    auto view = g.search_view(std::nullopt, reverse);
    if (!view.ok()) return raise(view.error());
    NodeObjects obj;
    if (!rooted_objects(g.n, nodes, source, root, obj)) return nullptr;
    const Csr& rows = *view.value().out;
    if (!made_beside(g)) {
        return detached([&] { return fennel::breadth_first_tree(rows, source, cutoff); },
                        [&](const BfsTree& tree) { return level_dict(obj, tree.order, tree.levels); });
    }
    BfsTree tree;
    size_bfs_tree(tree, g.n);
    return dict_beside(
        [&](Beside& b) { return breadth_first_into(rows, source, cutoff, tree, &b); },
        [&](PyObject* dict, std::size_t from, std::size_t to) {
            return add_levels(dict, obj, tree.order.data(), tree.levels.data(), from, to);
        });
}

// NetworkX's {node: distance} of `dijkstra(source, weight, cutoff)`, made
// beside the search as the length dict is.
PyObject* search_distance_dict(const CoreGraph& g, Node source, const AttrName& weight, std::optional<double> cutoff,
                               TupleRef nodes, PyObject* root) {
    if (source >= g.n) return raise(index_error());
    auto view = g.search_view(weight, false);
    if (!view.ok()) return raise(view.error());
    const DistanceTyping typing{g.distance_kind(weight), view.value().kinds != nullptr};
    DistanceKind kind;
    if (!typing.of_dict(kind)) return nullptr;
    NodeObjects obj;
    if (!rooted_objects(g.n, nodes, source, root, obj)) return nullptr;
    if (!made_beside(g)) {
        return detached([&] { return fennel::dijkstra_tree(view.value(), source, cutoff, std::nullopt); },
                        [&](const DijkstraTree& t) { return distance_dict(obj, t.order, t.dist, kind, t.kinds); });
    }
    DijkstraTree tree;
    tree.order.resize(g.n);
    tree.dist.resize(g.n);
    if (view.value().kinds != nullptr) tree.kinds.resize(g.n);
    return dict_beside([&](Beside& b) { return dijkstra_into(view.value(), source, cutoff, tree, b); },
                       [&](PyObject* dict, std::size_t from, std::size_t to) {
                           return add_distances(dict, obj, tree.order.data(), tree.dist.data(), kind,
                                                tree.kinds.data(), from, to);
                       });
}

PyObject* bfs_many(const CoreGraph& g, const Positions& sources, double cutoff) {
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    return detached([&] { return fennel::bfs_tree_many(g.succ, list.value(), cutoff); },
                    [&](std::vector<BfsTree>& trees) { return wrap_result(BfsResults{std::move(trees), g.n}); });
}

PyObject* dijkstra(const CoreGraph& g, Node source, const AttrName& weight, std::optional<double> cutoff,
                   std::optional<Node> target, bool reverse) {
    if (source >= g.n) return raise(index_error());
    if (target && *target >= g.n) target.reset();  // never settled, so never the stop
    auto view = g.search_view(weight, reverse);
    if (!view.ok()) return raise(view.error());
    const DistanceTyping typing{g.distance_kind(weight), view.value().kinds != nullptr};
    return detached([&] { return fennel::dijkstra_tree(view.value(), source, cutoff, target); },
                    [&](DijkstraTree& tree) {
                        return wrap_result(DijkstraResult{std::move(tree), source, g.n, typing});
                    });
}

PyObject* dijkstra_many(const CoreGraph& g, const Positions& sources, const AttrName& weight,
                        std::optional<double> cutoff) {
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    auto view = g.search_view(weight, false);
    if (!view.ok()) return raise(view.error());
    const DistanceTyping typing{g.distance_kind(weight), view.value().kinds != nullptr};
    return detached([&] { return fennel::dijkstra_tree_many(view.value(), list.value(), cutoff); },
                    [&](std::vector<std::optional<DijkstraTree>>& trees) {
                        return wrap_result(DijkstraResults{std::move(trees), g.n, typing});
                    });
}

// BfsResult's shapes.

PyObject* bfs_lengths(const BfsResult& r) { return order_and_levels(r.tree); }

PyObject* bfs_result_tree(const BfsResult& r) { return order_and_parents(r.tree); }

// The tree edges (generic_bfs_edges): every entry but the root, with its
// discoverer.
PyObject* bfs_edges(const BfsResult& r) {
    const std::span<const Node> parents(r.tree.parents), children(r.tree.order);
    return tuple_from([&] { return to_list(parents.subspan(1)); }, [&] { return to_list(children.subspan(1)); });
}

// The reached nodes as the set NetworkX fills in discovery order (the
// source first, or left out), node objects from the tuple `nodes`.
PyObject* bfs_reached_set(const BfsResult& r, TupleRef nodes, bool with_source) {
    NodeObjects obj;
    if (!node_objects(r.n, nodes, r.source, Py_None, obj)) return nullptr;
    const std::span<const Node> order(r.tree.order);
    return set_from(&PyTuple_GET_ITEM(nodes.obj, 0), with_source ? order : order.subspan(1));
}

PyObject* bfs_length_dict(const BfsResult& r, TupleRef nodes, PyObject* root) {
    NodeObjects obj;
    if (!rooted_objects(r.n, nodes, r.source, root, obj)) return nullptr;
    return level_dict(obj, r.tree.order, r.tree.levels);
}

PyObject* bfs_paths(const BfsResult& r, TupleRef nodes, PyObject* root, bool toward) {
    NodeObjects obj;
    if (!rooted_objects(r.n, nodes, r.source, root, obj)) return nullptr;
    return tree_paths(obj, r.tree.order, r.tree.parents, r.tree.order, toward);
}

// BfsResults' shapes: every key is G's own node.

PyObject* bfs_many_lengths(const BfsResults& r) {
    return list_from(r.trees.size(), [&](std::size_t i) { return order_and_levels(r.trees[i]); });
}

PyObject* bfs_many_trees(const BfsResults& r) {
    return list_from(r.trees.size(), [&](std::size_t i) { return order_and_parents(r.trees[i]); });
}

PyObject* bfs_length_dicts(const BfsResults& r, TupleRef nodes) {
    NodeObjects obj;
    if (!node_objects(r.n, nodes, NO_PARENT, Py_None, obj)) return nullptr;
    return list_from(r.trees.size(),
                     [&](std::size_t i) { return level_dict(obj, r.trees[i].order, r.trees[i].levels); });
}

PyObject* bfs_many_paths(const BfsResults& r, TupleRef nodes) {
    NodeObjects obj;
    if (!node_objects(r.n, nodes, NO_PARENT, Py_None, obj)) return nullptr;
    return list_from(r.trees.size(), [&](std::size_t i) {
        return tree_paths(obj, r.trees[i].order, r.trees[i].parents, r.trees[i].order, false);
    });
}

// DijkstraResult's shapes.

PyObject* dijkstra_result_lengths(const DijkstraResult& r) { return dijkstra_lengths(r.tree); }

PyObject* dijkstra_result_tree(const DijkstraResult& r) { return dijkstra_tuple(r.tree); }

PyObject* dijkstra_length_dict(const DijkstraResult& r, TupleRef nodes, PyObject* root) {
    DistanceKind kind;
    if (!r.typing.of_dict(kind)) return nullptr;
    NodeObjects obj;
    if (!rooted_objects(r.n, nodes, r.source, root, obj)) return nullptr;
    return distance_dict(obj, r.tree.order, r.tree.dist, kind, r.tree.kinds);
}

PyObject* dijkstra_paths(const DijkstraResult& r, TupleRef nodes, PyObject* root, bool toward, bool settle_keys,
                         bool distances) {
    std::optional<DistanceKind> kind;
    if (!path_typing(r.typing, distances, kind)) return nullptr;
    NodeObjects obj;
    if (!rooted_objects(r.n, nodes, r.source, root, obj)) return nullptr;
    return dijkstra_result(obj, r.tree, settle_keys, kind, toward);
}

// The distance's kind: the source's int 0, the column's one kind, or the
// one the search followed.
PyObject* dijkstra_path(const DijkstraResult& r, Node target) {
    if (target >= r.n) return raise(index_error());
    const std::optional<DijkstraPath> found = tree_path(r.tree, target);
    if (!found) return Py_NewRef(Py_None);
    const long kind = found->path.size() == 1 ? PY_INT : r.typing.uniform >= 0 ? r.typing.uniform : found->kind;
    return tuple_from([&] { return PyFloat_FromDouble(found->distance); }, [&] { return to_list(found->path); },
                      [&] { return PyLong_FromLong(kind); });
}

// DijkstraResults' shapes: every key is G's own node.

PyObject* dijkstra_many_lengths(const DijkstraResults& r) { return each_tree(r, dijkstra_lengths); }

PyObject* dijkstra_many_trees(const DijkstraResults& r) { return each_tree(r, dijkstra_tuple); }

PyObject* dijkstra_length_dicts(const DijkstraResults& r, TupleRef nodes) {
    DistanceKind kind;
    if (!r.typing.of_dict(kind)) return nullptr;
    NodeObjects obj;
    if (!node_objects(r.n, nodes, NO_PARENT, Py_None, obj)) return nullptr;
    return each_tree(r, [&](const DijkstraTree& t) { return distance_dict(obj, t.order, t.dist, kind, t.kinds); });
}

PyObject* dijkstra_many_paths(const DijkstraResults& r, TupleRef nodes, bool settle_keys, bool distances) {
    std::optional<DistanceKind> kind;
    if (!path_typing(r.typing, distances, kind)) return nullptr;
    NodeObjects obj;
    if (!node_objects(r.n, nodes, NO_PARENT, Py_None, obj)) return nullptr;
    return each_tree(r, [&](const DijkstraTree& t) { return dijkstra_result(obj, t, settle_keys, kind, false); });
}

PyObject* path_walk(const CoreGraph& g, Node source, Node target, const AttrName& weight,
                             bool skip_ends_pass) {
    if (source >= g.n || target >= g.n) return raise(index_error());
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    return detached([&] { return shortest_path_predecessors(g.view(column.value()), source); },
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
    return detached([&] { return shortest_path_predecessors(g.view(column.value()), source); },
                    [](const PredLists& found) {
                        return tuple_from([&] { return to_list(found.order); }, [&] {
                            return list_from(found.order.size(),
                                             [&](std::size_t i) { return to_list(found.rows.row(found.order[i])); });
                        });
                    });
}

PyObject* bidirectional_bfs(const CoreGraph& g, Node source, Node target, bool with_meet) {
    if (source >= g.n || target >= g.n) return raise(index_error());
    auto back = g.search_view(std::nullopt, true);
    if (!back.ok()) return raise(back.error());
    return detached([&] { return fennel::bidirectional_bfs(g.succ, *back.value().out, source, target); },
                    [&](const std::optional<MetPath>& found) {
                        if (!found) return Py_NewRef(Py_None);
                        if (!with_meet) return to_list(found->path);
                        return tuple_from([&] { return to_list(found->path); }, [&] { return to_python(found->meet); });
                    });
}

PyObject* bidirectional_weighted(const CoreGraph& g, Node source, Node target, const AttrName& weight,
                                 bool with_meet) {
    if (source >= g.n || target >= g.n) return raise(index_error());
    auto forward = g.search_view(weight, false);
    if (!forward.ok()) return raise(forward.error());
    auto back = g.search_view(weight, true);
    if (!back.ok()) return raise(back.error());
    return detached([&] { return fennel::bidirectional_weighted(forward.value(), back.value(), source, target); },
                    [&](const std::optional<WeightedPath>& found) {
                        if (!found) return Py_NewRef(Py_None);
                        auto distance = [&] { return to_python(found->distance); };
                        auto path = [&] { return to_list(found->path); };
                        if (!with_meet) return tuple_from(distance, path);
                        return tuple_from(distance, path, [&] { return to_python(found->meet); });
                    });
}

constexpr auto BFS = method<bfs>(
    "bfs",
    "A breadth-first search from `source`, levels d < cutoff expanded, as a\nBfsResult. `reverse` follows in-edges in "
    "exact order (directed graphs).",
    arg<Node>("source"), arg<double>("cutoff"), kwarg<bool>("reverse", false));
constexpr auto BFS_LENGTH_DICT_OF = method<search_length_dict>(
    "bfs_length_dict",
    "NetworkX's `{node: hop count}` of `bfs(source, cutoff, reverse=reverse)`:\nnode objects from the tuple `nodes`, the "
    "source as `root` (None: its own\nnode). On a large graph the dict is made while the search runs.",
    arg<Node>("source"), arg<double>("cutoff"), arg<TupleRef>("nodes"), arg<PyObject*>("root", none),
    kwarg<bool>("reverse", false));
constexpr auto DIJKSTRA_DISTANCE_DICT = method<search_distance_dict>(
    "dijkstra_length_dict",
    "NetworkX's `{node: distance}` of `dijkstra(source, weight, cutoff)`:\nnode objects from the tuple `nodes`, the "
    "source as `root` (None: its\nown node). On a large graph the dict is made while the search runs.",
    arg<Node>("source"), arg<AttrName>("weight"), arg<std::optional<double>>("cutoff"), arg<TupleRef>("nodes"),
    arg<PyObject*>("root", none));
constexpr auto BFS_MANY = method<bfs_many>(
    "bfs_many", "The breadth-first search of each source (in parallel), as a BfsResults.", arg<Positions>("sources"),
    arg<double>("cutoff"));
constexpr auto DIJKSTRA = method<dijkstra>(
    "dijkstra",
    "A Dijkstra search from `source` as a DijkstraResult, ending once\n`target` is settled. `reverse` follows in-edges "
    "in exact order.\nRaises ValueError on a negative cycle.",
    arg<Node>("source"), arg<AttrName>("weight", none), arg<std::optional<double>>("cutoff", none),
    kwarg<std::optional<Node>>("target", none), kwarg<bool>("reverse", false));
constexpr auto DIJKSTRA_MANY = method<dijkstra_many>(
    "dijkstra_many", "The Dijkstra search of each source (in parallel), as a DijkstraResults.",
    arg<Positions>("sources"), arg<AttrName>("weight", none), arg<std::optional<double>>("cutoff", none));

constexpr auto BFS_LENGTHS =
    method<bfs_lengths>("lengths", "`(order, levels)`: reached nodes in discovery order, with their hop counts.");
constexpr auto BFS_TREE = method<bfs_result_tree>(
    "tree", "`(order, parents)`: reached nodes in discovery order, with their\ndiscoverers (`NO_PARENT` for the source).");
constexpr auto BFS_EDGES = method<bfs_edges>("edges", "`generic_bfs_edges` tree edges as `(parents, children)`.");
constexpr auto BFS_REACHED_SET = method<bfs_reached_set>(
    "reached_set",
    "The reached nodes as NetworkX's set filled in discovery order: node\nobjects from the tuple `nodes`, the source "
    "first or, without\n`with_source`, left out.",
    arg<TupleRef>("nodes"), arg<bool>("with_source"));
constexpr auto BFS_LENGTH_DICT = method<bfs_length_dict>(
    "length_dict",
    "NetworkX's `{node: hop count}`: node objects from the tuple `nodes`,\nthe source as `root` (None: its own node).",
    arg<TupleRef>("nodes"), arg<PyObject*>("root", none));
constexpr auto BFS_PATHS = method<bfs_paths>(
    "paths",
    "NetworkX's single-source (or, `toward`, single-target) path dict: node\nobjects from the tuple `nodes`, the source "
    "as `root` (None: its own\nnode).",
    arg<TupleRef>("nodes"), arg<PyObject*>("root", none), kwarg<bool>("toward", false));

constexpr auto BFS_MANY_LENGTHS = method<bfs_many_lengths>("lengths", "`BfsResult.lengths()` of each search.");
constexpr auto BFS_MANY_TREES = method<bfs_many_trees>("trees", "`BfsResult.tree()` of each search.");
constexpr auto BFS_LENGTH_DICTS = method<bfs_length_dicts>(
    "length_dicts", "NetworkX's length dict of each search, keyed by the tuple `nodes`.", arg<TupleRef>("nodes"));
constexpr auto BFS_MANY_PATHS = method<bfs_many_paths>(
    "paths", "NetworkX's path dict of each search, keyed by the tuple `nodes`.", arg<TupleRef>("nodes"));

constexpr auto DIJKSTRA_LENGTHS = method<dijkstra_result_lengths>(
    "lengths",
    "`(order, dist, kinds)`: settle order and distances, with the kind of\neach distance over weights of several kinds "
    "(else None: the column's\none kind).");
constexpr auto DIJKSTRA_TREE = method<dijkstra_result_tree>(
    "tree", "`(order, dist, parent of each order entry, first-seen order)`.");
constexpr auto DIJKSTRA_LENGTH_DICT = method<dijkstra_length_dict>(
    "length_dict",
    "NetworkX's `{node: distance}`, typed as NetworkX's sums: node objects\nfrom the tuple `nodes`, the source as `root` "
    "(None: its own node).",
    arg<TupleRef>("nodes"), arg<PyObject*>("root", none));
constexpr auto DIJKSTRA_PATHS = method<dijkstra_paths>(
    "paths",
    "NetworkX's `(dist, paths)` dicts; paths keyed in settle order, else\nfirst-seen order, toward the source with "
    "`toward`; distances typed as\nNetworkX's sums, `None` unless `distances`.",
    arg<TupleRef>("nodes"), arg<PyObject*>("root", none), kwarg<bool>("toward", false),
    kwarg<bool>("settle_keys", true), kwarg<bool>("distances", true));
constexpr auto DIJKSTRA_PATH = method<dijkstra_path>(
    "path", "`(distance, path, kind of the distance)` to `target`, or `None` if\nthe search did not settle it.",
    arg<Node>("target"));

constexpr auto DIJKSTRA_MANY_LENGTHS =
    method<dijkstra_many_lengths>("lengths", "`DijkstraResult.lengths()` of each search, `None` on a negative cycle.");
constexpr auto DIJKSTRA_MANY_TREES =
    method<dijkstra_many_trees>("trees", "`DijkstraResult.tree()` of each search, `None` on a negative cycle.");
constexpr auto DIJKSTRA_LENGTH_DICTS = method<dijkstra_length_dicts>(
    "length_dicts", "NetworkX's length dict of each search, keyed by the tuple `nodes`;\n`None` on a negative cycle.",
    arg<TupleRef>("nodes"));
constexpr auto DIJKSTRA_MANY_PATHS = method<dijkstra_many_paths>(
    "paths", "NetworkX's `(dist, paths)` of each search, keyed by the tuple `nodes`;\n`None` on a negative cycle.",
    arg<TupleRef>("nodes"), kwarg<bool>("settle_keys", true), kwarg<bool>("distances", true));

constexpr auto ALL_SHORTEST_PATHS = method<path_walk>(
    "path_walk",
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
constexpr auto BIDIRECTIONAL_DIJKSTRA = method<bidirectional_weighted>(
    "bidirectional_weighted",
    "`bidirectional_dijkstra` for `source != target`: `(distance, path)`\nor `None` if there is no path. Directed "
    "graphs need the exact\npredecessor order loaded. With `meet`, `(distance, path, position\nwhere the two "
    "searches met)`.",
    arg<Node>("source"), arg<Node>("target"), arg<AttrName>("weight", none), kwarg<bool>("meet", false));

}  // namespace

std::vector<PyMethodDef> shortest_paths_methods() {
    return {row<BFS>(),
            row<BFS_LENGTH_DICT_OF>(),
            row<BFS_MANY>(),
            row<DIJKSTRA>(),
            row<DIJKSTRA_DISTANCE_DICT>(),
            row<DIJKSTRA_MANY>(),
            row<ALL_SHORTEST_PATHS>(),
            row<SHORTEST_PATH_PREDECESSORS>(),
            row<BIDIRECTIONAL_BFS>(),
            row<BIDIRECTIONAL_DIJKSTRA>()};
}

namespace {

template <class T>
PyObject* create_result_type(PyObject* module, const char* name, const char* doc, PyMethodDef* methods) {
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(result_dealloc<T>)},
        {Py_tp_methods, methods},
        {Py_tp_doc, const_cast<char*>(doc)},
        {0, nullptr},
    };
    PyType_Spec spec = {
        name,
        sizeof(PyResult<T>),
        0,
        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
        slots,
    };
    PyObject* type = PyType_FromModuleAndSpec(module, &spec, nullptr);
    if (type != nullptr && PyResult<T>::type == nullptr) {
        PyResult<T>::type = reinterpret_cast<PyTypeObject*>(Py_NewRef(type));
    }
    return type;
}

}  // namespace

int add_search_result_types(PyObject* module) {
    static PyMethodDef bfs_result[] = {row<BFS_LENGTHS>(), row<BFS_TREE>(),         row<BFS_EDGES>(),
                                       row<BFS_REACHED_SET>(), row<BFS_LENGTH_DICT>(), row<BFS_PATHS>(),
                                       {nullptr, nullptr, 0, nullptr}};
    static PyMethodDef bfs_results[] = {row<BFS_MANY_LENGTHS>(), row<BFS_MANY_TREES>(), row<BFS_LENGTH_DICTS>(),
                                        row<BFS_MANY_PATHS>(), {nullptr, nullptr, 0, nullptr}};
    static PyMethodDef dijkstra_result[] = {row<DIJKSTRA_LENGTHS>(), row<DIJKSTRA_TREE>(), row<DIJKSTRA_LENGTH_DICT>(),
                                            row<DIJKSTRA_PATHS>(),   row<DIJKSTRA_PATH>(), {nullptr, nullptr, 0, nullptr}};
    static PyMethodDef dijkstra_results[] = {row<DIJKSTRA_MANY_LENGTHS>(), row<DIJKSTRA_MANY_TREES>(),
                                             row<DIJKSTRA_LENGTH_DICTS>(), row<DIJKSTRA_MANY_PATHS>(),
                                             {nullptr, nullptr, 0, nullptr}};
    const bool ok =
        PyModule_Add(module, "BfsResult",
                     create_result_type<BfsResult>(module, "fennel._core.BfsResult",
                                                   "One breadth-first search: discovery order, levels and parents.",
                                                   bfs_result)) == 0 &&
        PyModule_Add(module, "BfsResults",
                     create_result_type<BfsResults>(module, "fennel._core.BfsResults",
                                                    "The breadth-first searches of several sources, in source order.",
                                                    bfs_results)) == 0 &&
        PyModule_Add(module, "DijkstraResult",
                     create_result_type<DijkstraResult>(
                         module, "fennel._core.DijkstraResult",
                         "One Dijkstra search: settle order, distances with their kinds, parents\nand first-seen order.",
                         dijkstra_result)) == 0 &&
        PyModule_Add(module, "DijkstraResults",
                     create_result_type<DijkstraResults>(
                         module, "fennel._core.DijkstraResults",
                         "The Dijkstra searches of several sources, in source order.", dijkstra_results)) == 0;
    return ok ? 0 : -1;
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
