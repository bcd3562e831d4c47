// Bindings of the length queries: bfs_lengths and dijkstra_lengths.
#include "algorithms/paths.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/args.hpp"
#include "lib/entry_points.hpp"
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

}  // namespace

PyObject* bfs_lengths(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const params[] = {"source", "cutoff"};
        constexpr const char* F = "bfs_lengths";
        PyObject* a[2];
        Node source;
        double cutoff;
        if (!parse_args({F, params, 2}, args, nargsf, kwnames, a) || !to_position({F, "source", a[0]}, source) ||
            !to_double({F, "cutoff", a[1]}, cutoff)) {
            return nullptr;
        }
        const CoreGraph& g = graph_of(self);
        if (source >= g.n) return raise(index_error());
        BfsLengths result;
        {
            Detached detached;
            result = bfs_length_search(g.succ, g.n, source, cutoff);
        }
        return pair_of(to_list(result.order), to_list(result.levels));
    });
}

PyObject* dijkstra_lengths(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const params[] = {"source", "weight", "cutoff"};
        constexpr const char* F = "dijkstra_lengths";
        PyObject* a[3];
        Node source;
        std::optional<std::string> weight;
        std::optional<double> cutoff;
        if (!parse_args({F, params, 1}, args, nargsf, kwnames, a) || !to_position({F, "source", a[0]}, source) ||
            !to_optional_string({F, "weight", a[1]}, weight) || !to_optional_double({F, "cutoff", a[2]}, cutoff)) {
            return nullptr;
        }
        const CoreGraph& g = graph_of(self);
        if (source >= g.n) return raise(index_error());
        auto column = g.weight_slice(weight, false);
        if (!column.ok()) return raise(column.error());
        std::vector<Node> order;
        std::vector<double> dist;
        Status status;
        {
            Detached detached;
            DijkstraState state(g.n);
            status = state.run(g.succ, column.value(), source, cutoff);
            if (status.ok()) {
                order = std::move(state.order);
                dist.reserve(order.size());
                for (Node v : order) dist.push_back(state.dist[v]);
            }
        }
        if (!status.ok()) return raise(status.error());
        return pair_of(to_list(order), to_list(dist));
    });
}

}  // namespace fennel::py
