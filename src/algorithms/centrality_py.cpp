// Bindings of betweenness and edge_betweenness.
#include "algorithms/centrality.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/args.hpp"
#include "lib/entry_points.hpp"
#include "lib/errors.hpp"
#include "lib/pyref.hpp"
#include "lib/results.hpp"

namespace fennel::py {

namespace {

// Weight column then sources, in that order of precedence; then the
// computation, detached.
template <class Compute>
PyObject* run_betweenness(PyObject* self, const std::optional<std::string>& weight,
                          const std::optional<std::vector<Node>>& sources, Compute&& compute) {
    const CoreGraph& g = graph_of(self);
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    Result<std::vector<double>> result = Error{ErrorKind::Internal, {}};
    {
        Detached detached;
        result = compute(g, column.value(), list.value());
    }
    if (!result.ok()) return raise(result.error());
    return to_list(result.value());
}

}  // namespace

PyObject* betweenness(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const params[] = {"weight", "endpoints", "sources"};
        constexpr const char* F = "betweenness";
        PyObject* a[3];
        std::optional<std::string> weight;
        bool endpoints = false;
        std::optional<std::vector<Node>> sources;
        if (!parse_args({F, params, 0}, args, nargsf, kwnames, a) ||
            !to_optional_string({F, "weight", a[0]}, weight) ||
            (a[1] != nullptr && !to_bool({F, "endpoints", a[1]}, endpoints)) ||
            !to_optional_positions({F, "sources", a[2]}, sources)) {
            return nullptr;
        }
        return run_betweenness(self, weight, sources,
                               [&](const CoreGraph& g, const std::vector<double>* w, const std::vector<Node>& s) {
                                   return fennel::betweenness(g, w, endpoints, s);
                               });
    });
}

PyObject* edge_betweenness(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const params[] = {"weight", "sources"};
        constexpr const char* F = "edge_betweenness";
        PyObject* a[2];
        std::optional<std::string> weight;
        std::optional<std::vector<Node>> sources;
        if (!parse_args({F, params, 0}, args, nargsf, kwnames, a) ||
            !to_optional_string({F, "weight", a[0]}, weight) ||
            !to_optional_positions({F, "sources", a[1]}, sources)) {
            return nullptr;
        }
        return run_betweenness(self, weight, sources,
                               [&](const CoreGraph& g, const std::vector<double>* w, const std::vector<Node>& s) {
                                   return fennel::edge_betweenness(g, w, s);
                               });
    });
}

}  // namespace fennel::py
