// Bindings of the path queries: the length searches, all_shortest_paths
// and the two bidirectional searches.
#include "algorithms/shortest_paths.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/all_paths_py.hpp"
#include "lib/args.hpp"
#include "lib/entry.hpp"
#include "lib/errors_py.hpp"
#include "lib/pyref.hpp"
#include "lib/results.hpp"

#include <memory>

namespace fennel::py {

namespace {

PyObject* pair_of(PyObject* first, PyObject* second) {
    PyRef a = PyRef::steal(first);
    PyRef b = PyRef::steal(second);
    if (!a || !b) return nullptr;
    return PyTuple_Pack(2, a.get(), b.get());
}

PyObject* bfs_lengths(PyObject* self, Args& a) {
    Node source;
    double cutoff;
    if (!a.position(0, source) || !a.real(1, cutoff)) return nullptr;
    const CoreGraph& g = graph_of(self);
    if (source >= g.n) return raise(index_error());
    BfsLengths result;
    {
        Detached detached;
        result = fennel::bfs_lengths(g.succ, source, cutoff);
    }
    return pair_of(to_list(result.order), to_list(result.levels));
}

PyObject* dijkstra_lengths(PyObject* self, Args& a) {
    Node source;
    std::optional<std::string> weight;
    std::optional<double> cutoff;
    if (!a.position(0, source) || !a.optional_string(1, weight) || !a.optional_real(2, cutoff)) return nullptr;
    const CoreGraph& g = graph_of(self);
    if (source >= g.n) return raise(index_error());
    auto view = g.path_adj(weight, false);
    if (!view.ok()) return raise(view.error());
    Result<DijkstraLengths> result = Error{ErrorKind::Internal, {}};
    {
        Detached detached;
        result = fennel::dijkstra_lengths(view.value(), g.n, source, cutoff);
    }
    if (!result.ok()) return raise(result.error());
    return pair_of(to_list(result.value().order), to_list(result.value().dist));
}

PyObject* all_shortest_paths(PyObject* self, Args& a) {
    Node source;
    Node target;
    std::optional<std::string> weight;
    bool skip_ends_pass = false;
    if (!a.position(0, source) || !a.position(1, target) || !a.optional_string(2, weight) ||
        !a.flag(3, skip_ends_pass)) {
        return nullptr;
    }
    const CoreGraph& g = graph_of(self);
    if (source >= g.n || target >= g.n) return raise(index_error());
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    Result<PredLists> lists = Error{ErrorKind::Internal, {}};
    {
        Detached detached;
        lists = shortest_path_predecessors({&g.succ, column.value()}, source);
    }
    if (!lists.ok()) return raise(lists.error());
    if (!lists.value().reached[target]) Py_RETURN_NONE;
    return wrap_all_paths(std::make_unique<AllPaths>(std::move(lists.value()), source, target, skip_ends_pass));
}

// The predecessor search behind all_shortest_paths, for callers that walk
// every target: `(order, lists)`, the reached nodes in first-seen order and
// each one's predecessors.
PyObject* shortest_path_predecessors(PyObject* self, Args& a) {
    Node source;
    std::optional<std::string> weight;
    if (!a.position(0, source) || !a.optional_string(1, weight)) return nullptr;
    const CoreGraph& g = graph_of(self);
    if (source >= g.n) return raise(index_error());
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    Result<PredLists> lists = Error{ErrorKind::Internal, {}};
    {
        Detached detached;
        lists = fennel::shortest_path_predecessors({&g.succ, column.value()}, source);
    }
    if (!lists.ok()) return raise(lists.error());
    const PredLists& found = lists.value();
    PyRef rows = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(found.order.size())));
    if (!rows) return nullptr;
    for (std::size_t i = 0; i < found.order.size(); ++i) {
        PyObject* row = to_list(found.rows.row(found.order[i]));
        if (row == nullptr) return nullptr;
        PyList_SET_ITEM(rows.get(), static_cast<Py_ssize_t>(i), row);
    }
    return pair_of(to_list(found.order), rows.release());
}

PyObject* bidirectional_bfs(PyObject* self, Args& a) {
    Node source;
    Node target;
    bool with_meet = false;
    if (!a.position(0, source) || !a.position(1, target) || !a.flag(2, with_meet)) return nullptr;
    const CoreGraph& g = graph_of(self);
    if (source >= g.n || target >= g.n) return raise(index_error());
    auto back = g.path_adj(std::nullopt, true);
    if (!back.ok()) return raise(back.error());
    std::optional<MetPath> found;
    {
        Detached detached;
        found = fennel::bidirectional_bfs(g.succ, *back.value().adj, source, target);
    }
    if (!found) Py_RETURN_NONE;
    if (!with_meet) return to_list(found->path);
    return pair_of(to_list(found->path), PyLong_FromUnsignedLong(found->meet));
}

PyObject* bidirectional_dijkstra(PyObject* self, Args& a) {
    Node source;
    Node target;
    std::optional<std::string> weight;
    bool with_meet = false;
    if (!a.position(0, source) || !a.position(1, target) || !a.optional_string(2, weight) || !a.flag(3, with_meet)) {
        return nullptr;
    }
    const CoreGraph& g = graph_of(self);
    if (source >= g.n || target >= g.n) return raise(index_error());
    auto forward = g.path_adj(weight, false);
    if (!forward.ok()) return raise(forward.error());
    auto back = g.path_adj(weight, true);
    if (!back.ok()) return raise(back.error());
    Result<std::optional<WeightedPath>> result = Error{ErrorKind::Internal, {}};
    {
        Detached detached;
        result = fennel::bidirectional_dijkstra(forward.value(), back.value(), source, target);
    }
    if (!result.ok()) return raise(result.error());
    if (!result.value()) Py_RETURN_NONE;
    const WeightedPath& found = *result.value();
    if (!with_meet) return pair_of(PyFloat_FromDouble(found.distance), to_list(found.path));
    PyRef distance = PyRef::steal(PyFloat_FromDouble(found.distance));
    PyRef path = PyRef::steal(to_list(found.path));
    PyRef meet = PyRef::steal(PyLong_FromUnsignedLong(found.meet));
    if (!distance || !path || !meet) return nullptr;
    return PyTuple_Pack(3, distance.get(), path.get(), meet.get());
}

constexpr auto BFS_LENGTHS =
    method("bfs_lengths", bfs_lengths,
           "Breadth-first hop counts from `source`: `(order, levels)` in discovery order.", "source", "cutoff");
constexpr auto DIJKSTRA_LENGTHS =
    method("dijkstra_lengths", dijkstra_lengths,
           "Dijkstra distances from `source`: `(order, distances)` in finalization order.", "source",
           "weight=None", "cutoff=None");
constexpr auto ALL_SHORTEST_PATHS =
    method("all_shortest_paths", all_shortest_paths,
           "`all_shortest_paths` from `source` to `target` as a lazy path\niterator, or `None` if `target` isn't "
           "reached. `weight=None` uses\n`nx.predecessor` (BFS).",
           "source", "target", "weight=None", "skip_ends_pass=False");
constexpr auto SHORTEST_PATH_PREDECESSORS =
    method("shortest_path_predecessors", shortest_path_predecessors,
           "Predecessor lists of `all_shortest_paths` from `source`: `(order,\nlists)` with the reached nodes in "
           "first-seen order.",
           "source", "weight=None");
constexpr auto BIDIRECTIONAL_BFS =
    method("bidirectional_bfs", bidirectional_bfs,
           "`bidirectional_shortest_path` as node positions, or `None` if no path. With\n"
           "`meet`, `(path, position where the two searches met)`.",
           "source", "target", "*meet=False");
constexpr auto BIDIRECTIONAL_DIJKSTRA =
    method("bidirectional_dijkstra", bidirectional_dijkstra,
           "`bidirectional_dijkstra` for `source != target`: `(distance, path)`\nor `None` if there is no path. "
           "Directed graphs need the exact\npredecessor order loaded. With `meet`, `(distance, path, position\n"
           "where the two searches met)`.",
           "source", "target", "weight=None", "*meet=False");

}  // namespace

std::vector<PyMethodDef> path_methods() {
    return {row<BFS_LENGTHS>(), row<DIJKSTRA_LENGTHS>(), row<BIDIRECTIONAL_DIJKSTRA>(), row<ALL_SHORTEST_PATHS>(),
            row<BIDIRECTIONAL_BFS>(), row<SHORTEST_PATH_PREDECESSORS>()};
}

}  // namespace fennel::py
