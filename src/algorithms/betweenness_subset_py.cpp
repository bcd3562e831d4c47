// Bindings of subset betweenness: the weight column, then the sources, then
// the target flags, checked in that order before the interpreter is released.
#include "algorithms/betweenness_subset.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

template <class Compute>
PyObject* run_subset(const CoreGraph& g, const AttrName& weight, const Positions& sources, const Flags& targets,
                     Compute&& compute) {
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    auto list = g.sources_or_all(sources);
    if (!list.ok()) return raise(list.error());
    if (targets.size() != g.n) return raise(value_error("targets must hold one flag per node"));
    return detached([&] { return compute(g.view(column.value()), list.value()); });
}

PyObject* betweenness_subset(const CoreGraph& g, const AttrName& weight, const Positions& sources,
                             const Flags& targets) {
    return run_subset(g, weight, sources, targets, [&](const GraphView& view, const std::vector<Node>& s) {
        return fennel::betweenness_subset(view, s, targets);
    });
}

PyObject* edge_betweenness_subset(const CoreGraph& g, const AttrName& weight, const Positions& sources,
                                  const Flags& targets) {
    return run_subset(g, weight, sources, targets, [&](const GraphView& view, const std::vector<Node>& s) {
        return fennel::edge_betweenness_subset(view, s, targets);
    });
}

constexpr auto BETWEENNESS_SUBSET = method<betweenness_subset>(
    "betweenness_subset",
    "Unscaled subset betweenness, one value per node position: the sources'\npositions in order, one target flag "
    "per node.",
    arg<AttrName>("weight"), arg<Positions>("sources"), arg<Flags>("targets"));
constexpr auto EDGE_BETWEENNESS_SUBSET = method<edge_betweenness_subset>(
    "edge_betweenness_subset",
    "Unscaled subset edge betweenness, one value per edge in `edges_in_order`.", arg<AttrName>("weight"),
    arg<Positions>("sources"), arg<Flags>("targets"));

}  // namespace

std::vector<PyMethodDef> betweenness_subset_methods() {
    return {row<BETWEENNESS_SUBSET>(), row<EDGE_BETWEENNESS_SUBSET>()};
}

}  // namespace fennel::py
