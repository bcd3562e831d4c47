// Bindings of the per-source distance summaries: bfs_stats and
// dijkstra_stats.
#include "algorithms/distance_measures.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* bfs_stats(const CoreGraph& g, const std::optional<Positions>& sources, bool reverse) {
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    // Counts only: any row order will do.
    const Csr& rows = reverse ? g.in_rows() : g.succ;
    return detached([&] { return fennel::bfs_stats(rows, list.value()); },
                    [](const std::vector<BfsStats>& stats) {
                        return list_from(stats.size(), [&](std::size_t i) {
                            const BfsStats& s = stats[i];
                            return tuple_from([&] { return to_python(s.reached); }, [&] { return to_python(s.total); },
                                              [&] { return to_python(s.max); });
                        });
                    });
}

PyObject* dijkstra_stats(const CoreGraph& g, const std::string& weight, const std::optional<Positions>& sources,
                         bool compensated_sum, bool terms) {
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    const bool int_weights = g.all_int(weight);
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    std::vector<double> floats;
    auto result = [&](const DijkstraStats& stats) {
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
        if (!terms) return tuple_from(entries, total);
        // The int part of the sum, the float terms as bytes, and whether any was met.
        auto int_total = [&]() -> PyObject* {
            return stats.total_valid ? to_python(stats.int_total) : Py_NewRef(Py_None);
        };
        return tuple_from(entries, int_total, [&] {
            return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(floats.data()),
                                             static_cast<Py_ssize_t>(floats.size() * sizeof(double)));
        }, [&] { return to_python(stats.any_float); });
    };
    return detached(
        [&] {
            const GraphView view = g.view(column.value());
            return fennel::dijkstra_stats(view, list.value(), int_weights, compensated_sum, terms ? &floats : nullptr);
        },
        result);
}

constexpr auto BFS_STATS = method<bfs_stats>(
    "bfs_stats", "`(reached, total distance, max distance)` per source, by bit-parallel BFS.",
    arg<std::optional<Positions>>("sources", none), arg<bool>("reverse", false));
constexpr auto DIJKSTRA_STATS = method<dijkstra_stats>(
    "dijkstra_stats",
    "Per source `(reached, max distance)` or `None` on a negative cycle,\nplus the NetworkX-ordered sum of all "
    "distances (`None` on any error). With `terms`, the float distances are\nnot summed: the sum (as an int) is "
    "followed by the float terms in\norder as float64 bytes, and whether there were any.",
    arg<std::string>("weight"), arg<std::optional<Positions>>("sources", none), kwarg<bool>("compensated_sum", false),
    kwarg<bool>("terms", false));

}  // namespace

std::vector<PyMethodDef> distance_measures_methods() { return {row<BFS_STATS>(), row<DIJKSTRA_STATS>()}; }

}  // namespace fennel::py
