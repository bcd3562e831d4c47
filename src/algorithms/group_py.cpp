// Bindings of the group centralities.
#include "algorithms/group.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* group_degree(const CoreGraph& g, const Positions& group, bool reverse) {
    auto list = g.sources_or_all(group);
    if (!list.ok()) return raise(list.error());
    const Csr& rows = reverse ? g.in_rows() : g.succ;
    return detached([&] { return fennel::group_degree(rows, list.value()); });
}

PyObject* group_distance_total(const CoreGraph& g, const Positions& group, const AttrName& weight) {
    // Along the reversed graph for a directed G, as NetworkX's G.reverse().
    auto column = g.weight_slice(weight, g.directed);
    if (!column.ok()) return raise(column.error());
    auto list = g.sources_or_all(group);
    if (!list.ok()) return raise(list.error());
    const GraphView view{.out = &g.in_rows(), .in = &g.succ, .weights = column.value(), .directed = g.directed};
    return detached([&] { return fennel::group_distance_total(view, list.value()); });
}

constexpr auto GROUP_DEGREE = method<group_degree>(
    "group_degree",
    "The number of nodes outside `group` adjacent to it: its out-neighbours, or\nin-neighbours with `reverse`.",
    arg<Positions>("group"), arg<bool>("reverse"));
constexpr auto GROUP_DISTANCE_TOTAL = method<group_distance_total>(
    "group_distance_total",
    "The sum of the distances from `group` (towards it on a directed graph) of\nthe nodes outside it that reach "
    "it, as an exact int; NaN weights are hidden.",
    arg<Positions>("group"), arg<AttrName>("weight"));

}  // namespace

std::vector<PyMethodDef> group_methods() { return {row<GROUP_DEGREE>(), row<GROUP_DISTANCE_TOTAL>()}; }

}  // namespace fennel::py
