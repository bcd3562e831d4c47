// Bindings of betweenness and edge_betweenness.
#include "algorithms/centrality.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/args.hpp"
#include "lib/entry.hpp"
#include "lib/errors_py.hpp"
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
        result = compute(g.view(column.value()), list.value());
    }
    if (!result.ok()) return raise(result.error());
    return to_list(result.value());
}

PyObject* betweenness(PyObject* self, Args& a) {
    std::optional<std::string> weight;
    bool endpoints = false;
    std::optional<std::vector<Node>> sources;
    if (!a.optional_string(0, weight) || !a.flag(1, endpoints) || !a.optional_positions(2, sources)) return nullptr;
    return run_betweenness(self, weight, sources,
                           [&](const GraphView& view, const std::vector<Node>& s) {
                               return fennel::betweenness(view, endpoints, s);
                           });
}

PyObject* edge_betweenness(PyObject* self, Args& a) {
    std::optional<std::string> weight;
    std::optional<std::vector<Node>> sources;
    if (!a.optional_string(0, weight) || !a.optional_positions(1, sources)) return nullptr;
    return run_betweenness(self, weight, sources,
                           [&](const GraphView& view, const std::vector<Node>& s) {
                               return fennel::edge_betweenness(view, s);
                           });
}

constexpr auto BETWEENNESS = method("betweenness", betweenness,
                                    "Unscaled betweenness sums, one value per node position.", "weight=None",
                                    "endpoints=False", "sources=None");
constexpr auto EDGE_BETWEENNESS =
    method("edge_betweenness", edge_betweenness, "Unscaled edge betweenness, one value per edge in `edges_in_order`.",
           "weight=None", "sources=None");

}  // namespace

std::vector<PyMethodDef> centrality_methods() { return {row<BETWEENNESS>(), row<EDGE_BETWEENNESS>()}; }

}  // namespace fennel::py
