// Bindings of the multi-source distance statistics (bfs_stats, bfs_many,
// dijkstra_many, dijkstra_stats) and of closeness and harmonic centrality.
#include "algorithms/centrality.hpp"
#include "algorithms/distance_measures.hpp"
#include "algorithms/shortest_paths.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/args.hpp"
#include "lib/entry.hpp"
#include "lib/errors_py.hpp"
#include "lib/path_results_py.hpp"
#include "lib/pyref.hpp"
#include "lib/results.hpp"

namespace fennel::py {

namespace {

PyObject* lengths_tuple(const BfsLengths& t) {
    return tuple_from([&] { return to_list(t.order); }, [&] { return to_list(t.levels); });
}

PyObject* bfs_stats(PyObject* self, Args& a) {
    std::optional<std::vector<Node>> sources;
    bool reverse = false;
    if (!a.optional_positions(0, sources) || !a.flag(1, reverse)) return nullptr;
    const CoreGraph& g = graph_of(self);
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    // Counts only: any row order will do.
    const Csr& rows = reverse ? g.in_rows() : g.succ;
    Result<std::vector<BfsStats>> result = Error{ErrorKind::Internal, {}};
    {
        Detached detached;
        result = fennel::bfs_stats(rows, list.value());
    }
    if (!result.ok()) return raise(result.error());
    const auto& stats = result.value();
    return list_from(stats.size(), [&](std::size_t i) {
        const BfsStats& s = stats[i];
        return tuple_from([&] { return to_python(s.reached); }, [&] { return to_python(s.total); },
                          [&] { return to_python(s.max); });
    });
}

PyObject* bfs_many(PyObject* self, Args& a) {
    std::vector<Node> sources;
    double cutoff;
    if (!a.positions(0, sources) || !a.real(1, cutoff)) return nullptr;
    const CoreGraph& g = graph_of(self);
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    Result<std::vector<BfsLengths>> result = Error{ErrorKind::Internal, {}};
    {
        Detached detached;
        result = fennel::bfs_many(g.succ, list.value(), cutoff);
    }
    if (!result.ok()) return raise(result.error());
    const auto& found = result.value();
    return list_from(found.size(), [&](std::size_t i) { return lengths_tuple(found[i]); });
}

// The node objects of the all-pairs dicts: every key is G's own node.
bool all_nodes(const CoreGraph& g, PyObject* nodes, NodeObjects& out) {
    if (static_cast<std::uint64_t>(PyTuple_GET_SIZE(nodes)) != g.n) {
        PyErr_SetString(PyExc_ValueError, "nodes must hold one object per node");
        return false;
    }
    out = {nodes, NO_PARENT, Py_None};
    return true;
}

PyObject* bfs_length_dicts(PyObject* self, Args& a) {
    std::vector<Node> sources;
    double cutoff;
    PyObject* nodes;
    if (!a.positions(0, sources) || !a.real(1, cutoff) || !a.tuple(2, nodes)) return nullptr;
    const CoreGraph& g = graph_of(self);
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    NodeObjects obj;
    if (!all_nodes(g, nodes, obj)) return nullptr;
    Result<std::vector<BfsLengths>> result = Error{ErrorKind::Internal, {}};
    {
        Detached detached;
        result = fennel::bfs_many(g.succ, list.value(), cutoff);
    }
    if (!result.ok()) return raise(result.error());
    const auto& found = result.value();
    return list_from(found.size(), [&](std::size_t i) { return level_dict(obj, found[i].order, found[i].levels); });
}

// The per-source searches of dijkstra_many over succ: the weight column is
// looked up before the sources are checked.
struct DijkstraRuns {
    PathAdj view;
    std::vector<Node> sources;
};

Result<DijkstraRuns> dijkstra_runs(const CoreGraph& g, const std::optional<std::string>& weight,
                                   const std::optional<std::vector<Node>>& sources) {
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return column.error();
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return list.error();
    auto view = g.path_adj(weight, false);
    if (!view.ok()) return view.error();
    return DijkstraRuns{view.value(), std::move(list.value())};
}

Result<std::vector<std::optional<DijkstraLengths>>> run(const DijkstraRuns& runs, std::optional<double> cutoff) {
    Detached detached;
    return fennel::dijkstra_many(runs.view, runs.sources, cutoff);
}

PyObject* dijkstra_length_dicts(PyObject* self, Args& a) {
    std::vector<Node> sources;
    PyObject* nodes;
    std::optional<std::string> weight;
    std::optional<double> cutoff;
    if (!a.positions(0, sources) || !a.tuple(1, nodes) || !a.optional_string(2, weight) ||
        !a.optional_real(3, cutoff)) {
        return nullptr;
    }
    const CoreGraph& g = graph_of(self);
    auto runs = dijkstra_runs(g, weight, sources);
    if (!runs.ok()) return raise(runs.error());
    DistanceKind kind;
    if (!distance_kind(g, weight, false, kind)) return nullptr;
    NodeObjects obj;
    if (!all_nodes(g, nodes, obj)) return nullptr;
    auto result = run(runs.value(), cutoff);
    if (!result.ok()) return raise(result.error());
    const auto& found = result.value();
    return list_from(found.size(), [&](std::size_t i) {
        if (!found[i]) return Py_NewRef(Py_None);
        return distance_dict(obj, found[i]->order, found[i]->dist, kind, found[i]->kinds);
    });
}

PyObject* dijkstra_many(PyObject* self, Args& a) {
    std::vector<Node> sources;
    std::optional<std::string> weight;
    std::optional<double> cutoff;
    if (!a.positions(0, sources) || !a.optional_string(1, weight) || !a.optional_real(2, cutoff)) return nullptr;
    auto runs = dijkstra_runs(graph_of(self), weight, sources);
    if (!runs.ok()) return raise(runs.error());
    auto result = run(runs.value(), cutoff);
    if (!result.ok()) return raise(result.error());
    const auto& found = result.value();
    return list_from(found.size(), [&](std::size_t i) {
        if (!found[i]) return Py_NewRef(Py_None);
        const DijkstraLengths& t = *found[i];
        return tuple_from([&] { return to_list(t.order); }, [&] { return to_list(t.dist); },
                          [&] { return t.kinds.empty() ? Py_NewRef(Py_None) : to_list(t.kinds); });
    });
}

PyObject* closeness(PyObject* self, Args& a) {
    std::optional<std::string> distance;
    ClosenessOptions options;
    std::optional<std::vector<Node>> sources;
    if (!a.optional_string(0, distance) || !a.flag(1, options.wf_improved) || !a.optional_positions(2, sources) ||
        !a.flag(3, options.compensated_sum)) {
        return nullptr;
    }
    const CoreGraph& g = graph_of(self);
    // Towards each node: NetworkX searches its reversed copy of a directed
    // graph, whose rows list in-neighbours by ascending position.
    auto column = g.weight_slice(distance, g.directed);
    if (!column.ok()) return raise(column.error());
    if (distance) options.int_weights = g.all_int(*distance);
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    Result<std::vector<double>> result = Error{ErrorKind::Internal, {}};
    {
        Detached detached;
        result = fennel::closeness(PathAdj{&g.in_rows(), column.value()}, list.value(), options);
    }
    if (!result.ok()) return raise(result.error());
    return to_list(result.value());
}

PyObject* harmonic(PyObject* self, Args& a) {
    std::vector<Node> sources;
    std::vector<std::uint8_t> in_nbunch;
    std::optional<std::string> weight;
    if (!a.positions(0, sources) || !a.flags(1, in_nbunch) || !a.optional_string(2, weight)) return nullptr;
    const CoreGraph& g = graph_of(self);
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    if (in_nbunch.size() != g.n) {
        PyErr_SetString(PyExc_ValueError, "in_nbunch must have one value per node");
        return nullptr;
    }
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    Result<HarmonicSums> result = Error{ErrorKind::Internal, {}};
    {
        Detached detached;
        result = fennel::harmonic(PathAdj{&g.succ, column.value()}, list.value(), in_nbunch);
    }
    if (!result.ok()) return raise(result.error());
    const HarmonicSums& h = result.value();
    return tuple_from([&] { return to_list(h.sums); },
                      [&] { return list_from(h.hit.size(), [&](std::size_t i) { return to_python(h.hit[i] != 0); }); });
}

PyObject* dijkstra_stats(PyObject* self, Args& a) {
    std::string weight;
    std::optional<std::vector<Node>> sources;
    bool compensated_sum = false;
    if (!a.string(0, weight) || !a.optional_positions(1, sources) || !a.flag(2, compensated_sum)) return nullptr;
    const CoreGraph& g = graph_of(self);
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    const bool int_weights = g.all_int(weight);
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    Result<DijkstraStats> result = Error{ErrorKind::Internal, {}};
    {
        Detached detached;
        result = fennel::dijkstra_stats(PathAdj{&g.succ, column.value()}, list.value(), int_weights, compensated_sum);
    }
    if (!result.ok()) return raise(result.error());
    const DijkstraStats& stats = result.value();
    auto entries = [&] {
        return list_from(stats.per_source.size(), [&](std::size_t i) {
            const auto& s = stats.per_source[i];
            if (!s) return Py_NewRef(Py_None);
            return tuple_from([&] { return to_python(s->reached); }, [&] { return to_python(s->max); });
        });
    };
    // sum() stays an int until it meets a float.
    auto total = [&]() -> PyObject* {
        if (!stats.total_valid) return Py_NewRef(Py_None);
        if (int_weights || !stats.any_float) return to_python(stats.int_total);
        return to_python(stats.float_total);
    };
    return tuple_from(entries, total);
}

constexpr auto BFS_STATS =
    method("bfs_stats", bfs_stats, "`(reached, total distance, max distance)` per source, by bit-parallel BFS.",
           "sources=None", "reverse=False");
constexpr auto BFS_MANY =
    method("bfs_many", bfs_many, "BFS orders and levels for each source (parallel).", "sources", "cutoff");
constexpr auto DIJKSTRA_MANY = method("dijkstra_many", dijkstra_many,
                                      "Dijkstra orders, distances and their kinds (None: the column's one\n"
                                      "kind) per source, `None` on a negative cycle.",
                                      "sources", "weight=None", "cutoff=None");
constexpr auto HARMONIC = method("harmonic", harmonic, "Harmonic centrality sums (see `centrality::harmonic`).",
                                 "sources", "in_nbunch", "weight=None");
constexpr auto BFS_LENGTH_DICTS =
    method("bfs_length_dicts", bfs_length_dicts,
           "`bfs_many` as NetworkX's length dicts, keyed by the tuple `nodes`.", "sources", "cutoff", "nodes");
constexpr auto DIJKSTRA_LENGTH_DICTS =
    method("dijkstra_length_dicts", dijkstra_length_dicts,
           "`dijkstra_many` as NetworkX's length dicts (typed as NetworkX's sums),\nkeyed by the tuple `nodes`; "
           "`None` on a negative cycle.",
           "sources", "nodes", "weight=None", "cutoff=None");
constexpr auto DIJKSTRA_STATS =
    method("dijkstra_stats", dijkstra_stats,
           "Per source `(reached, max distance)` or `None` on a negative cycle,\nplus the NetworkX-ordered sum of all "
           "distances (`None` on any error).",
           "weight", "sources=None", "*compensated_sum=False");
constexpr auto CLOSENESS = method("closeness", closeness, "", "distance=None", "wf_improved=True", "sources=None",
                                  "*compensated_sum=False");

}  // namespace

std::vector<PyMethodDef> distance_methods() {
    return {row<BFS_STATS>(), row<BFS_MANY>(), row<DIJKSTRA_MANY>(), row<DIJKSTRA_STATS>(), row<CLOSENESS>(), row<HARMONIC>(),
            row<BFS_LENGTH_DICTS>(), row<DIJKSTRA_LENGTH_DICTS>()};
}

}  // namespace fennel::py
