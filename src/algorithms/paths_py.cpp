// Bindings of the length queries: bfs_lengths and dijkstra_lengths.
#include "algorithms/paths.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/args.hpp"
#include "lib/entry.hpp"
#include "lib/errors.hpp"
#include "lib/pyref.hpp"
#include "lib/results.hpp"

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

constexpr auto BFS_LENGTHS =
    method("bfs_lengths", bfs_lengths,
           "Breadth-first hop counts from `source`: `(order, levels)` in discovery order.", "source", "cutoff");
constexpr auto DIJKSTRA_LENGTHS =
    method("dijkstra_lengths", dijkstra_lengths,
           "Dijkstra distances from `source`: `(order, distances)` in finalization order.", "source",
           "weight=None", "cutoff=None");

}  // namespace

std::vector<PyMethodDef> path_methods() { return {row<BFS_LENGTHS>(), row<DIJKSTRA_LENGTHS>()}; }

}  // namespace fennel::py
